#include "platform/DirList.h"

#include "platform/PathCheck.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

struct Fd
{
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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
    char d_name[];
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

int listFolder(const std::string& folder, std::vector<DirEntry>& out)
{
    if (const int err = detail::checkPath(folder))
        return err;
    // O_DIRECTORY refuses anything but a folder before it is opened, so a FIFO
    // given as the folder never blocks the open.
    Fd dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC)};
    if (dir.fd < 0)
        return errno;

    // getdents64 straight into a large buffer: fewer calls than readdir's default
    // and no DIR allocation per folder.
    alignas(LinuxDirent64) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::getdents64(dir.fd, buffer, sizeof buffer);
        if (n == 0)
            return 0;
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

            struct stat st;
            if (::fstatat(dir.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue; // removed since the folder was read
                return errno;
            }
            DirEntry& e = out.emplace_back();
            e.name.assign(name);
            e.type = typeFromMode(st.st_mode);
            e.size = static_cast<uint64_t>(st.st_size);
            e.lastWrite = fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
            e.mode = st.st_mode;
            e.hidden = name[0] == '.';
            e.system = e.type == EntryType::Special;
            e.readOnly = e.type != EntryType::Symlink && (st.st_mode & S_IWUSR) == 0;
        }
    }
}

} // namespace kestrow::platform
