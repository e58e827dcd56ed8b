#pragma once
// CPU and I/O priority of the calling thread. Linux keeps both per thread, and a new
// thread inherits them from the thread that creates it; an unprivileged process may
// lower its priority but not raise it again.
//
// Priority classes and what they set:
//   64 (low)     nice 10, best-effort I/O level 7
//   32 (normal)  nice 0,  best-effort I/O level 4
//   128 (high)   nice -5, best-effort I/O level 0

#include <cstdint>

namespace kestrow::platform {

struct ThreadPriority
{
    int nice = 0;
    int ioClass = 2; // 1 real-time, 2 best-effort, 3 idle (a thread that set none reads as best-effort)
    int ioLevel = 4; // 0 (highest) to 7; for a thread that set none, the level its nice value implies
};

// The calling thread's nice value and I/O priority.
ThreadPriority currentThreadPriority();

// The class (64, 32, 128) whose nice value and I/O priority the calling thread has
// exactly, or 0 when it matches none of the three.
int32_t currentThreadPriorityClass();

// Sets the calling thread's nice value and I/O priority for class 64, 32 or 128.
// Returns 0 when both were set; otherwise the errno of the first part the system
// refused (EACCES/EPERM when the priority may not be raised), the other part still
// being attempted; EINVAL for any other class.
int setThreadPriorityClass(int32_t priorityClass);

} // namespace kestrow::platform
