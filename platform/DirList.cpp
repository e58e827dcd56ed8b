#include "platform/DirList.h"

#include "platform/FileOpsInternal.h"
#include "platform/PathCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

EntryType typeFromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryType::File;
    if (S_ISDIR(mode))
        return EntryType::Folder;
    if (S_ISLNK(mode))
        return EntryType::Symlink;
    return EntryType::Special;
}

// The raw record getdents64 hands back; glibc declares no type for it.
struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1]; // the name runs on to its terminating zero, past the declared size
};

} // namespace

int64_t fileTimeFromUnix(int64_t seconds, int64_t nanoseconds)
{
    // Normalise the nanoseconds so the 100-ns tick always rounds toward the past.
    seconds += nanoseconds / 1000000000;
    nanoseconds %= 1000000000;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000;
        --seconds;
    }
    constexpr int64_t maxSeconds =
        std::numeric_limits<int64_t>::max() / kTicksPerSecond - kEpochDifference - 1;
    constexpr int64_t minSeconds =
        std::numeric_limits<int64_t>::min() / kTicksPerSecond - kEpochDifference + 1;
    if (seconds > maxSeconds)
        return std::numeric_limits<int64_t>::max();
    if (seconds < minSeconds)
        return std::numeric_limits<int64_t>::min();
    return (seconds + kEpochDifference) * kTicksPerSecond + nanoseconds / 100;
}

namespace {

// What fillEntry takes of a stat or statx.
struct EntryStat
{
    mode_t mode;
    uint64_t size;
    int64_t mtimeSeconds, mtimeNanoseconds, ctimeSeconds, ctimeNanoseconds;
    uint64_t device, inode, mount;
    uint32_t uid, gid, links;
};

void fillEntry(DirEntry& e, const char* name, const EntryStat& st)
{
    e.name.assign(name);
    e.type = typeFromMode(st.mode);
    e.size = st.size;
    e.lastWrite = fileTimeFromUnix(st.mtimeSeconds, st.mtimeNanoseconds);
    e.changeTime = fileTimeFromUnix(st.ctimeSeconds, st.ctimeNanoseconds);
    e.mode = st.mode;
    e.hidden = name[0] == '.';
    e.system = e.type == EntryType::Special;
    e.readOnly = e.type != EntryType::Symlink && (st.mode & S_IWUSR) == 0;
    e.device = st.device;
    e.inode = st.inode;
    e.mount = st.mount;
    e.uid = st.uid;
    e.gid = st.gid;
    e.links = st.links;
}

// One entry of `dirFd` into `out`: 0, ENOENT when it has gone since the folder
// was read, or another errno. Folders (and entries of unknown type) get one
// statx, which also gives their mount id; everything else one fstatat, the
// cheaper call.
int statEntry(int dirFd, const char* name, unsigned char type, std::vector<DirEntry>& out)
{
    if (type == DT_DIR || type == DT_UNKNOWN) {
        struct statx stx;
        if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_MNT_ID,
                    &stx) != 0)
            return errno;
        fillEntry(out.emplace_back(), name,
                  EntryStat{stx.stx_mode, stx.stx_size, stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec,
                            stx.stx_ctime.tv_sec, stx.stx_ctime.tv_nsec,
                            makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino,
                            (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id : 0, stx.stx_uid, stx.stx_gid,
                            stx.stx_nlink});
        return 0;
    }
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISDIR(st.st_mode)) // a folder since the folder was read: its mount id too
        return statEntry(dirFd, name, DT_DIR, out);
    fillEntry(out.emplace_back(), name,
              EntryStat{st.st_mode, static_cast<uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
                        st.st_ctim.tv_sec, st.st_ctim.tv_nsec, st.st_dev, st.st_ino, 0, st.st_uid, st.st_gid,
                        static_cast<uint32_t>(st.st_nlink)});
    return 0;
}

} // namespace

namespace detail {

int listOpenFolder(int dirFd, std::vector<DirEntry>& out)
{
    // getdents64 straight into a large buffer: fewer calls than readdir's default
    // and no DIR allocation per folder.
    alignas(LinuxDirent64) char buffer[64 * 1024];
    const std::size_t first = out.size();
    for (;;) {
        const ssize_t n = ::getdents64(dirFd, buffer, sizeof buffer);
        if (n == 0) {
            // Byte order of the names (stat'ed in the file system's order, which is
            // the kernel's fastest): plans, logs and reports read like a file manager.
            std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                      [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t pos = 0; pos < n;) {
            const auto* raw = reinterpret_cast<const LinuxDirent64*>(buffer + pos);
            pos += raw->d_reclen;
            const char* name = raw->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            if (const int err = statEntry(dirFd, name, raw->d_type, out); err && err != ENOENT)
                return err; // ENOENT: removed since the folder was read
        }
    }
}

} // namespace detail

int listFolder(const std::string& folder, std::vector<DirEntry>& out)
{
    if (const int err = detail::checkPath(folder))
        return err;
    // O_DIRECTORY refuses anything but a folder before it is opened, so a FIFO
    // given as the folder never blocks the open.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (!dir.valid())
        return errno;
    return detail::listOpenFolder(dir.get(), out);
}

} // namespace kestrow::platform
