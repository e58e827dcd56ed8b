#pragma once
// Turning SIGINT and SIGTERM (and for a run in a terminal, SIGHUP) into a cancel request;
// for the daemon, SIGHUP into a request to reread its files.

#include <atomic>

namespace kestrow::platform {

// What SIGHUP (the terminal closed, the ssh session dropped) does.
enum class HangUp
{
    EndsProcess, // the system's default
    Cancels,     // as SIGINT and SIGTERM
    Counts,      // only counted in hangUpCount(), for a daemon that rereads its files
};

// From now on SIGINT and SIGTERM (and SIGHUP as `hangUp` says) set `flag` (and count
// in signalCount()) instead of ending the process. A third signal ends it at once,
// for a run that no longer listens. SIGPIPE is ignored: a reader that went away
// (`| head`) makes writes to it fail, never ends the process in mid-run.
void cancelOnSignals(std::atomic<bool>& flag, HangUp hangUp = HangUp::EndsProcess);

// SIGINT and SIGTERM (and a cancelling SIGHUP) received since cancelOnSignals.
int signalCount();

// SIGHUPs received since cancelOnSignals with HangUp::Counts.
int hangUpCount();

} // namespace kestrow::platform
