#pragma once
// Turning SIGINT and SIGTERM (and for a run in a terminal, SIGHUP) into a cancel request.

#include <atomic>

namespace kestrow::platform {

// What SIGHUP (the terminal closed, the ssh session dropped) does.
enum class HangUp
{
    EndsProcess, // the system's default
    Cancels,     // as SIGINT and SIGTERM
};

// From now on SIGINT and SIGTERM (and SIGHUP as `hangUp` says) set `flag` (and count
// in signalCount()) instead of ending the process. A third signal ends it at once,
// for a run that no longer listens. SIGPIPE is ignored: a reader that went away
// (`| head`) makes writes to it fail, never ends the process in mid-run.
void cancelOnSignals(std::atomic<bool>& flag, HangUp hangUp = HangUp::EndsProcess);

// Signals received since cancelOnSignals.
int signalCount();

} // namespace kestrow::platform
