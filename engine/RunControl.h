#pragma once
// Cancellation of a clone run. The run host clears the flags when a run starts,
// the cancel commands set CancelRequested (from any thread), and the engine polls
// IsCloneCancelled between directory entries and operations. Kept minimal: the
// run host adds event pumping and status texts around it.

#include <atomic>

namespace kestrow {

// The user asked to cancel the current run.
extern std::atomic<bool> CancelRequested;
// The cancel of the current run has already been written to the clone log.
extern std::atomic<bool> CancelLogged;

// True while CancelRequested is set. The first call in a run that sees the flag
// adds one "User Cancelled Error" entry (kind 14) to gCloneLog; later calls add
// nothing until ResetCancelFlags.
bool IsCloneCancelled();

// Clears both flags (start of a run).
void ResetCancelFlags();

} // namespace kestrow
