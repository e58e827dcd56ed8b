#pragma once
// Conversions between instants (seconds since 1970-01-01 UTC) and the local
// wall-clock time of the time zone in force (TZ).

#include <cstdint>

namespace kestrow::platform {

struct WallTime
{
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The local wall-clock time of an instant, and the local offset from UTC in seconds
// (east positive) in force at that instant.
WallTime wallTimeAt(int64_t epochSeconds);
long utcOffsetAt(int64_t epochSeconds);

// Seconds from 1970-01-01 00:00:00 to a wall time read as if it were UTC (plain
// calendar arithmetic, no time zone).
int64_t wallSeconds(const WallTime& wall);

// The present instant, whole seconds.
int64_t nowEpochSeconds();

// Sets the TZ environment variable and makes the C library re-read it (tzset).
// An empty name unsets TZ (the system's zone). Process-wide: for tests and start-up.
void setTimeZone(const char* name);

} // namespace kestrow::platform
