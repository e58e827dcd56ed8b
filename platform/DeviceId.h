#pragma once
// Where a root really lies once links are resolved: the spelling-based overlap
// check for roots that cannot be opened (yet).

#include <cstdint>
#include <string>

namespace kestrow::platform {

// `path` made absolute (relative to the working folder), with ".", ".." and
// symbolic links resolved in the longest part that exists; the rest is kept as
// written. No trailing "/" (except "/" itself).
std::string resolvedFolderPath(const std::string& path);

// Whether folder `inner` is `outer` or lies below it, both given as
// resolvedFolderPath returns them.
bool folderIsAtOrBelow(const std::string& inner, const std::string& outer);

} // namespace kestrow::platform
