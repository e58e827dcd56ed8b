#include "platform/LocalTime.h"

#include <cstdlib>
#include <ctime>

namespace kestrow::platform {

namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::tm localTm(int64_t epochSeconds)
{
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm;
}

} // namespace

WallTime wallTimeAt(int64_t epochSeconds)
{
    const std::tm tm = localTm(epochSeconds);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

long utcOffsetAt(int64_t epochSeconds)
{
    return localTm(epochSeconds).tm_gmtoff;
}

int64_t wallSeconds(const WallTime& w)
{
    return daysFromCivil(w.year, w.month, w.day) * 86400 + w.hour * 3600 + w.minute * 60 + w.second;
}

int64_t nowEpochSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
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
