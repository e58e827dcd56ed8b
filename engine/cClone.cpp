#include "engine/cClone.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/Listing.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/Versions.h"
#include "engine/cCompare.h"
#include "engine/modCompare.h"
#include "engine/perform/VersionKeeper.h"
#include "platform/DeviceId.h"
#include "platform/FileCompare.h"
#include "platform/FileInfo.h"
#include "platform/FileOps.h"
#include "platform/InstanceLock.h"
#include "platform/SystemInfo.h"
#include "util/ScopeExit.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_set>

namespace kestrow {

cClone* gClone = nullptr;

// ---------------------------------------------------------------------------
// Shared helpers

namespace clone_detail {

void LogAdd(LogEntryType type, const std::string& file, const std::string& src, const std::string& tgt,
            int32_t errorNum, const std::string& errorMsg, const std::string& custom)
{
    if (gCloneLog)
        gCloneLog->Add(type, {}, file, src, tgt, errorNum, errorMsg, custom);
}

void LogListingError(const std::string& folder, int err)
{
    if (IsAccessDenied(err))
        LogAdd(LogEntryType::GetSubFoldersError, folder, {}, {}, errnum::PermissionDenied,
               "Permission is Denied");
    else if (IsMissingError(err))
        LogAdd(LogEntryType::GetSubFoldersError, folder, {}, {}, errnum::PathNotFound,
               "Path Not Found/Permission is Denied");
    else
        LogAdd(LogEntryType::GetSubFoldersError, folder, {}, {}, err, GetSystemErrorMessage(err));
}

void LogEmptySourceRefusal(const std::string& source, const std::string& target)
{
    LogAdd(LogEntryType::FolderPathError, "Source: " + source + " Target: " + target, {}, {}, 0,
           "Problems processing the Source folder. The Source folder is empty, so the Target folder "
           "was left untouched.");
}

bool IsRealFolder(const std::string& folderSpec)
{
    return platform::pathKind(WithoutTrailingSlash(folderSpec)) == platform::PathKind::Folder;
}

bool IsTrashEntry(const HeldFolder& folder, const platform::DirEntry& entry)
{
    return (folder.mountTop && entry.isFolder() && IsTrashFolderName(entry.name)) ||
           (folder.root && IsVersionsFolderName(entry.name));
}

FolderSpecRef ChildRef(const FolderSpecRef& parent, const HeldFolder* parentHeld,
                       const platform::DirEntry& entry)
{
    bool mountTop = false;
    if (parentHeld)
        mountTop = (entry.mount != 0 && parentHeld->id.mount != 0 && entry.mount != parentHeld->id.mount) ||
                   entry.device != parentHeld->id.device;
    return FolderSpecRef::Child(parent, entry.name, entry.device, entry.inode, mountTop);
}

std::shared_ptr<FolderListing> IndexListing(HeldFolderPtr held, std::vector<platform::DirEntry> entries,
                                            int error)
{
    auto listing = std::make_shared<FolderListing>();
    listing->error = error;
    listing->held = std::move(held);
    if (error)
        return listing; // a partial listing is no ground for deciding what is missing
    listing->entries = std::move(entries);
    if (listing->held && (listing->held->mountTop || listing->held->root))
        std::erase_if(listing->entries,
                      [&](const platform::DirEntry& e) { return IsTrashEntry(*listing->held, e); });
    listing->byName.reserve(listing->entries.size());
    for (const platform::DirEntry& e : listing->entries)
        listing->byName.emplace(e.name, &e);
    return listing;
}

// Opens and lists one folder; the errno of whichever failed.
int ListHeld(FolderHandles& handles, const FolderSpecRef& folder, HeldFolderPtr& held,
             std::vector<platform::DirEntry>& entries)
{
    int err = 0;
    held = handles.open(folder, err);
    if (!held)
        return err;
    return platform::listFolderAt(held->folder, entries);
}

std::shared_ptr<FolderListing> ListIndexed(FolderHandles& handles, const FolderSpecRef& folder)
{
    std::vector<platform::DirEntry> entries;
    HeldFolderPtr held;
    const int error = ListHeld(handles, folder, held, entries);
    return IndexListing(std::move(held), std::move(entries), error);
}

const FolderListing& ListingCache::get(const FolderSpecRef& folder)
{
    if (const auto it = m_listings.find(*folder); it != m_listings.end())
        return *it->second;
    // Items arrive folder by folder; a handful of recent folders is enough.
    if (m_listings.size() >= 16)
        m_listings.clear();
    return *m_listings.emplace(*folder, ListIndexed(m_handles, folder)).first->second;
}

bool IsHeldFolderEmpty(FolderHandles& handles, const FolderSpecRef& folder)
{
    const auto listing = ListIndexed(handles, folder);
    return listing->error != 0 || listing->entries.empty();
}

ExclusionRules MakeExclusionRules(const std::string& sourceRoot, const std::string& excludeFileSpecs,
                                  const std::string& excludeFileMasks)
{
    ExclusionRules rules;
    // Spelt as the walk spells the Source's paths, whatever the person typed.
    for (std::string& item :
         CanonicalItems(excludeFileSpecs, WithTrailingSlash(sourceRoot), ItemRole::Exclude)) {
        if (!item.empty())
            rules.items.push_back(std::move(item));
    }
    FillColWithParsedStringElems(rules.masks, excludeFileMasks, ",");
    return rules;
}

namespace {

// Whether the pair is the same by a verdict made ahead; a failure is logged as the
// comparison method logs it.
bool SameByVerdict(const ContentVerdict& verdict, LogEntryType failureKind, const std::string& sourceFolder,
                   const std::string& targetFolder, const std::string& name, bool& error)
{
    if (verdict.kind == ContentVerdict::Failed) {
        error = true;
        LogAdd(failureKind, name, sourceFolder, targetFolder, static_cast<int32_t>(verdict.code),
               ComparisonFailureText(verdict.code));
    }
    return verdict.kind == ContentVerdict::Same;
}

} // namespace

bool PairNeedsCopy(const cClone& clone, const std::string& sourceFolder, const std::string& targetFolder,
                   const platform::DirEntry& source, const platform::DirEntry& target, bool& error,
                   const ContentVerdict* ahead, const HeldFolder* from, const HeldFolder* to)
{
    const cCompare& options = CompareOptions();
    const int32_t newer = CompareFilesUsingTimestamp(source, target, options.IgnoreFAT_NTFS_TwoSecDiff(),
                                                     options.IgnoreFAT_NTFS_DaylightSavings());
    bool same = false;
    if (source.type != target.type) {
        same = false; // a file against a link or a FIFO is never the same
    } else if (source.type == platform::EntryType::Symlink) {
        std::string a, b;
        if (from && to)
            same = platform::readLinkAt(from->folder, source.name, a) == 0 &&
                   platform::readLinkAt(to->folder, target.name, b) == 0 && a == b;
        else
            same = platform::readLinkText(sourceFolder + source.name, a) == 0 &&
                   platform::readLinkText(targetFolder + target.name, b) == 0 && a == b;
    } else {
        switch (options.CompareMethod()) {
        case CompareMethodSize:
            same = AreFilesSameUsingSize(source, target);
            break;
        case CompareMethodContents:
            if (ahead && ahead->method == CompareMethodContents && ahead->kind != ContentVerdict::NotMade)
                same = SameByVerdict(*ahead, LogEntryType::ContentCompareError, sourceFolder, targetFolder,
                                     source.name, error);
            else
                same = AreFilesSameUsingContents(sourceFolder, targetFolder, source.name, error);
            break;
        case CompareMethodCRC32:
            if (ahead && ahead->method == CompareMethodCRC32 && ahead->kind != ContentVerdict::NotMade)
                same = SameByVerdict(*ahead, LogEntryType::CrcCompareError, sourceFolder, targetFolder,
                                     source.name, error);
            else
                same = AreFilesSameUsingCRC32(sourceFolder, targetFolder, source.name, error);
            break;
        default:
            // Times alone would take a file rewritten within the allowance, at another
            // size, for the same one for ever.
            same = newer == 0 && source.size == target.size;
            break;
        }
    }
    if (!same && clone.RunOptionsInForce().copyOnlyIfNewer && newer != 1)
        same = true;
    return !same;
}

} // namespace clone_detail

using namespace clone_detail;

// ---------------------------------------------------------------------------
// cClone: comparison

void cClone::TakeRunOptions()
{
    m_run.deleteMethod = DeleteMethod();
    m_run.copyMethod = CopyMethod();
    m_run.maxDeletePercent = MaxDeletePercent();
    m_run.copyOnlyIfNewer = CopyOnlyIfNewer();
    m_run.confirmSyncActions = ConfirmSyncActions();
    m_run.protectFromEmptySource = ProtectFromEmptySource();
    m_run.keepHardLinks = KeepHardLinks();
    m_run.planOnly = PlanOnly();
    m_run.createTargetFolder = CreateTargetFolder();
    m_run.keepVersions = KeepVersions();
    m_run.versionsFolder = VersionsFolder();
    m_run.versionsKeepDays = VersionsKeepDays();
    m_run.versionsKeepMoments = VersionsKeepMoments();
}

std::string cClone::VersionsFolder() const
{
    const std::lock_guard lock(m_versionsFolderMutex);
    return m_VersionsFolder;
}

void cClone::setVersionsFolder(const std::string& value)
{
    const std::lock_guard lock(m_versionsFolderMutex);
    m_VersionsFolder = value;
}

void cClone::ResetFileOpsList(const std::string& sourceRoot, const std::string& targetRoot)
{
    TakeRunOptions();
    m_inRun = true;
    FileOpsArray.clear();
    m_createdFolderOps.clear();
    FilesScannedCount = 0;
    TargetFilesListed = 0;
    LeftoverTempFiles.clear();
    m_runTargetRoot = targetRoot;
    m_leftovers.clear();
    m_refs.clear();
    m_overlapFound = false;
    m_handles->clear();
    // Held from here to the end of the run: whatever takes their paths' place
    // meanwhile, the run works in these two folders.
    m_sourceRoot = FolderSpecRef::Root(sourceRoot, 1);
    m_targetRoot = FolderSpecRef::Root(targetRoot, 2);
    m_handles->openRoot(m_sourceRoot);
    m_handles->openRoot(m_targetRoot);
    m_folderFinishes.clear();
    m_linkLeaders.clear();
    m_linkOps.clear();
    m_leadersCopied.clear();
    m_renameFrom.clear();
    m_metadataLoss.take();
    m_targetFeatures = {};
    int err = 0;
    if (const HeldFolderPtr target = m_handles->open(m_targetRoot, err))
        platform::probeTargetFeatures(target->folder, m_targetFeatures);
}

bool cClone::BeginVersions(const std::string& target)
{
    m_keeper.reset();
    if (!m_run.keepVersions || m_run.planOnly || !m_targetRoot)
        return true;
    int err = 0;
    HeldFolderPtr held = m_handles->open(m_targetRoot, err);
    if (!held)
        return true; // a Target the run makes holds nothing to keep
    auto keeper = std::make_unique<VersionKeeper>(*m_targetRoot, m_run.versionsFolder, held);
    auto refuse = [&](const std::string& why) {
        LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
               "Problems processing the Target folder. Its versions folder \"" + keeper->VersionsRoot() +
                   "\" " + why + ", so the Target was left untouched.");
        return false;
    };
    err = keeper->begin(currentClock().now());
    if (err)
        return refuse("cannot be written (" + GetSystemErrorMessage(err) + ")");
    std::vector<platform::FolderIdentity> roots{held->id};
    if (HeldFolderPtr source = m_sourceRoot ? m_handles->open(m_sourceRoot, err) : nullptr)
        roots.push_back(source->id);
    if (keeper->InsideOneOf(roots)) {
        // The moment just made goes again: nothing was kept in it.
        std::string failed;
        keeper->end(
            0, 0, 0, [](const std::string&, uint64_t) {}, failed);
        return refuse("lies inside the Source or Target folder");
    }
    if (keeper->OtherFileSystem())
        LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
               "Old versions are kept on another file system, in \"" + keeper->VersionsRoot() +
                   "\": each is copied there, then removed from the Target. - '" + target + "' ");
    m_keeper = std::move(keeper);
    return true;
}

void cClone::EndVersions()
{
    if (!m_keeper)
        return;
    const bool cancelled = IsCloneCancelled();
    std::string failed;
    const std::string root = m_keeper->VersionsRoot();
    const int err = m_keeper->end(
        currentClock().now(), cancelled ? 0 : m_run.versionsKeepDays,
        cancelled ? 0 : m_run.versionsKeepMoments,
        [&](const std::string& moment, uint64_t items) {
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Old versions of " + moment + " removed (" + std::to_string(items) +
                       (items == 1 ? " item" : " items") + "), as the limits keep them no longer. - '" +
                       root + "' ");
        },
        failed);
    if (err)
        LogAdd(LogEntryType::DeleteDirError, {}, {}, root + failed + "/", err, GetSystemErrorMessage(err));
    m_keeper.reset();
}

std::string cClone::RelativeToTarget(const FolderSpecRef& folder) const
{
    if (!folder || !m_targetRoot || !folder->starts_with(*m_targetRoot))
        return {};
    return folder->substr(m_targetRoot->size());
}

void cClone::EndRun()
{
    EndVersions();
    if (!m_run.planOnly) {
        std::deque<FileOp>().swap(FileOpsArray);
        std::unordered_set<std::string>().swap(m_createdFolderOps);
        std::vector<FolderFinish>().swap(m_folderFinishes);
        m_linkLeaders.clear();
        m_linkOps.clear();
        m_leadersCopied.clear();
        m_renameFrom.clear();
        LeftoverTempFiles.clear();
        m_refs.clear();
        m_handles->clear();
        m_sourceRoot = {};
        m_targetRoot = {};
    }
    m_runTargetRoot.clear();
    m_targetLock.reset();
    m_targetRootLock.reset();
    m_inRun = false;
}

void cClone::ReportOverlap(const std::string& relation)
{
    if (m_overlapFound)
        return;
    m_overlapFound = true;
    LogAdd(LogEntryType::FolderPathError,
           "Source: " + (m_sourceRoot ? *m_sourceRoot : std::string()) +
               " Target: " + (m_targetRoot ? *m_targetRoot : std::string()),
           {}, {}, 0, relation);
}

FolderSpecRef cClone::RefFor(const std::string& folderSpec)
{
    const std::string spec = WithTrailingSlash(folderSpec);
    if (const auto it = m_refs.find(spec); it != m_refs.end())
        return it->second;
    FolderSpecRef ref;
    const FolderSpecRef* root = nullptr;
    if (m_sourceRoot && spec.starts_with(*m_sourceRoot))
        root = &m_sourceRoot;
    // The longer root wins when one root's text begins the other's.
    if (m_targetRoot && spec.starts_with(*m_targetRoot) && (!root || m_targetRoot->size() > (*root)->size()))
        root = &m_targetRoot;
    if (!root) {
        ref = FolderSpecRef(spec);
    } else if (spec.size() == (*root)->size()) {
        ref = *root;
    } else {
        // Level by level from the root, each level as it is now when it exists
        // (so it is opened again only as that folder), else as a folder to be made.
        const size_t slash = spec.rfind('/', spec.size() - 2);
        const FolderSpecRef parent = RefFor(spec.substr(0, slash + 1));
        const std::string name = spec.substr(slash + 1, spec.size() - slash - 2);
        int err = 0;
        platform::DirEntry entry;
        entry.name = name;
        if (name == "." || name == "..") {
            ref = FolderSpecRef::Child(parent, name); // never opened: such a level is refused
        } else if (const HeldFolderPtr held = m_handles->open(parent, err)) {
            platform::OpenFolder probe;
            platform::FolderIdentity id;
            if (platform::openChildFolder(held->folder, held->id, name, nullptr,
                                          platform::MountCrossing::allow, probe, id) == 0) {
                entry.device = id.device;
                entry.inode = id.inode;
                entry.mount = id.mount;
                ref = ChildRef(parent, held.get(), entry);
            } else {
                ref = FolderSpecRef::Child(parent, name);
            }
        } else {
            ref = FolderSpecRef::Child(parent, name);
        }
    }
    m_refs.emplace(spec, ref);
    return ref;
}

bool cClone::RootsOverlap(const std::string& source, const std::string& target)
{
    const char* relation = nullptr;
    int sourceErr = 0, targetErr = 0;
    const HeldFolderPtr heldSource = m_sourceRoot ? m_handles->open(m_sourceRoot, sourceErr) : nullptr;
    const HeldFolderPtr heldTarget = m_targetRoot ? m_handles->open(m_targetRoot, targetErr) : nullptr;
    if (heldSource && heldTarget) {
        // By identity, so links and bind mounts are seen whatever the spelling.
        auto inside = [](const HeldFolder& inner, const HeldFolder& outer) {
            std::vector<platform::FolderIdentity> ancestors;
            platform::ancestorIdentitiesThroughMounts(inner.folder, ancestors);
            return std::any_of(ancestors.begin(), ancestors.end(),
                               [&](const platform::FolderIdentity& a) { return a.sameFolder(outer.id); });
        };
        if (heldSource->id.sameFolder(heldTarget->id))
            relation = "The Source and Target folders are the same folder.";
        else if (inside(*heldTarget, *heldSource))
            relation = "The Target folder lies inside the Source folder.";
        else if (inside(*heldSource, *heldTarget))
            relation = "The Source folder lies inside the Target folder.";
    } else {
        relation = RootsOverlapText(source, target);
    }
    if (!relation)
        return false;
    LogAdd(LogEntryType::FolderPathError, "Source: " + source + " Target: " + target, {}, {}, 0, relation);
    return true;
}

namespace {

// Whether a root, listed through its handle, holds anything besides the trash
// folders at a mount's top (a root that cannot be listed holds nothing known).
bool HoldsEntries(FolderHandles& handles, const FolderSpecRef& root, bool& listed)
{
    const auto listing = ListIndexed(handles, root);
    listed = listing->error == 0;
    return listed && !listing->entries.empty();
}

// Whether the Source root holds an entry the run would clone: one the skip
// options, the exclusions and the subfolder choice let through. A file system's
// own lost+found is no content of the Source, and neither is half a safe copy.
bool HoldsClonableEntries(FolderHandles& handles, const FolderSpecRef& root, const cClone::SourceScope& scope,
                          bool& listed)
{
    const auto listing = ListIndexed(handles, root);
    listed = listing->error == 0;
    if (!listed)
        return false;
    int32_t reason = SkipReasonNone;
    for (const platform::DirEntry& e : listing->entries) {
        if (e.isFolder()) {
            if (scope.includeSubfolders && e.name != "lost+found" && !AreFolderAttributesSkipped(e, reason) &&
                !(scope.exclusions && scope.exclusions->folderExcluded(*root + e.name + "/")))
                return true;
        } else if (!IsFindDataSkipped(e, reason) && !cClone::IsSafeCopyLeftoverName(e.name) &&
                   !(scope.exclusions && scope.exclusions->fileExcluded(*root + e.name, e.name))) {
            return true;
        }
    }
    return false;
}

} // namespace

bool cClone::TargetRefused(const std::string& source, const std::string& target, const SourceScope& scope)
{
    m_targetLock.reset();
    if (!gstrAppPath.empty()) {
        int err = 0;
        const std::string lockFile =
            platform::targetLockFile(gstrAppPath, platform::resolvedFolderPath(target), err);
        auto lock = std::make_unique<platform::InstanceLock>();
        // A data folder where no lock can be made must not stop every run: it goes on
        // with the lock on the Target folder itself. A link planted there is worth a word.
        const auto result =
            lockFile.empty() ? platform::InstanceLock::Result::Failed : lock->acquire(lockFile);
        if (lockFile.empty() && err == ELOOP)
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   DataFileErrorText(err, gstrAppPath + "target-locks", GetSystemErrorMessage(err)));
        if (result == platform::InstanceLock::Result::HeldElsewhere) {
            LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
                   "Problems processing the Target folder. Another run is working on this Target folder now, "
                   "so it was skipped.");
            return true;
        }
        if (result == platform::InstanceLock::Result::Acquired)
            m_targetLock = std::move(lock);
    }
    // The same lock on the Target folder itself: runs from other data folders
    // and other users keep out too.
    if (m_targetRoot) {
        int err = 0;
        if (HeldFolderPtr held = m_handles->open(m_targetRoot, err)) {
            // flock belongs to this open of the folder: another run's own open conflicts with it.
            const int lockErr = platform::lockFolder(held->folder);
            if (lockErr == EWOULDBLOCK) {
                LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
                       "Problems processing the Target folder. Another run is working on this Target folder "
                       "now, so it was skipped.");
                m_targetLock.reset();
                return true;
            }
            if (lockErr == 0)
                m_targetRootLock = std::move(held);
        }
    }
    if (m_run.protectFromEmptySource) {
        bool sourceListed = false, targetListed = false;
        if (!HoldsClonableEntries(*m_handles, m_sourceRoot, scope, sourceListed) && sourceListed &&
            HoldsEntries(*m_handles, m_targetRoot, targetListed)) {
            LogEmptySourceRefusal(source, target);
            return true;
        }
    }
    return !BeginVersions(target);
}

bool cClone::RunSequence(const std::string& source, const std::string& target,
                         const std::string& statusSource, bool statusFirst, const SourceScope& scope,
                         const std::function<bool(bool& stop)>& compare)
{
    const CompareSnapshot compareOptions; // and the engine's own, in ResetFileOpsList
    ResetFileOpsList(source, target);
    const util::ScopeExit runEnd([this] { EndRun(); });
    RunHost& host = runHost();
    if (host.wantsProgress())
        host.comparingStarted(source, target);
    if (statusFirst) {
        host.setStatusText(StatusPanel::Panel1, "Comparing folders...");
        host.setStatusText(StatusPanel::Panel2, "0 files");
    }
    if (RootsOverlap(source, target) || TargetRefused(source, target, scope))
        return false;
    bool stop = false;
    bool errors = !compare(stop);
    if (stop || OverlapFound())
        return false; // nothing to go by, or the trees are not what they seemed: nothing is performed
    if (!IsCloneCancelled() && DeletionsCapped(target))
        errors = true;
    if (!IsCloneCancelled() && !m_run.planOnly && !PerformFileOperations(statusSource))
        errors = true;
    host.processEvents();
    return !errors && !IsCloneCancelled();
}

bool cClone::CloneAll(const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                      bool pbolIncludeSubFolders)
{
    return Guarded("cClone.CloneAll", false, [&] {
        const std::string src = CanonicalFolderSpec(pstrSourceFolderSpec);
        const std::string tgt = CanonicalFolderSpec(pstrTargetFolderSpec);
        return RunSequence(src, tgt, pstrSourceFolderSpec, true, SourceScope{pbolIncludeSubFolders, nullptr},
                           [&](bool&) { return CompareEntireSource(src, tgt, pbolIncludeSubFolders); });
    });
}

} // namespace kestrow
