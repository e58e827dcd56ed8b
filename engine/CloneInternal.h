#pragma once
// Internal to the clone engine: what cClone.cpp and cCloneSelected.cpp share.

#include "base/RunHost.h"
#include "engine/Filters.h"
#include "engine/cClone.h"
#include "engine/walk/FolderHandles.h"
#include "log/CloneLog.h"
#include "platform/DirList.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace kestrow::clone_detail {

// Pool jobs (util/WorkerPool.h) on files of this size or more are worth a thread's wake-up each.
inline constexpr uint64_t kLargeJobBytes = 256 * 1024;

// Copy threads besides the run's own: one per further core, at most three.
inline unsigned CopyThreadCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 2 ? 1u : std::min(cores - 1, 3u);
}

// Exclude items (source paths, folders ending "/") and exclude masks.
struct ExclusionRules
{
    std::vector<std::string> items;
    StringCollection masks;

    bool fileExcluded(const std::string& fileSpec, const std::string& name) const
    {
        return (!items.empty() && DoesFileMatchExclusionSpecs(fileSpec, items)) ||
               FileMatchesPatternInCollection(name, masks);
    }
    bool folderExcluded(const std::string& folderSpec) const
    {
        return !items.empty() && DoesFolderMatchExclusionSpecs(folderSpec, items);
    }
};

// Exclude items are made canonical below `sourceRoot` (a canonical root); one
// outside it is logged and takes no part.
ExclusionRules MakeExclusionRules(const std::string& sourceRoot, const std::string& excludeFileSpecs,
                                  const std::string& excludeFileMasks);

inline FolderSpecRef MakeFolderRef(std::string spec)
{
    return FolderSpecRef(std::move(spec));
}

// The subfolder of `parent` that `entry` of `parentListing`'s folder is, with
// what the listing saw of it.
FolderSpecRef ChildRef(const FolderSpecRef& parent, const HeldFolder* parentHeld,
                       const platform::DirEntry& entry);

// gCloneLog->Add when there is a log.
void LogAdd(LogEntryType type, const std::string& file = {}, const std::string& src = {},
            const std::string& tgt = {}, int32_t errorNum = 0, const std::string& errorMsg = {},
            const std::string& custom = {});

// Kind 20 for a folder that could not be listed.
void LogListingError(const std::string& folder, int err);

// The safe copy's temporary files, and those of every copy: "kw_", random hex, ".tmp".
inline constexpr const char* kSafeCopyPrefix = "kw_";
inline constexpr const char* kSafeCopyExtension = "tmp";

inline bool IsAccessDenied(int err)
{
    return err == EACCES || err == EPERM;
}

inline std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Whether errno means "nothing there" rather than "cannot look".
inline bool IsMissingError(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

// Whether `folderSpec` (a trailing "/" allowed) is a real folder: a link to a
// folder is not, whatever "/" at its end would make the kernel do.
bool IsRealFolder(const std::string& folderSpec);

// Whether a listed entry of `folder` is a trash folder at the top of a mount, or
// the versions folder at the top of a root: never touched.
bool IsTrashEntry(const HeldFolder& folder, const platform::DirEntry& entry);

// Gives owner write to entry `name` of `folder` when it lacks it; true when it changed.
inline bool ClearEntryReadOnly(const HeldFolder& folder, const std::string& name)
{
    platform::PathAttributes a;
    return platform::entryAttributesAt(folder.folder, name, a) == 0 && a.readOnly &&
           a.kind != platform::PathKind::Symlink && platform::clearReadOnlyAt(folder.folder, name) == 0;
}

// Gives owner write to the held folder itself; true when it has it now (a
// retry is then worth it, as the folder may have lacked it).
inline bool ClearFolderReadOnly(const HeldFolder& folder)
{
    return platform::clearReadOnlyFolder(folder.folder) == 0;
}

// Before the one retry of an operation refused as read-only (util::retryOnce):
// true when it is worth making, the window having had a moment.
inline bool EntryClearedForRetry(const HeldFolder& folder, const std::string& name)
{
    if (!ClearEntryReadOnly(folder, name))
        return false;
    runHost().processEvents();
    return true;
}

// A Source that is not what the listing showed, or that changes during its copy.
inline constexpr int32_t kChangedCode = 0;
inline constexpr const char* kChangedMessage = "The file changed while it was being cloned.";

// Copy method 1 through held folders: the new copy goes to a temporary file in
// the Target folder, the old Target to the trash (or, with `keepOld`, to the old
// versions), and the temporary file takes its name. Logged as SafeCopy logs;
// true on success.
bool SafeCopyAt(const HeldFolder& from, const HeldFolder& to, const std::string& name,
                const std::string& SourceFileSpec, const std::string& TargetFileSpec,
                const platform::PathAttributes* expected, platform::MetadataLoss* loss,
                const platform::BeforeReplace& keepOld = {});

// The outcome of a comparison by contents or CRC-32 made ahead of the walk (on a
// pool thread), for the walk to judge the pair by and log in its own order.
struct ContentVerdict
{
    enum Kind : uint8_t
    {
        Same,
        Different,
        Failed,  // `code` is the errno (or the comparer's code) to log
        NotMade, // left to the comparison by path (links, special files, long paths)
    };
    Kind kind = NotMade;
    int32_t method = 0; // the comparison method it was made for
    uint32_t code = 0;
};

// The comparison of one pair of non-folder entries: true when the Source is to
// be copied over the Target. A comparison failure sets `error` (and the failure
// has been logged); the pair then counts as different. `ahead`, when given and
// made for the method in force, stands for the comparison of the contents.
// `from` and `to`, when given, are the two folders held open: links are read
// and contents compared through them.
bool PairNeedsCopy(const cClone& clone, const std::string& sourceFolder, const std::string& targetFolder,
                   const platform::DirEntry& source, const platform::DirEntry& target, bool& error,
                   const ContentVerdict* ahead = nullptr, const HeldFolder* from = nullptr,
                   const HeldFolder* to = nullptr);

// The Folder Path Error entry of the empty-Source guard: the Target was left untouched.
void LogEmptySourceRefusal(const std::string& source, const std::string& target);

// The walk of CompareEntireSource, optionally with exclusions. True when it met
// no error and was not cancelled.
bool CompareTrees(cClone& clone, const FolderSpecRef& sourceRoot, const FolderSpecRef& targetRoot,
                  bool includeSubfolders, const ExclusionRules* exclusions);

// One folder's entries indexed by name.
struct FolderListing
{
    int error = 0;      // errno of the listing, 0 when it worked
    HeldFolderPtr held; // the folder, held open (null when it could not be opened)
    std::vector<platform::DirEntry> entries;
    std::unordered_map<std::string_view, const platform::DirEntry*> byName;

    // The non-folder entry `name`, or null.
    const platform::DirEntry* file(const std::string& name) const
    {
        const auto it = byName.find(name);
        return it != byName.end() && !it->second->isFolder() ? it->second : nullptr;
    }
    bool hasFolder(const std::string& name) const
    {
        const auto it = byName.find(name);
        return it != byName.end() && it->second->isFolder();
    }
};

// A listing made (`entries`, or `error`) of the folder `held`, indexed, with
// the trash folders of a mount's top left out.
std::shared_ptr<FolderListing> IndexListing(HeldFolderPtr held, std::vector<platform::DirEntry> entries,
                                            int error);

// Opens `folder` through `handles` and lists it; the errno of whichever failed.
int ListHeld(FolderHandles& handles, const FolderSpecRef& folder, HeldFolderPtr& held,
             std::vector<platform::DirEntry>& entries);

// Lists `folder` through `handles` (trash folders of a mount's top left out)
// and indexes it. A folder that cannot be opened as the one listed gives its
// error as the listing's.
std::shared_ptr<FolderListing> ListIndexed(FolderHandles& handles, const FolderSpecRef& folder);

// A few recent listings, so items that come folder by folder read each folder once.
class ListingCache
{
public:
    explicit ListingCache(FolderHandles& handles) : m_handles(handles) {}
    const FolderListing& get(const FolderSpecRef& folder);

private:
    FolderHandles& m_handles;
    std::unordered_map<std::string, std::shared_ptr<FolderListing>> m_listings;
};

// Whether `folder` holds nothing (trash folders at a mount's top aside); a
// folder that cannot be listed counts as empty.
bool IsHeldFolderEmpty(FolderHandles& handles, const FolderSpecRef& folder);

} // namespace kestrow::clone_detail
