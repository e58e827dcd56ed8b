#pragma once
// The local time zone in force (TZ): its offset from UTC at an instant (seconds since
// 1970-01-01 UTC).

#include <cstdint>

namespace kestrow::platform {

// The local offset from UTC in seconds (east positive) in force at an instant.
long utcOffsetAt(int64_t epochSeconds);

// Sets the TZ environment variable and makes the C library re-read it (tzset).
// An empty name unsets TZ (the system's zone). Process-wide: for tests and start-up.
void setTimeZone(const char* name);

} // namespace kestrow::platform
