#pragma once
// Existence, type and attribute tests by path. A final symbolic link is not
// followed unless asked.

#include <cstdint>
#include <string>

namespace kestrow::platform {

enum class PathKind : uint8_t
{
    Missing,
    File,
    Folder,
    Symlink,
    Special
};

enum class FollowLinks
{
    no,
    yes
};

// The kind of thing at `path`. Missing when nothing is there; `err` (optional)
// receives the errno of a failed lstat/stat, ENOENT when simply missing. A
// failure other than ENOENT (EACCES on a parent, ELOOP, ENAMETOOLONG) also gives
// Missing, with that errno.
PathKind pathKind(const std::string& path, FollowLinks follow = FollowLinks::no, int* err = nullptr);

struct PathAttributes
{
    PathKind kind = PathKind::Missing;
    bool hidden = false;   // last name component begins with "."
    bool system = false;   // FIFO, socket or device node
    bool readOnly = false; // no owner write permission
    uint64_t size = 0;
    int64_t lastWrite = 0; // 100-nanosecond units since 1601-01-01 UTC
    uint32_t mode = 0;
};

// Attributes of `path` (links not followed). Returns 0 or errno.
int pathAttributes(const std::string& path, PathAttributes& out);

// Reads the target text of a symbolic link. Returns 0 or errno.
int readLinkText(const std::string& path, std::string& out);

} // namespace kestrow::platform
