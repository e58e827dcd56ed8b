#include "tasks/Schedule.h"

#include "base/LocalTime.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/unit/tasks/schedule/ScheduleTestSupport.h"

#include <gtest/gtest.h>

using namespace kestrow;
using namespace kestrow::test;

namespace {

constexpr int32_t Mon = 1, Wed = 4, Sun = 64;

struct ScheduleCase
{
    const char* name;
    const char* zone;
    When now;
    When reference;
    int32_t type;
    int32_t increment;
    DateValue start;
    int32_t days;
    When expected;
};

// 2 March 2026 is a Monday; 29 March and 25 October 2026 are the Berlin changes,
// 8 March and 1 November 2026 the New York ones.
const ScheduleCase kCases[] = {
    // Minutes and hours: the reference plus the interval, or now plus it once that is past.
    {"MinutesFromLastRun", "UTC", When{2026, 5, 4, 10, 5}, When{2026, 5, 4, 10, 0}, 1, 15, 0.5, 127,
     When{2026, 5, 4, 10, 15}},
    {"MinutesMissedRestartFromNow", "UTC", When{2026, 5, 4, 11, 0}, When{2026, 5, 4, 10, 0}, 1, 15, 0.5, 127,
     When{2026, 5, 4, 11, 15}},
    {"HoursFromLastRun", "UTC", When{2026, 5, 4, 10, 30}, When{2026, 5, 4, 10, 0, 4}, 2, 3, 0.5, 127,
     When{2026, 5, 4, 13, 0, 4}},
    {"HoursOverMidnightAndMonthEnd", "UTC", When{2026, 4, 30, 22, 0}, When{2026, 4, 30, 21, 0}, 2, 5, 0.5,
     127, When{2026, 5, 1, 2, 0}},
    {"MinutesStartTimeWithDateIgnored", "UTC", When{2026, 5, 4, 10, 5}, When{2026, 5, 4, 10, 0}, 1, 15,
     45000.5, 127, When{2026, 5, 4, 10, 15}},

    // Days of the week.
    {"WeekdayTodayWhileStartAhead", "UTC", When{2026, 3, 2, 8, 0}, When{2026, 3, 2, 8, 0}, 4, 1,
     timeOfDay(20, 0), Mon | Wed, When{2026, 3, 2, 20, 0}},
    {"WeekdayNextAllowedDayAfterRun", "UTC", When{2026, 3, 2, 21, 0}, When{2026, 3, 2, 20, 0, 5}, 4, 1,
     timeOfDay(20, 0), Mon | Wed, When{2026, 3, 4, 20, 0}},
    {"WeekdayStartNotAheadToTheMinute", "UTC", When{2026, 3, 2, 20, 0, 30}, When{2026, 3, 2, 20, 0, 30}, 4, 1,
     timeOfDay(20, 0), Mon | Wed, When{2026, 3, 4, 20, 0}},
    {"WeekdayTodayNotAllowed", "UTC", When{2026, 3, 3, 8, 0}, When{2026, 3, 3, 8, 0}, 4, 0, timeOfDay(20, 0),
     Mon | Wed, When{2026, 3, 4, 20, 0}},
    {"WeekdayWrapsIntoNextWeek", "UTC", When{2026, 3, 5, 9, 0}, When{2026, 3, 4, 20, 0, 2}, 4, 1,
     timeOfDay(20, 0), Mon | Wed, When{2026, 3, 9, 20, 0}},
    {"WeekdaySundayOnly", "UTC", When{2026, 3, 7, 23, 0}, When{2026, 3, 7, 23, 0}, 4, 1, timeOfDay(22, 0),
     Sun, When{2026, 3, 8, 22, 0}},
    {"WeekdayStaleReferenceRestartsFromNow", "UTC", When{2026, 3, 18, 21, 0}, When{2026, 3, 2, 20, 0}, 4, 1,
     timeOfDay(20, 0), Mon | Wed, When{2026, 3, 23, 20, 0}},
    {"WeekdayHighBitsIgnored", "UTC", When{2026, 3, 2, 21, 0}, When{2026, 3, 2, 21, 0}, 4, 1,
     timeOfDay(20, 0), Wed | 1024, When{2026, 3, 4, 20, 0}},

    // Every few days: increment days after the reference day; today while StartTime is ahead.
    {"DaysOneIsTomorrow", "UTC", When{2026, 3, 2, 12, 0, 5}, When{2026, 3, 2, 12, 0, 3}, 3, 1,
     timeOfDay(12, 0), 5, When{2026, 3, 3, 12, 0}},
    {"DaysThreeFromReferenceDay", "UTC", When{2026, 3, 2, 12, 0, 5}, When{2026, 3, 2, 12, 0, 3}, 3, 3,
     timeOfDay(12, 0), 127, When{2026, 3, 5, 12, 0}},
    {"DaysTodayWhileStartAhead", "UTC", When{2026, 3, 2, 8, 0}, When{2026, 3, 1, 12, 0}, 3, 3,
     timeOfDay(12, 0), 127, When{2026, 3, 2, 12, 0}},
    {"DaysStaleReferenceRestartsFromNow", "UTC", When{2026, 3, 10, 14, 0}, When{2026, 3, 2, 12, 0}, 3, 3,
     timeOfDay(12, 0), 127, When{2026, 3, 13, 12, 0}},
    {"DaysAcrossLeapDay", "UTC", When{2028, 2, 27, 13, 0}, When{2028, 2, 27, 12, 0}, 3, 2, timeOfDay(12, 0),
     127, When{2028, 2, 29, 12, 0}},
    {"DaysAcrossYearEnd", "UTC", When{2026, 12, 30, 13, 0}, When{2026, 12, 30, 12, 0}, 3, 5, timeOfDay(6, 30),
     127, When{2027, 1, 4, 6, 30}},

    // First and last day of the month.
    {"FirstOfMonthAfterRun", "UTC", When{2026, 3, 1, 6, 0, 7}, When{2026, 3, 1, 6, 0, 2}, 5, 1,
     timeOfDay(6, 0), 127, When{2026, 4, 1, 6, 0}},
    {"FirstOfMonthTodayStillAhead", "UTC", When{2026, 3, 1, 5, 0}, When{2026, 2, 1, 6, 0, 2}, 5, 1,
     timeOfDay(6, 0), 127, When{2026, 3, 1, 6, 0}},
    {"FirstOfMonthFarBackReference", "UTC", When{2026, 5, 15, 9, 0}, When{2019, 7, 1, 6, 0}, 5, 1,
     timeOfDay(6, 0), 127, When{2026, 6, 1, 6, 0}},
    {"FirstOfMonthNeverRan", "UTC", When{2026, 5, 15, 9, 0}, When{}, 5, 1, timeOfDay(6, 0), 127,
     When{2026, 6, 1, 6, 0}},
    {"LastOfMonthIntoFebruary", "UTC", When{2026, 1, 31, 23, 0, 5}, When{2026, 1, 31, 23, 0}, 6, 1,
     timeOfDay(22, 0), 127, When{2026, 2, 28, 22, 0}},
    {"LastOfMonthIntoLeapFebruary", "UTC", When{2028, 1, 31, 23, 0, 5}, When{2028, 1, 31, 23, 0}, 6, 1,
     timeOfDay(22, 0), 127, When{2028, 2, 29, 22, 0}},
    {"LastOfMonthFromLeapDay", "UTC", When{2028, 2, 29, 22, 0, 9}, When{2028, 2, 29, 22, 0, 2}, 6, 1,
     timeOfDay(22, 0), 127, When{2028, 3, 31, 22, 0}},
    {"LastOfMonthStillAheadThisMonth", "UTC", When{2026, 4, 10, 8, 0}, When{2026, 3, 31, 22, 0, 1}, 6, 1,
     timeOfDay(22, 0), 127, When{2026, 4, 30, 22, 0}},
    {"LastOfMonthDecemberToJanuary", "UTC", When{2026, 12, 31, 22, 0, 3}, When{2026, 12, 31, 22, 0, 1}, 6, 1,
     timeOfDay(22, 0), 127, When{2027, 1, 31, 22, 0}},

    // Europe/Berlin: clocks jump 02:00 -> 03:00 on 29 March, go back 03:00 -> 02:00 on 25 October.
    {"BerlinMinutesOverSpringGap", "Europe/Berlin", When{2026, 3, 29, 1, 55}, When{2026, 3, 29, 1, 50}, 1, 15,
     0.5, 127, When{2026, 3, 29, 3, 5}},
    {"BerlinHoursOverSpringGap", "Europe/Berlin", When{2026, 3, 29, 1, 31}, When{2026, 3, 29, 1, 30}, 2, 1,
     0.5, 127, When{2026, 3, 29, 3, 30}},
    {"BerlinStartTimeInSpringGap", "Europe/Berlin", When{2026, 3, 28, 10, 0}, When{2026, 3, 28, 10, 0}, 4, 1,
     timeOfDay(2, 30), 127, When{2026, 3, 29, 3, 30}},
    {"BerlinDayAfterSpringGapKeepsStartTime", "Europe/Berlin", When{2026, 3, 29, 3, 30, 4},
     When{2026, 3, 29, 3, 30, 2}, 3, 1, timeOfDay(2, 30), 127, When{2026, 3, 30, 2, 30}},
    {"BerlinDailyOverSpringChange", "Europe/Berlin", When{2026, 3, 28, 9, 0, 4}, When{2026, 3, 28, 9, 0, 2},
     3, 1, timeOfDay(9, 0), 127, When{2026, 3, 29, 9, 0}},
    {"BerlinHoursIntoRepeatedHour", "Europe/Berlin", When{2026, 10, 25, 1, 31}, When{2026, 10, 25, 1, 30}, 2,
     1, 0.5, 127, When{2026, 10, 25, 2, 30}},
    {"BerlinStartTimeInRepeatedHour", "Europe/Berlin", When{2026, 10, 24, 10, 0}, When{2026, 10, 24, 10, 0},
     4, 1, timeOfDay(2, 30), 127, When{2026, 10, 25, 2, 30}},
    {"BerlinLastOfMarchAfterChange", "Europe/Berlin", When{2026, 2, 28, 22, 0, 5},
     When{2026, 2, 28, 22, 0, 1}, 6, 1, timeOfDay(22, 0), 127, When{2026, 3, 31, 22, 0}},

    // America/New_York: clocks jump 02:00 -> 03:00 on 8 March, go back 02:00 -> 01:00 on 1 November.
    {"NewYorkMinutesOverSpringGap", "America/New_York", When{2026, 3, 8, 1, 50}, When{2026, 3, 8, 1, 45}, 1,
     30, 0.5, 127, When{2026, 3, 8, 3, 15}},
    {"NewYorkStartTimeAtGapStart", "America/New_York", When{2026, 3, 7, 12, 0}, When{2026, 3, 7, 12, 0}, 3, 1,
     timeOfDay(2, 0), 127, When{2026, 3, 8, 3, 0}},
    {"NewYorkWeekdayOnChangeDay", "America/New_York", When{2026, 3, 7, 12, 0}, When{2026, 3, 7, 12, 0}, 4, 1,
     timeOfDay(23, 0), Sun, When{2026, 3, 8, 23, 0}},
    {"NewYorkHoursIntoRepeatedHour", "America/New_York", When{2026, 11, 1, 0, 40}, When{2026, 11, 1, 0, 30},
     2, 1, 0.5, 127, When{2026, 11, 1, 1, 30}},
    {"NewYorkFirstOfNovemberInRepeatedHour", "America/New_York", When{2026, 10, 15, 9, 0},
     When{2026, 10, 1, 1, 30}, 5, 1, timeOfDay(1, 30), 127, When{2026, 11, 1, 1, 30}},
};

void PrintTo(const ScheduleCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScheduleCases : public ::testing::TestWithParam<ScheduleCase>
{
protected:
    TempDir dir;
    ScriptedUiServices ui;
};

} // namespace

TEST_P(ScheduleCases, NextRun)
{
    const ScheduleCase& c = GetParam();
    ZoneScope zone(c.zone);
    ManualClock clock(c.now.value());
    ScopedClock useClock(clock);
    int32_t days = c.days;
    const DateValue next =
        DetermineNextCloneDateTime(c.reference.value(), c.type, c.increment, c.start, days);
    EXPECT_EQ(iso(next), iso(c.expected.value()));
    EXPECT_EQ(days, c.type == 3 ? 127 : c.days);
    // A next run is never in the past and never a time the clock skips.
    EXPECT_GE(WallSecondsBetween(c.now.value(), next), 0);
    EXPECT_FALSE(IsInDaylightSavingGap(next));
    EXPECT_TRUE(ui.prompts().empty());
}

INSTANTIATE_TEST_SUITE_P(AllTypes, ScheduleCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Schedule, IntervalsOverSpringGapAreRealElapsedTime)
{
    ZoneScope zone("Europe/Berlin");
    ManualClock clock(at(2026, 3, 29, 1, 50, 1));
    ScopedClock useClock(clock);
    int32_t days = 127;
    const DateValue ref = at(2026, 3, 29, 1, 50);
    EXPECT_EQ(ElapsedSeconds(ref, DetermineNextCloneDateTime(ref, 1, 15, 0.5, days)), 15 * 60);
    EXPECT_EQ(ElapsedSeconds(ref, DetermineNextCloneDateTime(ref, 2, 1, 0.5, days)), 3600);
}

TEST(Schedule, ScheduleSpecOverloadSetsDaysForTypeThree)
{
    ManualClock clock(at(2026, 3, 2, 8, 0));
    ScopedClock useClock(clock);
    ScheduleSpec spec{3, 1, timeOfDay(12, 0), 5};
    EXPECT_EQ(iso(DetermineNextCloneDateTime(at(2026, 3, 2, 8, 0), spec)), "2026-03-02 12:00:00");
    EXPECT_EQ(spec.DaysOfWeek, 127);
}

TEST(Schedule, ManualTaskHasNoNextRun)
{
    ManualClock clock(at(2026, 3, 2, 8, 0));
    ScopedClock useClock(clock);
    int32_t days = 5;
    EXPECT_EQ(DetermineNextCloneDateTime(at(2026, 3, 2, 8, 0), 0, 1, 0.5, days), 0.0);
    EXPECT_EQ(days, 5);
    EXPECT_EQ(CheckScheduleFields(0, -3, 7.5, 0), ScheduleFault::None);
}

namespace {

struct FaultCase
{
    const char* name;
    int32_t type;
    int32_t increment;
    DateValue start;
    int32_t days;
    ScheduleFault fault;
};

// Fields the steps could never finish with are refused at once, without a report.
const FaultCase kFaults[] = {
    {"WeekdaysWithoutDays", 4, 1, 0.5, 0, ScheduleFault::NoDaysOfWeek},
    {"WeekdaysOnlyHighBits", 4, 1, 0.5, 128 | 256, ScheduleFault::NoDaysOfWeek},
    {"MinutesZero", 1, 0, 0.5, 127, ScheduleFault::IncrementBelowOne},
    {"HoursNegative", 2, -5, 0.5, 127, ScheduleFault::IncrementBelowOne},
    {"DaysZero", 3, 0, 0.5, 127, ScheduleFault::IncrementBelowOne},
    {"WeekdaysStartWithDate", 4, 1, 46000.5, 127, ScheduleFault::StartTimeNotTimeOfDay},
    {"DaysStartWithDate", 3, 1, 1.0, 127, ScheduleFault::StartTimeNotTimeOfDay},
    {"FirstOfMonthNegativeStart", 5, 1, -0.25, 127, ScheduleFault::StartTimeNotTimeOfDay},
    {"LastOfMonthStartWithDate", 6, 1, 2.75, 127, ScheduleFault::StartTimeNotTimeOfDay},
    {"TypeSeven", 7, 1, 0.5, 127, ScheduleFault::UnknownIntervalType},
    {"TypeNegative", -1, 1, 0.5, 127, ScheduleFault::UnknownIntervalType},
    {"HoursPastTheLastDate", 2, 2147483647, 0.5, 127, ScheduleFault::IncrementTooLarge},
    {"DaysPastTheLastDate", 3, 2000001, 0.5, 127, ScheduleFault::IncrementTooLarge},
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScheduleFaults : public ::testing::TestWithParam<FaultCase>
{
protected:
    TempDir dir;
    ScriptedUiServices ui;
};

} // namespace

TEST_P(ScheduleFaults, RefusedWithReason)
{
    const FaultCase& c = GetParam();
    ManualClock clock(at(2026, 3, 2, 8, 0));
    ScopedClock useClock(clock);
    EXPECT_EQ(CheckScheduleFields(c.type, c.increment, c.start, c.days), c.fault);
    EXPECT_FALSE(ScheduleFaultText(c.fault).empty());
    int32_t days = c.days;
    EXPECT_EQ(DetermineNextCloneDateTime(at(2026, 3, 2, 8, 0), c.type, c.increment, c.start, days), 0.0);
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(ScheduleFaults, TheLargestIncrementsStillGiveADate)
{
    ManualClock clock(at(2026, 3, 2, 8, 0));
    ScopedClock useClock(clock);
    for (const int32_t type : {1, 2, 3}) {
        int32_t days = 127;
        const DateValue next =
            DetermineNextCloneDateTime(at(2026, 3, 2, 8, 0), type, MaxIntervalIncrement(type), 0.5, days);
        EXPECT_GT(next, at(2026, 3, 2, 8, 0)) << type;
    }
    EXPECT_TRUE(ui.prompts().empty());
}

INSTANTIATE_TEST_SUITE_P(NeverEnding, ScheduleFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Schedule, FaultTextsNameTheProblem)
{
    EXPECT_EQ(ScheduleFaultText(ScheduleFault::None), "");
    EXPECT_EQ(ScheduleFaultText(ScheduleFault::NoDaysOfWeek), "no day of the week is chosen");
    EXPECT_EQ(ScheduleFaultText(ScheduleFault::IncrementBelowOne), "the interval increment is below 1");
}

TEST(Schedule, ResultBeyondTheLastDateIsReportedAndGivesZero)
{
    TempDir dir;
    ScriptedUiServices ui;
    // An increment too large for any date is refused before (see the faults); a
    // clock at the end of the calendar still meets the edge.
    ManualClock clock(at(9999, 12, 30, 13, 0));
    ScopedClock useClock(clock);
    int32_t days = 127;
    EXPECT_EQ(DetermineNextCloneDateTime(at(9999, 12, 30, 12, 0), 3, 5, timeOfDay(12, 0), days), 0.0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Unexpected Error in modKestrow.DetermineNextCloneDateTime");
}

TEST(Schedule, MonthBoundaries)
{
    struct Row
    {
        DateValue date;
        const char* first;
        const char* last;
    } rows[] = {
        {at(2024, 2, 10, 15, 30), "2024-02-01 00:00:00", "2024-02-29 00:00:00"},
        {at(2026, 2, 28, 23, 59, 59), "2026-02-01 00:00:00", "2026-02-28 00:00:00"},
        {at(2100, 2, 1), "2100-02-01 00:00:00", "2100-02-28 00:00:00"},
        {at(2000, 2, 15), "2000-02-01 00:00:00", "2000-02-29 00:00:00"},
        {at(2026, 12, 31, 12, 0), "2026-12-01 00:00:00", "2026-12-31 00:00:00"},
        {at(2026, 4, 30), "2026-04-01 00:00:00", "2026-04-30 00:00:00"},
        {at(2026, 1, 1), "2026-01-01 00:00:00", "2026-01-31 00:00:00"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(iso(GetFirstDayOfMonth(r.date)), r.first) << iso(r.date);
        EXPECT_EQ(iso(GetLastDayOfMonth(r.date)), r.last) << iso(r.date);
    }
}

TEST(Schedule, AddMonthsLandsOnLastDayOfShorterMonth)
{
    EXPECT_EQ(iso(AddMonths(at(2026, 1, 31, 6, 0), 1)), "2026-02-28 06:00:00");
    EXPECT_EQ(iso(AddMonths(at(2028, 1, 30), 1)), "2028-02-29 00:00:00");
    EXPECT_EQ(iso(AddMonths(at(2026, 3, 31), 1)), "2026-04-30 00:00:00");
    EXPECT_EQ(iso(AddMonths(at(2026, 12, 15), 1)), "2027-01-15 00:00:00");
    EXPECT_EQ(iso(AddMonths(at(2026, 1, 15), -1)), "2025-12-15 00:00:00");
    EXPECT_EQ(iso(AddMonths(at(2026, 5, 31), 14)), "2027-07-31 00:00:00");
}

TEST(Schedule, WeekdayNumbering)
{
    const int32_t bits[] = {0, 6, 0, 1, 2, 3, 4, 5, 0}; // inputs 0 to 8
    for (int32_t weekday = 0; weekday <= 8; ++weekday)
        EXPECT_EQ(ConvertToKWDayOfWeek(weekday), bits[weekday]) << weekday;
    EXPECT_EQ(WeekdayOf(0.0), 7);                    // 30 December 1899, Saturday
    EXPECT_EQ(WeekdayOf(at(2026, 3, 2, 23, 59)), 2); // Monday
    EXPECT_EQ(WeekdayOf(at(2026, 3, 8)), 1);         // Sunday
    EXPECT_EQ(WeekdayOf(at(2028, 2, 29)), 3);        // Tuesday
}
