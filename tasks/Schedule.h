#pragma once
// Schedule computation: when a scheduled task runs next.
//
// All values are local wall-clock DateValues, as the scheduler compares them
// (base/LocalTime.h). Minutes and hours are added on the wall clock; a result
// that falls into a daylight-saving gap is moved forward by the gap's length, which is
// the moment the interval has really elapsed (01:50 + 15 minutes on a night whose clocks
// jump from 02:00 to 03:00 gives 03:05). A time that occurs twice when clocks go back is
// due at its first occurrence. "Now" is currentClock().now().
//
// Interval types: 1 every IntervalIncrement minutes, 2 every IntervalIncrement hours,
// 3 every IntervalIncrement days, 4 on the days of DaysOfWeek, 5 first day of the
// month, 6 last day of the month; types 3 to 6 at the time of day of StartTime.
//
// Type 3: the next run is IntervalIncrement days after the reference day, at
// StartTime; but while today's StartTime is still ahead (to the minute), today at
// StartTime. With an increment of 1 it behaves as type 4 with every day allowed.
//
// Fields that would never give a result are refused instead of computed
// (ScheduleFault): an unknown type, an increment below 1 for types 1 to 3 or above
// MaxIntervalIncrement (a next run past the last representable date), a type-4
// mask without any of the seven day bits, and a StartTime outside one day (a date
// part, or negative) for types 3 to 6. For these DetermineNextCloneDateTime returns 0
// without a report; the caller finds out why with CheckScheduleFields and reports it.

#include "base/DateTime.h"

#include <cstdint>
#include <string>

namespace kestrow {

// The schedule fields of a task, as plain values.
struct ScheduleSpec
{
    int32_t IntervalType = 0;
    int32_t IntervalIncrement = 1;
    DateValue StartTime = 0.5;
    int32_t DaysOfWeek = 127; // bit 0 Monday ... bit 6 Sunday
};

enum class ScheduleFault
{
    None,                  // computable (or type 0, which is never scheduled)
    UnknownIntervalType,   // not 0 to 6
    IncrementBelowOne,     // types 1 to 3
    IncrementTooLarge,     // types 2 and 3 above MaxIntervalIncrement
    NoDaysOfWeek,          // type 4 with none of bits 0 to 6 set
    StartTimeNotTimeOfDay, // types 3 to 6: StartTime below 0 or with a date part
};

// The largest increment of a type whose next run is still a date: some 5,700 years
// of hours, 5,400 of days (every count of minutes is); INT32_MAX for other types.
int32_t MaxIntervalIncrement(int32_t IntervalType);

// Why the fields cannot be scheduled, or None.
ScheduleFault CheckScheduleFields(int32_t IntervalType, int32_t IntervalIncrement, DateValue StartTime,
                                  int32_t DaysOfWeek);
inline ScheduleFault CheckScheduleFields(const ScheduleSpec& s)
{
    return CheckScheduleFields(s.IntervalType, s.IntervalIncrement, s.StartTime, s.DaysOfWeek);
}

// A short English explanation of a fault, for messages and the log
// (e.g. "no day of the week is chosen"); empty for None.
std::string ScheduleFaultText(ScheduleFault fault);

// The next run after `reference` (a run time, or now). Type 3 stores 127 into
// DaysOfWeek. Returns 0 for type 0, for refused fields (see above, no report), and
// after a report as "modKestrow.DetermineNextCloneDateTime" on an unexpected error.
// Never earlier than now (to the second) unless it returns 0.
DateValue DetermineNextCloneDateTime(DateValue reference, int32_t IntervalType, int32_t IntervalIncrement,
                                     DateValue StartTime, int32_t& DaysOfWeek);
inline DateValue DetermineNextCloneDateTime(DateValue reference, ScheduleSpec& spec)
{
    return DetermineNextCloneDateTime(reference, spec.IntervalType, spec.IntervalIncrement, spec.StartTime,
                                      spec.DaysOfWeek);
}

// The first day of the value's month at 00:00.
DateValue GetFirstDayOfMonth(DateValue value);

// The last day of the value's month at 00:00 (the first day plus one month minus one day).
DateValue GetLastDayOfMonth(DateValue value);

// cCloneTasks::SetNextScheduledTask (declared in tasks/cCloneTasks.h) is defined in
// Schedule.cpp with the rest of the schedule rules.

// Weekday 1 (Sunday) to 7 (Saturday) -> day bit: Monday 0 ... Saturday 5, Sunday 6;
// any other input 0.
int32_t ConvertToKWDayOfWeek(int32_t weekday);

// The weekday of a date, 1 (Sunday) to 7 (Saturday).
int32_t WeekdayOf(DateValue value);

// The value plus a number of calendar months; a day that the target month lacks
// becomes its last day (31 January + 1 month = 28 or 29 February). Time of day kept.
DateValue AddMonths(DateValue value, int32_t months);

} // namespace kestrow
