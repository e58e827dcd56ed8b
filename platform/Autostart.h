#pragma once
// File-system steps of the start-at-login entries.

#include <string>

namespace kestrow::platform {

// Whether entries could be written into `folder` now. Returns 0 for a folder that
// may be written, or the errno: ENOENT when it is missing (a parent may still
// allow creating it), ENOTDIR when it (or a parent) is not a folder,
// EACCES/EPERM/EROFS when it may not be written.
int folderWriteAccess(const std::string& folder);

// Makes `folder` (and its parents) when missing and checks that entries can be
// written into it. Returns 0 or the errno as folderWriteAccess does.
int prepareWritableFolder(const std::string& folder);

} // namespace kestrow::platform
