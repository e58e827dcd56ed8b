#include "platform/Priority.h"
#include "settings/cPriorityRules.h"
#include "tasks/modChangePriority.h"

#include "log/CloneLog.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/unit/tasks/ThreadPrivilege.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <thread>

using namespace kestrow;
using namespace kestrow::test;

namespace {

void onFreshThread(const std::function<void()>& fn)
{
    std::thread(fn).join();
}

bool operator==(const platform::ThreadPriority& a, const platform::ThreadPriority& b)
{
    return a.nice == b.nice && a.ioClass == b.ioClass && a.ioLevel == b.ioLevel;
}

class ThreadPriority : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gPriorityRules = &rules;
        gCloneLog = &log;
        mainBefore = platform::currentThreadPriority();
    }
    void TearDown() override
    {
        // The test's own thread is never touched: runs change only their own thread.
        EXPECT_TRUE(platform::currentThreadPriority() == mainBefore);
        gPriorityRules = nullptr;
        gCloneLog = nullptr;
    }

    // Every time of day takes `priorityClass`.
    void ruleAllDay(int32_t priorityClass)
    {
        for (const cPriorityRule& r : rules.PriorityRules())
            rules.Remove(r.Key);
        ASSERT_TRUE(rules.Add(cPriorityRule{0.0, 1439 / 1440.0, priorityClass, {}}));
    }

    TempDir dir;
    ScriptedUiServices ui;
    cPriorityRules rules;
    cCloneLog log;
    platform::ThreadPriority mainBefore;
};

} // namespace

TEST_F(ThreadPriority, LowClassSetsNiceAndIoPriorityOfTheRunThreadOnly)
{
    ruleAllDay(64);
    onFreshThread([&] {
        EXPECT_EQ(SetPriorityBasedOnRules(), 64);
        const platform::ThreadPriority p = platform::currentThreadPriority();
        EXPECT_EQ(p.nice, 10);
        EXPECT_EQ(p.ioClass, 2);
        EXPECT_EQ(p.ioLevel, 7);
        EXPECT_EQ(platform::currentThreadPriorityClass(), 64);
        // Already at that class: nothing to do.
        EXPECT_FALSE(ChangePriority(64));
    });
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(ThreadPriority, AFreshThreadStartsAtTheProgramsPriorityAfterALowRun)
{
    if (platform::currentThreadPriorityClass() != 32)
        GTEST_SKIP() << "the test process does not run at normal priority (nice " << mainBefore.nice << ")";
    ruleAllDay(64);
    onFreshThread([&] {
        ASSERT_TRUE(dropPriorityRaiseRightOnThisThread());
        EXPECT_FALSE(threadMayRaisePriority());
        EXPECT_EQ(SetPriorityBasedOnRules(), 64);
        // This thread may not come back up: the change is refused and ignored.
        EXPECT_FALSE(ChangePriority(32));
        EXPECT_EQ(platform::currentThreadPriority().nice, 10);
    });
    // The next run works on a fresh thread, which starts where the program started.
    ruleAllDay(32);
    onFreshThread([&] {
        EXPECT_EQ(platform::currentThreadPriorityClass(), 32);
        EXPECT_EQ(SetPriorityBasedOnRules(), 32);
        EXPECT_EQ(platform::currentThreadPriorityClass(), 32);
    });
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(ThreadPriority, HighClassIsAppliedWhereAllowedAndIgnoredWhereRefused)
{
    ruleAllDay(128);
    onFreshThread([&] {
        const bool mayRaise = threadMayRaisePriority();
        // The run goes ahead either way.
        EXPECT_EQ(SetPriorityBasedOnRules(), 128);
        if (mayRaise) {
            EXPECT_EQ(platform::currentThreadPriorityClass(), 128);
            EXPECT_EQ(platform::currentThreadPriority().nice, -5);
        } else {
            EXPECT_EQ(platform::currentThreadPriority().nice, mainBefore.nice);
        }
    });
    onFreshThread([&] {
        ASSERT_TRUE(dropPriorityRaiseRightOnThisThread());
        EXPECT_FALSE(ChangePriority(128));
        EXPECT_EQ(platform::currentThreadPriority().nice, mainBefore.nice);
        EXPECT_NE(platform::currentThreadPriorityClass(), 128);
    });
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(ThreadPriority, PrivilegedThreadGoesBackToNormal)
{
    bool mayRaise = false;
    onFreshThread([&] { mayRaise = threadMayRaisePriority(); });
    if (!mayRaise)
        GTEST_SKIP() << "this process may not raise its priority";
    onFreshThread([&] {
        EXPECT_TRUE(ChangePriority(64));
        EXPECT_EQ(platform::currentThreadPriorityClass(), 64);
        EXPECT_TRUE(ChangePriority(32));
        EXPECT_EQ(platform::currentThreadPriorityClass(), 32);
    });
}

TEST_F(ThreadPriority, DoNotRunAndUnknownClassesChangeNothing)
{
    ruleAllDay(0);
    onFreshThread([&] {
        const platform::ThreadPriority before = platform::currentThreadPriority();
        EXPECT_EQ(SetPriorityBasedOnRules(), 0);
        EXPECT_FALSE(ChangePriority(0));
        EXPECT_FALSE(ChangePriority(99));
        EXPECT_TRUE(platform::currentThreadPriority() == before);
    });
    EXPECT_NE(log.InMemoryString().find("DO NOT RUN"), std::string::npos);
    EXPECT_EQ(platform::setThreadPriorityClass(99), EINVAL);
}
