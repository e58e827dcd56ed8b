#include "settings/cPriorityRules.h"

#include "base/ErrorReporter.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrow;
using namespace kestrow::test;

namespace {

DateValue hm(int h, int m, int s = 0)
{
    return (h * 3600 + m * 60 + s) / 86400.0;
}

cPriorityRule rule(DateValue start, DateValue end, int32_t priorityClass)
{
    return cPriorityRule{start, end, priorityClass, {}};
}

class PriorityRules : public ::testing::Test
{
protected:
    TempDir dir;
    ScriptedUiServices ui;
    cPriorityRules rules;
};

} // namespace

TEST(PriorityRuleDisplayText, Formats)
{
    struct Row
    {
        cPriorityRule rule;
        const char* text;
    } rows[] = {
        {rule(hm(0, 0), hm(23, 59), 64), "12:00 AM to 11:59 PM - LOW PRIORITY"},
        {rule(hm(13, 5), hm(8, 0), 128), "01:05 PM to 08:00 AM - HIGH PRIORITY"},
        {rule(hm(12, 30), hm(12, 45), 32), "12:30 PM to 12:45 PM - NORMAL PRIORITY"},
        {rule(hm(9, 0), hm(17, 0), 0), "09:00 AM to 05:00 PM - DO NOT RUN"},
        {rule(hm(9, 0, 59), hm(17, 0), 99), "09:00 AM to 05:00 PM - "},
        // A date part does not show.
        {rule(46000 + hm(22, 15), hm(23, 0), 64), "10:15 PM to 11:00 PM - LOW PRIORITY"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(GetPriorityRuleDisplayText(r.rule), r.text);
    EXPECT_EQ(GetPriorityRuleDisplayText(nullptr), "");
}

TEST_F(PriorityRules, AddKeysByDisplayTextAndRefusesDuplicates)
{
    EXPECT_TRUE(rules.Add(rule(hm(22, 0), hm(6, 0), 128)));
    EXPECT_FALSE(rules.Add(rule(hm(22, 0), hm(6, 0), 128)));
    // Seconds do not show in the key, so this is the same rule too.
    EXPECT_FALSE(rules.Add(rule(hm(22, 0, 30), hm(6, 0), 128)));
    EXPECT_TRUE(rules.Add(rule(hm(22, 0), hm(6, 0), 32)));
    ASSERT_EQ(rules.Count(), 2);
    EXPECT_EQ(rules.PriorityRules()[0].Key, "10:00 PM to 06:00 AM - HIGH PRIORITY");
    EXPECT_EQ(rules.PriorityRules()[1].Key, "10:00 PM to 06:00 AM - NORMAL PRIORITY");
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(PriorityRules, LookupByKeyIsExact)
{
    ASSERT_TRUE(rules.Add(rule(hm(0, 0), hm(7, 59), 32)));
    ASSERT_TRUE(rules.Add(rule(hm(8, 0), hm(17, 0), 128)));
    EXPECT_EQ(rules.GetPriorityRuleIndexBasedOnKey("08:00 AM to 05:00 PM - HIGH PRIORITY"), 2);
    EXPECT_EQ(rules.GetPriorityRuleIndexBasedOnKey("08:00 am to 05:00 pm - high priority"), -1);
    EXPECT_TRUE(rules.DoesThisRuleExist("12:00 AM to 07:59 AM - NORMAL PRIORITY"));
    EXPECT_FALSE(rules.DoesThisRuleExist("12:00 AM to 07:59 AM - normal priority"));

    EXPECT_TRUE(rules.Remove("12:00 AM to 07:59 AM - NORMAL PRIORITY"));
    EXPECT_EQ(rules.Count(), 1);
    EXPECT_EQ(rules.GetPriorityRuleIndexBasedOnKey("08:00 AM to 05:00 PM - HIGH PRIORITY"), 1);
    // A missing key is the caller's error to handle, not reported here.
    EXPECT_THROW(rules.Remove("12:00 AM to 07:59 AM - NORMAL PRIORITY"), RuntimeError);
    EXPECT_EQ(rules.Count(), 1);
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(PriorityRules, TimeInRangeEndsInclusiveAndThroughMidnight)
{
    struct Row
    {
        const char* name;
        DateValue t, begin, end;
        bool in;
    } rows[] = {
        {"InsideDay", hm(12, 0), hm(8, 0), hm(17, 0), true},
        {"BeginInclusive", hm(8, 0), hm(8, 0), hm(17, 0), true},
        {"EndInclusive", hm(17, 0), hm(8, 0), hm(17, 0), true},
        {"AfterEnd", hm(17, 0, 1), hm(8, 0), hm(17, 0), false},
        {"BeforeBegin", hm(7, 59, 59), hm(8, 0), hm(17, 0), false},
        {"NightLate", hm(23, 30), hm(22, 0), hm(6, 0), true},
        {"NightEarly", hm(5, 15), hm(22, 0), hm(6, 0), true},
        {"NightMidnight", hm(0, 0), hm(22, 0), hm(6, 0), true},
        {"NightNoon", hm(12, 0), hm(22, 0), hm(6, 0), false},
        {"NightLastMinute", hm(23, 59), hm(22, 0), hm(6, 0), true},
        {"NightAfterLastMinute", hm(23, 59, 30), hm(22, 0), hm(6, 0), false},
        {"DatePartIgnored", 46000 + hm(12, 0), hm(8, 0), hm(17, 0), true},
        {"SingleMinute", hm(9, 0), hm(9, 0), hm(9, 0), true},
    };
    for (const Row& r : rows)
        EXPECT_EQ(rules.IsTimeInRange(r.t, r.begin, r.end), r.in) << r.name;
}

TEST_F(PriorityRules, ApplicableClass)
{
    EXPECT_EQ(rules.GetApplicablePriorityClass(hm(12, 0)), 64); // empty list
    ASSERT_TRUE(rules.Add(rule(hm(22, 0), hm(6, 0), 128)));
    struct Row
    {
        DateValue t;
        int32_t expected;
    } rows[] = {
        {46000 + hm(23, 30), 128},
        {46000 + hm(5, 15), 128},
        {46000 + hm(12, 0), 64},
        // Seconds are dropped: 23:59:30 counts as 23:59, 06:00:59 as 06:00.
        {hm(23, 59, 30), 128},
        {hm(6, 0, 59), 128},
        {hm(6, 1), 64},
    };
    for (const Row& r : rows)
        EXPECT_EQ(rules.GetApplicablePriorityClass(r.t), r.expected) << r.t;
}

TEST_F(PriorityRules, FirstRuleWinsAndUnknownPriorityIsLow)
{
    ASSERT_TRUE(rules.Add(rule(hm(0, 0), hm(8, 0), 32)));
    ASSERT_TRUE(rules.Add(rule(hm(8, 0), hm(17, 0), 128)));
    ASSERT_TRUE(rules.Add(rule(hm(18, 0), hm(19, 0), 77)));
    EXPECT_EQ(rules.GetApplicablePriorityClass(hm(8, 0)), 32);
    EXPECT_EQ(rules.GetApplicablePriorityClass(hm(8, 1)), 128);
    EXPECT_EQ(rules.GetApplicablePriorityClass(hm(18, 30)), 64);
    EXPECT_EQ(rules.GetApplicablePriorityClass(hm(17, 30)), 64);
}

TEST_F(PriorityRules, Conflicts)
{
    ASSERT_TRUE(rules.Add(rule(hm(22, 0), hm(6, 0), 128)));
    ASSERT_TRUE(rules.Add(rule(hm(9, 0), hm(12, 0), 0)));
    struct Row
    {
        const char* name;
        cPriorityRule candidate;
        const char* ignore;
        bool conflict;
    } rows[] = {
        {"StartInsideNightRule", rule(hm(5, 0), hm(7, 0), 32), "", true},
        {"EndInsideNightRule", rule(hm(20, 0), hm(23, 0), 32), "", true},
        {"SharesBoundaryMinute", rule(hm(6, 0), hm(8, 0), 32), "", true},
        {"AdjacentIsFine", rule(hm(6, 1), hm(8, 59), 32), "", false},
        {"SurroundsDayRule", rule(hm(8, 0), hm(13, 0), 32), "", true},
        {"InsideDayRule", rule(hm(10, 0), hm(11, 0), 32), "", true},
        {"GapBetweenRules", rule(hm(13, 0), hm(21, 0), 32), "", false},
        {"ThroughMidnightAroundBoth", rule(hm(21, 0), hm(13, 0), 32), "", true},
        {"EditedRuleIgnored", rule(hm(8, 0), hm(13, 0), 32), "09:00 AM to 12:00 PM - DO NOT RUN", false},
        {"IgnoreKeyIsExact", rule(hm(8, 0), hm(13, 0), 32), "09:00 am to 12:00 pm - do not run", true},
    };
    for (const Row& r : rows)
        EXPECT_EQ(rules.DoesRuleConflictWithOtherRules(r.candidate, r.ignore), r.conflict) << r.name;
}
