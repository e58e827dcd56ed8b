#pragma once
// kestrow-cli daemon [--task-list FILE] [-q]
//
// The scheduler without a desktop: takes the same single-instance lock as the
// desktop program, reads the options and the task list, and every minute (at the
// turn of the minute) runs the task that is due, exactly as the desktop program
// does while its window is closed: each run's work on a fresh thread, the log
// written as always, the task list saved after each run. SIGTERM or SIGINT cancels
// a running task (CancelRequested), logs, saves and ends with status 0.
//
// Notifications (app/Notifications.h) go to stderr, one line each, also with -q;
// the options file's Notifications switch turns them off.
//
// For tests, KESTROW_TICK_MS=N replaces the minute by N milliseconds (no aligning).

#include <string>

namespace kestrow {
struct Notification;
}

namespace kestrow::cli {

// The daemon's stderr line of a notification: "kestrow-cli daemon: " and its text
// (line breaks as blanks), ending with "\n"; with `priorityPrefix` preceded by the
// syslog priority in angle brackets ("<3>", "<4>").
std::string NotificationLine(const Notification& n, bool priorityPrefix);

// Returns 0 after a clean stop, 1 when the start failed (another instance holds
// the lock: "Kestrow is already running"; options or task list unreadable), 2 for
// bad usage.
int runDaemonCommand(int argc, char* argv[], int first);

const char* daemonUsage();

} // namespace kestrow::cli
