#pragma once
// What Linux keeps of a file besides its data: permission bits, owner and
// group, times, extended attributes (POSIX ACLs and file capabilities are
// extended attributes too). Copies keep it through FolderAt.h; this header
// compares it and applies it to entries that are already there, always at a
// held folder by name, never through a link.

#include "platform/FileOps.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrow::platform {

// Kinds of metadata (bits).
enum MetadataKind : uint32_t
{
    MetadataOwner = 1,              // owner and group
    MetadataPermissions = 2,        // permission bits
    MetadataExtendedAttributes = 4, // extended attributes, ACLs, capabilities
};

// What could not be kept on a Target (its file system refuses it, or this
// process may not set it), gathered from every thread of a run.
struct MetadataLoss
{
    std::atomic<uint32_t> kinds{0};
    void add(uint32_t kind) { kinds.fetch_or(kind, std::memory_order_relaxed); }
    uint32_t take() { return kinds.exchange(0, std::memory_order_relaxed); }
};

// What a Target file system keeps, as a probe in one of its folders found: a
// "kw_" file, removed at once, given a mode, an owner (as root) and an
// extended attribute, and looked up by its name in capitals. A folder that
// cannot be written gives 0 and leaves every field as a case-telling Linux
// file system would have it (nothing known).
struct TargetFeatures
{
    bool modes = true;
    bool owners = true;
    bool extendedAttributes = true;
    // Names that differ only in letter case are one name (FAT, exFAT, some shares).
    bool foldsCase = false;
    // The probed folder itself can be given times (not the top of a FAT volume).
    bool folderTimes = true;
};
int probeTargetFeatures(const OpenFolder& folder, TargetFeatures& out);

// Extended attributes by name (sorted), as this process may set them: trusted.*
// and security.* only for root.
using ExtendedAttributes = std::vector<std::pair<std::string, std::string>>;

// The extended attributes of entry `name` of `folder` (a link not followed),
// or (empty `name`) of the held folder itself. A file system without them
// gives 0 and none.
int readExtendedAttributesAt(const OpenFolder& folder, const std::string& name, ExtendedAttributes& out);

// Whether an extended attribute name is one this process may set.
bool settableAttributeName(const std::string& name);

// Which parts updateMetadataAt changed.
struct MetadataChanges
{
    bool owner = false;
    bool permissions = false;
    bool extendedAttributes = false;
    bool any() const { return owner || permissions || extendedAttributes; }
};

// Makes the metadata of entry `toName` of `to` that of entry `name` of `from`
// (an empty name: the held folder itself, on either side), in place and
// without touching its data. With `attributes`: owner and group where this process may set them,
// extended attributes (those of the Target that the Source lacks removed),
// permission bits (set-user-ID and set-group-ID only when owner and group are
// the Source's), and with `times` the last-write time (and with
// CopyFlavor::KeepEverything the access time). Links are never followed; a
// link's permission bits and attributes are left alone. What a file system or
// this process refuses goes to `loss` and is not an error. `changed` says what
// was different and has been changed. Returns 0 or errno; ENOENT or ESTALE
// when the two are not of one kind (a folder against a file).
int updateMetadataAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
                     const std::string& toName, CopyFlavor flavor, bool attributes, bool times,
                     MetadataLoss* loss, MetadataChanges& changed);

// Gives entry `toName` of `to` the times of entry `name` of `from` (links not
// followed), whatever it seems to have now: after a rename, which some FAT
// drivers stamp with the time of the rename once their cached times expire.
int copyTimesAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
                const std::string& toName, CopyFlavor flavor);

// Whether the process may give a file owner `uid` and group `gid` (root: any;
// others: their own uid and a group they belong to).
bool mayOwnAs(uint32_t uid, uint32_t gid);
bool mayUseGroup(uint32_t gid);
// Whether an entry owned by `uid`:`gid` can be given the owner `wantUid` and
// group `wantGid`, or at least a part of them that it lacks (a user may give
// an entry of their own a group they belong to).
bool ownerCanBeMadeLike(uint32_t uid, uint32_t gid, uint32_t wantUid, uint32_t wantGid);

inline constexpr uint32_t kPermissionBits = 07777;
inline constexpr uint32_t kSetIdBits = 06000;
// The permission bits a copy of an entry of mode `sourceMode` carries: the
// set-ID bits only when it has the Source's owner and group.
inline uint32_t copiedPermissions(uint32_t sourceMode, bool ownerKept)
{
    const uint32_t bits = sourceMode & kPermissionBits;
    return ownerKept ? bits : bits & ~kSetIdBits;
}

} // namespace kestrow::platform
