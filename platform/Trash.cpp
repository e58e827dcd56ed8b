// The freedesktop.org trash: files/NAME holds the item, info/NAME.trashinfo says
// where it came from and when it was trashed.

#include "platform/FileOps.h"

#include "platform/FileOpsInternal.h"
#include "platform/FolderAt.h"
#include "platform/MountTable.h"
#include "platform/PathCheck.h"
#include "platform/SystemInfo.h"
#include "util/PercentEncode.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

constexpr size_t kNameMax = 255;
const std::string kInfoSuffix = ".trashinfo";

std::string dataHome()
{
    const char* env = std::getenv("XDG_DATA_HOME");
    if (env && env[0] == '/')
        return env;
    return homeFolder() + "/.local/share";
}

std::string deletionDate()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

// Cuts `s` to at most `max` bytes without splitting a UTF-8 sequence.
std::string cutUtf8(const std::string& s, size_t max)
{
    if (s.size() <= max)
        return s;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

// The name the item gets in files/: the original, or "stem.N.ext" on a clash,
// always short enough for "NAME.trashinfo" to be a valid name.
std::string trashName(const std::string& name, int attempt)
{
    const std::string number = attempt == 0 ? std::string() : "." + std::to_string(attempt + 1);
    const size_t room = kNameMax - kInfoSuffix.size() - number.size();
    const auto dot = name.rfind('.');
    std::string stem = name;
    std::string ext;
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    if (stem.size() + ext.size() > room)
        stem = cutUtf8(stem, room > ext.size() ? room - ext.size() : 0);
    if (stem.empty())
        return cutUtf8(name, room);
    return stem + number + ext;
}

// Makes folder `name` in `dir` unless a real folder (not a link) is there already.
int ensureFolderIn(int dir, const char* name, mode_t mode)
{
    if (::mkdirat(dir, name, mode) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Opens folder `name` of `dir` without following a link.
int openFolderIn(int dir, const char* name, Fd& out)
{
    out = Fd(::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return out.valid() ? 0 : errno;
}

// A trash folder's "files" and "info" folders, held open.
struct TrashFolders
{
    Fd files;
    Fd info;
};

int openTrashFolders(int trash, TrashFolders& out)
{
    if (const int err = ensureFolderIn(trash, "files", 0700))
        return err;
    if (const int err = ensureFolderIn(trash, "info", 0700))
        return err;
    if (const int err = openFolderIn(trash, "files", out.files))
        return err;
    return openFolderIn(trash, "info", out.info);
}

// The trash of the mount whose top is `topdir`: $topdir/.Trash/UID when an
// administrator has made $topdir/.Trash (a real folder with the sticky bit),
// else $topdir/.Trash-UID.
int topdirTrash(int topdir, TrashFolders& out)
{
    const std::string uid = std::to_string(::getuid());
    struct stat st;
    if (::fstatat(topdir, ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX) != 0) {
        Fd shared;
        Fd own;
        if (openFolderIn(topdir, ".Trash", shared) == 0 &&
            ensureFolderIn(shared.get(), uid.c_str(), 0700) == 0 &&
            openFolderIn(shared.get(), uid.c_str(), own) == 0 && openTrashFolders(own.get(), out) == 0)
            return 0;
    }
    const std::string name = ".Trash-" + uid;
    if (::mkdirat(topdir, name.c_str(), 0700) != 0) {
        if (errno != EEXIST)
            return errno;
        // An existing one must be ours and a real folder, or it is not to be trusted.
        if (::fstatat(topdir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            return EPERM;
    }
    Fd trash;
    if (const int err = openFolderIn(topdir, name.c_str(), trash))
        return err;
    return openTrashFolders(trash.get(), out);
}

// Moves `name` of `folder` into `trash` under a free name, with its info file
// recording `recorded`. The info file is written first: it is the claim on the name.
int trashInto(const TrashFolders& trash, int folder, const std::string& name, const std::string& recorded)
{
    const std::string info =
        "[Trash Info]\nPath=" + util::percentEncodePath(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const std::string trashed = trashName(name, attempt);
        const std::string infoName = trashed + kInfoSuffix;
        // O_EXCL makes the claim race-free.
        Fd fd(::openat(trash.info.get(), infoName.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        struct stat clash;
        if (::fstatat(trash.files.get(), trashed.c_str(), &clash, AT_SYMLINK_NOFOLLOW) == 0) {
            // A leftover item without info: leave it and take another name.
            fd.close();
            ::unlinkat(trash.info.get(), infoName.c_str(), 0);
            continue;
        }
        int err = detail::writeAll(fd.get(), info.data(), info.size());
        if (const int closeErr = fd.close(); err == 0)
            err = closeErr;
        if (err == 0 && ::renameat(folder, name.c_str(), trash.files.get(), trashed.c_str()) != 0)
            err = errno;
        if (err != 0)
            ::unlinkat(trash.info.get(), infoName.c_str(), 0);
        return err;
    }
    return EEXIST;
}

// The last `count` names of `path` joined by "/", or `path` itself when it has
// fewer.
std::string lastNames(const std::string& path, size_t count)
{
    std::vector<std::string> names;
    for (size_t pos = 0; pos < path.size();) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > pos)
            names.push_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    if (names.size() < count)
        return path;
    std::string out;
    for (size_t i = names.size() - count; i < names.size(); ++i)
        out += (out.empty() ? "" : "/") + names[i];
    return out;
}

} // namespace

int detail::trashEntryIn(int folderFd, const std::string& name, const std::string& displayPath)
{
    struct stat st;
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;

    // The home trash is made first, even when the item goes elsewhere: the desktop
    // expects it, and its device decides which trash is meant.
    const std::string homeTrash = dataHome() + "/Trash";
    if (const int err = makePath(homeTrash))
        return err;
    Fd home(::open(homeTrash.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!home.valid())
        return errno;
    TrashFolders homeFolders;
    if (const int err = openTrashFolders(home.get(), homeFolders))
        return err;
    struct stat homeSt;
    struct stat folderSt;
    if (::fstat(home.get(), &homeSt) != 0 || ::fstat(folderFd, &folderSt) != 0)
        return errno;

    if (homeSt.st_dev == folderSt.st_dev) {
        const int err = trashInto(homeFolders, folderFd, name, displayPath);
        if (err != EXDEV)
            return err;
        // The same file system seen through another mount (a bind mount): its own trash.
    }
    Fd top;
    size_t levels = 0;
    if (const int err = detail::openMountTop(folderFd, top, levels))
        return err;
    TrashFolders trash;
    if (const int err = topdirTrash(top.get(), trash))
        return err;
    // Paths in a mount's own trash are relative to its top, so they survive remounting:
    // the folder is `levels` below the top, so the item is the last levels + 1 names.
    return trashInto(trash, folderFd, name, lastNames(displayPath, levels + 1));
}

int moveToTrash(const std::string& path)
{
    if (const int err = detail::checkPath(path))
        return err;
    const std::string item = detail::withoutTrailingSlash(path);
    const std::string name = detail::lastNameOf(item);
    if (item == "/" || name.empty() || name == "." || name == "..")
        return EINVAL;
    struct stat st;
    if (::lstat(item.c_str(), &st) != 0)
        return errno;

    // Where the item sits, with the links of its folders resolved (the item itself
    // may be a link and stays one).
    std::string parent = detail::parentOf(item);
    if (parent[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return errno;
        parent = std::string(cwd) + "/" + parent;
    }
    parent = detail::resolveExisting(detail::normalizeAbsolute(parent));
    const std::string absolute = (parent == "/" ? std::string() : parent) + "/" + name;
    Fd folder(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return errno;
    return detail::trashEntryIn(folder.get(), name, absolute);
}

int moveToTrashAt(const OpenFolder& folder, const std::string& name, const std::string& displayPath)
{
    if (!folder.isOpen())
        return EBADF;
    if (const int err = detail::checkName(name))
        return err;
    return detail::trashEntryIn(folder.fd(), name, displayPath);
}

} // namespace kestrow::platform
