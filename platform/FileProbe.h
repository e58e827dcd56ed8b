#pragma once
// Existence primitives for the path library: what kind of entry a path names and
// what a folder holds, without ever opening an entry for reading. Nothing here
// blocks on a FIFO or a device node, and nothing follows a symbolic link unless
// the function says so.

#include <functional>
#include <string>
#include <string_view>

namespace kestrow::platform {

enum class EntryKind
{
    Missing, // nothing there, or the path cannot be examined (bad name, no access, holds a NUL)
    Regular,
    Directory,
    Symlink,
    Other // FIFO, socket, device node: a "system" entry
};

// Kind of the entry `path` names; a final symbolic link is reported as Symlink.
EntryKind probeEntry(const std::string& path);

// Kind of what `path` resolves to, following symbolic links (a dangling link is Missing).
EntryKind probeTarget(const std::string& path);

// Calls `visit` with the name and kind (as probeEntry) of every entry of `folder`
// except "." and ".."; `visit` returns false to stop early. Returns false when
// `folder` cannot be opened as a directory (missing, not a directory, no access,
// holds a NUL); a symbolic link to a directory is opened through.
bool forEachDirEntry(const std::string& folder,
                     const std::function<bool(std::string_view name, EntryKind kind)>& visit);

// Creates a FIFO at `path` with owner read and write. Returns 0 or the errno.
int makeFifo(const std::string& path);

} // namespace kestrow::platform
