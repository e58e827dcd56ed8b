#include "base/DateTime.h"

#include "platform/SystemInfo.h"

#include <cmath>
#include <cstdio>

namespace kestrow {

namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
constexpr long daysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

void civilFromDays(long z, int& y, int& m, int& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long yy = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr long kEpochOffset = daysFromCivil(1899, 12, 30);

const Clock* g_clock = nullptr;

} // namespace

DateValue dateFromParts(const DateParts& p)
{
    const long days =
        daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) - kEpochOffset;
    const double frac = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
    return static_cast<double>(days) + frac;
}

DateParts partsFromDate(DateValue value)
{
    long days = static_cast<long>(std::floor(value));
    long secs = std::lround((value - static_cast<double>(days)) * 86400.0);
    if (secs >= 86400) {
        ++days;
        secs -= 86400;
    }
    DateParts p;
    civilFromDays(days + kEpochOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>((secs / 60) % 60);
    p.second = static_cast<int>(secs % 60);
    return p;
}

namespace {

std::string dateTimeText(DateValue value, bool bothParts)
{
    const DateParts p = partsFromDate(value);
    const bool hasDate = bothParts || std::floor(value) != 0.0;
    const bool hasTime = bothParts || p.hour != 0 || p.minute != 0 || p.second != 0;
    std::string out;
    if (hasDate)
        out = std::to_string(p.month) + "/" + std::to_string(p.day) + "/" + std::to_string(p.year);
    if (hasTime || !hasDate) {
        const int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, p.minute, p.second, p.hour < 12 ? "AM" : "PM");
        if (!out.empty())
            out += ' ';
        out += buf;
    }
    return out;
}

} // namespace

std::string GeneralDateText(DateValue value)
{
    return dateTimeText(value, false);
}

std::string DateAndTimeText(DateValue value)
{
    return dateTimeText(value, true);
}

DateValue SystemClock::now() const
{
    const std::tm tm = platform::localNow();
    return dateFromParts({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

const Clock& currentClock()
{
    static SystemClock system;
    return g_clock ? *g_clock : system;
}

ScopedClock::ScopedClock(const Clock& c) : m_installed(g_clock, &c) {}

} // namespace kestrow
