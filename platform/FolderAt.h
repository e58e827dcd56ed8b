#pragma once
// Work inside folders held open: every call takes a folder handle and a single
// name (never a path with "/"), so the kernel resolves nothing but that name in
// that folder. A tree reached this way from a held root cannot be left through
// a symbolic link or a mount swapped in while it is worked on, and has no path
// length limit. Every function returns 0 or the errno of the step that failed.

#include "platform/DirList.h"
#include "platform/FileInfo.h"
#include "platform/FileOps.h"
#include "platform/Metadata.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrow::platform {

// What a folder is, whatever it is called: its device and inode, and the mount
// it belongs to (statx mount id; 0 where the kernel has none).
struct FolderIdentity
{
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t mount = 0;

    bool known() const { return inode != 0; }
    // Same device and inode (the mount id is not compared: a bind mount shows
    // one folder in two places, and that is the same folder).
    bool sameFolder(const FolderIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }
};

// Identity of a listed entry (from DirEntry::device/inode/mount).
FolderIdentity identityOf(const DirEntry& entry);

// What openChildFolder gives for a folder that is not the one expected: another
// device or inode than `expected`, or a mount point where none was expected.
inline constexpr int kFolderReplaced = ESTALE;

enum class MountCrossing
{
    refuse, // a folder that is the top of another mount is not entered (kFolderReplaced)
    allow   // it is (the listing saw it there)
};

// Opens a root folder a person named. Links in `path` are followed (the person
// chose it); the folder itself is held from here on. Read access is asked for
// first; a folder that may only be searched is opened for searching (O_PATH:
// it can be worked in but not listed, locked or changed itself). `id` receives
// its identity.
int openRootFolder(const std::string& path, OpenFolder& out, FolderIdentity& id);

// Opens folder `name` inside `parent` (whose identity is `parentId`): never
// through a symbolic link (ELOOP), ENOTDIR for anything but a folder, ENOENT
// when missing. With `expected` known, anything of another device or inode
// gives kFolderReplaced; with MountCrossing::refuse, so does a folder on
// another mount than `parentId` (a bind mount of the same file system
// included). Uses openat2 (RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, and
// RESOLVE_NO_XDEV when refusing mounts) where the kernel has it, else openat
// with O_NOFOLLOW | O_DIRECTORY and a check of the result. Read access first,
// searching only (O_PATH) as a fallback, as for a root. `id` receives the
// identity of what was opened.
int openChildFolder(const OpenFolder& parent, const FolderIdentity& parentId, const std::string& name,
                    const FolderIdentity* expected, MountCrossing crossing, OpenFolder& out,
                    FolderIdentity& id);

// Whether `folder` (identity `id`) is the top of a mount: "/" or a folder on
// another mount (or device) than its "..". False when that cannot be told.
bool isMountTop(const OpenFolder& folder, const FolderIdentity& id);

// The identities of `folder`'s ancestors, nearest first, up to "/" (reached
// through ".." from the handle, so bind mounts and links are seen as the
// kernel sees them). Returns 0 or errno (what was found before a failure stays
// in `out`).
int ancestorIdentities(const OpenFolder& folder, std::vector<FolderIdentity>& out);

// ancestorIdentities, also through bind mounts: where `folder` or one of its
// ancestors is the top of a mount that shows a folder from inside its file
// system, the ancestors of that folder where it is mounted in full are added
// too. So a folder bound elsewhere is still seen inside the tree it comes from.
// Returns 0 or errno, as ancestorIdentities.
int ancestorIdentitiesThroughMounts(const OpenFolder& folder, std::vector<FolderIdentity>& out);

// listFolder for a folder held open: entries of `folder` in byte order of their
// names, with their attributes (stat'ed at the handle, links not followed),
// DirEntry::device/inode/mount filled. Does not disturb the handle (its own read
// position), so several threads may list through one handle. ENOTDIR/EBADF-like
// errors for a handle that may only be searched: EACCES.
int listFolderAt(const OpenFolder& folder, std::vector<DirEntry>& out);

// The device and inode of entry `name` of `folder`, a link not followed (the
// mount id is left 0). Returns 0 or errno.
int entryIdentityAt(const OpenFolder& folder, const std::string& name, FolderIdentity& id);

// entryAttributesIn under the name this header uses.
int entryAttributesAt(const OpenFolder& folder, const std::string& name, PathAttributes& out);

// The target text of link `name` in `folder`.
int readLinkAt(const OpenFolder& folder, const std::string& name, std::string& out);

// Copies entry `name` of `from` to `toName` in `to`, all or nothing: the data
// and metadata go to a new temporary file in `to` (made with O_EXCL, private
// mode, named as makeUniqueFile names "kw_" ... ".tmp" files), which is renamed
// over `toName` only when it is whole; on any failure it is removed and
// `toName` is what it was. So the old file is never written through (another
// hard link of it keeps its data) and never left torn.
// - A regular file: data by reflink, copy_file_range or read/write, holes kept;
//   permission bits, last-write time to the nanosecond, owner and group where
//   this process may set them, extended attributes (ACLs and capabilities
//   among them); KeepEverything also keeps the access time. Set-user-ID and
//   set-group-ID bits are kept only when the owner (and group) of the Source
//   was kept on the copy; otherwise they are cleared. What the Target's file
//   system or this process refuses goes to `loss` (not an error).
// - A symbolic link: a link with the same target text; a FIFO: mkfifoat; a
//   socket or device: ENOTSUP. None of them is opened for reading.
// - An existing `toName` without owner write permission (not a link): EACCES,
//   nothing changed (as a read-only file refuses a copy); a folder: EISDIR; the
//   same file as the Source: EINVAL. A link or special file there is replaced.
// `expected`, when given, is the Source as listed: a Source of another size or
// last-write time fails with kSourceChanged before anything is written, and one
// that changes while it is read fails with kSourceChanged, nothing renamed.
// `replacing` tells that `toName` was there when the caller looked (only how
// the copy goes about it changes, never what it does).
// `beforeReplace`, when given, is called once the copy is whole and `toName`
// is found taken (not by a folder, nor by the Source itself), just before the
// copy takes the name: it moves the old entry away (0), or refuses (an errno:
// the copy is removed and `toName` is what it was). A read-only `toName` does
// not refuse such a copy, as the old entry is moved, never written.
using BeforeReplace = std::function<int()>;
int copyFileAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
               const std::string& toName, CopyFlavor flavor, const PathAttributes* expected = nullptr,
               bool replacing = false, MetadataLoss* loss = nullptr, const BeforeReplace& beforeReplace = {});

// What copyFileAt and copyToTempAt give for a Source that is not what was
// listed or that changed while it was read.
inline constexpr int kSourceChanged = -2;

// The first half of copyFileAt: the copy made and left in a new temporary file
// of `to`, whose name goes to `tempName` (nothing else in `to` is changed). The
// caller renames it (renameAt) or removes it (deleteFileAt).
int copyToTempAt(const OpenFolder& from, const std::string& name, const OpenFolder& to, CopyFlavor flavor,
                 std::string& tempName, const PathAttributes* expected = nullptr,
                 MetadataLoss* loss = nullptr);

// Renames `fromName` in `fromDir` to `toName` in `toDir`; with `replace` false
// EEXIST when `toName` exists (RENAME_NOREPLACE, or link+unlink where that is
// not supported).
int renameAt(const OpenFolder& fromDir, const std::string& fromName, const OpenFolder& toDir,
             const std::string& toName, bool replace);

// Makes entry `toName` of `to` another name (hard link) of file `name` of
// `from`, replacing what is at `toName` (not a folder) all at once; a link is
// linked as a link, never followed. EXDEV across file systems, EMLINK when the
// file has all the names it may have.
int linkFileAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
               const std::string& toName);

// Gives entry `from` of `folder` the spelling `to` that a file system folding
// letter case takes for the same name: at once where it can, else through a
// temporary "kw_" name (and back again should the second step fail).
int renameCaseAt(const OpenFolder& folder, const std::string& from, const std::string& to);

// Makes folder `name` in `folder` (`mode` & ~umask). EEXIST when anything is there.
int makeFolderAt(const OpenFolder& folder, const std::string& name, uint32_t mode = 0777);

// Removes file, link or special file `name` (never what a link points to);
// EISDIR for a folder.
int deleteFileAt(const OpenFolder& folder, const std::string& name);

// Removes empty folder `name`; ENOTEMPTY when it holds anything, ENOTDIR when
// it is not a folder (a link to one included).
int removeFolderAt(const OpenFolder& folder, const std::string& name);

// Gives entry `name` owner write permission; a link is never followed (EPERM
// for a link: it has no permissions of its own).
int clearReadOnlyAt(const OpenFolder& folder, const std::string& name);
// Gives the held folder itself owner write permission.
int clearReadOnlyFolder(const OpenFolder& folder);

// The access and last-write times of the held folder itself, to be given back
// to it, or to another folder, later (applyFolderTimes).
struct FolderTimes
{
    int64_t accessSeconds = 0, accessNanos = 0;
    int64_t writeSeconds = 0, writeNanos = 0;
};
int readFolderTimes(const OpenFolder& folder, FolderTimes& out);
int applyFolderTimes(const OpenFolder& folder, const FolderTimes& times);

// moveToTrash for entry `name` of `folder`: the entry is renamed into the
// trash from the handle (home trash when on the same device, else the trash
// folder at the top of its mount), so what is trashed is the entry in this
// folder, never what a path would reach now. `displayPath` is the full path
// written into the .trashinfo file (text only, never resolved).
int moveToTrashAt(const OpenFolder& folder, const std::string& name, const std::string& displayPath);

// secureDelete for entry `name` of `folder`: a regular file with one link is
// overwritten in place, flushed, renamed to a random name and unlinked; a file
// with other hard links, a link or a special file is only unlinked (the data
// lives on under the other names, and overwriting it would destroy them).
// `onlyUnlinked`, when given, tells whether it was only unlinked for that reason.
int secureDeleteAt(const OpenFolder& folder, const std::string& name, bool* onlyUnlinked = nullptr);

// Removes entry `name` of `folder` (identity `id`) with everything in it:
// never through a link, never into another mount (EXDEV, and what is on it is
// left), owner write given to folders on the way so read-only ones can be
// emptied. `items`, when given, counts what was removed below `name`: files,
// links, special files and empty folders (a folder of entries counts by them).
int removeTreeAt(const OpenFolder& folder, const FolderIdentity& id, const std::string& name,
                 uint64_t* items = nullptr);

// removeLeftoverFile for entry `name` of `folder`.
int removeLeftoverFileAt(const OpenFolder& folder, const std::string& name);

// Flushes entry `name` of `folder` (a regular file) to disk; ENOTSUP for a
// link or special file.
int syncAt(const OpenFolder& folder, const std::string& name);
// Flushes the held folder itself (its entries); EINVAL where the file system
// cannot.
int syncFolder(const OpenFolder& folder);

// Takes an exclusive advisory lock (flock) on the held folder without waiting:
// 0, or EWOULDBLOCK when another open file description holds it (another run,
// from any process or user). Released when the handle closes. EBADF for a
// handle that may only be searched.
int lockFolder(const OpenFolder& folder);

} // namespace kestrow::platform
