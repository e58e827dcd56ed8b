// The freedesktop.org trash: files/NAME holds the item, info/NAME.trashinfo says
// where it came from and when it was trashed.

#include "platform/FileOps.h"

#include "platform/MountTable.h"
#include "platform/PathCheck.h"
#include "platform/SystemInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

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

std::string percentEncode(const std::string& path)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const unsigned char c : path) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
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

int ensureFolder(const std::string& path, mode_t mode)
{
    if (::mkdir(path.c_str(), mode) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int ensureTrashFolders(const std::string& trash)
{
    if (const int err = ensureFolder(trash + "/files", 0700))
        return err;
    return ensureFolder(trash + "/info", 0700);
}

// The trash of the mount `topdir`: $topdir/.Trash/UID when an administrator has
// made $topdir/.Trash (a real folder with the sticky bit), else $topdir/.Trash-UID.
int topdirTrash(const std::string& topdir, std::string& trash)
{
    const std::string base = topdir == "/" ? std::string() : topdir;
    const std::string uid = std::to_string(::getuid());
    struct stat st;
    const std::string shared = base + "/.Trash";
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        trash = shared + "/" + uid;
        if (ensureFolder(trash, 0700) == 0 && ensureTrashFolders(trash) == 0)
            return 0;
    }
    trash = base + "/.Trash-" + uid;
    if (::mkdir(trash.c_str(), 0700) != 0) {
        if (errno != EEXIST)
            return errno;
        // An existing one must be ours and a real folder, or it is not to be trusted.
        if (::lstat(trash.c_str(), &st) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            return EPERM;
    }
    return ensureTrashFolders(trash);
}

int writeInfo(int fd, const std::string& text)
{
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
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

// Moves `item` into `trash` under a free name, with its info file recording
// `recorded`. The info file is written first: it is the claim on the name.
int trashInto(const std::string& trash, const std::string& item, const std::string& name,
              const std::string& recorded)
{
    const std::string info =
        "[Trash Info]\nPath=" + percentEncode(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const std::string trashed = trashName(name, attempt);
        const std::string infoPath = trash + "/info/" + trashed + kInfoSuffix;
        const std::string filesPath = trash + "/files/" + trashed;
        if (detail::checkPath(infoPath) || detail::checkPath(filesPath))
            return ENAMETOOLONG;
        // O_EXCL makes the claim race-free.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        struct stat clash;
        if (::lstat(filesPath.c_str(), &clash) == 0) {
            // A leftover item without info: leave it and take another name.
            ::close(fd);
            ::unlink(infoPath.c_str());
            continue;
        }
        int err = writeInfo(fd, info);
        if (::close(fd) != 0 && err == 0)
            err = errno;
        if (err == 0 && ::rename(item.c_str(), filesPath.c_str()) != 0)
            err = errno;
        if (err != 0)
            ::unlink(infoPath.c_str());
        return err;
    }
    return EEXIST;
}

} // namespace

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

    // The home trash is made first, even when the item goes elsewhere: the desktop
    // expects it, and its device decides which trash is meant.
    const std::string homeTrash = dataHome() + "/Trash";
    if (const int err = makePath(homeTrash))
        return err;
    if (const int err = ensureTrashFolders(homeTrash))
        return err;
    struct stat homeSt;
    if (::stat(homeTrash.c_str(), &homeSt) != 0)
        return errno;

    if (homeSt.st_dev == st.st_dev) {
        const int err = trashInto(homeTrash, item, name, absolute);
        if (err != EXDEV)
            return err;
        // The same file system seen through another mount (a bind mount): its own trash.
    }
    const auto table = detail::readMountTable();
    const detail::MountEntry* mount = detail::mountHolding(table, parent);
    if (!mount)
        return EXDEV;
    std::string trash;
    if (const int err = topdirTrash(mount->mountPoint, trash))
        return err;
    // Paths in a mount's own trash are relative to its top, so they survive remounting.
    const std::string recorded =
        mount->mountPoint == "/" ? absolute.substr(1) : absolute.substr(mount->mountPoint.size() + 1);
    return trashInto(trash, item, name, recorded);
}

} // namespace kestrow::platform
