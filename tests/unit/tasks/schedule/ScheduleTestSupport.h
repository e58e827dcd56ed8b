#pragma once
// Helpers of the schedule tests: readable dates and a time zone set for one scope.

#include "base/DateTime.h"
#include "platform/LocalTime.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace kestrow::test {

inline DateValue at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return dateFromParts({y, mo, d, h, mi, s});
}

// A date written in a table. Tables are built before main(), when the day-number
// conversion may not be ready yet, so rows keep the parts and convert when run.
struct When
{
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
    DateValue value() const { return at(y, mo, d, h, mi, s); }
};

inline DateValue timeOfDay(int h, int mi, int s = 0)
{
    return (h * 3600 + mi * 60 + s) / 86400.0;
}

// "2026-03-29 03:30:00", for readable failures.
inline std::string iso(DateValue v)
{
    const DateParts p = partsFromDate(v);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return buf;
}

// Sets TZ for the scope and puts the previous value back.
class ZoneScope
{
public:
    explicit ZoneScope(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_previous = old;
        platform::setTimeZone(zone);
    }
    ~ZoneScope() { platform::setTimeZone(m_previous ? m_previous->c_str() : nullptr); }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    std::optional<std::string> m_previous;
};

} // namespace kestrow::test
