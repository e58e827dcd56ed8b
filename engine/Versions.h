#pragma once
// Old versions of Target files. With the option on, whatever a run would
// delete or replace in a Target is moved into that Target's versions folder
// instead: by default ".kestrow-versions/" at the top of the Target root, or a
// subfolder (one per Target) of a folder the user chose. Each run that keeps
// anything makes one moment folder named by its start time,
// "YYYY-MM-DD HHMMSS", holding the kept items at their paths relative to the
// Target root; a second run within the same second adds " 2", " 3"...

#include "base/DateTime.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

inline constexpr std::string_view kVersionsFolderName = ".kestrow-versions";

// Whether `name`, an entry at the top of a Source or Target root, is the
// versions folder (never listed, compared, copied, reported or deleted).
inline bool IsVersionsFolderName(std::string_view name)
{
    return name == kVersionsFolderName;
}

// The subfolder of a chosen versions folder that holds the versions of Target
// root `targetRoot` (a canonical folder spec): its path with "/" as "_", cut to
// fit a name, and 8 hex digits that tell apart paths that read alike
// ("/srv/backup/" -> "srv_backup-1c3d2e4f").
std::string VersionsSubfolderName(const std::string& targetRoot);

// Where the versions of `targetRoot` (canonical, ending "/") live, ending "/":
// its own ".kestrow-versions/" when `versionsFolder` is empty, else that
// folder's subfolder for it.
std::string VersionsRootFor(const std::string& targetRoot, const std::string& versionsFolder);

// The moment name of a local time, "2026-12-09 181502", and the time a moment
// name stands for (false for any other name).
std::string MomentName(DateValue local);
bool ParseMomentName(std::string_view name, DateValue& time);

struct VersionMoment
{
    std::string name;
    DateValue time = 0;
    uint64_t items = 0; // files, links and recorded empty folders
    uint64_t bytes = 0; // of the files
};

// The moments in `versionsRoot`, oldest first (entries that are not moment
// folders are passed over). With `counted`, each is walked for its items and
// bytes. 0, ENOENT when there is no versions folder, or the errno of the listing.
int ListMoments(const std::string& versionsRoot, std::vector<VersionMoment>& out, bool counted = true);

struct VersionItem
{
    std::string path; // relative to the moment; a folder's ends with "/"
    bool folder = false;
    bool link = false;
    uint64_t size = 0;
    int64_t lastWrite = 0; // platform::DirEntry units
};

// Every entry of moment `moment` of `versionsRoot`, a folder before its
// contents, in name order. Walked through held folders: never through a link,
// never into another mount.
int ListMomentItems(const std::string& versionsRoot, const std::string& moment,
                    std::vector<VersionItem>& out);

// The moments of `versionsRoot` the limits do not keep: older than `keepDays`
// days before `now` (0 keeps every age) or beyond the newest `keepMoments`
// (0 keeps any number); oldest first.
std::vector<VersionMoment> MomentsBeyondLimits(const std::vector<VersionMoment>& moments, DateValue now,
                                               int32_t keepDays, int32_t keepMoments);

} // namespace kestrow
