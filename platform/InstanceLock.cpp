#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

InstanceLock::~InstanceLock()
{
    release();
}

InstanceLock::Result InstanceLock::acquire(const std::string& lockFile)
{
    release();
    m_error = 0;
    // O_CREAT leaves an existing file as it is: a second instance changes nothing.
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = errno;
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return Result::HeldElsewhere;
        m_error = err;
        return Result::Failed;
    }
    m_fd = fd;
    return Result::Acquired;
}

bool InstanceLock::isHeld(const std::string& lockFile)
{
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool held = false;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0)
        held = errno == EWOULDBLOCK;
    else
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return held;
}

void InstanceLock::release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

std::string instanceLockFile(const std::string& dataFolder)
{
    std::string folder = dataFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + ".kestrow.lock";
}

std::string targetLockFile(const std::string& dataFolder, const std::string& resolvedTarget, int& err)
{
    err = 0;
    std::string folder = dataFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    folder += "target-locks";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        err = errno;
        return {};
    }
    // FNV-1a: stable across builds and programs, unlike std::hash.
    uint64_t hash = 14695981039346656037ull;
    std::string key = resolvedTarget;
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    for (const unsigned char c : key) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "/%016llx.lock", static_cast<unsigned long long>(hash));
    return folder + name;
}

} // namespace kestrow::platform
