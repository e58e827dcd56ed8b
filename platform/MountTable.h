#pragma once
// Internal to platform/: the mount table of this process and lexical path
// helpers the drive and trash code share.

#include <string>
#include <vector>

namespace kestrow::platform::detail {

struct MountEntry
{
    std::string mountPoint; // unescaped, without trailing "/" (except "/")
    unsigned major = 0;
    unsigned minor = 0;
    std::string fsType;
    unsigned long mountId = 0; // what statx calls the mount id
    std::string root;          // the folder of its file system mounted here ("/" unless a bind mount)
};

// The mounts of /proc/self/mountinfo in its order (later entries sit on top).
std::vector<MountEntry> readMountTable();

// The mount holding absolute `path` (longest mount point that is `path` or one
// of its parents; the topmost of equal ones). Null when the table is empty.
const MountEntry* mountHolding(const std::vector<MountEntry>& table, const std::string& path);

// "/a/./b//c/../" -> "/a/b": absolute, no ".", "..", empty parts or trailing "/".
std::string normalizeAbsolute(const std::string& path);

// `path` (absolute, normalized) with symbolic links resolved in the longest part
// that exists; the rest is kept as written.
std::string resolveExisting(const std::string& path);

// Whether `path` is `folder` itself or lies below it (both normalized).
bool isAtOrBelow(const std::string& path, const std::string& folder);

} // namespace kestrow::platform::detail
