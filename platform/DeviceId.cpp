#include "platform/DeviceId.h"

#include "platform/MountTable.h"
#include "platform/PathCheck.h"

#include <cerrno>
#include <climits>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

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
