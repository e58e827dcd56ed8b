#pragma once
// Identity of folders for the clone engine's safety checks: which file system
// holds a folder, and where a root really lies once links are resolved.

#include <cstdint>
#include <string>

namespace kestrow::platform {

// The device (st_dev) of the file system holding `path`. A final symbolic link
// is followed only when `followLink` (a root a person chose may be a link; a
// folder met in a listing never is). Returns 0 or errno.
int folderDevice(const std::string& path, uint64_t& device, bool followLink);

// `path` made absolute (relative to the working folder), with ".", ".." and
// symbolic links resolved in the longest part that exists; the rest is kept as
// written. No trailing "/" (except "/" itself).
std::string resolvedFolderPath(const std::string& path);

// Whether folder `inner` is `outer` or lies below it, both given as
// resolvedFolderPath returns them.
bool folderIsAtOrBelow(const std::string& inner, const std::string& outer);

} // namespace kestrow::platform
