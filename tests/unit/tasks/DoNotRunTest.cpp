// The DO NOT RUN rule at the start of a run: the run is refused and the log says why.

#include "tasks/modChangePriority.h"

#include "base/DateTime.h"
#include "log/CloneLog.h"
#include "settings/cPriorityRules.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "util/FreshThread.h"

#include <gtest/gtest.h>

using namespace kestrow;
using namespace kestrow::test;

namespace {

DateValue hm(int h, int m)
{
    return (h * 3600 + m * 60) / 86400.0;
}

// On a thread of its own, as every run: the priority it sets leaves the test's thread alone.
int32_t onWorker()
{
    int32_t result = -1;
    util::runOnFreshThread([&] { result = SetPriorityBasedOnRules(); });
    return result;
}

class DoNotRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gCloneLog = &log;
        gPriorityRules = &rules;
    }
    void TearDown() override
    {
        gCloneLog = nullptr;
        gPriorityRules = nullptr;
    }

    TempDir dir;
    ScriptedUiServices ui;
    cCloneLog log;
    cPriorityRules rules;
};

} // namespace

TEST_F(DoNotRun, RuleForbidsTheRunAndLogsWhy)
{
    ASSERT_TRUE(rules.Add(cPriorityRule{hm(9, 0), hm(17, 0), 0, {}}));
    ManualClock clock(dateFromParts({2026, 6, 1, 9, 0, 59}));
    ScopedClock useClock(clock);
    EXPECT_EQ(onWorker(), 0);
    EXPECT_NE(log.InMemoryString().find(" - Information Only: Task was not run because Priority Rule for "
                                        "this time is set to DO NOT RUN\n"),
              std::string::npos)
        << log.InMemoryString();
    EXPECT_TRUE(ui.prompts().empty());

    // Outside the period the run goes ahead at low priority, and nothing is logged.
    log.ResetInMemoryLog();
    clock.set(dateFromParts({2026, 6, 1, 17, 1, 0}));
    EXPECT_EQ(onWorker(), 64);
    EXPECT_EQ(log.InMemoryString(), "");
}

TEST_F(DoNotRun, NoRulesObjectMeansLowPriority)
{
    gPriorityRules = nullptr;
    ManualClock clock(dateFromParts({2026, 6, 1, 9, 0, 0}));
    ScopedClock useClock(clock);
    EXPECT_EQ(onWorker(), 64);
    EXPECT_EQ(log.InMemoryString(), "");
}
