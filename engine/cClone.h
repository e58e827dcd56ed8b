#pragma once
// cClone: the clone engine. For one Source root and one Target root it compares
// the two trees, records every difference as a planned operation in FileOpsArray,
// optionally lets the person confirm the list (through the run host), and then
// performs it. One program-wide instance, gClone, is reused run after run.
//
// Paths: every folder spec ends with "/"; a file spec is a folder spec plus the
// name. Source and Target entries pair by name, case-sensitively, as the file
// system does. Each folder is listed once per side; entries pair in memory.
//
// Symbolic links are never followed or descended: a link in the Source is
// cloned as a link with the same target text, a pair of links is the same when
// the target texts are equal, and a link in the Target is removed as a link.
// Nothing is written or deleted outside the Target root, nothing is deleted in
// another file system mounted inside the Target, and the trash folders at the
// top of a mount (.Trash, .Trash-UID) are never listed, compared or touched.
//
// Status texts, event pumping, the animation flag and the confirmation list go
// through runHost(); cancellation through CancelRequested / IsCloneCancelled.

#include "platform/DirList.h"
#include "platform/Metadata.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kestrow {

namespace platform {
class InstanceLock;
}
namespace clone_detail {
class FolderHandles;
struct HeldFolder;
class VersionKeeper;
struct ExclusionRules;
} // namespace clone_detail

enum FileOpType : int32_t
{
    FileOpCopy = 0,
    FileOpDelete = 1,
    FileOpCreateFolder = 2,
    FileOpRemoveFolder = 3,
    // Data the same, metadata (permission bits, owner, extended attributes) not.
    FileOpUpdateAttributes = 4,
    // A Target that folds letter case: its entry takes the Source's spelling.
    FileOpRename = 5,
};

// Delete methods held in cClone::DeleteMethod (the number kestrow.ini stores).
enum DeleteMethodValue : int32_t
{
    DeleteMethodRegular = 0,
    DeleteMethodRecycleBin = 1, // the desktop's trash
    DeleteMethodDoNotDelete = 2,
    DeleteMethodSecure = 3,
};

// Copy methods held in cClone::CopyMethod (the number kestrow.ini stores).
enum CopyMethodValue : int32_t
{
    CopyMethodRegular = 0,
    CopyMethodSafe = 1,             // through a "kw_" temporary file and the trash
    CopyMethodRetainCreateTime = 2, // keeps everything Linux can keep, access times too
};

// Which tree of a run a folder belongs to.
enum class TreeSide : uint8_t
{
    Source,
    Target,
};

// The listed state of a Source entry carried into a planned copy, so a file
// that changes between the listing and its copy is caught.
struct CloneEntryState
{
    uint64_t size = 0;
    int64_t lastWrite = 0;
};

// A folder spec shared by every operation in that folder (a tree of a million
// files holds each folder's text once, not once per file). One pointer wide;
// copies share the text and may be made and dropped on any thread.
//
// A folder met in a walk also knows its parent and what the listing saw of it
// (device, inode, whether it is the top of another mount), so the folder can be
// opened again from its run's root by name, one level at a time, and refused
// when it is no longer that folder. A run's root carries the root of its tree;
// a folder made from text alone is opened by its path.
class FolderSpecRef
{
public:
    FolderSpecRef() = default;
    // A folder known by its text only.
    explicit FolderSpecRef(std::string spec) : m_node(new Node(std::move(spec), nullptr)) {}
    // The folder `name` below `parent`, as a listing saw it (identity 0: not seen yet).
    static FolderSpecRef Child(const FolderSpecRef& parent, const std::string& name, uint64_t device = 0,
                               uint64_t inode = 0, bool mountTop = false)
    {
        FolderSpecRef ref;
        ref.m_node = new Node(*parent + name + '/', parent.m_node);
        ref.m_node->device = device;
        ref.m_node->inode = inode;
        ref.m_node->mountTop = mountTop;
        return ref;
    }
    // The root of a run's tree (`rootId` tells the roots of one run apart).
    static FolderSpecRef Root(std::string spec, uint32_t rootId)
    {
        FolderSpecRef ref;
        ref.m_node = new Node(std::move(spec), nullptr);
        ref.m_node->rootId = rootId;
        return ref;
    }
    FolderSpecRef(const FolderSpecRef& other) noexcept : m_node(other.m_node)
    {
        if (m_node)
            m_node->refs.fetch_add(1, std::memory_order_relaxed);
    }
    FolderSpecRef(FolderSpecRef&& other) noexcept : m_node(other.m_node) { other.m_node = nullptr; }
    FolderSpecRef& operator=(FolderSpecRef other) noexcept
    {
        std::swap(m_node, other.m_node);
        return *this;
    }
    ~FolderSpecRef() { Release(m_node); }

    explicit operator bool() const { return m_node != nullptr; }
    const std::string& operator*() const { return m_node->text; }
    const std::string* operator->() const { return &m_node->text; }
    // Whether both share one text (equal texts need not).
    bool sameAs(const FolderSpecRef& other) const { return m_node == other.m_node; }

    // The folder this one was listed in (empty for a root or a folder known by text).
    FolderSpecRef parent() const
    {
        FolderSpecRef ref;
        ref.m_node = m_node ? m_node->parent : nullptr;
        if (ref.m_node)
            ref.m_node->refs.fetch_add(1, std::memory_order_relaxed);
        return ref;
    }
    // Its own name (the last level of its text), for a folder with a parent.
    std::string_view name() const
    {
        const std::string& text = m_node->text;
        const size_t from = m_node->parent->text.size();
        return std::string_view(text).substr(from, text.size() - from - 1);
    }
    uint64_t device() const { return m_node->device; }
    uint64_t inode() const { return m_node->inode; }
    bool mountTop() const { return m_node->mountTop; }
    // Non-zero for the root of a run's tree.
    uint32_t rootId() const { return m_node->rootId; }
    // Identifies the folder node (for caches), as long as a reference is held.
    const void* key() const { return m_node; }

private:
    struct Node
    {
        Node(std::string spec, Node* up) : text(std::move(spec)), parent(up)
        {
            if (parent)
                parent->refs.fetch_add(1, std::memory_order_relaxed);
        }
        std::atomic<uint32_t> refs{1};
        const std::string text;
        Node* const parent;
        uint64_t device = 0;
        uint64_t inode = 0;
        uint32_t rootId = 0;
        bool mountTop = false;
    };
    // Iterative, so a tree of any depth is released without deep recursion.
    static void Release(Node* node)
    {
        while (node && node->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            Node* up = node->parent;
            delete node;
            node = up;
        }
    }
    Node* m_node = nullptr;
};

// One planned operation.
//   FileOpCopy:         FileName, SourceFolderSpec, TargetFolderSpec
//   FileOpDelete:       FileName, TargetFolderSpec
//   FileOpCreateFolder: SourceFolderSpec, TargetFolderSpec (the folder to create)
//   FileOpRemoveFolder: TargetFolderSpec (the folder to remove)
//   FileOpUpdateAttributes: FileName, SourceFolderSpec, TargetFolderSpec (a file);
//                       no FileName: the two folders themselves
//   FileOpRename:       FileName (the new spelling), SourceFolderSpec, TargetFolderSpec; the old
//                       spelling is RenamedFrom(op)
// Unused texts are empty. Kept small (72 bytes): a run plans one per file.
struct FileOp
{
    FileOpType OpType = FileOpCopy;
    // Withdrawn before performing: kept in the list, shown as "|REMOVED ACTION|",
    // never performed.
    bool Removed : 1 = false;
    // For a copy planned from a listing: the Source's size and last-write time as listed.
    bool SourceKnown : 1 = false;
    // The listing saw a regular file there; and a Target entry the copy replaces.
    bool SourceRegular : 1 = false;
    bool TargetListed : 1 = false;
    // Keep Hard Links: the Target file is made a link of the Target copy of
    // another name of the same Source file (HardLink), or is that copy (LinkLeader).
    bool HardLink : 1 = false;
    bool LinkLeader : 1 = false;
    CloneEntryState SourceListed;

    std::string FileName;
    FolderSpecRef SourceFolder;
    FolderSpecRef TargetFolder;

    const std::string& SourceFolderSpec() const;
    const std::string& TargetFolderSpec() const;
    // SourceFolderSpec + FileName for a copy, else "".
    std::string SourceFileSpec() const;
    // TargetFolderSpec + FileName for a copy or delete, else "".
    std::string TargetFileSpec() const;
};

class cClone
{
public:
    cClone();
    ~cClone();
    cClone(const cClone&) = delete;
    cClone& operator=(const cClone&) = delete;

    // Roots of the task's run, set by the task before CloneAll. A root equal to
    // these is exempt from the up-front hidden/system root test.
    std::string SourceFolder;
    std::string TargetFolder;

    // Options (program-wide; may be changed from the window thread while a run
    // reads them). Plain stores, no validation.
    // A DeleteMethodValue: 0 Regular Delete, 1 Send To Recycle Bin, 2 Do Not Delete,
    // 3 Secure Delete.
    int32_t DeleteMethod() const { return m_DeleteMethod; }
    void setDeleteMethod(int32_t value) { m_DeleteMethod = value; }
    // A CopyMethodValue: 0 Regular Copy, 1 Safe Copy, 2 Retain Source Files Create
    // Timestamp.
    int32_t CopyMethod() const { return m_CopyMethod; }
    void setCopyMethod(int32_t value) { m_CopyMethod = value; }
    // A changed pair is copied only when the Source is newer.
    bool CopyOnlyIfNewer() const { return m_CopyOnlyIfNewer; }
    void setCopyOnlyIfNewer(bool value) { m_CopyOnlyIfNewer = value; }
    // Show the list through runHost().confirmSyncActions before performing.
    bool ConfirmSyncActions() const { return m_ConfirmSyncActions; }
    void setConfirmSyncActions(bool value) { m_ConfirmSyncActions = value; }
    // Read by the task's folder validation, which creates a missing Target; in a
    // PlanOnly run it creates nothing and the engine plans the Target's creation.
    bool CreateTargetFolder() const { return m_CreateTargetFolder; }
    void setCreateTargetFolder(bool value) { m_CreateTargetFolder = value; }
    // Plan without performing: the Clone* methods stop before
    // PerformFileOperations and keep the list until the next run, so the caller
    // can print GetSyncActionStrings. Not an option of the program file.
    bool PlanOnly() const { return m_PlanOnly; }
    void setPlanOnly(bool value) { m_PlanOnly = value; }
    // A Source root holding nothing this run would clone while the Target root
    // holds some entry (a drive not mounted, a file system holding only its
    // lost+found, a folder emptied by mistake, a folder of entries the skip
    // options and exclusions pass over) leaves that Target untouched: a Folder
    // Path Error entry, the run fails, nothing is planned.
    // Off in a fresh engine; the program's options file turns it on by default.
    bool ProtectFromEmptySource() const { return m_ProtectFromEmptySource; }
    void setProtectFromEmptySource(bool value) { m_ProtectFromEmptySource = value; }
    // Source files that share an inode (hard links) are cloned as links of one
    // Target file; off: each name gets a copy of its own. Off in a fresh engine.
    bool KeepHardLinks() const { return m_KeepHardLinks; }
    void setKeepHardLinks(bool value) { m_KeepHardLinks = value; }
    // 0: off. Otherwise, when the planned file deletions of a Target are at least
    // kDeleteCapMinimumFiles and more than this percentage of the Target's files
    // listed in the run, every deletion and folder removal of that Target is
    // withdrawn (copies and new folders still happen) and one Folder Path Error
    // entry says why; the run fails.
    int32_t MaxDeletePercent() const { return m_MaxDeletePercent; }
    void setMaxDeletePercent(int32_t value) { m_MaxDeletePercent = value; }
    static constexpr int32_t kDeleteCapMinimumFiles = 10;
    // Every Target file the run would delete or replace is moved into the
    // Target's versions folder (engine/Versions.h) instead, whatever the delete
    // and copy methods; with Do Not Delete nothing is deleted, so nothing is
    // kept for deletions. Off in a fresh engine.
    bool KeepVersions() const { return m_KeepVersions; }
    void setKeepVersions(bool value) { m_KeepVersions = value; }
    // One folder for the versions of every Target (a subfolder each); empty:
    // ".kestrow-versions" at the top of each Target root.
    std::string VersionsFolder() const;
    void setVersionsFolder(const std::string& value);
    // The limits applied at the end of each Target's run: moments older than
    // this many days (0: any age) and beyond the newest this many (0: any number).
    int32_t VersionsKeepDays() const { return m_VersionsKeepDays; }
    void setVersionsKeepDays(int32_t value) { m_VersionsKeepDays = value; }
    int32_t VersionsKeepMoments() const { return m_VersionsKeepMoments; }
    void setVersionsKeepMoments(int32_t value) { m_VersionsKeepMoments = value; }
    static constexpr int32_t kDefaultVersionsKeepDays = 30;

    // Whether `name` is a name the safe copy gives its temporary files ("kw_",
    // eight lowercase hex digits, ".tmp"; nothing else matches, case counts). A
    // file of that name in a Target folder the run lists for deletion is a
    // leftover of a killed run: it is removed (a regular file of our own only)
    // before the list is performed, with an information entry, and is never
    // planned, confirmed, counted or reported as an orphan. A Source file of that
    // name is never copied. Folders where nothing is deleted (Do Not Delete,
    // another file system) keep theirs.
    static bool IsSafeCopyLeftoverName(const std::string& name);

    // The operations list of the current run (in order of discovery). A deque:
    // it grows in blocks, never copying what it holds, so a large plan needs no
    // second copy of itself while it grows.
    std::deque<FileOp> FileOpsArray;
    int32_t FileOpsCount() const { return static_cast<int32_t>(FileOpsArray.size()); }
    // Directory entries read in this run (status text every 25).
    int64_t FilesScannedCount = 0;
    // Target files (not folders) listed in this run: the base of MaxDeletePercent.
    int64_t TargetFilesListed = 0;
    // Leftover safe-copy temporary files found in this run (full specs).
    std::vector<std::string> LeftoverTempFiles;

    // Clone-all mode: compare (CompareEntireSource), perform, erase the list.
    // True when both finished without error and the run was not cancelled.
    // Overlapping roots (equal, or one inside the other, links resolved) are
    // refused with a "Folder Path Error" entry naming both, before anything is
    // planned. A Source folder that cannot be listed (the root included) is
    // logged (kind 20) and nothing below its Target counterpart is deleted. A
    // missing Target root is logged (kind 20) and then created and filled.
    bool CloneAll(const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                  bool pbolIncludeSubFolders);

    // Selected-items modes (the task picks one by which filter strings are set).
    // Each returns true when every step succeeded and the run was not cancelled.
    // The same refusals and safety rules as CloneAll hold; the list is erased at
    // the end unless PlanOnly.
    bool CloneSelected_InclusionsOnly(const std::string& pstrSourceFolderSpec,
                                      const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders,
                                      const std::string& pstrIncludeFileSpecs,
                                      const std::string& pstrIncludeFileMasks);
    bool CloneSelected_ExclusionsOnly(const std::string& pstrSourceFolderSpec,
                                      const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders,
                                      const std::string& pstrExcludeFileSpecs,
                                      const std::string& pstrExcludeFileMasks);
    bool CloneSelected_InclusionExclusion(const std::string& pstrSourceFolderSpec,
                                          const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders,
                                          const std::string& pstrIncludeFileSpecs,
                                          const std::string& pstrIncludeFileMasks,
                                          const std::string& pstrExcludeFileSpecs,
                                          const std::string& pstrExcludeFileMasks);

    // The two-pass breadth-first comparison; appends to the list. True when the
    // walk met no error and was not cancelled.
    bool CompareEntireSource(const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                             bool pbolIncludeSubFolders);

    // Plans creation of a missing Target folder and copies of the Source
    // folder's files; true on error or cancel.
    bool AddSourceSubfolderAndFilesToFileOpsArray(const std::string& pstrSourceFolderSpec,
                                                  const std::string& pstrTargetFolderSpec);
    // Whether a FileOpCreateFolder for `path` is already planned (hash lookup).
    bool CreateFolderFileOpAlreadyAdded(const std::string& path) const;

    // Marks Removed every FileOpRemoveFolder whose folder is not empty now.
    void ValidateRemoveFolderOps();

    // Confirms (when ConfirmSyncActions) and performs the list; folder removals
    // last, deepest first, each once. A copy onto a name that is still a folder
    // planned for removal waits until after the removals. A Source that vanished
    // or changed since it was listed fails that copy only. Inside a Clone* call
    // nothing is written or deleted through a symbolic link below the Target
    // root. `pstrSourceFolderSpec` is only shown in the status.
    // True when every performed operation succeeded and the run was not cancelled.
    bool PerformFileOperations(const std::string& pstrSourceFolderSpec);

    // What a Removed entry reads in the confirmation list, whatever it was.
    static constexpr std::string_view kRemovedAction = "|REMOVED ACTION|";
    // The text form of every entry, 1:1 with FileOpsArray (entry 1 at index 0);
    // names and folders in their one-line form (log/OneLine.h).
    // Returns the number of entries not Removed.
    int32_t GetSyncActionStrings(std::vector<std::string>& strings) const;
    // The text form of one entry: kRemovedAction for a Removed one.
    std::string SyncActionString(const FileOp& op) const;
    // The plan as a dry run prints it: GetSyncActionStrings, except that a Removed
    // entry reads kRemovedAction, a blank and what it was ("|REMOVED ACTION| DELETE
    // FILE ..."). Returns the number of entries that will be done.
    int32_t GetPlannedActionStrings(std::vector<std::string>& strings) const;

    // One operation each, logged; true on failure, false on success.
    bool CopyFileAndLogResults(const FileOp& op);
    bool CopyFileAndLogResults(const std::string& FileName, const std::string& SourceFileSpec,
                               const std::string& SourceFolderSpec, const std::string& TargetFileSpec,
                               const std::string& TargetFolderSpec);
    bool DeleteFileAndLogResults(const std::string& FileName, const std::string& TargetFileSpec,
                                 const std::string& TargetFolderSpec);
    bool CreateFolderAndLogResults(const std::string& TargetFolderSpec);
    bool RemoveFolderAndLogResults(const std::string& folder);

    // Whether the Target's listing had an entry of the copy's name (the copy replaces it).
    enum class TargetEntry : bool
    {
        None,
        Listed,
    };
    // Appenders (also used by the selected-items modes).
    void AddCopyOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                   const std::string& name, const CloneEntryState* listed = nullptr,
                   bool listedRegular = false, TargetEntry target = TargetEntry::None);
    void AddDeleteOp(const FolderSpecRef& targetFolder, const std::string& name);
    void AddCreateFolderOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder);
    void AddRemoveFolderOp(const FolderSpecRef& targetFolder);
    // Keep Hard Links, for Source file `s` (Target entry `t`, null when there is
    // none) of a folder pair: true when it is planned here as a link of an
    // earlier name of the same Source file (or needs nothing, being one
    // already). False: compare it as any file, then call NoteLinkLeaderCopy if
    // a copy of it was planned.
    bool PlanHardLink(const FolderSpecRef& source, const FolderSpecRef& target, const platform::DirEntry& s,
                      const platform::DirEntry* t);
    void NoteLinkLeaderCopy(const platform::DirEntry& s);
    // `from` in `targetFolder` becomes `to` (the same name in other letter case).
    void AddRenameOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                     const std::string& from, const std::string& to);
    const std::string& RenamedFrom(const FileOp& op) const;
    // `name` empty: the folders themselves.
    void AddUpdateAttributesOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                               const std::string& name);
    // A folder present in both trees: its metadata and last-write time are made
    // the Source's once the list is done (`differs`: the listings saw another
    // last-write time; `attributesOp`: the index of its FileOpUpdateAttributes).
    // `checkAttributes`: its owner, modes and attributes are compared then too
    // (a root, whose own listing nobody made).
    void NoteFolderPair(const FolderSpecRef& source, const FolderSpecRef& target, bool differs,
                        int64_t attributesOp = -1, bool checkAttributes = false);
    // Whether a pair judged the same by its data differs in metadata the Target
    // can hold and this process may set. Extended attributes are read (entry by
    // name in `from` and `to`, the folders listed) only where the Source changed
    // after the Target did.
    bool AttributesDiffer(const platform::DirEntry& source, const platform::DirEntry& target,
                          const clone_detail::HeldFolder* from, const clone_detail::HeldFolder* to) const;
    // What the Target root's file system keeps (probed when the run began).
    const platform::TargetFeatures& TargetFeaturesInForce() const { return m_targetFeatures; }

    // Raises FilesScannedCount; every 25 entries the status shows "<n> files".
    void CountScannedEntry();
    // The Target root of the run in progress ("" outside a Clone* call).
    const std::string& RunTargetRoot() const { return m_runTargetRoot; }

    // The folders of the current run (and of a list kept by PlanOnly), held open.
    clone_detail::FolderHandles& Handles() { return *m_handles; }
    // The folder `folderSpec` as a folder of the run's trees: below a root of
    // the run it is reached from that root level by level (each level as it is
    // now, when it exists); anything else is a folder known by its text.
    FolderSpecRef RefFor(const std::string& folderSpec);
    const FolderSpecRef& SourceRootRef() const { return m_sourceRoot; }
    const FolderSpecRef& TargetRootRef() const { return m_targetRoot; }
    // The options a run works with, taken when it begins, so that a change made
    // from the window thread meanwhile waits for the next run. A list performed
    // on its own (after PlanOnly) takes them when PerformFileOperations begins.
    struct RunOptions
    {
        int32_t deleteMethod = 0;
        int32_t copyMethod = 0;
        int32_t maxDeletePercent = 0;
        bool copyOnlyIfNewer = false;
        bool confirmSyncActions = false;
        bool protectFromEmptySource = false;
        bool keepHardLinks = false;
        bool planOnly = false;
        bool createTargetFolder = false;
        bool keepVersions = false;
        std::string versionsFolder;
        int32_t versionsKeepDays = 0;
        int32_t versionsKeepMoments = 0;
    };
    const RunOptions& RunOptionsInForce() const { return m_run; }

    // What of the Source a run clones, as the empty-Source guard judges it.
    struct SourceScope
    {
        bool includeSubfolders = true;
        const clone_detail::ExclusionRules* exclusions = nullptr;
    };

    // The sequence every mode runs: the run begun (both roots held), the roots
    // checked for overlap and the Target locked, `compare` fills the list (and
    // sets `stop` when nothing may follow), the deletion cap, and the list
    // performed unless PlanOnly. True when every step went well.
    bool RunSequence(const std::string& source, const std::string& target, const std::string& statusSource,
                     bool statusFirst, const SourceScope& scope,
                     const std::function<bool(bool& stop)>& compare);

    // Set when the walk met the other root inside a tree (a bind mount, a link
    // the person made): the run must not go on.
    bool OverlapFound() const { return m_overlapFound; }
    void ReportOverlap(const std::string& relation);

private:
    friend class CloneSelectedRun;
    // The text of an entry as if it stood.
    std::string ActionText(const FileOp& op) const;
    // Every entry's `text`, under the error location `location`; the count not Removed.
    int32_t ActionStrings(const char* location, std::vector<std::string>& strings,
                          const std::function<std::string(const FileOp&)>& text) const;
    // Folders held open and copy threads while a list is performed (cClone.cpp).
    struct Performer;
    // The part of a regular copy that may run on a copy thread, and how it ended.
    enum class CopyOutcome : uint8_t;
    struct CopyAttempt;

    // Starts a run's list and counters; `targetRoot` becomes RunTargetRoot.
    // Both roots are opened here and held until the list is dropped.
    void ResetFileOpsList(const std::string& sourceRoot, const std::string& targetRoot);
    // Ends a run: the list is erased unless PlanOnly.
    void EndRun();
    // With KeepVersions, the Target's versions folder opened and this run's
    // moment made; false (logged) when they cannot be written, or a chosen
    // versions folder lies inside a root: the Target is not touched then.
    bool BeginVersions(const std::string& target);
    // The moment finished and the limits applied (none after a cancel).
    void EndVersions();
    // The path of a Target folder below the Target root ("" for the root, "a/b/").
    std::string RelativeToTarget(const FolderSpecRef& folder) const;
    // Logs and returns true when the roots are the same folder or one lies in the other.
    bool RootsOverlap(const std::string& source, const std::string& target);
    // After RootsOverlap: takes the Target's lock (another run holding it: logged,
    // true) and applies ProtectFromEmptySource (logged, true). The lock is held
    // until EndRun.
    bool TargetRefused(const std::string& source, const std::string& target, const SourceScope& scope);
    // After the comparison: applies MaxDeletePercent; true when it withdrew the
    // deletions (and logged why).
    bool DeletionsCapped(const std::string& target);
    // Removes LeftoverTempFiles, logging each.
    void RemoveLeftoverTempFiles();
    // Opens the two folders of a copy; false (with the error logged, and true in
    // `failed`) when either cannot be opened as the folder that was listed.
    bool PrepareCopyIn(const FileOp& op, CopyAttempt& attempt);
    // The part of a prepared regular copy that touches only the two folders held
    // open and logs nothing, so it may run on a copy thread.
    static void RunCopyAttempt(const FileOp& op, CopyAttempt& attempt) noexcept;
    // Logs a copy whose first part has run (on any thread), with the retry for a
    // read-only Target. True on failure.
    bool FinishCopy(const FileOp& op, CopyAttempt& attempt);
    bool DeleteFileAndLogResults(const FileOp& op);
    // The folder of an operation, held open; the way to it is checked afresh
    // whenever the list moves on to another folder on that side.
    std::shared_ptr<const clone_detail::HeldFolder> OpenOpFolder(const FolderSpecRef& folder, TreeSide side,
                                                                 int& err);
    // Makes the missing levels of `folder` below the nearest one that exists; the held folder, or null with
    // `err`.
    std::shared_ptr<const clone_detail::HeldFolder> MakeMissingLevels(const FolderSpecRef& folder, int& err);
    // `source`: the Source folder it is made for (its metadata follow at the end).
    bool CreateFolderAndLogResults(const FolderSpecRef& folder, const FolderSpecRef* source = nullptr);
    bool RemoveFolderAndLogResults(const FolderSpecRef& folder);
    // A FileOp with HardLink, logged; a copy of its own where the link cannot
    // be made. True on failure.
    bool LinkFileAndLogResults(const FileOp& op);
    struct LinkLeader
    {
        FolderSpecRef targetFolder;
        std::string name;
        uint64_t targetInode = 0; // the Target file as listed, when it needs no copy
        uint64_t targetDevice = 0;
        const FileOp* copy = nullptr; // its planned copy (deque elements stay put)
    };
    struct LinkKey
    {
        uint64_t device, inode;
        bool operator==(const LinkKey&) const = default;
    };
    struct LinkKeyHash
    {
        size_t operator()(const LinkKey& k) const
        {
            return std::hash<uint64_t>{}(k.inode * 1000003u ^ k.device);
        }
    };
    std::unordered_map<LinkKey, LinkLeader, LinkKeyHash> m_linkLeaders;
    std::unordered_map<const FileOp*, LinkKey> m_linkOps;
    std::unordered_set<const FileOp*> m_leadersCopied;
    std::unordered_map<const FileOp*, std::string> m_renameFrom;
    bool RenameAndLogResults(const FileOp& op);
    // A FileOpUpdateAttributes of a file, logged; true on failure.
    bool UpdateAttributesAndLogResults(const FileOp& op);
    // After the list: the noted and created folders whose metadata differ or
    // whose entries the list changed get the Source folder's metadata and
    // last-write time, deepest first. `skip`: the entries the person left out.
    // True on failure.
    bool FinishFolders(const std::vector<bool>& skip, const std::unordered_set<const void*>& changedFolders);
    // One entry naming what the Target could not keep, when anything.
    void LogMetadataLoss();
    platform::CopyFlavor RunCopyFlavor() const;

    struct FolderFinish
    {
        FolderSpecRef source, target;
        bool created = false;
        bool differs = false;
        bool checkAttributes = false;
        int64_t attributesOp = -1;
    };
    std::vector<FolderFinish> m_folderFinishes;
    platform::MetadataLoss m_metadataLoss;
    platform::TargetFeatures m_targetFeatures;

    std::atomic<int32_t> m_DeleteMethod{0};
    std::atomic<int32_t> m_CopyMethod{0};
    std::atomic<bool> m_CopyOnlyIfNewer{false};
    std::atomic<bool> m_ConfirmSyncActions{false};
    std::atomic<bool> m_CreateTargetFolder{false};
    std::atomic<bool> m_PlanOnly{false};
    std::atomic<bool> m_ProtectFromEmptySource{false};
    std::atomic<bool> m_KeepHardLinks{false};
    std::atomic<int32_t> m_MaxDeletePercent{0};
    std::atomic<bool> m_KeepVersions{false};
    std::atomic<int32_t> m_VersionsKeepDays{kDefaultVersionsKeepDays};
    std::atomic<int32_t> m_VersionsKeepMoments{0};
    mutable std::mutex m_versionsFolderMutex;
    std::string m_VersionsFolder;
    std::unique_ptr<platform::InstanceLock> m_targetLock;
    std::shared_ptr<const void> m_targetRootLock; // the Target root held open, locked

    std::unordered_set<std::string> m_createdFolderOps;
    std::string m_runTargetRoot;
    std::unique_ptr<Performer> m_performer;
    std::unique_ptr<clone_detail::VersionKeeper> m_keeper;
    std::unique_ptr<clone_detail::FolderHandles> m_handles;
    FolderSpecRef m_sourceRoot, m_targetRoot;
    std::unordered_map<std::string, FolderSpecRef> m_refs;
    std::vector<std::pair<FolderSpecRef, std::string>> m_leftovers;
    bool m_overlapFound = false;
    bool m_inRun = false;
    RunOptions m_run;
    void TakeRunOptions();
    const void* m_lastSourceFolder = nullptr;
    const void* m_lastTargetFolder = nullptr;
};

// The program-wide engine, created at start-up and released at shutdown; null before.
extern cClone* gClone;

// File routines of the main module used by the performer.
//
// Copy method 1. A Target that does not exist is copied directly. Otherwise the
// Source is copied to a "kw_" temporary file in `TargetFolderSpec`, the old
// Target goes to the trash and the temporary file takes its name. Failures are
// logged (kind 18) and give false; no "kw_" file is left behind either way.
// `listed`, when given, is the Source's state from the listing: a Source that
// differs from it, or changes during the copy, fails the copy (kind 18).
bool SafeCopy(const std::string& SourceFileSpec, const std::string& TargetFileSpec,
              const std::string& TargetFolderSpec, const CloneEntryState* listed = nullptr);
// Copy method 2: copies keeping access and modification times, permissions,
// ownership where permitted and extended attributes. A read-only Target is made
// writable once and retried. Failures are logged (kind 6, message "Dx - " + text)
// and give false.
bool CopyRetainCreateDateTime(const std::string& SourceFileSpec, const std::string& TargetFileSpec,
                              const std::string& SourceFolderSpec, const std::string& TargetFolderSpec,
                              const std::string& FileName);
// Moves a file or link (never what it points to) to the trash; true on success.
// `err` (optional) receives the errno of a failure.
bool SendFileToRecycleBin(const std::string& fileSpec, int* err = nullptr);
// Creates a new empty file named `prefix` (its first three characters), random
// characters, "." and `extension` ("tmp" when empty) in `folder` (the system
// temporary folder when empty) and returns its spec; "" on failure, with the
// errno and its text in errNumber / errMessage.
std::string GetTempFileSpec(const std::string& prefix, const std::string& extension,
                            const std::string& folder, int32_t& errNumber, std::string& errMessage);

} // namespace kestrow
