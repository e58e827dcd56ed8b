#pragma once
// File and folder changes. Every function returns 0 or the errno of the step
// that failed; nothing here shows a message.

#include "platform/Fd.h"
#include "platform/FileInfo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrow::platform {

namespace detail {
struct OpenFolderAccess;
}

enum class CopyFlavor
{
    Regular,       // data, permission bits, last-write time to the nanosecond
    KeepEverything // also access time, ownership where permitted, extended attributes
};

// Copies `from` to `to`, replacing an existing `to` (but a `to` without owner
// write permission fails with EACCES, as a read-only file would). Data goes by
// reflink, then copy_file_range, then read/write. A symbolic link is copied as
// a link with the same target text; a FIFO is re-created with mkfifo; a socket
// or device fails with ENOTSUP; none of them is ever opened for reading. A link
// or special file at `to` is replaced, never written through. A folder at either
// end fails with EISDIR; `to` naming the same file as `from` fails with EINVAL.
// Permission bits that a file system cannot hold (FAT) are passed over. A failed
// copy leaves no partial `to` behind when `to` did not exist before.
int copyFile(const std::string& from, const std::string& to, CopyFlavor flavor = CopyFlavor::Regular);

// While set, every copy adds the data bytes it has written to `counter`, from
// whichever thread copies, and a large file goes in pieces small enough for
// the count to move while it copies. Null (the default) for none.
void setCopiedBytesCounter(std::atomic<uint64_t>* counter);

// A folder held open, so that many entries in it are reached by name without
// its path being resolved again for each (and without a link that takes a
// level's place meanwhile being followed). Move-only; closed when destroyed.
class OpenFolder
{
public:
    OpenFolder() = default;

    // Opens `folder` (a trailing "/" allowed; links in the path are followed, as
    // they are for a path). Returns 0 or errno; on failure the object is closed.
    int open(const std::string& folder);
    void close();
    bool isOpen() const { return m_fd.valid(); }
    // The descriptor, for the platform layer's own reads relative to the folder.
    int fd() const { return m_fd.get(); }

private:
    friend int entryAttributesIn(const OpenFolder& folder, const std::string& name, PathAttributes& out);
    friend struct detail::OpenFolderAccess;

    Fd m_fd;
};

// The attributes of `name` in `folder`, as pathAttributes gives them for the path
// (a link is not followed). Returns 0 or errno.
int entryAttributesIn(const OpenFolder& folder, const std::string& name, PathAttributes& out);

// The longest path (in bytes, its terminating NUL included) the kernel takes.
extern const size_t kPathMax;

// Makes one folder (mode 0777 & ~umask). EEXIST when something is there.
int makeFolder(const std::string& path);

// Removes a file or a symbolic link (never what the link points to).
int deleteFile(const std::string& path);

// Removes an empty folder. ENOTEMPTY when it holds anything.
int removeFolder(const std::string& path);

// Gives the file or folder owner write permission.
int clearReadOnly(const std::string& path);

// Moves a file, link or folder to the freedesktop.org trash: the home trash
// ($XDG_DATA_HOME/Trash, created when missing) for paths on the same mount,
// else $topdir/.Trash/UID (when an administrator made $topdir/.Trash) or
// $topdir/.Trash-UID (mode 0700). Writes the .trashinfo entry; a name already in
// the trash gets a number ("notes.2.txt").
int moveToTrash(const std::string& path);

// Overwrites the whole file in place, flushes it, renames it to a random name
// in the same folder and unlinks it. A link or special file is only unlinked.
// A read-only file of our own is made writable first (a plain delete would not
// stop at it either). Other names of the same file see the overwritten data.
int secureDelete(const std::string& path);

// Creates a new empty file with a unique name in `folder` (ending with "/"):
// `prefix` + random characters + `extension` (extension given with its dot, or
// empty). An empty `folder` means tempFolder(). Returns 0 and the full spec in
// `out`, or errno.
int makeUniqueFile(const std::string& folder, const std::string& prefix, const std::string& extension,
                   std::string& out);

// The number of random characters makeUniqueFile puts between prefix and extension.
inline constexpr size_t kUniqueNameRandomChars = 8;

// Whether `name` is exactly a name makeUniqueFile gives for `prefix` and
// `extension`: the prefix, kUniqueNameRandomChars lowercase hex digits, the
// extension, nothing else (case counts).
bool isUniqueFileName(std::string_view name, std::string_view prefix, std::string_view extension);

// Removes a temporary file a killed process of ours left behind: only a regular
// file (never a link, folder or special file), with one name, owned by the
// effective user. Anything else gives EPERM and is left as it is.
int removeLeftoverFile(const std::string& path);

// The system temporary folder ($TMPDIR or /tmp), ending with "/".
std::string tempFolder();

} // namespace kestrow::platform
