#include "platform/DeviceId.h"

#include "platform/MountTable.h"
#include "platform/PathCheck.h"

#include <cerrno>
#include <climits>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

int folderDevice(const std::string& path, uint64_t& device, bool followLink)
{
    device = 0;
    const std::string p = detail::withoutTrailingSlash(path);
    if (const int err = detail::checkPath(p))
        return err;
    struct stat st;
    const int rc = followLink ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st);
    if (rc != 0)
        return errno;
    device = static_cast<uint64_t>(st.st_dev);
    return 0;
}

std::string resolvedFolderPath(const std::string& path)
{
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd))
            absolute = std::string(cwd) + "/" + absolute;
    }
    return detail::resolveExisting(detail::normalizeAbsolute(absolute));
}

bool folderIsAtOrBelow(const std::string& inner, const std::string& outer)
{
    return detail::isAtOrBelow(inner, outer);
}

} // namespace kestrow::platform
