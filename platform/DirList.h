#pragma once
// Folder listing: one read per folder, entries stat'ed relative to the open
// folder descriptor (never by re-resolving a full path), links not followed.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow::platform {

enum class EntryType : uint8_t
{
    File,
    Folder,
    Symlink,
    Special
};

struct DirEntry
{
    std::string name;
    EntryType type = EntryType::File;
    uint64_t size = 0;     // bytes; for a link, the length of its target text
    int64_t lastWrite = 0; // 100-nanosecond units since 1601-01-01 UTC
    uint32_t mode = 0;     // st_mode
    bool hidden = false;   // the name begins with "."
    bool system = false;   // FIFO, socket or device node
    bool readOnly = false; // no owner write permission (never for a link)
    // Identity of the entry: st_dev, st_ino and the statx mount id (0 where the
    // kernel gives none). A folder whose mount differs from its parent's is the
    // top of another mount.
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t mount = 0;
    // Owner, group and link count; the last change of the entry's data or
    // metadata (st_ctime, in lastWrite's units).
    uint32_t uid = 0;
    uint32_t gid = 0;
    uint32_t links = 0;
    int64_t changeTime = 0;

    bool isFolder() const { return type == EntryType::Folder; }
};

// Appends the entries of `folder` (with or without trailing "/") to `out`, in
// byte order of their names; only "." and ".." are passed over. Returns 0, or the
// errno that kept the folder from being opened or read (then `out` may hold the
// entries read before the failure). An entry that vanishes between the read and
// its stat is left out; any other stat failure (EACCES in a folder without
// search permission) ends the listing with that errno.
int listFolder(const std::string& folder, std::vector<DirEntry>& out);

// 100-nanosecond units since 1601-01-01 UTC from a Unix time.
int64_t fileTimeFromUnix(int64_t seconds, int64_t nanoseconds);

} // namespace kestrow::platform
