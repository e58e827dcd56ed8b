#pragma once
// Test helper: takes from the calling thread (only) the right to raise its
// priority, so a test run as root sees what an ordinary user's process sees.

namespace kestrow::test {

// Drops CAP_SYS_NICE from the calling thread's effective and permitted sets.
// Returns false when the capability state could not be read or written.
bool dropPriorityRaiseRightOnThisThread();

// Whether the calling thread could raise its nice value (it has CAP_SYS_NICE, or
// RLIMIT_NICE allows a nice value below 10).
bool threadMayRaisePriority();

} // namespace kestrow::test
