#pragma once
// Internal to platform/: the checks every path goes through before it reaches
// the kernel. A path holding a NUL would silently name a shorter path.

#include <cerrno>
#include <climits>
#include <string>

namespace kestrow::platform::detail {

// 0 when `path` can be handed to the kernel as it is, else the errno to fail with.
inline int checkPath(const std::string& path)
{
    if (path.empty())
        return ENOENT;
    if (path.find('\0') != std::string::npos)
        return EINVAL;
    if (path.size() >= PATH_MAX)
        return ENAMETOOLONG;
    return 0;
}

// `path` without trailing "/" (but "/" stays "/").
inline std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folder part of `path` ("." when there is none, "/" for a child of the root).
inline std::string parentOf(const std::string& path)
{
    const std::string p = withoutTrailingSlash(path);
    const auto slash = p.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

// The last name of `path` (trailing "/" ignored).
inline std::string lastNameOf(const std::string& path)
{
    const std::string p = withoutTrailingSlash(path);
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

} // namespace kestrow::platform::detail
