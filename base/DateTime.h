#pragma once
// Date-time values as the program keeps them: local time as a day count from
// 30 December 1899, the time of day as the fraction; 0 means "never".

#include "util/ScopeExit.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kestrow {

using DateValue = double;

struct DateParts
{
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

DateValue dateFromParts(const DateParts& parts);
DateParts partsFromDate(DateValue value);

// The program's one general date format: "12/7/2026 6:37:02 AM" (month/day/year,
// no leading zeros, 12-hour clock). A value with no time part shows the date alone,
// one with no date part the time alone, as the general format does.
std::string GeneralDateText(DateValue value);

// The general format with both parts always, "12/7/2026 12:00:00 AM" at midnight
// too: the stamp of a log line, which must never lose its time.
std::string DateAndTimeText(DateValue value);

// Where "now" comes from. Tests install a clock they can set and advance.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual DateValue now() const = 0;
};

class SystemClock : public Clock
{
public:
    DateValue now() const override;
};

class ManualClock : public Clock
{
public:
    explicit ManualClock(DateValue start) : m_now(start) {}
    DateValue now() const override { return m_now; }
    void set(DateValue value) { m_now = value; }
    void advanceMinutes(double minutes) { m_now += minutes / 1440.0; }

private:
    DateValue m_now;
};

// The clock in force (the system clock unless a test installed another).
const Clock& currentClock();
class ScopedClock
{
public:
    explicit ScopedClock(const Clock& c);

private:
    util::ScopedValue<const Clock*> m_installed;
};

// Now as general date text.
inline std::string NowText()
{
    return GeneralDateText(currentClock().now());
}

} // namespace kestrow
