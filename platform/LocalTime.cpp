#include "platform/LocalTime.h"

#include <cstdlib>
#include <ctime>

namespace kestrow::platform {

long utcOffsetAt(int64_t epochSeconds)
{
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm.tm_gmtoff;
}

void setTimeZone(const char* name)
{
    if (name && *name)
        ::setenv("TZ", name, 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

} // namespace kestrow::platform
