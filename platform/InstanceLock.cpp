#include "platform/InstanceLock.h"

#include "platform/DataFile.h"
#include "platform/Fd.h"

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
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
    Fd fd = openDataFile(lockFile, O_RDWR | O_CREAT, 0600);
    if (!fd.valid()) {
        m_error = errno;
        return Result::Failed;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK)
            return Result::HeldElsewhere;
        m_error = err;
        return Result::Failed;
    }
    m_fd = std::move(fd);
    return Result::Acquired;
}

bool InstanceLock::isHeld(const std::string& lockFile)
{
    const Fd fd = openDataFile(lockFile, O_RDONLY);
    if (!fd.valid())
        return false;
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(fd.get(), LOCK_UN);
    return false;
}

void InstanceLock::release()
{
    if (m_fd.valid()) {
        ::flock(m_fd.get(), LOCK_UN);
        m_fd.close();
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
    // A link in its place would have the lock files made wherever it points.
    struct stat st
    {
    };
    if (::lstat(folder.c_str(), &st) != 0) {
        err = errno;
        return {};
    }
    if (!S_ISDIR(st.st_mode)) {
        err = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
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

namespace {

// flock orders open files, not threads: two threads of one process with their own
// descriptors would exclude each other, but one thread taking the lock twice would
// wait for itself. So the process keeps one open lock file per path, owned by one
// thread at a time, and other threads wait here before they touch it.
struct HeldFile
{
    Fd fd;
    std::thread::id owner;
    int depth = 0;
};

std::mutex g_heldMutex;
std::condition_variable g_heldReleased;
std::map<std::string, HeldFile> g_held;

} // namespace

UpdateLock::UpdateLock(const std::string& dataFile) : m_lockFile(updateLockFile(dataFile))
{
    const std::thread::id me = std::this_thread::get_id();
    {
        std::unique_lock guard(g_heldMutex);
        for (;;) {
            const auto it = g_held.find(m_lockFile);
            if (it == g_held.end())
                break;
            if (it->second.owner == me) {
                ++it->second.depth;
                m_held = true;
                return;
            }
            g_heldReleased.wait(guard);
        }
        // Claimed for this thread before the (possibly long) wait for other processes.
        g_held[m_lockFile] = HeldFile{Fd(), me, 1};
    }
    // The holder removes the sidecar as it lets go, so a waiter may wake up holding a
    // file that is no longer there: it then starts again with the one that is.
    Fd fd;
    int err = 0;
    for (;;) {
        fd = openDataFile(m_lockFile, O_RDWR | O_CREAT, 0600);
        if (!fd.valid()) {
            err = errno;
            break;
        }
        int rc;
        while ((rc = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            err = errno;
            fd.close();
            break;
        }
        struct stat opened, named;
        if (::fstat(fd.get(), &opened) == 0 && ::lstat(m_lockFile.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
            break;
        fd.close();
    }
    std::lock_guard guard(g_heldMutex);
    if (!fd.valid()) {
        m_error = err;
        g_held.erase(m_lockFile);
        g_heldReleased.notify_all();
        return;
    }
    g_held[m_lockFile].fd = std::move(fd);
    m_held = true;
}

UpdateLock::~UpdateLock()
{
    if (!m_held)
        return;
    std::lock_guard guard(g_heldMutex);
    const auto it = g_held.find(m_lockFile);
    if (it == g_held.end() || --it->second.depth > 0)
        return;
    // Removed while still locked (see the constructor); closing the descriptor ends the flock.
    ::unlink(m_lockFile.c_str());
    g_held.erase(it);
    g_heldReleased.notify_all();
}

std::string updateLockFile(std::string_view dataFile)
{
    const std::size_t slash = dataFile.rfind('/');
    const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(dataFile.substr(0, nameAt)) + "." + std::string(dataFile.substr(nameAt)) + ".lock";
}

} // namespace kestrow::platform
