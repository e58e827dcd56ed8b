#include "platform/FileOps.h"

#include "platform/FileInfo.h"
#include "platform/PathCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

constexpr size_t kMaxBlock = 1024 * 1024;

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports the close's own failure (delayed write errors show here).
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int m_fd;
};

void fillRandom(void* buf, size_t len)
{
    auto* p = static_cast<unsigned char*>(buf);
    while (len > 0) {
        const ssize_t n = ::getrandom(p, len, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // No entropy source: still different from the old contents.
            for (size_t i = 0; i < len; ++i)
                p[i] = static_cast<unsigned char>(std::rand());
            return;
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
}

std::string randomHex(size_t digits)
{
    std::vector<unsigned char> bytes((digits + 1) / 2);
    fillRandom(bytes.data(), bytes.size());
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    out.resize(digits);
    return out;
}

// A name for a new entry beside `path` that nothing uses yet (not created).
std::string siblingName(const std::string& path)
{
    const std::string parent = detail::parentOf(path);
    return (parent == "/" ? std::string() : parent) + "/.kw-" + randomHex(12);
}

int writeAll(int fd, const char* data, size_t len)
{
    while (len > 0) {
        const ssize_t n = ::write(fd, data, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return 0;
}

bool isFallbackError(int err)
{
    return err == EXDEV || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP || err == EINVAL ||
           err == EBADF || err == ETXTBSY || err == EPERM || err == ENOTTY;
}

// Data from `in` to `out` (both at offset 0, `out` empty): reflink, then
// copy_file_range, then plain reads and writes up to the end of `in`.
int copyData(int in, int out, uint64_t size)
{
    if (size > 0 && ::ioctl(out, FICLONE, in) == 0)
        return 0;
    uint64_t copied = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1UL << 30, 0);
        if (n > 0) {
            copied += static_cast<uint64_t>(n);
            continue;
        }
        if (n == 0) {
            if (copied > 0)
                return 0; // end of file
            break;        // empty, or a file system (proc, sysfs) that hands out nothing this way
        }
        if (errno == EINTR)
            continue;
        if (!isFallbackError(errno))
            return errno;
        break;
    }
    const size_t blockSize = std::clamp<uint64_t>(size, 4096, kMaxBlock);
    std::unique_ptr<char[]> buf(new char[blockSize]);
    for (;;) {
        const ssize_t n = ::read(in, buf.get(), blockSize);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (const int err = writeAll(out, buf.get(), static_cast<size_t>(n)))
            return err;
    }
}

bool ignorableAttributeError(int err)
{
    // File systems without Unix ownership or permissions (FAT, some FUSE) refuse these.
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

void copyExtendedAttributes(int in, int out)
{
    ssize_t listSize = ::flistxattr(in, nullptr, 0);
    if (listSize <= 0)
        return;
    std::vector<char> names(static_cast<size_t>(listSize));
    listSize = ::flistxattr(in, names.data(), names.size());
    if (listSize <= 0)
        return;
    std::vector<char> value;
    for (size_t pos = 0; pos < static_cast<size_t>(listSize);) {
        const char* name = names.data() + pos;
        pos += std::char_traits<char>::length(name) + 1;
        const ssize_t len = ::fgetxattr(in, name, nullptr, 0);
        if (len < 0)
            continue;
        value.resize(static_cast<size_t>(len));
        const ssize_t got = ::fgetxattr(in, name, value.data(), value.size());
        if (got < 0)
            continue;
        // What cannot be set here (trusted.*, security.* without privilege) is left behind.
        (void)::fsetxattr(out, name, value.data(), static_cast<size_t>(got), 0);
    }
}

// `current` is the target's own stat: a regular copy keeps its access time.
// That time is passed as a value, not UTIME_OMIT, which some FUSE file systems
// take as a reason to drop the modification time too.
int setTimes(int fd, const char* path, const struct stat& src, const struct stat& current, CopyFlavor flavor)
{
    struct timespec times[2];
    times[0] = flavor == CopyFlavor::Regular ? current.st_atim : src.st_atim;
    times[1] = src.st_mtim;
    const int rc = fd >= 0 ? ::futimens(fd, times) : ::utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW);
    return rc == 0 ? 0 : errno;
}

// Creates a link or FIFO at `to`; an existing `to` is replaced by renaming a
// new entry over it, so nothing is ever written through it.
template <typename Create>
int createReplacing(const std::string& to, bool toExists, const struct stat& src, CopyFlavor flavor,
                    Create create)
{
    std::string target = to;
    if (toExists) {
        int err = EEXIST;
        for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
            target = siblingName(to);
            err = create(target);
        }
        if (err)
            return err;
    } else if (const int err = create(target)) {
        return err;
    }
    const bool isLink = S_ISLNK(src.st_mode);
    if (flavor == CopyFlavor::KeepEverything && ::lchown(target.c_str(), src.st_uid, src.st_gid) != 0 &&
        !ignorableAttributeError(errno) && errno != EINVAL) {
        const int err = errno;
        ::unlink(target.c_str());
        return err;
    }
    if (!isLink && ::fchmodat(AT_FDCWD, target.c_str(), src.st_mode & 07777, 0) != 0 &&
        !ignorableAttributeError(errno)) {
        const int err = errno;
        ::unlink(target.c_str());
        return err;
    }
    struct stat current;
    if (::lstat(target.c_str(), &current) != 0) {
        const int err = errno;
        ::unlink(target.c_str());
        return err;
    }
    // A link's own times cannot be set everywhere; its text is what identifies it.
    if (const int err = setTimes(-1, target.c_str(), src, current, flavor);
        err && !(isLink && ignorableAttributeError(err))) {
        ::unlink(target.c_str());
        return err;
    }
    if (toExists && ::rename(target.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(target.c_str());
        return err;
    }
    return 0;
}

int copyRegular(const std::string& from, const std::string& to, bool toExists, const struct stat& dst,
                CopyFlavor flavor)
{
    // O_NONBLOCK: should a FIFO be swapped in after the lstat, the open does not wait.
    Fd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid())
        return errno;
    struct stat src;
    if (::fstat(in.get(), &src) != 0)
        return errno;
    if (!S_ISREG(src.st_mode))
        return ENOTSUP;
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // Where the data goes: a new file at `to`, the existing regular file in place,
    // or (over a link or special file) a new file renamed over it at the end.
    std::string written = to;
    bool created = false;
    Fd out;
    if (!toExists) {
        out = Fd(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        created = true;
    } else if (S_ISREG(dst.st_mode)) {
        out = Fd(::open(to.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    } else {
        for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
            written = siblingName(to);
            out = Fd(::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!out.valid() && errno != EEXIST)
                break;
        }
        created = true;
    }
    if (!out.valid())
        return errno;

    auto fail = [&](int err) {
        out.close();
        if (created)
            ::unlink(written.c_str());
        return err;
    };
    struct stat outSt;
    if (::fstat(out.get(), &outSt) != 0)
        return fail(errno);
    if (!S_ISREG(outSt.st_mode))
        return fail(ENOTSUP);
    if (const int err = copyData(in.get(), out.get(), static_cast<uint64_t>(src.st_size)))
        return fail(err);

    if (flavor == CopyFlavor::KeepEverything) {
        // Ownership before the mode: a change of owner clears set-user-ID bits.
        if (::fchown(out.get(), src.st_uid, src.st_gid) != 0 && !ignorableAttributeError(errno))
            return fail(errno);
        copyExtendedAttributes(in.get(), out.get());
    }
    if (::fchmod(out.get(), src.st_mode & 07777) != 0 && !ignorableAttributeError(errno))
        return fail(errno);
    if (const int err = setTimes(out.get(), nullptr, src, outSt, flavor))
        return fail(err);
    if (const int err = out.close()) {
        if (created)
            ::unlink(written.c_str());
        return err;
    }
    if (written != to && ::rename(written.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(written.c_str());
        return err;
    }
    return 0;
}

} // namespace

int copyFile(const std::string& from, const std::string& to, CopyFlavor flavor)
{
    if (const int err = detail::checkPath(from))
        return err;
    if (const int err = detail::checkPath(to))
        return err;
    struct stat src;
    if (::lstat(from.c_str(), &src) != 0)
        return errno;
    if (S_ISDIR(src.st_mode))
        return EISDIR;

    struct stat dst
    {
    };
    bool toExists = ::lstat(to.c_str(), &dst) == 0;
    if (!toExists && errno != ENOENT)
        return errno;
    if (toExists) {
        if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
            return EINVAL; // the same file (or a hard link to it): truncating would lose it
        if (S_ISDIR(dst.st_mode))
            return EISDIR;
        if (!S_ISLNK(dst.st_mode) && (dst.st_mode & S_IWUSR) == 0)
            return EACCES; // read-only, even for a user the kernel would let write
    }

    if (S_ISLNK(src.st_mode)) {
        std::string text;
        if (const int err = readLinkText(from, text))
            return err;
        return createReplacing(to, toExists, src, flavor, [&](const std::string& path) {
            return ::symlink(text.c_str(), path.c_str()) == 0 ? 0 : errno;
        });
    }
    if (S_ISFIFO(src.st_mode)) {
        return createReplacing(to, toExists, src, flavor, [&](const std::string& path) {
            return ::mkfifo(path.c_str(), src.st_mode & 07777) == 0 ? 0 : errno;
        });
    }
    if (!S_ISREG(src.st_mode))
        return ENOTSUP; // sockets and device nodes
    return copyRegular(from, to, toExists, dst, flavor);
}

int makeFolder(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

int deleteFile(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int removeFolder(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int clearReadOnly(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR) != 0)
        return 0; // a link has no permissions of its own; never change its target
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0 ? 0 : errno;
}

int secureDelete(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return ::unlink(path.c_str()) == 0 ? 0 : errno;

    Fd fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() && errno == EACCES && (st.st_mode & S_IWUSR) == 0 && st.st_uid == ::geteuid()) {
        // Read-only is no protection against a delete here, so none against this one.
        if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
            return errno;
        fd = Fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    }
    if (!fd.valid())
        return errno;
    struct stat now;
    if (::fstat(fd.get(), &now) != 0)
        return errno;
    if (!S_ISREG(now.st_mode))
        return ENOTSUP;

    const uint64_t size = static_cast<uint64_t>(now.st_size);
    if (size > 0) {
        const size_t blockSize = static_cast<size_t>(std::min<uint64_t>(size, kMaxBlock));
        std::unique_ptr<char[]> noise(new char[blockSize]);
        fillRandom(noise.get(), blockSize);
        for (uint64_t done = 0; done < size;) {
            const size_t len = static_cast<size_t>(std::min<uint64_t>(size - done, blockSize));
            const ssize_t n = ::pwrite(fd.get(), noise.get(), len, static_cast<off_t>(done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += static_cast<uint64_t>(n);
        }
        if (::fsync(fd.get()) != 0)
            return errno;
    }
    if (const int err = fd.close())
        return err;

    // The old name goes first, so it does not linger in the folder's records.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string hidden = siblingName(path);
        const int err = renameNoReplace(path, hidden);
        if (err == 0)
            return ::unlink(hidden.c_str()) == 0 ? 0 : errno;
        if (err != EEXIST)
            break;
    }
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int renameNoReplace(const std::string& from, const std::string& to)
{
    if (const int err = detail::checkPath(from))
        return err;
    if (const int err = detail::checkPath(to))
        return err;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // The file system cannot refuse a replacing rename itself. A hard link fails
    // on an existing name atomically; folders and file systems without hard
    // links get a check before a plain rename.
    if (::link(from.c_str(), to.c_str()) == 0)
        return ::unlink(from.c_str()) == 0 ? 0 : errno;
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int renameReplace(const std::string& from, const std::string& to)
{
    if (const int err = detail::checkPath(from))
        return err;
    if (const int err = detail::checkPath(to))
        return err;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int makeUniqueFile(const std::string& folder, const std::string& prefix, const std::string& extension,
                   std::string& out)
{
    out.clear();
    std::string base = folder.empty() ? tempFolder() : folder;
    if (base.back() != '/')
        base += '/';
    int err = EEXIST;
    for (int attempt = 0; attempt < 1000 && err == EEXIST; ++attempt) {
        const std::string candidate = base + prefix + randomHex(8) + extension;
        if ((err = detail::checkPath(candidate)))
            break;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            out = candidate;
            return 0;
        }
        err = errno;
    }
    return err;
}

std::string tempFolder()
{
    const char* env = std::getenv("TMPDIR");
    std::string folder = env && env[0] == '/' ? env : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

int syncFile(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return ENOTSUP; // links and special files are never opened
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    if (::fsync(fd.get()) != 0)
        return errno;
    return fd.close();
}

} // namespace kestrow::platform
