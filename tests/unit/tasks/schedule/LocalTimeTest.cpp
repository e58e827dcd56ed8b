#include "base/LocalTime.h"
#include "tests/unit/tasks/schedule/ScheduleTestSupport.h"

#include <gtest/gtest.h>

using namespace kestrow;
using namespace kestrow::test;

namespace {

struct ZoneCase
{
    const char* name;
    const char* zone;
    When local;
    int64_t epoch; // the instant the local value denotes
    bool gap;      // the local time never occurs
    When normal;   // NormalizeLocalTime
};

// Instants checked against `date -d ... +%s` of the same zone.
const ZoneCase kZoneCases[] = {
    {"BerlinBeforeSpringJump", "Europe/Berlin", When{2026, 3, 29, 1, 59, 59}, 1774745999, false,
     When{2026, 3, 29, 1, 59, 59}},
    {"BerlinAfterSpringJump", "Europe/Berlin", When{2026, 3, 29, 3, 0, 0}, 1774746000, false,
     When{2026, 3, 29, 3, 0, 0}},
    {"BerlinInSpringGapTakesOffsetBefore", "Europe/Berlin", When{2026, 3, 29, 2, 30, 0}, 1774747800, true,
     When{2026, 3, 29, 3, 30, 0}},
    {"BerlinRepeatedHourTakesFirstOccurrence", "Europe/Berlin", When{2026, 10, 25, 2, 30, 0}, 1792888200,
     false, When{2026, 10, 25, 2, 30, 0}},
    {"BerlinAfterRepeatedHour", "Europe/Berlin", When{2026, 10, 25, 3, 0, 0}, 1792893600, false,
     When{2026, 10, 25, 3, 0, 0}},
    {"NewYorkInSpringGap", "America/New_York", When{2026, 3, 8, 2, 15, 0}, 1772954100, true,
     When{2026, 3, 8, 3, 15, 0}},
    {"NewYorkGapStartsAtTwo", "America/New_York", When{2026, 3, 8, 2, 0, 0}, 1772953200, true,
     When{2026, 3, 8, 3, 0, 0}},
    {"NewYorkRepeatedHourTakesFirstOccurrence", "America/New_York", When{2026, 11, 1, 1, 30, 0}, 1793511000,
     false, When{2026, 11, 1, 1, 30, 0}},
    {"NewYorkWinter", "America/New_York", When{2026, 1, 15, 12, 0, 0}, 1768496400, false,
     When{2026, 1, 15, 12, 0, 0}},
};

void PrintTo(const ZoneCase& c, std::ostream* os)
{
    *os << c.name;
}

class LocalTimeZones : public ::testing::TestWithParam<ZoneCase>
{
};

} // namespace

TEST_P(LocalTimeZones, InstantGapAndNormalForm)
{
    const ZoneCase& c = GetParam();
    ZoneScope zone(c.zone);
    EXPECT_EQ(LocalToEpochSeconds(c.local.value()), c.epoch);
    EXPECT_EQ(IsInDaylightSavingGap(c.local.value()), c.gap);
    EXPECT_EQ(iso(NormalizeLocalTime(c.local.value())), iso(c.normal.value()));
    // Every instant maps back to the wall time the zone shows for it.
    EXPECT_EQ(iso(EpochSecondsToLocal(c.epoch)), iso(c.normal.value()));
}

INSTANTIATE_TEST_SUITE_P(Zones, LocalTimeZones, ::testing::ValuesIn(kZoneCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LocalTime, ElapsedSecondsCountRealTimeAcrossChanges)
{
    {
        ZoneScope zone("Europe/Berlin");
        // 01:00 to 04:00 on the night clocks jump forward: two real hours.
        EXPECT_EQ(ElapsedSeconds(at(2026, 3, 29, 1, 0), at(2026, 3, 29, 4, 0)), 2 * 3600);
        // The night clocks go back: four real hours.
        EXPECT_EQ(ElapsedSeconds(at(2026, 10, 25, 1, 0), at(2026, 10, 25, 4, 0)), 4 * 3600);
    }
    {
        ZoneScope zone("America/New_York");
        EXPECT_EQ(ElapsedSeconds(at(2026, 3, 8, 0, 0), at(2026, 3, 9, 0, 0)), 23 * 3600);
        EXPECT_EQ(ElapsedSeconds(at(2026, 11, 1, 0, 0), at(2026, 11, 2, 0, 0)), 25 * 3600);
    }
}

TEST(LocalTime, TruncateAndWallSecondsTolerateDayFractionRounding)
{
    // 10:00:00 built from a fraction a hair short still reads as 10:00:00.
    const DateValue tenOClock = at(2026, 5, 4) + 10.0 / 24.0 - 1e-12;
    EXPECT_EQ(iso(TruncateToSeconds(tenOClock)), "2026-05-04 10:00:00");
    EXPECT_EQ(iso(TruncateToSeconds(at(2026, 5, 4, 10, 0, 7) + 0.9 / 86400)), "2026-05-04 10:00:07");
    EXPECT_EQ(WallSecondsBetween(at(2026, 5, 4, 10, 0, 0), at(2026, 5, 4, 10, 0, 1) - 0.2 / 86400), 0);
    EXPECT_EQ(WallSecondsBetween(at(2026, 5, 4, 10, 0, 5), at(2026, 5, 4, 10, 0, 0)), -5);
    // The difference is cut, not the two ends: 0.6 s across a second boundary is 0.
    EXPECT_EQ(
        WallSecondsBetween(at(2026, 5, 4, 10, 0, 0) + 0.6 / 86400, at(2026, 5, 4, 10, 0, 1) + 0.2 / 86400),
        0);
    EXPECT_EQ(
        WallSecondsBetween(at(2026, 5, 4, 10, 0, 1) + 0.2 / 86400, at(2026, 5, 4, 10, 0, 0) + 0.6 / 86400),
        0);
    // A day's whole seconds survive the rounding of day fractions.
    EXPECT_EQ(WallSecondsBetween(at(2026, 5, 4) + 1.0 / 3, at(2026, 5, 4, 8, 0, 1)), 1);
}
