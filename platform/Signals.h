#pragma once
// Turning SIGINT and SIGTERM into a cancel request.

#include <atomic>

namespace kestrow::platform {

// From now on SIGINT and SIGTERM set `flag` (and count in signalCount()) instead
// of ending the process. A third signal ends it at once, for a run that no
// longer listens.
void cancelOnSignals(std::atomic<bool>& flag);

// Signals received since cancelOnSignals.
int signalCount();

} // namespace kestrow::platform
