#pragma once
// Opening the files of the data folder (options, task lists, clone.log, ERR_DETAIL.TXT,
// lock files). The folder may be writable by someone else, and a run may be root, so a
// name there is never trusted to be what it seems: a symbolic link is not followed and
// anything but a regular file is not opened for use.

#include "platform/Fd.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace kestrow::platform {

// Opens `path` with open(2) `flags` (O_CLOEXEC and O_NOCTTY added), never through a
// symbolic link at its last name: a link there, dangling or not, fails with ELOOP and
// nothing is created or written where it points. With O_CREAT a missing file is made
// with `mode`; with O_CREAT | O_EXCL it must not exist yet. Anything but a regular file
// at the name (FIFO, socket, device) fails with EINVAL without blocking and without a
// byte written; a folder fails with EISDIR. O_TRUNC takes effect only once the file is
// known to be a regular file. Links in the folders leading to `path` are followed: the
// data folder itself may be reached through one.
// Returns the descriptor, or none (not valid()) with errno set.
Fd openDataFile(const std::string& path, int flags, mode_t mode = 0);

// Whether users other than the effective user may change what is in `folder`: its mode
// lets the group or others write and the sticky bit is off, or another user owns it.
// A link at `folder` is followed. False, with errno in `err`, when it cannot be examined.
bool folderWritableByOthers(const std::string& folder, int& err);

// What tells one state of a data file from another without reading it: a file
// rewritten through a temporary name has another inode, one changed in place
// another change time or size.
struct FileVersion
{
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1; // -1: missing or unreadable
    int64_t changeTimeNs = 0;
    int64_t writeTimeNs = 0;
    bool operator==(const FileVersion&) const = default;
};

// The version of the file at `path` (a link at its name followed, as a hand-made
// link to a task list may be).
FileVersion dataFileVersion(const std::string& path);

} // namespace kestrow::platform
