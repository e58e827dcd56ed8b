#pragma once
// Local-time rules for DateValue (a local wall-clock time without a UTC offset).
// Two kinds of wall-clock value are special at daylight-saving changes:
// - a gap (clocks jump forward, e.g. 02:00 -> 03:00): the times in between never
//   occur; read as an instant they are taken with the offset in force before the
//   change, so 02:30 is the instant the clock shows as 03:30;
// - a repeat (clocks go back, e.g. 03:00 -> 02:00): the times in between occur
//   twice; read as an instant they are taken at their first occurrence.

#include "base/DateTime.h"

#include <cstdint>

namespace kestrow {

// The instant (seconds since 1970 UTC) a local value denotes, to the whole second.
int64_t LocalToEpochSeconds(DateValue local);

// The local value of an instant.
DateValue EpochSecondsToLocal(int64_t epochSeconds);

// Whether the local value falls in a gap (a wall-clock time that never occurs).
bool IsInDaylightSavingGap(DateValue local);

// A local value in a gap moved forward by the length of the gap (02:30 -> 03:30 on
// a day whose clocks jump from 02:00 to 03:00), so it names the moment it would have
// reached without the jump; any other value unchanged (fraction below a second kept).
DateValue NormalizeLocalTime(DateValue local);

// Real seconds elapsed from `from` to `to` (negative when `to` is earlier).
int64_t ElapsedSeconds(DateValue from, DateValue to);

// A value cut to its whole second (tolerant of the rounding in day fractions).
DateValue TruncateToSeconds(DateValue value);

// Whole seconds from `from` to `to` as wall-clock values, no time-zone rules: the
// difference cut toward zero (half a second is 0), tolerant of the rounding in day
// fractions. The seconds difference the program's date comparisons use.
int64_t WallSecondsBetween(DateValue from, DateValue to);

} // namespace kestrow
