#include "platform/Priority.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

// From the kernel's ioprio interface (glibc has no wrapper).
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassNone = 0;
constexpr int kIoprioClassBestEffort = 2;

struct ClassSettings
{
    int32_t priorityClass;
    int nice;
    int ioLevel;
};

constexpr ClassSettings kClasses[] = {
    {64, 10, 7},
    {32, 0, 4},
    {128, -5, 0},
};

pid_t threadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

} // namespace

ThreadPriority currentThreadPriority()
{
    const pid_t tid = threadId();
    ThreadPriority p;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    p.nice = (nice == -1 && errno != 0) ? 0 : nice;
    const long io = ::syscall(SYS_ioprio_get, kIoprioWhoProcess, tid);
    const int ioClass = io < 0 ? kIoprioClassNone : static_cast<int>(io >> kIoprioClassShift);
    if (ioClass == kIoprioClassNone) {
        // No I/O priority of its own: the kernel serves it best-effort at the level
        // its nice value implies.
        p.ioClass = kIoprioClassBestEffort;
        const int level = (p.nice + 20) / 5;
        p.ioLevel = level < 0 ? 0 : level > 7 ? 7 : level;
    } else {
        p.ioClass = ioClass;
        p.ioLevel = static_cast<int>(io & ((1 << kIoprioClassShift) - 1));
    }
    return p;
}

int32_t currentThreadPriorityClass()
{
    const ThreadPriority p = currentThreadPriority();
    for (const ClassSettings& c : kClasses) {
        if (p.nice == c.nice && p.ioClass == kIoprioClassBestEffort && p.ioLevel == c.ioLevel)
            return c.priorityClass;
    }
    return 0;
}

int setThreadPriorityClass(int32_t priorityClass)
{
    for (const ClassSettings& c : kClasses) {
        if (c.priorityClass != priorityClass)
            continue;
        const pid_t tid = threadId();
        int result = 0;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), c.nice) != 0)
            result = errno;
        const long value = (static_cast<long>(kIoprioClassBestEffort) << kIoprioClassShift) | c.ioLevel;
        if (::syscall(SYS_ioprio_set, kIoprioWhoProcess, tid, value) != 0 && result == 0)
            result = errno;
        return result;
    }
    return EINVAL;
}

} // namespace kestrow::platform
