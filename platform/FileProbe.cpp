#include "platform/FileProbe.h"

#include "platform/Fd.h"

#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

// A name holding a NUL cannot reach the kernel intact; it names nothing.
bool unusable(const std::string& path)
{
    return path.empty() || path.find('\0') != std::string::npos;
}

EntryKind kindFromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::Regular;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISLNK(mode))
        return EntryKind::Symlink;
    return EntryKind::Other;
}

EntryKind kindFromDirent(int dirFd, const dirent& entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return EntryKind::Regular;
    case DT_DIR:
        return EntryKind::Directory;
    case DT_LNK:
        return EntryKind::Symlink;
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
        return EntryKind::Other;
    default:
        break;
    }
    // Some file systems do not fill d_type.
    struct stat st
    {
    };
    if (::fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Missing;
    return kindFromMode(st.st_mode);
}

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

EntryKind probeEntry(const std::string& path)
{
    struct stat st
    {
    };
    if (unusable(path) || ::lstat(path.c_str(), &st) != 0)
        return EntryKind::Missing;
    return kindFromMode(st.st_mode);
}

EntryKind probeTarget(const std::string& path)
{
    struct stat st
    {
    };
    if (unusable(path) || ::stat(path.c_str(), &st) != 0)
        return EntryKind::Missing;
    return kindFromMode(st.st_mode);
}

bool forEachDirEntry(const std::string& folder,
                     const std::function<bool(std::string_view name, EntryKind kind)>& visit)
{
    if (unusable(folder))
        return false;
    // O_DIRECTORY refuses a FIFO before it is opened, so this never waits for a writer.
    Fd opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (!opened.valid())
        return false;
    const int fd = opened.get();
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir)
        return false;
    opened.release(); // the stream owns it now
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (!visit(name, kindFromDirent(fd, *entry)))
            break;
    }
    return true;
}

int makeFifo(const std::string& path)
{
    if (unusable(path))
        return EINVAL;
    return ::mkfifo(path.c_str(), 0600) == 0 ? 0 : errno;
}

} // namespace kestrow::platform
