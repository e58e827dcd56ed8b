#include "platform/TextFile.h"

#include "platform/DataFile.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

int writeAll(int fd, const std::string& data)
{
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}

std::string readAll(int fd, int& err)
{
    std::string out;
    struct stat st{};
    if (::fstat(fd, &st) == 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

} // namespace

std::string readWholeFile(const std::string& path, int& err)
{
    err = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        err = errno;
        return {};
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return {};
    }
    return readAll(fd, err);
}

std::string readDataFile(const std::string& path, int& err)
{
    err = 0;
    const int fd = openDataFile(path, O_RDONLY);
    if (fd < 0) {
        err = errno;
        return {};
    }
    return readAll(fd, err);
}

int appendToFile(const std::string& path, const std::string& data)
{
    int fd = openDataFile(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        return errno;
    int rc = writeAll(fd, data);
    if (::close(fd) != 0 && rc == 0)
        rc = errno;
    return rc;
}

int writeWholeFile(const std::string& path, const std::string& data)
{
    int fd = openDataFile(path, O_WRONLY | O_TRUNC | O_CREAT, 0644);
    if (fd < 0)
        return errno;
    int rc = writeAll(fd, data);
    if (rc == 0 && ::fsync(fd) != 0)
        rc = errno;
    if (::close(fd) != 0 && rc == 0)
        rc = errno;
    return rc;
}

int writeFileAtomically(const std::string& path, const std::string& data)
{
    // The temporary name lives in the same folder so the rename never crosses a mount.
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = path + ".tmp" + std::to_string(rng() % 1000000000ULL);
        fd = openDataFile(tmp, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    // Keep the permission bits of the file being replaced (not those of whatever a link
    // there points to: the rename replaces the link itself).
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 07777);
    int rc = writeAll(fd, data);
    if (rc == 0 && ::fsync(fd) != 0)
        rc = errno;
    if (::close(fd) != 0 && rc == 0)
        rc = errno;
    if (rc == 0 && ::rename(tmp.c_str(), path.c_str()) != 0)
        rc = errno;
    if (rc != 0)
        ::unlink(tmp.c_str());
    return rc;
}

int64_t fileSize(const std::string& path, int& err)
{
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) {
        err = errno;
        return -1;
    }
    err = 0;
    return static_cast<int64_t>(st.st_size);
}

bool pathExists(const std::string& path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

int removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int copyFileNoOverwrite(const std::string& from, const std::string& to)
{
    int in = openDataFile(from, O_RDONLY);
    if (in < 0)
        return errno;
    struct stat st{};
    if (::fstat(in, &st) != 0) {
        int e = errno;
        ::close(in);
        return e;
    }
    int out = openDataFile(to, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 0777);
    if (out < 0) {
        int e = errno;
        ::close(in);
        return e;
    }
    int rc = 0;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            rc = errno;
            break;
        }
        if (n == 0)
            break;
        rc = writeAll(out, std::string(buf, static_cast<size_t>(n)));
        if (rc != 0)
            break;
    }
    ::close(in);
    if (::close(out) != 0 && rc == 0)
        rc = errno;
    if (rc != 0)
        ::unlink(to.c_str());
    return rc;
}

} // namespace kestrow::platform
