#pragma once
// Set-up helpers for the platform tests: the things a test tree needs that the
// platform layer itself does not make (sockets, chosen times, modes).

#include "platform/Fd.h"
#include "tests/support/Mount.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kestrow::test {

// Ends the test program when a check blocks (say, on a FIFO), so a hang is a
// failure rather than a stuck run.
class Watchdog
{
public:
    explicit Watchdog(unsigned seconds = 20) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};

inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}

inline void setMtime(const std::string& path, int64_t seconds, long nanoseconds, bool noFollow = false)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = nanoseconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, noFollow ? AT_SYMLINK_NOFOLLOW : 0), 0) << path;
}

inline void setTimes(const std::string& path, timespec atime, timespec mtime)
{
    const struct timespec times[2] = {atime, mtime};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

inline struct stat lstatOf(const std::string& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path << ": " << errno;
    return st;
}

inline bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

inline void makeSymlink(const std::string& text, const std::string& at)
{
    ASSERT_EQ(::symlink(text.c_str(), at.c_str()), 0) << at;
}

inline void makeFifoAt(const std::string& at, mode_t mode = 0640)
{
    ASSERT_EQ(::mkfifo(at.c_str(), mode), 0) << at;
    ASSERT_EQ(::chmod(at.c_str(), mode), 0);
}

// A bound Unix socket at `at`; the descriptor is closed, the entry stays.
inline void makeSocket(const std::string& at)
{
    platform::Fd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_TRUE(fd.valid());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(at.size(), sizeof addr.sun_path) << "socket path too long for this temp folder";
    at.copy(addr.sun_path, at.size());
    const int rc = ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fd.close();
    ASSERT_EQ(rc, 0) << at;
}

inline void chmodOrFail(const std::string& path, mode_t mode)
{
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bytes that differ from file to file and are not all one value.
inline std::string patternBytes(size_t size, unsigned seed = 1)
{
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

// Runs a shell command quietly; true when it exited with 0.
inline bool quietly(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace kestrow::test
