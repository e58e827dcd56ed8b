#include "tasks/Schedule.h"

#include "base/ErrorReporter.h"
#include "base/LocalTime.h"
#include "base/RunHost.h"
#include "tasks/cCloneTasks.h"

#include <cmath>
#include <limits>

namespace kestrow {

namespace {

constexpr int32_t kAllDays = 127;
// 31 December 9999 23:59:59, the last moment a date of the program can hold.
constexpr DateValue kLastDate = 2958465.0 + 86399.0 / 86400.0;

int64_t secondOfDay(DateValue value)
{
    const DateValue whole = TruncateToSeconds(value);
    const int64_t seconds = std::llround((whole - std::floor(whole)) * 86400.0);
    return seconds >= 86400 ? 0 : seconds;
}

bool dayAllowed(int32_t daysOfWeek, DateValue date)
{
    return (daysOfWeek & (1 << ConvertToKWDayOfWeek(WeekdayOf(date)))) != 0;
}

void checkRange(DateValue value)
{
    if (!std::isfinite(value) || value < -657434.0 || value > kLastDate)
        throw RuntimeError(6, "Overflow");
}

// One pass: the candidate for `reference`, before the test against now.
DateValue candidate(DateValue reference, DateValue now, int32_t type, int32_t increment, DateValue startTime,
                    int32_t daysOfWeek)
{
    const int64_t start = secondOfDay(startTime);
    DateValue c = 0;
    switch (type) {
    case 1:
        c = reference + increment / 1440.0;
        break;
    case 2:
        c = reference + increment / 24.0;
        break;
    case 3:
    case 4: {
        const bool todayAllowed = type == 3 || dayAllowed(daysOfWeek, now);
        if (todayAllowed && secondOfDay(now) / 60 < start / 60) {
            c = TruncateToSeconds(now);
        } else {
            c = reference + (type == 3 ? increment : 1);
            checkRange(c);
            // The mask holds at least one day, so a week at most.
            while (!dayAllowed(daysOfWeek, c))
                c += 1;
        }
        break;
    }
    case 5:
        c = GetFirstDayOfMonth(reference);
        break;
    case 6:
        c = GetLastDayOfMonth(reference);
        break;
    }
    if (type >= 3)
        c = std::floor(c) + static_cast<double>(start) / 86400.0;
    checkRange(c);
    return NormalizeLocalTime(c);
}

} // namespace

int32_t MaxIntervalIncrement(int32_t IntervalType)
{
    switch (IntervalType) {
    case 2:
        return 50'000'000;
    case 3:
        return 2'000'000;
    default:
        return std::numeric_limits<int32_t>::max();
    }
}

ScheduleFault CheckScheduleFields(int32_t IntervalType, int32_t IntervalIncrement, DateValue StartTime,
                                  int32_t DaysOfWeek)
{
    if (IntervalType < 0 || IntervalType > 6)
        return ScheduleFault::UnknownIntervalType;
    if (IntervalType >= 1 && IntervalType <= 3 && IntervalIncrement < 1)
        return ScheduleFault::IncrementBelowOne;
    if (IntervalIncrement > MaxIntervalIncrement(IntervalType))
        return ScheduleFault::IncrementTooLarge;
    if (IntervalType == 4 && (DaysOfWeek & kAllDays) == 0)
        return ScheduleFault::NoDaysOfWeek;
    if (IntervalType >= 3 && !(std::isfinite(StartTime) && StartTime >= 0 && StartTime < 1))
        return ScheduleFault::StartTimeNotTimeOfDay;
    return ScheduleFault::None;
}

std::string ScheduleFaultText(ScheduleFault fault)
{
    switch (fault) {
    case ScheduleFault::None:
        return {};
    case ScheduleFault::UnknownIntervalType:
        return "the interval type is not one of 0 to 6";
    case ScheduleFault::IncrementBelowOne:
        return "the interval increment is below 1";
    case ScheduleFault::IncrementTooLarge:
        return "the interval increment is too large for a next run to be found";
    case ScheduleFault::NoDaysOfWeek:
        return "no day of the week is chosen";
    case ScheduleFault::StartTimeNotTimeOfDay:
        return "the start time is not a time of day";
    }
    return {};
}

DateValue DetermineNextCloneDateTime(DateValue reference, int32_t IntervalType, int32_t IntervalIncrement,
                                     DateValue StartTime, int32_t& DaysOfWeek)
{
    if (IntervalType == 3)
        DaysOfWeek = kAllDays;
    if (IntervalType == 0 ||
        CheckScheduleFields(IntervalType, IntervalIncrement, StartTime, DaysOfWeek) != ScheduleFault::None)
        return 0;
    return Guarded("modKestrow.DetermineNextCloneDateTime", DateValue{0}, [&] {
        checkRange(reference);
        DateValue r = reference;
        // Types 1 to 4 start again at most once (from now nothing lies in the past);
        // types 5 and 6 go on month by month, so a reference months back skips straight
        // to the present month, which is where those steps would arrive.
        for (int pass = 0; pass < 4; ++pass) {
            const DateValue now = currentClock().now();
            checkRange(now);
            if (IntervalType >= 5 && GetFirstDayOfMonth(r) < GetFirstDayOfMonth(now))
                r = GetFirstDayOfMonth(now);
            const DateValue c = candidate(r, now, IntervalType, IntervalIncrement, StartTime, DaysOfWeek);
            if (WallSecondsBetween(c, now) <= 0)
                return c;
            r = IntervalType <= 4 ? now : GetFirstDayOfMonth(AddMonths(r, 1));
        }
        throw RuntimeError(errnum::Generic, "Invalid procedure call or argument");
    });
}

DateValue GetFirstDayOfMonth(DateValue value)
{
    DateParts p = partsFromDate(std::floor(value));
    return dateFromParts({p.year, p.month, 1, 0, 0, 0});
}

DateValue GetLastDayOfMonth(DateValue value)
{
    return AddMonths(GetFirstDayOfMonth(value), 1) - 1;
}

int32_t ConvertToKWDayOfWeek(int32_t weekday)
{
    switch (weekday) {
    case 1:
        return 6; // Sunday
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
        return weekday - 2; // Monday 0 ... Saturday 5
    default:
        return 0;
    }
}

int32_t WeekdayOf(DateValue value)
{
    // Day 0, 30 December 1899, was a Saturday.
    const int64_t day = static_cast<int64_t>(std::floor(value));
    const int64_t fromSunday = ((day + 6) % 7 + 7) % 7;
    return static_cast<int32_t>(fromSunday + 1);
}

DateValue AddMonths(DateValue value, int32_t months)
{
    const DateValue day = std::floor(value);
    const DateParts p = partsFromDate(day);
    const int64_t monthIndex = static_cast<int64_t>(p.year) * 12 + (p.month - 1) + months;
    const int year = static_cast<int>(monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12);
    const int month = static_cast<int>(monthIndex - static_cast<int64_t>(year) * 12) + 1;
    const DateValue first = dateFromParts({year, month, 1, 0, 0, 0});
    const int nextYear = month == 12 ? year + 1 : year;
    const int nextMonth = month == 12 ? 1 : month + 1;
    const int daysInMonth = static_cast<int>(dateFromParts({nextYear, nextMonth, 1, 0, 0, 0}) - first);
    const int dayOfMonth = p.day < daysInMonth ? p.day : daysInMonth;
    return first + (dayOfMonth - 1) + (value - day);
}

// The row icons of the main window follow IsNextScheduledTask and ErrorOnLastClone
// when the window refreshes its rows; nothing here knows about the window.
void cCloneTasks::SetNextScheduledTask()
{
    Guarded("cCloneTasks.SetNextScheduledTask", [&] {
        for (const CloneTaskPtr& task : m_tasks) {
            task->setIsNextScheduledTask(false);
            runHost().processEvents();
        }
        CloneTaskPtr next;
        for (const CloneTaskPtr& task : m_tasks) {
            if (task->IntervalType() == 0)
                continue;
            // A task that has run but whose next run could not be computed is not
            // due at every tick: it waits, with its error shown, for its schedule
            // to be mended.
            if (task->NextCloneDateTime() == 0 && task->LastCloneDateTime() != 0)
                continue;
            if (!next || WallSecondsBetween(task->NextCloneDateTime(), next->NextCloneDateTime()) > 0)
                next = task;
        }
        if (next)
            next->setIsNextScheduledTask(true);
    });
}

} // namespace kestrow
