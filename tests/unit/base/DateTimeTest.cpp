#include "base/DateTime.h"

#include <gtest/gtest.h>

using namespace kestrow;

TEST(DateTime, KnownDayNumbers)
{
    EXPECT_DOUBLE_EQ(dateFromParts({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(dateFromParts({1900, 1, 1, 12, 0, 0}), 2.5);
    EXPECT_DOUBLE_EQ(dateFromParts({2000, 1, 1, 0, 0, 0}), 36526.0);
    // A leap day round-trips.
    const DateParts p = partsFromDate(dateFromParts({2024, 2, 29, 23, 59, 59}));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 59);
}

TEST(DateTime, GeneralFormatShapes)
{
    EXPECT_EQ(GeneralDateText(dateFromParts({2026, 12, 7, 6, 37, 2})), "12/7/2026 6:37:02 AM");
    EXPECT_EQ(GeneralDateText(dateFromParts({2026, 1, 17, 0, 0, 5})), "1/17/2026 12:00:05 AM");
    EXPECT_EQ(GeneralDateText(dateFromParts({2026, 1, 17, 12, 30, 0})), "1/17/2026 12:30:00 PM");
    EXPECT_EQ(GeneralDateText(dateFromParts({2026, 1, 17, 23, 5, 9})), "1/17/2026 11:05:09 PM");
    EXPECT_EQ(GeneralDateText(dateFromParts({2026, 1, 17, 0, 0, 0})), "1/17/2026");
    EXPECT_EQ(GeneralDateText(0.5), "12:00:00 PM");
    EXPECT_EQ(GeneralDateText(0.0), "12:00:00 AM");
}

TEST(DateTime, ManualClockIsWhatClockReturns)
{
    ManualClock c(dateFromParts({2026, 3, 1, 10, 0, 0}));
    {
        ScopedClock scope(c);
        c.advanceMinutes(90);
        EXPECT_EQ(GeneralDateText(currentClock().now()), "3/1/2026 11:30:00 AM");
    }
    EXPECT_NE(&currentClock(), &c);
}
