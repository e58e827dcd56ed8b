#pragma once
// Drives on Linux: the mount point that holds a path; under a removable-media
// root (/media/USER/LABEL, /run/media/USER/LABEL) the LABEL folder, even while
// nothing is mounted there.

#include <string>
#include <vector>

namespace kestrow::platform {

// The drive of an absolute `path`, ending with "/" ("/" for the root file
// system). Links in the part of the path that exists are resolved, so a linked
// folder belongs to the drive it leads to; "." and ".." are taken lexically.
// Empty for a relative or empty path.
std::string driveOfPath(const std::string& path);

// The drive folder exists (is a folder).
bool driveExists(const std::string& drive);

// Ready: anything but a removable-media LABEL folder that is not a mounted file
// system.
bool driveReady(const std::string& drive);

// The drive's block device (or its parent disk) has removable = 1 in
// /sys/class/block, or the drive lies under a removable-media root.
bool driveRemovable(const std::string& drive);

// Folders under which removable media are mounted, each ending with "/":
// /media/ and /run/media/, or the colon-separated list in $KESTROW_MEDIA_ROOTS
// (so tests can stand in a folder of their own).
std::vector<std::string> mediaRoots();

} // namespace kestrow::platform
