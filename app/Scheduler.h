#pragma once
// The scheduler tick: which task runs when, shared by the GUI's 60-second timer and
// the headless daemon. The tick itself holds no timer; the caller calls
// tmrCloneScheduler_Timer once a minute. "Now" comes from currentClock() (DateTime.h),
// the start-up delay from a millisecond tick source that tests replace.

#include "app/Notifications.h"
#include "tasks/cCloneTasks.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kestrow {

// What the tick needs from its front end.
class SchedulerHost
{
public:
    virtual ~SchedulerHost() = default;

    // True only for a visible main window in its normal state (not hidden, not
    // minimised, and not maximised: a maximised window counts as not open, as it
    // always has). A front end without a window returns false.
    virtual bool windowVisible() const { return false; }

    // Runs `task` (its Execute(false)) as a scheduled run and returns when the run is
    // over. gblnScheduledRun is already set. The GUI does the engine work on a fresh
    // worker thread while its window stays live; the default runs it on a fresh
    // thread and waits.
    virtual void runScheduledTask(const CloneTaskPtr& task);

    // Refreshes the tray icon (UpdateTrayIcon).
    virtual void refreshTrayIcon() {}

    // The caption of the status bar item "PANEL1".
    virtual void setPanel1Text(const std::string& /*text*/) {}
};

// What one tick did, for the caller (the daemon saves the task list after Ran) and tests.
enum class TickOutcome
{
    Busy,       // a run or restore is active, the scheduler is paused, or unloading
    Delayed,    // the start-up delay is not over
    NoTask,     // no task is scheduled
    NotDue,     // the next task's minute has not come yet
    Ran,        // the next task was run
    WindowOpen, // the next task is due but the main window is open: not run
    Failed,     // an unexpected error, reported as "frmKestrow.tmrCloneScheduler_Timer"
};

const char* toString(TickOutcome outcome);

class Scheduler
{
public:
    // Milliseconds since some fixed point, wrapping at 2^32 like a system tick count.
    using TickSource = std::function<uint32_t()>;

    // `ticks` empty: a monotonic clock of the system.
    explicit Scheduler(SchedulerHost& host, TickSource ticks = {});

    // Form_Load's last steps: with `delayMinutes` below 1 the delay is over at once;
    // otherwise the tick count is taken now and no task runs until that many minutes
    // have passed.
    void start(int32_t delayMinutes);

    // The tick, in this order:
    // 1. Busy while gblnCloneRunning, gblnRestoreRunning, gblnSchedulerPaused or
    //    `unloading`.
    // 2. Delayed while the start-up delay is not over.
    // 3. The list's next scheduled task (gCloneTasks->NextScheduledTask()); none (or no
    //    list): NoTask, tray icon refreshed.
    // 4. Due when the count of minute boundaries from its NextCloneDateTime to now is 0
    //    or more (a task is due from the first second of its minute); else NotDue, tray
    //    icon refreshed.
    // 5. Window not open: gblnScheduledRun set, the task run through the host, tray icon
    //    refreshed: Ran.
    // 6. Window open: not run (WindowOpen); the message "Scheduled Task Not Run" once
    //    while gblnShowScheduledSyncsMsg is set (which it then clears), else the text
    //    "Scheduled tasks are not run while the main Kestrow window is open." in PANEL1.
    // The notifier hears of a run that reached its end (step 5), and after every tick
    // but Failed checks the list for tasks not run for too long, unless a run or
    // restore is active or `unloading` (the first tick after the run catches up).
    TickOutcome tmrCloneScheduler_Timer(bool unloading = false);

    bool firstTaskDelayElapsed() const { return m_FirstTaskDelayElapsed; }

    // The desktop notifications of the scheduled tasks; a front end sets its sink.
    Notifier& notifier() { return m_notifier; }

private:
    TickOutcome tick(bool unloading);

    SchedulerHost& m_host;
    TickSource m_ticks;
    Notifier m_notifier;
    bool m_FirstTaskDelayElapsed = true;
    uint32_t m_LoadTickCount = 0;
};

// Whole minute boundaries crossed from `from` to `to` (negative when `to` is in an
// earlier minute): the minute-granular difference of two wall-clock values.
int64_t MinuteBoundariesBetween(DateValue from, DateValue to);

// Whether a task whose next run is `next` is due at `now`.
inline bool IsTaskDue(DateValue next, DateValue now)
{
    return MinuteBoundariesBetween(next, now) >= 0;
}

} // namespace kestrow
