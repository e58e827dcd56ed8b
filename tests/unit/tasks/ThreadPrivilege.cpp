#include "tests/unit/tasks/ThreadPrivilege.h"

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrow::test {

namespace {

bool readCaps(__user_cap_header_struct& header, __user_cap_data_struct (&data)[2])
{
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0; // the calling thread
    return ::syscall(SYS_capget, &header, data) == 0;
}

} // namespace

bool dropPriorityRaiseRightOnThisThread()
{
    __user_cap_header_struct header{};
    __user_cap_data_struct data[2]{};
    if (!readCaps(header, data))
        return false;
    const unsigned bit = 1u << (CAP_SYS_NICE % 32);
    data[CAP_SYS_NICE / 32].effective &= ~bit;
    data[CAP_SYS_NICE / 32].permitted &= ~bit;
    data[CAP_SYS_NICE / 32].inheritable &= ~bit;
    header.pid = 0;
    return ::syscall(SYS_capset, &header, data) == 0;
}

bool threadMayRaisePriority()
{
    __user_cap_header_struct header{};
    __user_cap_data_struct data[2]{};
    if (readCaps(header, data) && (data[CAP_SYS_NICE / 32].effective & (1u << (CAP_SYS_NICE % 32))) != 0)
        return true;
    rlimit limit{};
    // RLIMIT_NICE n allows nice values down to 20 - n.
    return ::getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur > 10;
}

} // namespace kestrow::test
