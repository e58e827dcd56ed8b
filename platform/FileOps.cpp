#include "platform/FileOps.h"

#include "platform/DirList.h"
#include "platform/FileInfo.h"
#include "platform/PathCheck.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
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
    int release() { return std::exchange(m_fd, -1); }
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

constexpr std::align_val_t kBlockAlignment{4096};

struct AlignedBlockFree
{
    void operator()(char* p) const { ::operator delete[](p, kBlockAlignment); }
};

// Device pairs (Source's, Target's) where a reflink was refused for good (a file
// system without reflinks, or two file systems), so later copies between them
// go straight to copy_file_range instead of asking once per file.
class ReflinkRefusals
{
public:
    bool refused(uint64_t from, uint64_t to)
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_pairs.begin(), m_pairs.begin() + m_count, std::pair{from, to}) !=
               m_pairs.begin() + m_count;
    }
    void remember(uint64_t from, uint64_t to)
    {
        std::lock_guard lock(m_mutex);
        if (m_count < m_pairs.size())
            m_pairs[m_count++] = {from, to};
    }

private:
    std::mutex m_mutex;
    std::array<std::pair<uint64_t, uint64_t>, 16> m_pairs{};
    size_t m_count = 0;
};

ReflinkRefusals& reflinkRefusals()
{
    static ReflinkRefusals refusals;
    return refusals;
}

bool reflinkNeverWorks(int err)
{
    return err == EOPNOTSUPP || err == ENOTSUP || err == ENOTTY || err == EXDEV || err == ENOSYS;
}

// Data from `in` to `out` (both at offset 0, `out` empty): reflink, then
// copy_file_range, then plain reads and writes up to the end of `in`.
// `inDevice` and `outDevice` are the two files' st_dev.
int copyData(int in, int out, uint64_t size, uint64_t inDevice, uint64_t outDevice)
{
    if (size > 0 && !reflinkRefusals().refused(inDevice, outDevice)) {
        if (::ioctl(out, FICLONE, in) == 0)
            return 0;
        if (reflinkNeverWorks(errno))
            reflinkRefusals().remember(inDevice, outDevice);
    }
    // An empty file has nothing for copy_file_range; one that only says it is
    // empty (proc, sysfs) is read below all the same.
    uint64_t copied = 0;
    while (size > 0) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1UL << 30, 0);
        if (n > 0) {
            copied += static_cast<uint64_t>(n);
            continue;
        }
        if (n == 0) {
            if (copied > 0)
                return 0; // end of file
            break;        // a file system (proc, sysfs) that hands out nothing this way
        }
        if (errno == EINTR)
            continue;
        if (!isFallbackError(errno))
            return errno;
        break;
    }
    // Page-aligned: the kernel copies into an unaligned buffer several times slower.
    const size_t blockSize = std::clamp<uint64_t>((size + 4095) / 4096 * 4096, 4096, kMaxBlock);
    std::unique_ptr<char, AlignedBlockFree> buf(
        static_cast<char*>(::operator new[](blockSize, kBlockAlignment, std::nothrow)));
    if (!buf)
        return ENOMEM;
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

// Below this size read-ahead needs no hint.
constexpr uint64_t kSequentialHintSize = 1024 * 1024;

void hintSequential(int fd, uint64_t size)
{
    if (size >= kSequentialHintSize)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
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
    if (fd >= 0)
        return ::futimens(fd, times) == 0 ? 0 : errno;
    return path && ::utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : (path ? errno : EINVAL);
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
    hintSequential(in.get(), static_cast<uint64_t>(src.st_size));

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
    if (const int err = copyData(in.get(), out.get(), static_cast<uint64_t>(src.st_size), src.st_dev,
                                 outSt.st_dev))
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

const size_t kPathMax = PATH_MAX;

OpenFolder::~OpenFolder()
{
    close();
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int OpenFolder::open(const std::string& folder)
{
    close();
    if (const int err = detail::checkPath(folder))
        return err;
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_fd >= 0 ? 0 : errno;
}

void OpenFolder::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int entryAttributesIn(const OpenFolder& folder, const std::string& name, PathAttributes& out)
{
    out = PathAttributes{};
    if (!folder.isOpen())
        return EBADF;
    if (name.empty())
        return ENOENT;
    struct stat st;
    if (::fstatat(folder.m_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    out.kind = S_ISREG(st.st_mode)   ? PathKind::File
               : S_ISDIR(st.st_mode) ? PathKind::Folder
               : S_ISLNK(st.st_mode) ? PathKind::Symlink
                                     : PathKind::Special;
    out.hidden = name.size() > 1 && name[0] == '.' && name != "..";
    out.system = out.kind == PathKind::Special;
    out.readOnly = out.kind != PathKind::Symlink && (st.st_mode & S_IWUSR) == 0;
    out.size = static_cast<uint64_t>(st.st_size);
    out.lastWrite = fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    out.mode = st.st_mode;
    return 0;
}

int copyFileIn(const OpenFolder& from, const OpenFolder& to, const std::string& name,
               const PathAttributes& source, PathAttributes& sourceAfter)
{
    if (!from.isOpen() || !to.isOpen() || source.kind != PathKind::File || name.empty() || name == "." ||
        name == ".." || name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return kCopyByPath;

    // The Source first: a failure to open it is left to copyFile, which looks at
    // the Target before it and so reports what it finds there first.
    Fd in(::openat(from.m_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid())
        return kCopyByPath;
    struct stat src;
    if (::fstat(in.get(), &src) != 0 || !S_ISREG(src.st_mode))
        return kCopyByPath;

    // A new file gets the Source's permission bits at once, the owner's reading
    // and writing added while it is written: mostly no chmod is needed after.
    const mode_t wanted = src.st_mode & 07777;
    bool created = true;
    Fd out(::openat(to.m_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    (wanted & 0777) | S_IRUSR | S_IWUSR));
    if (!out.valid()) {
        if (errno != EEXIST)
            return errno;
        // In place over a regular file the owner may write, as copyFile does.
        struct stat dst;
        if (::fstatat(to.m_fd, name.c_str(), &dst, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(dst.st_mode) ||
            (dst.st_mode & S_IWUSR) == 0 || (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino))
            return kCopyByPath;
        out = Fd(::openat(to.m_fd, name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!out.valid())
            return errno;
        created = false;
    }
    auto fail = [&](int err) {
        out.close();
        if (created)
            ::unlinkat(to.m_fd, name.c_str(), 0);
        return err;
    };
    struct stat outSt;
    if (::fstat(out.get(), &outSt) != 0)
        return fail(errno);
    if (!S_ISREG(outSt.st_mode))
        return fail(ENOTSUP);
    hintSequential(in.get(), static_cast<uint64_t>(src.st_size));
    if (const int err = copyData(in.get(), out.get(), static_cast<uint64_t>(src.st_size), src.st_dev,
                                 outSt.st_dev))
        return fail(err);
    if ((outSt.st_mode & 07777) != wanted && ::fchmod(out.get(), wanted) != 0 && !ignorableAttributeError(errno))
        return fail(errno);
    // A regular copy keeps the Target's access time (a new file's is its creation).
    if (const int err = setTimes(out.get(), nullptr, src, outSt, CopyFlavor::Regular))
        return fail(err);
    if (const int err = out.close()) {
        if (created)
            ::unlinkat(to.m_fd, name.c_str(), 0);
        return err;
    }
    // The Source as it is now, through the file that was read: a write during the
    // copy shows in its size or last-write time.
    struct stat now;
    sourceAfter = source;
    if (::fstat(in.get(), &now) == 0) {
        sourceAfter.size = static_cast<uint64_t>(now.st_size);
        sourceAfter.lastWrite = fileTimeFromUnix(now.st_mtim.tv_sec, now.st_mtim.tv_nsec);
        sourceAfter.mode = now.st_mode;
    } else {
        sourceAfter.kind = PathKind::Missing;
    }
    return 0;
}

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
        const std::string candidate = base + prefix + randomHex(kUniqueNameRandomChars) + extension;
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

bool isUniqueFileName(std::string_view name, std::string_view prefix, std::string_view extension)
{
    if (name.size() != prefix.size() + kUniqueNameRandomChars + extension.size() || !name.starts_with(prefix) ||
        !name.ends_with(extension))
        return false;
    const std::string_view random = name.substr(prefix.size(), kUniqueNameRandomChars);
    return std::all_of(random.begin(), random.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

int removeLeftoverFile(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid())
        return EPERM;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
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
