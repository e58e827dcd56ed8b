// Notifications of the scheduler: real task list files, real runs on real folders,
// an injected clock, and a sink that records what would have been shown.

#include "app/Notifications.h"
#include "app/ProgramObjects.h"
#include "app/ProgramOptions.h"
#include "app/Scheduler.h"
#include "app/modKestrow.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/LocalTime.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "tasks/TaskListFile.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kestrow {
namespace {

using test::ScriptedUiServices;
using test::TempDir;

DateValue on(int year, int month, int day, int hour = 12, int minute = 0)
{
    return dateFromParts({year, month, day, hour, minute, 0});
}

// 7 December 2026 (a Monday) at hh:mm.
DateValue at(int hour, int minute)
{
    return on(2026, 12, 7, hour, minute);
}

class RecordingSink : public NotificationSink
{
public:
    void notify(const Notification& n) override { seen.push_back(n); }
    std::vector<Notification> seen;
};

class TestHost : public SchedulerHost
{
public:
    bool windowVisible() const override { return windowOpen; }
    void runScheduledTask(const CloneTaskPtr& task) override
    {
        if (refuseRun)
            return; // as a front end that could not start it: the flag stays set
        SchedulerHost::runScheduledTask(task);
    }
    bool windowOpen = false;
    bool refuseRun = false;
};

// One task section of a task list file.
std::string section(const std::string& name, const std::string& source, const std::string& target, int type,
                    int increment, DateValue next, int daysOfWeek = 127)
{
    return "[" + name + "]\nSourceFolderSpec=" + source + "\nTargetFolderSpec=" + target +
           "\nIncludeSubFolders=True\nStartTime=0.5\nIntervalType=" + std::to_string(type) +
           "\nIntervalIncrement=" + std::to_string(increment) +
           "\nLastCloneDateTime=0\nNextCloneDateTime=" + DayNumberText(next) +
           "\nErrorOnLastClone=False\nAllFilesAndFolders=True\nDaysOfWeek=" + std::to_string(daysOfWeek) +
           "\n";
}

class NotificationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gblnCloneRunning = gblnRestoreRunning = gblnSchedulerPaused = gblnScheduledRun = false;
        gblnNotifications = true;
        gblnShowScheduledSyncsMsg = false; // the window-open message is not what these test
        glngDelayBeforeFirstTask = 0;
        ResetCancelFlags();
        ASSERT_TRUE(StartupLoadLibraries());
        gClone->setConfirmSyncActions(false);
        scheduler.notifier().setSink(&sink);
        scheduler.start(0);
        dir.writeFile("src/a.txt", "a");
        dir.makeDir("dst");
        dir.makeDir("dst2");
    }
    void TearDown() override
    {
        ShutdownUnloadLibraries();
        gblnCloneRunning = gblnRestoreRunning = gblnSchedulerPaused = gblnScheduledRun = false;
        gblnNotifications = true;
        ResetCancelFlags();
    }

    // Writes `sections` as the task list file and reads it into gCloneTasks.
    void loadTaskList(const std::string& sections)
    {
        const std::string file = dir.writeFile("lists/Tasks.kwt", sections);
        ASSERT_TRUE(gCloneTasks->ReadAllTasksFromTaskListFile(file));
        gCloneTasks->SetNextScheduledTask();
    }

    std::string good() const { return dir / "src/"; }
    std::string missing() const { return dir / "no-such-source/"; }
    std::string target() const { return dir / "dst/"; }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const Notification& n : sink.seen)
            out.push_back(n.text);
        return out;
    }

    TempDir dir;
    ScriptedUiServices ui;
    ProgramObjects objects;
    ManualClock clock{at(12, 0)};
    ScopedClock clockScope{clock};
    RecordingSink sink;
    TestHost host;
    Scheduler scheduler{host, [] { return 0u; }};
};

TEST_F(NotificationsTest, ScheduledRunWithErrorsNotifiesOnceNamingTheTask)
{
    loadTaskList(section("Photos to USB", missing(), target(), 1, 60, at(11, 59)));
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    ASSERT_TRUE(gCloneTasks->Item("Photos to USB")->ErrorOnLastClone());
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].kind, NotificationKind::RunEndedWithErrors);
    EXPECT_EQ(sink.seen[0].taskName, "Photos to USB");
    EXPECT_EQ(sink.seen[0].text,
              "The scheduled task \"Photos to USB\" ended with errors. The log has the details.");
    EXPECT_EQ(SyslogPriority(sink.seen[0].kind), 3);

    // Ticks until its next run say nothing more.
    for (int i = 0; i < 30; ++i) {
        clock.advanceMinutes(1);
        scheduler.tmrCloneScheduler_Timer();
    }
    EXPECT_EQ(sink.seen.size(), 1u);
    // Its next run fails again: told again.
    clock.set(gCloneTasks->Item("Photos to USB")->NextCloneDateTime());
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(sink.seen.size(), 2u);
}

TEST_F(NotificationsTest, RunsThatNeedNoNotification)
{
    struct Row
    {
        const char* name;
        bool sourceMissing;
        bool cancelAfterFirstTarget; // a real cancel: the second Target is never reached
        bool hostRefuses;
    };
    const Row rows[] = {
        {"SucceededRun", false, false, false},
        {"CancelledRun", false, true, false},
        {"RunTheHostDidNotStart", true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sink.seen.clear();
        host.refuseRun = row.hostRefuses;
        loadTaskList(section(row.name, row.sourceMissing ? missing() : good(),
                             target() + "<:>" + (dir / "dst2/"), 1, 60, clock.now()));
        const CloneTaskPtr task = gCloneTasks->Item(row.name);
        if (row.cancelAfterFirstTarget)
            task->TargetCloned = [](const std::string&, bool) { CancelRequested = true; };
        // Left over from an earlier run: a run that never started must not report it.
        task->setErrorOnLastClone(row.hostRefuses);
        EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
        EXPECT_EQ(task->ErrorOnLastClone(), row.cancelAfterFirstTarget || row.hostRefuses);
        EXPECT_TRUE(sink.seen.empty()) << (sink.seen.empty() ? "" : sink.seen[0].text);
        gblnScheduledRun = false;
        ResetCancelFlags();
        gCloneTasks->Remove(*task);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "dst/a.txt"));
}

TEST_F(NotificationsTest, TaskNotRunForTwoIntervalsIsNamedOnceUntilItRuns)
{
    // Every 15 minutes, due at 12:00; the window stays open, so it cannot run.
    host.windowOpen = true;
    loadTaskList(section("Docs", good(), target(), 1, 15, at(12, 0)));
    clock.set(at(12, 30));
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::WindowOpen);
    EXPECT_TRUE(sink.seen.empty()) << "exactly two intervals behind is not more than two";

    clock.set(at(12, 31));
    scheduler.tmrCloneScheduler_Timer();
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].kind, NotificationKind::NotRunForTooLong);
    EXPECT_EQ(
        sink.seen[0].text,
        "The scheduled task \"Docs\" has not been able to run since it was due at 12/7/2026 12:00:00 PM.");
    EXPECT_EQ(SyslogPriority(sink.seen[0].kind), 4);

    for (int i = 0; i < 120; ++i) {
        clock.advanceMinutes(1);
        scheduler.tmrCloneScheduler_Timer();
    }
    EXPECT_EQ(sink.seen.size(), 1u) << "not repeated every minute";

    // The window closes: it runs (without errors), and nothing is said.
    host.windowOpen = false;
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(sink.seen.size(), 1u);

    // Held back again for more than two intervals: named again.
    host.windowOpen = true;
    const DateValue next = gCloneTasks->Item("Docs")->NextCloneDateTime();
    clock.set(next + 31.0 / 1440);
    scheduler.tmrCloneScheduler_Timer();
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[1].taskName, "Docs");
}

TEST_F(NotificationsTest, EveryHoldBackCountsAndARunningTaskIsLeftAlone)
{
    loadTaskList(section("Daily", good(), target(), 3, 1, on(2026, 12, 4)) +
                 section("Hourly", good(), target(), 2, 1, at(11, 0)));
    // Paused since Friday noon: the daily task is more than two days behind.
    gblnSchedulerPaused = true;
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Busy);
    EXPECT_EQ(texts(),
              std::vector<std::string>{"The scheduled task \"Daily\" has not been able to run since it "
                                       "was due at 12/4/2026 12:00:00 PM."});
    gblnSchedulerPaused = false;

    // While a run is active the list is not looked at; the first tick after it is.
    clock.set(at(13, 1));
    gblnCloneRunning = true;
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Busy);
    EXPECT_EQ(sink.seen.size(), 1u);
    gblnCloneRunning = false;
    scheduler.tmrCloneScheduler_Timer(true); // unloading: nothing either
    EXPECT_EQ(sink.seen.size(), 1u);

    // After the start-up delay's tick, the daily task runs first; the hourly one,
    // due at 11:00 and now past 13:00, is named in the same tick.
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[1].taskName, "Hourly");
}

TEST_F(NotificationsTest, SwitchOffSilencesBoth)
{
    gblnNotifications = false;
    // Broken runs first (due earlier) and fails; Stuck, every 5 minutes since 11:30,
    // is more than two intervals behind meanwhile.
    loadTaskList(section("Broken", missing(), target(), 1, 60, at(11, 0)) +
                 section("Stuck", good(), target(), 1, 5, at(11, 30)));
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_TRUE(gCloneTasks->Item("Broken")->ErrorOnLastClone());
    EXPECT_TRUE(sink.seen.empty());

    // Switched back on: the task still behind is named at the next tick.
    gblnNotifications = true;
    host.windowOpen = true;
    clock.advanceMinutes(1);
    EXPECT_EQ(scheduler.tmrCloneScheduler_Timer(), TickOutcome::WindowOpen);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].taskName, "Stuck");
}

TEST_F(NotificationsTest, ARemovedTaskIsForgotten)
{
    host.windowOpen = true;
    loadTaskList(section("Old", good(), target(), 1, 5, at(9, 0)));
    scheduler.tmrCloneScheduler_Timer();
    ASSERT_EQ(sink.seen.size(), 1u);
    // The task goes; a task of the same name and the same time comes back later.
    gCloneTasks->Remove(*gCloneTasks->Item("Old"));
    scheduler.tmrCloneScheduler_Timer();
    loadTaskList(section("OLD", good(), target(), 1, 5, at(9, 0)));
    scheduler.tmrCloneScheduler_Timer();
    EXPECT_EQ(sink.seen.size(), 2u);
}

struct LimitRow
{
    const char* name;
    int type;
    int increment;
    int daysOfWeek;
    DateValue next;
    DateValue limit; // 0: never counts as behind
};

void PrintTo(const LimitRow& r, std::ostream* os)
{
    *os << r.name;
}

class OverdueLimitTest : public ::testing::TestWithParam<LimitRow>
{
};

TEST_P(OverdueLimitTest, TwoIntervalsAfterTheNextRun)
{
    const LimitRow& r = GetParam();
    cCloneTask task;
    task.setIntervalType(r.type);
    task.setIntervalIncrement(r.increment);
    task.setDaysOfWeek(r.daysOfWeek);
    task.setNextCloneDateTime(r.next);
    const DateValue limit = OverdueLimit(task);
    if (r.limit == 0) {
        EXPECT_EQ(limit, 0);
        EXPECT_FALSE(IsNotRunForTooLong(task, on(2100, 1, 1)));
        return;
    }
    EXPECT_EQ(GeneralDateText(TruncateToSeconds(limit)), GeneralDateText(r.limit));
    EXPECT_FALSE(IsNotRunForTooLong(task, r.limit + 59.0 / 86400)) << "still the limit's minute";
    EXPECT_TRUE(IsNotRunForTooLong(task, r.limit + 60.0 / 86400));
}

const LimitRow kLimitRows[] = {
    {"Minutes", 1, 15, 127, at(12, 0), at(12, 30)},
    {"Hours", 2, 3, 127, at(12, 0), at(18, 0)},
    {"Days", 3, 2, 127, on(2026, 12, 7), on(2026, 12, 11)},
    {"EveryDayOfTheWeek", 4, 1, 127, on(2026, 12, 7), on(2026, 12, 9)},
    {"OneDayOfTheWeekIsAWeek", 4, 1, 1, on(2026, 12, 7), on(2026, 12, 21)},
    {"LongestGapOfMondayAndFridayIsFourDays", 4, 1, 1 | 16, on(2026, 12, 7), on(2026, 12, 15)},
    {"FirstOfTheMonth", 5, 1, 127, on(2026, 12, 1, 8), on(2027, 2, 1, 8)},
    {"LastOfTheMonthLandsOnALastDay", 6, 1, 127, on(2026, 12, 31, 8), on(2027, 2, 28, 8)},
    {"LastOfFebruaryToLastOfApril", 6, 1, 127, on(2027, 2, 28, 8), on(2027, 4, 30, 8)},
    {"ManualNever", 0, 1, 127, at(12, 0), 0},
    {"NoNextRunNever", 1, 15, 127, 0, 0},
    {"RefusedFieldsNever", 4, 1, 0, at(12, 0), 0},
};

INSTANTIATE_TEST_SUITE_P(Notifications, OverdueLimitTest, ::testing::ValuesIn(kLimitRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The switch in the options file: [Miscellaneous] Notifications, on unless "False".
class NotificationsOptionTest : public ::testing::Test
{
protected:
    void SetUp() override { gblnNotifications = true; }
    void TearDown() override { gblnNotifications = true; }

    TempDir dir;
    ScriptedUiServices ui;
    ProgramObjects objects;
    ProgramOptions W;
};

TEST_F(NotificationsOptionTest, ReadsWritesAndDefaultsToOn)
{
    struct Row
    {
        const char* name;
        const char* file; // nullptr: no options file
        bool on;
    };
    const Row rows[] = {
        {"NoFile", nullptr, true},
        {"KeyAbsent", "[Miscellaneous]\nCopyMethod=0\n", true},
        {"False", "[Miscellaneous]\nNotifications=False\n", false},
        {"True", "[Miscellaneous]\nNotifications=True\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(OptionsFileSpec());
        if (row.file)
            dir.writeFile("data/" + std::filesystem::path(OptionsFileSpec()).filename().string(), row.file);
        gblnNotifications = !row.on;
        W.setChecked(OptionsMenuItem::mnuOptionsNotifications, !row.on);
        ASSERT_TRUE(ReadProgramOptionsFromIniFile(W));
        EXPECT_EQ(gblnNotifications, row.on);
        EXPECT_EQ(W.checked(OptionsMenuItem::mnuOptionsNotifications), row.on);
    }

    for (const bool on : {false, true}) {
        gblnNotifications = on;
        ASSERT_TRUE(SaveProgramOptionsToIniFile(W));
        const std::string text =
            dir.readFile("data/" + std::filesystem::path(OptionsFileSpec()).filename().string());
        EXPECT_NE(text.find(std::string("Notifications=") + (on ? "True" : "False")), std::string::npos)
            << text;
        gblnNotifications = !on;
        ASSERT_TRUE(ReadProgramOptionsFromIniFile(W));
        EXPECT_EQ(gblnNotifications, on);
    }
}

} // namespace
} // namespace kestrow
