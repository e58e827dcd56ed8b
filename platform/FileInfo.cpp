#include "platform/FileInfo.h"

#include "platform/DirList.h"
#include "platform/FileOpsInternal.h"
#include "platform/PathCheck.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

PathKind kindFromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return PathKind::File;
    if (S_ISDIR(mode))
        return PathKind::Folder;
    if (S_ISLNK(mode))
        return PathKind::Symlink;
    return PathKind::Special;
}

std::string lastName(const std::string& path)
{
    return detail::lastNameOf(path);
}

} // namespace

PathKind pathKind(const std::string& path, FollowLinks follow, int* err)
{
    int e = detail::checkPath(path);
    struct stat st;
    if (e == 0) {
        const int rc = follow == FollowLinks::yes ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
        if (rc != 0)
            e = errno;
    }
    if (err)
        *err = e;
    return e == 0 ? kindFromMode(st.st_mode) : PathKind::Missing;
}

int pathAttributes(const std::string& path, PathAttributes& out)
{
    out = PathAttributes{};
    if (const int err = detail::checkPath(path))
        return err;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    out.kind = kindFromMode(st.st_mode);
    const std::string name = lastName(path);
    out.hidden = name.size() > 1 && name[0] == '.' && name != "..";
    out.system = out.kind == PathKind::Special;
    out.readOnly = out.kind != PathKind::Symlink && (st.st_mode & S_IWUSR) == 0;
    out.size = static_cast<uint64_t>(st.st_size);
    out.lastWrite = fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    out.mode = st.st_mode;
    return 0;
}

int readLinkText(const std::string& path, std::string& out)
{
    out.clear();
    if (const int err = detail::checkPath(path))
        return err;
    return detail::readLinkIn(AT_FDCWD, path.c_str(), out);
}

int detail::readLinkIn(int dir, const char* name, std::string& out)
{
    out.clear();
    // A link's text is at most PATH_MAX - 1 bytes; one read with room to spare
    // shows whether it was cut.
    std::string buf(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(dir, name, buf.data(), buf.size());
    if (n < 0)
        return errno;
    if (static_cast<size_t>(n) >= buf.size())
        return ENAMETOOLONG;
    buf.resize(static_cast<size_t>(n));
    out = std::move(buf);
    return 0;
}

} // namespace kestrow::platform
