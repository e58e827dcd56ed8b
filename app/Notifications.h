#pragma once
// Desktop notifications of the scheduler: what to tell the user and when, free of
// any front end. The scheduler tick drives a Notifier; the front end gives it a
// NotificationSink (the desktop program: the tray's message, else the freedesktop
// notification service; the daemon: one line on stderr). Without a sink, or while
// gblnNotifications is off, nothing is said and nothing is remembered.
//
// When:
// - A scheduled run that reached its end with the task's error flag set (an
//   unusable Source or Target, a failed copy, delete or comparison) notifies once
//   for that run. A run ended by a cancel (CancelRequested still set afterwards: the
//   user's Stop, the end of the session, the daemon's SIGTERM) does not: whoever
//   stopped it knows. Runs started by hand never notify; the window shows them.
// - A scheduled task has not been able to run for too long when the minute of now
//   is later than the minute of OverdueLimit (its NextCloneDateTime plus two of its
//   intervals). Whatever held it back (the main window open, the scheduler paused,
//   the start-up delay, a long run of another task, the machine off), the task is
//   named once; it is named again only after its NextCloneDateTime has changed (it
//   ran, or its schedule was edited) and it has fallen that far behind anew.

#include "base/DateTime.h"

#include <map>
#include <string>

namespace kestrow {

class cCloneTask;
class cCloneTasks;

// The switch of the Options menu item "Notifications" (options file key
// [Miscellaneous] Notifications, "True" by default). Read and written on the thread
// that ticks the scheduler.
extern bool gblnNotifications;

enum class NotificationKind
{
    RunEndedWithErrors, // a scheduled run ended with its error flag set
    NotRunForTooLong,   // a scheduled task is more than two intervals behind
};

struct Notification
{
    NotificationKind kind = NotificationKind::RunEndedWithErrors;
    std::string taskName;
    std::string title; // short, for the bubble's heading
    std::string text;  // one line, names the task
};

// The notification for a scheduled run of `taskName` that ended with errors.
Notification RunEndedWithErrorsNotification(const std::string& taskName);
// The notification for `taskName`, due at `due` and still not run.
Notification NotRunForTooLongNotification(const std::string& taskName, DateValue due);

// The syslog priority of a kind: 3 (error) for a failed run, 4 (warning) for a task
// not run.
int SyslogPriority(NotificationKind kind);

// The moment a scheduled task counts as not run for too long once the clock's minute
// is past it: NextCloneDateTime plus two intervals, where the interval is
// IntervalIncrement minutes, hours or days (types 1 to 3); for the days of the week
// (type 4) the longest wait between two chosen days (1 to 7 days); for the first day
// of the month (5) two calendar months later; for the last day of the month (6) the
// last day of the month two months later, at the same time of day. 0 (never) for a
// manual task, a task without a next run, and schedule fields the scheduler refuses.
DateValue OverdueLimit(const cCloneTask& task);

// Whether the minute of `now` is later than the minute of OverdueLimit (never when
// the limit is 0).
bool IsNotRunForTooLong(const cCloneTask& task, DateValue now);

// Where notifications go. Called on the thread that ticks the scheduler.
class NotificationSink
{
public:
    virtual ~NotificationSink() = default;
    virtual void notify(const Notification& notification) = 0;
};

class Notifier
{
public:
    // Not owned; null (the default) says nothing.
    void setSink(NotificationSink* sink) { m_sink = sink; }
    NotificationSink* sink() const { return m_sink; }

    // After a scheduled run of `task` has reached its end (the task as the list holds
    // it, its error flag and run times already updated).
    void scheduledRunEnded(const cCloneTask& task);

    // Once per scheduler tick, never while a run is active: names each task of
    // `tasks` that is not run for too long at `now` and was not named for its current
    // NextCloneDateTime yet. Forgets tasks that have left the list.
    void checkOverdue(const cCloneTasks& tasks, DateValue now);

private:
    NotificationSink* m_sink = nullptr;
    // Task name in lower case -> the NextCloneDateTime it was named for.
    std::map<std::string, DateValue> m_named;
};

} // namespace kestrow
