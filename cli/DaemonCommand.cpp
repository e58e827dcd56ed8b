#include "cli/DaemonCommand.h"

#include "app/Notifications.h"
#include "app/Startup.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "cli/Arguments.h"
#include "cli/CloneCommand.h"
#include "cli/ConsoleRunHost.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "log/CloneLog.h"
#include "platform/DataFile.h"
#include "platform/Signals.h"
#include "platform/SystemInfo.h"
#include "tasks/cCloneTasks.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace kestrow::cli {

namespace {

struct DaemonArgs
{
    std::optional<std::string> taskList;
    bool quiet = false;
};

DaemonArgs parse(int argc, char* argv[], int first)
{
    DaemonArgs a;
    for (int i = first; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--task-list") {
            a.taskList = nonEmptyValue(argc, argv, i, "--task-list needs a file name");
        } else if (arg == "--quiet" || arg == "-q") {
            a.quiet = true;
        } else if (isOption(arg)) {
            throwUnknownOption(arg);
        } else {
            throwUnexpectedArgument(arg);
        }
    }
    return a;
}

bool stopRequested()
{
    return platform::signalCount() > 0;
}

// Sleeps `ms`, waking early once SIGTERM or SIGINT has come, or a SIGHUP other than
// the `hangUpsSeen` already handled (checked twice a second, so neither waits for
// the end of a minute).
void sleepUnlessStopped(int64_t ms, int hangUpsSeen)
{
    using namespace std::chrono;
    const auto until = steady_clock::now() + milliseconds(ms);
    while (!stopRequested() && platform::hangUpCount() == hangUpsSeen) {
        const auto left = duration_cast<milliseconds>(until - steady_clock::now()).count();
        if (left <= 0)
            return;
        std::this_thread::sleep_for(milliseconds(std::min<int64_t>(left, 500)));
    }
}

// Milliseconds to the next turn of the minute (a moment past it, so the tick never
// lands a hair before the minute a task is due in).
int64_t msToNextMinute()
{
    using namespace std::chrono;
    const int64_t now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return 60000 - now % 60000 + 200;
}

// KESTROW_TICK_MS: a shorter tick for tests; 0 when unset or not a positive number.
int64_t testTickMs()
{
    const auto value = platform::env("KESTROW_TICK_MS");
    if (!value || value->empty())
        return 0;
    char* end = nullptr;
    const long long ms = std::strtoll(value->c_str(), &end, 10);
    return (*end == '\0' && ms > 0) ? ms : 0;
}

// Notifications as lines on stderr, which the systemd unit sends to the journal.
// When stderr is a journal stream (systemd sets JOURNAL_STREAM), each line starts
// with its syslog priority ("<3>" a failed run, "<4>" a task not run), which the
// journal takes as the entry's priority and strips; in a terminal the line is plain.
class StderrNotificationSink : public NotificationSink
{
public:
    StderrNotificationSink() : m_priorityPrefix(platform::env("JOURNAL_STREAM").has_value()) {}

    void notify(const Notification& n) override
    {
        std::cerr << NotificationLine(n, m_priorityPrefix) << std::flush;
    }

private:
    bool m_priorityPrefix;
};

class DaemonHost : public ShellHost
{
public:
    // The window never exists: every due task runs.
    bool windowVisible() const override { return false; }

    void runScheduledTask(const CloneTaskPtr& task) override
    {
        m_ran = task;
        ShellHost::runScheduledTask(task);
    }

    // The task the last tick ran, once.
    CloneTaskPtr takeRanTask() { return std::exchange(m_ran, nullptr); }

private:
    CloneTaskPtr m_ran;
};

} // namespace

std::string NotificationLine(const Notification& n, bool priorityPrefix)
{
    std::string line = priorityPrefix ? "<" + std::to_string(SyslogPriority(n.kind)) + ">" : std::string();
    line += "kestrow-cli daemon: ";
    // One entry per notification, whatever a task name holds.
    for (const char c : n.text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    return line + '\n';
}

const char* daemonUsage()
{
    return "Usage: kestrow-cli daemon [--task-list FILE] [-q]\n"
           "\n"
           "Runs the scheduled tasks of a task list unattended, for machines without a\n"
           "desktop: once a minute, at the turn of the minute, the task that is due runs\n"
           "exactly as the desktop program runs it while its window is closed. Each\n"
           "task's run time, next run and error flag are saved to the task list file\n"
           "right after its run; the runs' log lines go to stdout and clone.log.\n"
           "A scheduled run that ends with errors, and a task that has not been able\n"
           "to run for more than two of its intervals, are told on stderr (even with\n"
           "-q), unless the Notifications option is off.\n"
           "\n"
           "Before each tick the task list file is read again when it changed, so tasks\n"
           "added, edited or removed meanwhile (by hand or with kestrow-cli task) are\n"
           "scheduled as they now stand; after a run only that task's run fields are\n"
           "written into the file as it is then. SIGHUP rereads the options and the\n"
           "task list at once.\n"
           "\n"
           "Only one Kestrow (desktop program or daemon) runs per data folder.\n"
           "SIGTERM or SIGINT stops the daemon: a running task is cancelled, logged\n"
           "and saved first.\n"
           "\n"
           "  --task-list FILE   the task list (default: the one kestrow.ini names,\n"
           "                     else \"Default Task List.kwt\" in the data folder)\n"
           "  -q, --quiet        no messages on stderr besides errors\n"
           "\n"
           "Exit status: 0 stopped by a signal, 1 could not start, 2 bad usage.\n";
}

int runDaemonCommand(int argc, char* argv[], int first)
{
    DaemonArgs args;
    if (!parsedOrExplained("daemon", daemonUsage(), [&] { args = parse(argc, argv, first); }))
        return ExitUsage;
    // A stop asked for while starting is honoured at the first chance; SIGHUP
    // rereads the options and the task list.
    platform::cancelOnSignals(CancelRequested, platform::HangUp::Counts);

    DaemonHost host;
    KestrowShell shell(host);
    if (!shell.Main())
        return ExitRunErrors;
    if (args.taskList && !FileExists(*args.taskList)) {
        std::cerr << "kestrow-cli daemon: task list " << *args.taskList << " does not exist\n";
        return ExitUsage;
    }
    if (!shell.LoadHeadless(args.taskList.value_or(""))) {
        std::cerr << "kestrow-cli daemon: could not read the options or the task list\n";
        shell.UnloadHeadless();
        return ExitRunErrors;
    }
    const std::string spec = gCloneTasks->TaskListFileSpec();
    // The version read at start; the read itself came after, so an edit made while
    // it read is seen at the first tick.
    platform::FileVersion seen = platform::dataFileVersion(spec);
    int hangUpsSeen = platform::hangUpCount();

    // Nobody is there to confirm: the daemon performs what it planned. Never saved:
    // the daemon does not write the options file.
    gClone->setConfirmSyncActions(false);
    ConsoleRunHost runHostImpl(true);
    ScopedRunHost runHostScope(runHostImpl);
    StderrNotificationSink notificationSink;
    shell.scheduler().notifier().setSink(&notificationSink);
    gCloneLog->setLineObserver([](const std::string& line) { std::cout << line << std::flush; });

    const int64_t tickMs = testTickMs();
    auto sayScheduling = [&] {
        if (!args.quiet) {
            std::cerr << "kestrow-cli daemon: scheduling " << gCloneTasks->Count()
                      << (gCloneTasks->Count() == 1 ? " task of " : " tasks of ") << spec << '\n';
        }
    };
    sayScheduling();

    bool stoppedDuringRun = false;
    while (!stopRequested()) {
        sleepUnlessStopped(tickMs > 0 ? tickMs : msToNextMinute(), hangUpsSeen);
        if (stopRequested())
            break;
        // Before each tick the list is the file as it is now: tasks added, changed or
        // removed by hand or by `kestrow-cli task` are scheduled as they now stand.
        const bool hangUp = platform::hangUpCount() != hangUpsSeen;
        hangUpsSeen = platform::hangUpCount();
        const platform::FileVersion now = platform::dataFileVersion(spec);
        if (hangUp || now != seen) {
            seen = now;
            if (!shell.ReloadHeadless(hangUp))
                std::cerr << "kestrow-cli daemon: could not read all of the "
                          << (hangUp ? "options and the task list" : "task list") << "\n";
            gClone->setConfirmSyncActions(false);
            sayScheduling();
            // A SIGHUP only rereads: the minute's tick comes at its time.
            if (hangUp && tickMs == 0)
                continue;
        }
        const TickOutcome outcome = shell.scheduler().tmrCloneScheduler_Timer(shell.unloading());
        const CloneTaskPtr ran = host.takeRanTask();
        if (outcome != TickOutcome::Ran || !ran)
            continue;
        if (stopRequested())
            stoppedDuringRun = true;
        // Only the run's own fields, into the file as it is now. When nobody else
        // wrote it meanwhile, the version after this write is the one the list holds.
        cCloneTasks::FileVersions versions;
        if (!gCloneTasks->SaveRunFieldsToTaskListFile(spec, {ran->TaskName()}, &versions)) {
            std::cerr << "kestrow-cli daemon: could not save task '" << ran->TaskName() << "' to " << spec
                      << '\n';
        } else {
            if (versions.before == seen)
                seen = versions.after;
            if (!args.quiet) {
                std::cerr << "kestrow-cli daemon: ran '" << ran->TaskName() << "'"
                          << (ran->ErrorOnLastClone() ? " (with errors)" : "") << "; next run "
                          << GeneralDateText(ran->NextCloneDateTime()) << '\n';
            }
        }
    }

    if (stoppedDuringRun) {
        // The run was cut short by the stop, as by the end of a desktop session.
        gCloneLog->Add(LogEntryType::ApplicationShutdownError);
        gCloneLog->Add(LogEntryType::End, "Unknown Task Name");
    }
    gCloneLog->setLineObserver({});
    shell.scheduler().notifier().setSink(nullptr);
    shell.UnloadHeadless();
    if (!args.quiet)
        std::cerr << "kestrow-cli daemon: stopped\n";
    return ExitOk;
}

} // namespace kestrow::cli
