#include "platform/FileOps.h"

#include "platform/DirList.h"
#include "platform/FileInfo.h"
#include "platform/FileOpsInternal.h"
#include "platform/PathCheck.h"

#include <algorithm>
#include <array>
#include <atomic>
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

// The bytes copied, for someone who shows them (setCopiedBytesCounter).
std::atomic<std::atomic<uint64_t>*> g_copiedBytes{nullptr};
// Biggest piece of one copy_file_range while they are counted: a few updates a
// second even on a slow disk; otherwise as much as the kernel takes at once.
constexpr uint64_t kCountedPiece = 16ull << 20;
constexpr uint64_t kWholePiece = 1ull << 30;

void countCopied(std::atomic<uint64_t>* counter, uint64_t bytes)
{
    if (counter)
        counter->fetch_add(bytes, std::memory_order_relaxed);
}

using detail::copyData;
using detail::copyExtendedAttributes;
using detail::hintSequential;
using detail::ignorableAttributeError;
using detail::mayHaveHoles;
using detail::randomHex;
using detail::setTimes;

// A name for a new entry beside `path` that nothing uses yet (not created).
std::string siblingName(const std::string& path)
{
    const std::string parent = detail::parentOf(path);
    return (parent == "/" ? std::string() : parent) + "/.kw-" + randomHex(12);
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
    if (const int err = setTimes(-1, AT_FDCWD, target.c_str(), src, current, flavor);
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
                                 outSt.st_dev, mayHaveHoles(src)))
        return fail(err);

    if (flavor == CopyFlavor::KeepEverything) {
        // Ownership before the mode: a change of owner clears set-user-ID bits.
        if (::fchown(out.get(), src.st_uid, src.st_gid) != 0 && !ignorableAttributeError(errno))
            return fail(errno);
        copyExtendedAttributes(in.get(), out.get(), nullptr);
    }
    if (::fchmod(out.get(), src.st_mode & 07777) != 0 && !ignorableAttributeError(errno))
        return fail(errno);
    if (const int err = setTimes(out.get(), AT_FDCWD, nullptr, src, outSt, flavor))
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

namespace {

// Copies bytes [offset, offset + length) of `in` to the same place in `out`:
// copy_file_range, then pread/pwrite. A Source that ends early ends the copy.
int copyRange(int in, int out, uint64_t offset, uint64_t length, std::unique_ptr<char, AlignedBlockFree>& buf,
              std::atomic<uint64_t>* counter)
{
    loff_t inOff = static_cast<loff_t>(offset);
    loff_t outOff = inOff;
    uint64_t left = length;
    const uint64_t piece = counter ? kCountedPiece : kWholePiece;
    while (left > 0) {
        const ssize_t n = ::copy_file_range(in, &inOff, out, &outOff, std::min<uint64_t>(left, piece), 0);
        if (n > 0) {
            left -= static_cast<uint64_t>(n);
            countCopied(counter, static_cast<uint64_t>(n));
            continue;
        }
        if (n == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (!isFallbackError(errno))
            return errno;
        break;
    }
    if (left == 0)
        return 0;
    if (!buf) {
        buf.reset(static_cast<char*>(::operator new[](kMaxBlock, kBlockAlignment, std::nothrow)));
        if (!buf)
            return ENOMEM;
    }
    while (left > 0) {
        const ssize_t n = ::pread(in, buf.get(), std::min<uint64_t>(left, kMaxBlock), inOff);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::pwrite(out, buf.get() + done, static_cast<size_t>(n - done), outOff);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
            outOff += w;
        }
        inOff += n;
        left -= static_cast<uint64_t>(n);
        countCopied(counter, static_cast<uint64_t>(n));
    }
    return 0;
}

// What copySparse gives when the file system cannot show where the data is;
// nothing has been written or moved then.
constexpr int kNoDataMap = -1;

// Copies only the data ranges of `in` (SEEK_DATA / SEEK_HOLE), so holes stay
// holes in `out`; a hole at the end becomes the length.
int copySparse(int in, int out, std::atomic<uint64_t>* counter)
{
    std::unique_ptr<char, AlignedBlockFree> buf;
    off_t pos = 0;
    for (;;) {
        const off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // nothing but a hole up to the end
            if (pos == 0 && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP))
                return kNoDataMap;
            return errno;
        }
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            return errno;
        if (const int err = copyRange(in, out, static_cast<uint64_t>(data),
                                      static_cast<uint64_t>(hole - data), buf, counter))
            return err;
        pos = hole;
    }
    struct stat inSt;
    struct stat outSt;
    if (::fstat(in, &inSt) != 0 || ::fstat(out, &outSt) != 0)
        return errno;
    if (outSt.st_size < inSt.st_size && ::ftruncate(out, inSt.st_size) != 0)
        return errno;
    return 0;
}

} // namespace

namespace detail {

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
    // Names only need to be hard to foresee, not secret (every use creates with
    // O_EXCL): a generator per thread, seeded once, spares a system call per name.
    thread_local uint64_t state = [] {
        uint64_t seed = 0;
        fillRandom(&seed, sizeof seed);
        return seed | 1;
    }();
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(digits);
    while (out.size() < digits) {
        // xorshift64*
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        uint64_t bits = state * 0x2545F4914F6CDD1Dull;
        for (int i = 0; i < 16 && out.size() < digits; ++i, bits >>= 4)
            out += hex[bits & 15];
    }
    return out;
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

// Data from `in` to `out` (both at offset 0, `out` empty): reflink, then
// copy_file_range, then plain reads and writes up to the end of `in`.
// `inDevice` and `outDevice` are the two files' st_dev.
int copyData(int in, int out, uint64_t size, uint64_t inDevice, uint64_t outDevice, bool holes)
{
    std::atomic<uint64_t>* const counter = g_copiedBytes.load(std::memory_order_relaxed);
    if (size > 0 && !reflinkRefusals().refused(inDevice, outDevice)) {
        if (::ioctl(out, FICLONE, in) == 0) {
            countCopied(counter, size);
            return 0;
        }
        if (reflinkNeverWorks(errno))
            reflinkRefusals().remember(inDevice, outDevice);
    }
    if (holes) {
        const int err = copySparse(in, out, counter);
        if (err != kNoDataMap)
            return err;
    }
    // An empty file has nothing for copy_file_range; one that only says it is
    // empty (proc, sysfs) is read below all the same.
    uint64_t copied = 0;
    const uint64_t piece = counter ? kCountedPiece : kWholePiece;
    while (size > 0) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, piece, 0);
        if (n > 0) {
            copied += static_cast<uint64_t>(n);
            countCopied(counter, static_cast<uint64_t>(n));
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
        countCopied(counter, static_cast<uint64_t>(n));
    }
}

void hintSequential(int fd, uint64_t size)
{
    // Below 1 MiB read-ahead needs no hint.
    constexpr uint64_t kSequentialHintSize = 1024 * 1024;
    if (size >= kSequentialHintSize)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool ignorableAttributeError(int err)
{
    // File systems without Unix ownership or permissions (FAT, some FUSE) refuse these.
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

int setTimes(int fd, int dir, const char* name, const struct stat& src, const struct stat& current,
             CopyFlavor flavor)
{
    // A regular copy keeps the target's access time. That time is passed as a
    // value, not UTIME_OMIT, which some FUSE file systems take as a reason to
    // drop the modification time too.
    struct timespec times[2];
    times[0] = flavor == CopyFlavor::Regular ? current.st_atim : src.st_atim;
    times[1] = src.st_mtim;
    if (fd >= 0)
        return ::futimens(fd, times) == 0 ? 0 : errno;
    if (!name)
        return EINVAL;
    return ::utimensat(dir, name, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

} // namespace detail

const size_t kPathMax = PATH_MAX;

int OpenFolder::open(const std::string& folder)
{
    close();
    if (const int err = detail::checkPath(folder))
        return err;
    m_fd = Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return m_fd.valid() ? 0 : errno;
}

void OpenFolder::close()
{
    m_fd = Fd();
}

int entryAttributesIn(const OpenFolder& folder, const std::string& name, PathAttributes& out)
{
    out = PathAttributes{};
    if (!folder.isOpen())
        return EBADF;
    if (name.empty())
        return ENOENT;
    struct stat st;
    if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
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

void setCopiedBytesCounter(std::atomic<uint64_t>* counter)
{
    g_copiedBytes.store(counter, std::memory_order_relaxed);
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
    bool isLink = false;
    return detail::clearReadOnlyIn(AT_FDCWD, path.c_str(), isLink);
}

int secureDelete(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    return detail::secureDeleteIn(AT_FDCWD, path.c_str(), true, [&] { return siblingName(path); });
}

int makeUniqueFile(const std::string& folder, const std::string& prefix, const std::string& extension,
                   std::string& out)
{
    std::string base = folder.empty() ? tempFolder() : folder;
    if (base.back() != '/')
        base += '/';
    return detail::claimUniqueName(
        base + prefix, extension,
        [](const std::string& candidate) {
            if (const int err = detail::checkPath(candidate))
                return err;
            const Fd made(
                ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            return made.valid() ? 0 : errno;
        },
        out);
}

bool isUniqueFileName(std::string_view name, std::string_view prefix, std::string_view extension)
{
    if (name.size() != prefix.size() + kUniqueNameRandomChars + extension.size() ||
        !name.starts_with(prefix) || !name.ends_with(extension))
        return false;
    const std::string_view random = name.substr(prefix.size(), kUniqueNameRandomChars);
    return std::all_of(random.begin(), random.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

int removeLeftoverFile(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    return detail::removeLeftoverIn(AT_FDCWD, path.c_str());
}

std::string tempFolder()
{
    const char* env = std::getenv("TMPDIR");
    std::string folder = env && env[0] == '/' ? env : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

namespace detail {

int renameNoReplaceIn(int fromDir, const char* from, int toDir, const char* to)
{
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // The file system cannot refuse a replacing rename itself. A hard link fails
    // on an existing name atomically; folders and file systems without hard
    // links get a check before a plain rename.
    if (::linkat(fromDir, from, toDir, to, 0) == 0)
        return ::unlinkat(fromDir, from, 0) == 0 ? 0 : errno;
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

int chmodHandle(int fd, mode_t mode)
{
    if (::fchmod(fd, mode) == 0)
        return 0;
    if (errno != EBADF)
        return errno;
    // An O_PATH descriptor: its /proc name reaches the inode itself, never a link's target.
    const std::string procName = procFdPath(fd);
    return ::chmod(procName.c_str(), mode) == 0 ? 0 : errno;
}

int clearReadOnlyIn(int dir, const char* name, bool& isLink)
{
    isLink = false;
    Fd fd(::openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode)) {
        isLink = true; // a link has no permissions of its own; never change its target
        return 0;
    }
    if ((st.st_mode & S_IWUSR) != 0)
        return 0;
    const mode_t mode = (st.st_mode & 07777) | S_IWUSR;
    int err = chmodHandle(fd.get(), mode);
    if (err == ENOENT && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        // No /proc: the file itself, opened without following a link and checked
        // to be the one looked at (special files are never opened).
        Fd real(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat now;
        if (!real.valid())
            return errno;
        if (::fstat(real.get(), &now) != 0)
            return errno;
        if (now.st_dev != st.st_dev || now.st_ino != st.st_ino)
            return ENOENT;
        err = ::fchmod(real.get(), mode) == 0 ? 0 : errno;
    }
    return err;
}

int overwriteAndSync(int fd, uint64_t size)
{
    if (size == 0)
        return 0;
    const size_t blockSize = static_cast<size_t>(std::min<uint64_t>(size, kMaxBlock));
    std::unique_ptr<char[]> noise(new char[blockSize]);
    fillRandom(noise.get(), blockSize);
    for (uint64_t done = 0; done < size;) {
        const size_t len = static_cast<size_t>(std::min<uint64_t>(size - done, blockSize));
        const ssize_t n = ::pwrite(fd, noise.get(), len, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<uint64_t>(n);
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

int removeLeftoverIn(int dir, const char* name)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid())
        return EPERM;
    return ::unlinkat(dir, name, 0) == 0 ? 0 : errno;
}

int syncIn(int dir, const char* name)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return ENOTSUP; // links and special files are never opened
    Fd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    if (::fsync(fd.get()) != 0)
        return errno;
    return fd.close();
}

} // namespace detail

} // namespace kestrow::platform
