#include "platform/TextFile.h"

#include "platform/DataFile.h"
#include "platform/Fd.h"

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

std::string readAll(const Fd& fd, int& err)
{
    std::string out;
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) == 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
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
    return out;
}

// Closes `fd` after a write; the close's own failure stands when nothing failed before.
int closedAfter(Fd& fd, int rc)
{
    const int closeErr = fd.close();
    return rc != 0 ? rc : closeErr;
}

} // namespace

std::string readWholeFile(const std::string& path, int& err)
{
    err = 0;
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        err = errno;
        return {};
    }
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return {};
    }
    return readAll(fd, err);
}

std::string readDataFile(const std::string& path, int& err)
{
    err = 0;
    const Fd fd = openDataFile(path, O_RDONLY);
    if (!fd.valid()) {
        err = errno;
        return {};
    }
    return readAll(fd, err);
}

int appendToFile(const std::string& path, const std::string& data)
{
    Fd fd = openDataFile(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (!fd.valid())
        return errno;
    return closedAfter(fd, writeAll(fd.get(), data));
}

int writeWholeFile(const std::string& path, const std::string& data)
{
    Fd fd = openDataFile(path, O_WRONLY | O_TRUNC | O_CREAT, 0644);
    if (!fd.valid())
        return errno;
    int rc = writeAll(fd.get(), data);
    if (rc == 0 && ::fsync(fd.get()) != 0)
        rc = errno;
    return closedAfter(fd, rc);
}

namespace {

// A name for the temporary file that replaces `path`: in the same folder, so the
// rename never crosses a mount.
std::string temporaryNameBeside(const std::string& path)
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    return path + ".tmp" + std::to_string(rng() % 1000000000ULL);
}

} // namespace

int writeFileAtomically(const std::string& path, const std::string& data)
{
    std::string tmp;
    Fd fd;
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        tmp = temporaryNameBeside(path);
        fd = openDataFile(tmp, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (!fd.valid() && errno != EEXIST)
            return errno;
    }
    if (!fd.valid())
        return EEXIST;
    // Keep the permission bits of the file being replaced (not those of whatever a link
    // there points to: the rename replaces the link itself).
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd.get(), st.st_mode & 07777);
    int rc = writeAll(fd.get(), data);
    if (rc == 0 && ::fsync(fd.get()) != 0)
        rc = errno;
    rc = closedAfter(fd, rc);
    if (rc == 0 && ::rename(tmp.c_str(), path.c_str()) != 0)
        rc = errno;
    if (rc != 0)
        ::unlink(tmp.c_str());
    return rc;
}

int64_t fileSize(const std::string& path, int& err)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        err = errno;
        return -1;
    }
    err = 0;
    return static_cast<int64_t>(st.st_size);
}

bool pathExists(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

int removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int copyFileNoOverwrite(const std::string& from, const std::string& to)
{
    const Fd in = openDataFile(from, O_RDONLY);
    if (!in.valid())
        return errno;
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0)
        return errno;
    Fd out = openDataFile(to, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 0777);
    if (!out.valid())
        return errno;
    int rc = 0;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            rc = errno;
            break;
        }
        if (n == 0)
            break;
        rc = writeAll(out.get(), std::string(buf, static_cast<size_t>(n)));
        if (rc != 0)
            break;
    }
    rc = closedAfter(out, rc);
    if (rc != 0)
        ::unlink(to.c_str());
    return rc;
}

int copyFileReplacing(const std::string& from, const std::string& to)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string tmp = temporaryNameBeside(to);
        const int rc = copyFileNoOverwrite(from, tmp);
        if (rc == EEXIST)
            continue;
        if (rc != 0)
            return rc;
        if (::rename(tmp.c_str(), to.c_str()) != 0) {
            const int err = errno;
            ::unlink(tmp.c_str());
            return err;
        }
        return 0;
    }
    return EEXIST;
}

} // namespace kestrow::platform
