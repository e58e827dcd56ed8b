#include "base/LocalTime.h"

#include "platform/LocalTime.h"

#include <cmath>

namespace kestrow {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Day number of 1970-01-01 in DateValue's count (from 30 December 1899).
constexpr int64_t kUnixEpochDay = 25569;

// A local value as whole seconds on the wall clock, counted from 1970-01-01 00:00
// as if that clock were UTC. The small allowance keeps 10:00:00 from reading as
// 09:59:59 when the fraction is a hair short.
int64_t wallSecondsOf(DateValue value)
{
    return static_cast<int64_t>(std::floor(value * kSecondsPerDay + 1e-4)) - kUnixEpochDay * kSecondsPerDay;
}

DateValue valueOfWallSeconds(int64_t wall)
{
    return static_cast<double>(wall + kUnixEpochDay * kSecondsPerDay) / kSecondsPerDay;
}

int64_t wallOfInstant(int64_t epoch)
{
    return epoch + platform::utcOffsetAt(epoch);
}

struct Resolved
{
    int64_t epoch = 0;
    bool gap = false;
};

// The instant of a wall-clock second. Offsets are taken a day either side, which
// covers every zone whose changes are more than a day apart (all of them).
Resolved resolve(int64_t wall)
{
    const long before = platform::utcOffsetAt(wall - kSecondsPerDay);
    const long after = platform::utcOffsetAt(wall + kSecondsPerDay);
    const int64_t withBefore = wall - before;
    const int64_t withAfter = wall - after;
    const bool beforeFits = wallOfInstant(withBefore) == wall;
    const bool afterFits = wallOfInstant(withAfter) == wall;
    if (beforeFits && afterFits)
        return {withBefore < withAfter ? withBefore : withAfter, false};
    if (beforeFits)
        return {withBefore, false};
    if (afterFits)
        return {withAfter, false};
    // Neither offset gives this wall time back: it lies in a gap.
    return {withBefore, true};
}

} // namespace

int64_t LocalToEpochSeconds(DateValue local)
{
    return resolve(wallSecondsOf(local)).epoch;
}

DateValue EpochSecondsToLocal(int64_t epochSeconds)
{
    return valueOfWallSeconds(wallOfInstant(epochSeconds));
}

bool IsInDaylightSavingGap(DateValue local)
{
    return resolve(wallSecondsOf(local)).gap;
}

DateValue NormalizeLocalTime(DateValue local)
{
    const int64_t wall = wallSecondsOf(local);
    const Resolved r = resolve(wall);
    if (!r.gap)
        return local;
    const DateValue fraction = local - valueOfWallSeconds(wall);
    return valueOfWallSeconds(wallOfInstant(r.epoch)) + (fraction > 0 ? fraction : 0);
}

int64_t ElapsedSeconds(DateValue from, DateValue to)
{
    return LocalToEpochSeconds(to) - LocalToEpochSeconds(from);
}

DateValue TruncateToSeconds(DateValue value)
{
    return valueOfWallSeconds(wallSecondsOf(value));
}

int64_t WallSecondsBetween(DateValue from, DateValue to)
{
    const double seconds = (to - from) * kSecondsPerDay;
    return static_cast<int64_t>(seconds >= 0 ? std::floor(seconds + 1e-4) : std::ceil(seconds - 1e-4));
}

} // namespace kestrow
