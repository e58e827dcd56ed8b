// The scheduler tick with an injected clock and tick count.

#include "app/Scheduler.h"
#include "app/ProgramObjects.h"
#include "app/ProgramOptions.h"
#include "app/modKestrow.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "engine/cClone.h"
#include "log/CloneLog.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrow {
namespace {

using test::ScriptedUiServices;
using test::TempDir;

// 7 December 2026 at hh:mm:ss.
DateValue at(int hour, int minute, int second = 0)
{
    return dateFromParts({2026, 12, 7, hour, minute, second});
}

class RecordingSchedulerHost : public SchedulerHost
{
public:
    bool windowVisible() const override { return windowOpen; }
    void runScheduledTask(const CloneTaskPtr& task) override
    {
        ran.push_back(task->TaskName());
        scheduledFlagSeen = gblnScheduledRun;
        if (runForReal)
            SchedulerHost::runScheduledTask(task); // Execute clears the flag
        else
            gblnScheduledRun = false;
    }
    void refreshTrayIcon() override { ++trayUpdates; }
    void setPanel1Text(const std::string& text) override { panel1 = text; }

    bool windowOpen = false;
    bool runForReal = false;
    bool scheduledFlagSeen = false;
    std::vector<std::string> ran;
    int trayUpdates = 0;
    std::string panel1;
};

class SchedulerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gblnCloneRunning = gblnRestoreRunning = gblnSchedulerPaused = gblnScheduledRun = false;
        glngDelayBeforeFirstTask = 0;
        gblnShowScheduledSyncsMsg = true;
    }
    void TearDown() override
    {
        gblnCloneRunning = gblnRestoreRunning = gblnSchedulerPaused = gblnScheduledRun = false;
        glngDelayBeforeFirstTask = 0;
    }

    // A task that runs every `minutes` minutes, next at `next`.
    CloneTaskPtr addTask(const std::string& name, DateValue next, int minutes = 60)
    {
        auto task = std::make_shared<cCloneTask>();
        task->setTaskName(name);
        task->setIntervalType(1);
        task->setIntervalIncrement(minutes);
        task->setNextCloneDateTime(next);
        gCloneTasks->Add(task);
        return task;
    }

    TempDir dir;
    ScriptedUiServices ui;
    ProgramObjects objects;
    ManualClock clock{at(12, 0)};
    ScopedClock clockScope{clock};
    uint32_t ticks = 1000;
    RecordingSchedulerHost host;
    Scheduler scheduler{host, [this] { return ticks; }};
};

TEST_F(SchedulerTest, RunsTheDueTaskWhileTheWindowIsClosed)
{
    addTask("Backup", at(11, 58));
    scheduler.start(0);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(host.ran, std::vector<std::string>{"Backup"});
    EXPECT_TRUE(host.scheduledFlagSeen);
    EXPECT_EQ(host.trayUpdates, 1);
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(SchedulerTest, NothingRunsWhileBusy)
{
    addTask("Backup", at(11, 0));
    scheduler.start(0);
    for (auto* flag : {&gblnCloneRunning, &gblnRestoreRunning, &gblnSchedulerPaused}) {
        *flag = true;
        EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Busy);
        *flag = false;
    }
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(true), TickOutcome::Busy) << "unloading";
    EXPECT_TRUE(host.ran.empty());
    EXPECT_EQ(host.trayUpdates, 0);
}

struct DueCase
{
    const char* name;
    DateValue next;
    DateValue now;
    bool due;
};

void PrintTo(const DueCase& c, std::ostream* os)
{
    *os << c.name;
}

class DueTest : public SchedulerTest, public ::testing::WithParamInterface<DueCase>
{
};

TEST_P(DueTest, ByMinuteBoundaries)
{
    const DueCase& c = GetParam();
    addTask("T", c.next);
    clock.set(c.now);
    scheduler.start(0);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), c.due ? TickOutcome::Ran : TickOutcome::NotDue);
    EXPECT_EQ(host.trayUpdates, 1);
}

const DueCase kDueCases[] = {
    {"OneSecondBeforeItsMinute", at(12, 0), at(11, 59, 59), false},
    {"AtItsMinute", at(12, 0), at(12, 0), true},
    {"FirstSecondOfTheMinuteOfALaterSecond", at(12, 0, 45), at(12, 0, 0), true},
    {"Overdue", at(9, 30), at(12, 0), true},
    {"NextMinute", at(12, 1), at(12, 0, 59), false},
    {"AcrossMidnight", dateFromParts({2026, 12, 8, 0, 0, 0}), at(23, 59, 30), false},
};

INSTANTIATE_TEST_SUITE_P(Scheduler, DueTest, ::testing::ValuesIn(kDueCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SchedulerTest, NoScheduledTaskRefreshesTheTray)
{
    auto manual = std::make_shared<cCloneTask>();
    manual->setTaskName("Manual");
    gCloneTasks->Add(manual);
    scheduler.start(0);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::NoTask);
    EXPECT_EQ(host.trayUpdates, 1);
}

TEST_F(SchedulerTest, StartUpDelayHoldsBackOverdueTasks)
{
    addTask("Backup", at(6, 0));
    glngDelayBeforeFirstTask = 5;
    scheduler.start(glngDelayBeforeFirstTask);
    EXPECT_FALSE(scheduler.firstTaskDelayElapsed());
    ticks += 4 * 60000 + 59999;
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Delayed);
    EXPECT_TRUE(host.ran.empty());
    ticks += 1;
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_TRUE(scheduler.firstTaskDelayElapsed());
}

TEST_F(SchedulerTest, StartUpDelayCountsAcrossTheTickCountWrap)
{
    addTask("Backup", at(6, 0));
    glngDelayBeforeFirstTask = 1;
    ticks = 0xFFFFFFFFu - 30000;
    scheduler.start(1);
    ticks += 50000; // wraps
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Delayed);
    ticks += 10000;
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
}

TEST_F(SchedulerTest, ZeroOrNegativeDelayAllowsTheFirstTick)
{
    addTask("Backup", at(6, 0));
    glngDelayBeforeFirstTask = -3;
    scheduler.start(glngDelayBeforeFirstTask);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
}

TEST_F(SchedulerTest, OpenWindowHoldsTheTaskAndSaysSoOnce)
{
    addTask("Photos", at(11, 0));
    scheduler.start(0);
    host.windowOpen = true;

    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::WindowOpen);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Scheduled Task Not Run");
    EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Information);
    EXPECT_EQ(ui.messages()[0].text, "The following scheduled task was not run:\nPhotos\n\n"
                                     "Scheduled tasks are run only when the\napplication window is closed or "
                                     "minimized.\n\nNote: This message will not appear again.");
    EXPECT_FALSE(gblnShowScheduledSyncsMsg);
    EXPECT_EQ(host.panel1, "");

    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::WindowOpen);
    EXPECT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(host.panel1, "Scheduled tasks are not run while the main Kestrow window is open.");
    EXPECT_TRUE(host.ran.empty());

    host.windowOpen = false; // minimised
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
}

// Real runs through Execute on real folders: the next task is chosen again after
// each run, so two tasks due in the same minute run on two ticks.
class SchedulerRunTest : public SchedulerTest
{
protected:
    void SetUp() override
    {
        SchedulerTest::SetUp();
        ASSERT_TRUE(StartupLoadLibraries());
        host.runForReal = true;
    }
    void TearDown() override
    {
        ShutdownUnloadLibraries();
        SchedulerTest::TearDown();
    }
};

TEST_F(SchedulerRunTest, TwoTasksDueInOneMinuteRunOnTwoTicks)
{
    dir.writeFile("src/a.txt", "a");
    dir.makeDir("dst1");
    dir.makeDir("dst2");
    auto first = addTask("First", at(11, 59));
    first->setSourceFolderSpec(dir / "src/");
    first->setTargetFolderSpec(dir / "dst1/");
    auto second = addTask("Second", at(11, 59, 30));
    second->setSourceFolderSpec(dir / "src/");
    second->setTargetFolderSpec(dir / "dst2/");
    gCloneTasks->SetNextScheduledTask();
    gClone->setConfirmSyncActions(false);
    scheduler.start(0);

    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::NotDue);
    EXPECT_EQ(host.ran, (std::vector<std::string>{"First", "Second"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "dst1/a.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "dst2/a.txt"));
    EXPECT_GT(first->NextCloneDateTime(), at(12, 0));
    EXPECT_FALSE(gblnScheduledRun);
    EXPECT_FALSE(gblnCloneRunning);
    EXPECT_NE(dir.readFile("data/clone.log").find("<End: Second>"), std::string::npos);
}

} // namespace
} // namespace kestrow
