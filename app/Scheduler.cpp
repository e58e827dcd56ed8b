#include "app/Scheduler.h"

#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "util/FreshThread.h"

#include <chrono>
#include <cmath>

namespace kestrow {

void SchedulerHost::runScheduledTask(const CloneTaskPtr& task)
{
    // A fresh thread per run: the priority the rules give it ends with the run.
    util::runOnFreshThread([&task] { task->Execute(cCloneTask::kCloneRun); });
}

const char* toString(TickOutcome outcome)
{
    switch (outcome) {
    case TickOutcome::Busy:
        return "Busy";
    case TickOutcome::Delayed:
        return "Delayed";
    case TickOutcome::NoTask:
        return "NoTask";
    case TickOutcome::NotDue:
        return "NotDue";
    case TickOutcome::Ran:
        return "Ran";
    case TickOutcome::WindowOpen:
        return "WindowOpen";
    case TickOutcome::Failed:
        return "Failed";
    }
    return "?";
}

namespace {

uint32_t systemTickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Whole seconds since 30 December 1899 of a day-count value. Before that day the
// fraction counts forward from the (negative) day, as the day count always has.
int64_t secondsOf(DateValue v)
{
    const double day = std::trunc(v);
    const double fraction = std::fabs(v - day);
    return static_cast<int64_t>(day) * 86400 + std::llround(fraction * 86400.0);
}

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

int64_t MinuteBoundariesBetween(DateValue from, DateValue to)
{
    return floorDiv(secondsOf(to), 60) - floorDiv(secondsOf(from), 60);
}

Scheduler::Scheduler(SchedulerHost& host, TickSource ticks)
    : m_host(host), m_ticks(ticks ? std::move(ticks) : TickSource(systemTickCount))
{
}

void Scheduler::start(int32_t delayMinutes)
{
    if (delayMinutes < 1) {
        m_FirstTaskDelayElapsed = true;
    } else {
        m_LoadTickCount = m_ticks();
        m_FirstTaskDelayElapsed = false;
    }
}

TickOutcome Scheduler::tmrCloneScheduler_Timer(bool unloading)
{
    const TickOutcome outcome = tick(unloading);
    // A run writes its task's times on its own thread: look at the list between runs.
    if (outcome != TickOutcome::Failed && !unloading && !gblnCloneRunning && !gblnRestoreRunning &&
        gCloneTasks) {
        Guarded("frmKestrow.tmrCloneScheduler_Timer",
                [this] { m_notifier.checkOverdue(*gCloneTasks, currentClock().now()); });
    }
    return outcome;
}

TickOutcome Scheduler::tick(bool unloading)
{
    try {
        if (gblnCloneRunning || gblnRestoreRunning || gblnSchedulerPaused || unloading)
            return TickOutcome::Busy;

        if (!m_FirstTaskDelayElapsed) {
            // Unsigned difference: right across the tick count's wrap.
            const uint32_t elapsed = m_ticks() - m_LoadTickCount;
            const int64_t delayMs = static_cast<int64_t>(glngDelayBeforeFirstTask.load()) * 60000;
            if (static_cast<int64_t>(elapsed) < delayMs)
                return TickOutcome::Delayed;
            m_FirstTaskDelayElapsed = true;
        }

        const CloneTaskPtr task = gCloneTasks ? gCloneTasks->NextScheduledTask() : nullptr;
        if (!task) {
            m_host.refreshTrayIcon();
            return TickOutcome::NoTask;
        }
        if (!IsTaskDue(task->NextCloneDateTime(), currentClock().now())) {
            m_host.refreshTrayIcon();
            return TickOutcome::NotDue;
        }

        if (!m_host.windowVisible()) {
            gblnScheduledRun = true;
            m_host.runScheduledTask(task);
            // Execute clears the flag at its end; still set, the host did not run it.
            if (!gblnScheduledRun)
                m_notifier.scheduledRunEnded(*task);
            m_host.refreshTrayIcon();
            return TickOutcome::Ran;
        }

        if (gblnShowScheduledSyncsMsg) {
            ui().messageBox("Scheduled Task Not Run",
                            "The following scheduled task was not run:\n" + task->TaskName() +
                                "\n\nScheduled tasks are run only when the\napplication window is closed or "
                                "minimized.\n\nNote: This message will not appear again.",
                            MsgIcon::Information, MsgButtons::Ok);
            gblnShowScheduledSyncsMsg = false;
        } else {
            m_host.setPanel1Text("Scheduled tasks are not run while the main Kestrow window is open.");
        }
        return TickOutcome::WindowOpen;
    } catch (...) {
        ReportError("frmKestrow.tmrCloneScheduler_Timer");
        return TickOutcome::Failed;
    }
}

} // namespace kestrow
