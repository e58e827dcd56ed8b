#include "platform/Autostart.h"

#include "platform/SystemInfo.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

int folderWriteAccess(const std::string& folder)
{
    struct stat st
    {
    };
    if (::stat(folder.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return errno;
    return 0;
}

int prepareWritableFolder(const std::string& folder)
{
    const int access = folderWriteAccess(folder);
    if (access != ENOENT)
        return access;
    if (const int err = makePath(folder); err != 0)
        return err == EEXIST ? ENOTDIR : err;
    // makePath gives new folders 0700; the desktop of every session of the entry's
    // scope reads this one.
    ::chmod(folder.c_str(), 0755);
    return folderWriteAccess(folder);
}

} // namespace kestrow::platform
