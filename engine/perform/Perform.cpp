// Performing the operations list: copies (on copy threads where there are
// many), deletions, folders made and removed. Every operation is made at the
// handle of its folder by name, the folder opened again from its run's root
// one level at a time: a folder that is no longer the one listed is refused and
// nothing in it is touched.

#include "engine/cClone.h"

#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "engine/perform/VersionKeeper.h"
#include "platform/FileInfo.h"
#include "platform/FileOps.h"
#include "platform/FolderAt.h"
#include "platform/InstanceLock.h"
#include "util/RetryOnce.h"
#include "util/ScopeExit.h"
#include "util/WorkerPool.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_set>

namespace kestrow {

using namespace clone_detail;
using util::PoolJob;
using util::WorkerPool;

namespace {

WorkKind WorkKindOf(FileOpType opType)
{
    switch (opType) {
    case FileOpCopy:
        return WorkKind::Copy;
    case FileOpDelete:
        return WorkKind::Delete;
    case FileOpCreateFolder:
        return WorkKind::MakeFolder;
    case FileOpRemoveFolder:
        return WorkKind::RemoveFolder;
    case FileOpUpdateAttributes:
    case FileOpRename:
        break;
    }
    return WorkKind::Other;
}

// Copy threads are started for a list with at least this many copies.
constexpr size_t kThreadedCopyMinimum = 64;
// How far the copy threads may run ahead of the log: copies and bytes.
constexpr size_t kCopiesAhead = 256;
constexpr uint64_t kBytesAhead = 64ull << 20;

constexpr const char* kRootMovedText =
    "Problems processing the folder. It was moved, or something else took its place, after the run began, "
    "so nothing was done in it.";

// The operations list as the confirmation list reads it: each line made when it is
// asked for, from the entry as it is then (the run waits while the list is shown).
class PlannedActions : public SyncActionList
{
public:
    explicit PlannedActions(const cClone& clone) : m_clone(clone) {}
    size_t count() const override { return m_clone.FileOpsArray.size(); }
    std::string line(size_t i) const override { return m_clone.SyncActionString(m_clone.FileOpsArray[i]); }
    bool withdrawn(size_t i) const override { return m_clone.FileOpsArray[i].Removed; }

private:
    const cClone& m_clone;
};

} // namespace

// ---------------------------------------------------------------------------
// cClone: performing

// Copies of many small files are mostly system calls: two copy threads (the run's
// own and one more, more on larger machines) keep the kernel busy on both sides
// while the log still takes every entry in the order of the list. Only regular
// copies run ahead; any other operation waits until every copy before it has
// been logged.

enum class cClone::CopyOutcome : uint8_t
{
    Copied,
    FolderError, // a folder could not be opened as the one listed (`err`)
    SourceError, // the Source's attributes could not be read (`err`)
    Changed,     // the Source is not what was listed, or changed during the copy
    CopyError,   // the copy failed with `err`; a read-only Target gets its retry
    NotRun,
};

struct cClone::CopyAttempt
{
    HeldFolderPtr from, to;
    CopyOutcome outcome = CopyOutcome::NotRun;
    int err = 0;
    bool sourceSide = false; // which folder could not be opened
    platform::MetadataLoss* loss = nullptr;
    // With old versions kept: where the Target's old entry goes, and its folder's path below the root.
    VersionKeeper* keeper = nullptr;
    std::string relative;

    platform::BeforeReplace keepOld(const std::string& name) const
    {
        if (!keeper)
            return {};
        return [this, &name] { return keeper->keep(to->folder, relative, name); };
    }
};

struct cClone::Performer
{
    struct Job : PoolJob
    {
        const FileOp* op = nullptr;
        CopyAttempt attempt;
        void run() noexcept override { RunCopyAttempt(*op, attempt); }
    };

    WorkerPool pool;
    // The folders the list worked in, to be checked again at its end, and those
    // checked afresh on the way.
    std::vector<FolderSpecRef> touched;
    std::unordered_set<const void*> checked;
};

bool cClone::ClearedForRetry(const FolderSpecRef& folderRef, const HeldFolder& folder,
                             const std::string* name)
{
    // The entry (when named) and the folder get owner write; a folder so changed gets
    // its own permissions back when the list is done. An entry moved into the old
    // versions is not named: it keeps its mode, as its version must.
    const bool changedEntry = name && ClearEntryReadOnly(folder, *name);
    const bool changedFolder = ClearFolderReadOnly(folder);
    if (changedFolder && folderRef)
        m_clearedFolders.insert(folderRef.key());
    if (!changedEntry && !changedFolder)
        return false;
    runHost().processEvents();
    return true;
}

HeldFolderPtr cClone::OpenOpFolder(const FolderSpecRef& folder, TreeSide side, int& err)
{
    err = 0;
    if (!folder) {
        err = ENOENT;
        return nullptr;
    }
    // The first time the list comes to a folder, the way to it is checked afresh
    // from its root (the walk's handles may be to a folder moved away since); the
    // folders it worked in are checked once more at the end.
    const void*& last = side == TreeSide::Source ? m_lastSourceFolder : m_lastTargetFolder;
    if (last == folder.key() || !m_performer)
        return m_handles->open(folder, err);
    const bool first = !m_performer->checked.contains(folder.key());
    HeldFolderPtr held = m_handles->openChecked(folder, m_performer->checked, err);
    last = held ? folder.key() : nullptr;
    if (held && first)
        m_performer->touched.push_back(folder);
    return held;
}

bool cClone::PrepareCopyIn(const FileOp& op, CopyAttempt& attempt)
{
    int err = 0;
    attempt.from = op.SourceFolder ? OpenOpFolder(op.SourceFolder, TreeSide::Source, err) : nullptr;
    if (!attempt.from) {
        attempt.outcome = CopyOutcome::FolderError;
        attempt.err = err ? err : ENOENT;
        attempt.sourceSide = true;
        return false;
    }
    attempt.loss = &m_metadataLoss;
    attempt.to = op.TargetFolder ? OpenOpFolder(op.TargetFolder, TreeSide::Target, err) : nullptr;
    if (!attempt.to) {
        attempt.outcome = CopyOutcome::FolderError;
        attempt.err = err ? err : ENOENT;
        return false;
    }
    if (m_keeper) {
        attempt.keeper = m_keeper.get();
        attempt.relative = RelativeToTarget(op.TargetFolder);
        // Before the copy's temporary file changes the folder's times.
        m_keeper->noteFolder(attempt.to->folder, attempt.relative);
    }
    return true;
}

void cClone::RunCopyAttempt(const FileOp& op, CopyAttempt& attempt) noexcept
{
    // The Source as listed (of any kind: the copy itself looks at what is there
    // now), or as it is now when the list did not come from a listing.
    platform::PathAttributes before;
    if (op.SourceKnown) {
        before.kind = op.SourceRegular ? platform::PathKind::File : platform::PathKind::Missing;
        before.size = op.SourceListed.size;
        before.lastWrite = op.SourceListed.lastWrite;
    } else if (const int err = platform::entryAttributesAt(attempt.from->folder, op.FileName, before)) {
        attempt.outcome = CopyOutcome::SourceError;
        attempt.err = err;
        return;
    }
    const int err = platform::copyFileAt(attempt.from->folder, op.FileName, attempt.to->folder, op.FileName,
                                         platform::CopyFlavor::Regular, &before, op.TargetListed,
                                         attempt.loss, attempt.keepOld(op.FileName));
    if (err == 0) {
        attempt.outcome = CopyOutcome::Copied;
    } else if (err == platform::kSourceChanged) {
        // Gone since the listing is that file's own error; anything else changed.
        platform::PathAttributes now;
        const int sourceErr = platform::entryAttributesAt(attempt.from->folder, op.FileName, now);
        attempt.outcome = sourceErr ? CopyOutcome::SourceError : CopyOutcome::Changed;
        attempt.err = sourceErr;
    } else {
        // A Source gone since the listing is that file's own error, not a copy's.
        platform::PathAttributes now;
        const int sourceErr = platform::entryAttributesAt(attempt.from->folder, op.FileName, now);
        attempt.outcome = sourceErr ? CopyOutcome::SourceError : CopyOutcome::CopyError;
        attempt.err = sourceErr ? sourceErr : err;
    }
}

bool cClone::FinishCopy(const FileOp& op, CopyAttempt& attempt)
{
    return Guarded("cClone.CopyFileAndLogResults", true, [&] {
        const std::string& sourceFolder = op.SourceFolderSpec();
        const std::string& targetFolder = op.TargetFolderSpec();
        auto copyError = [&](int32_t code, const std::string& message) {
            LogAdd(LogEntryType::CopyError, op.FileName, sourceFolder, targetFolder, code, message);
            return true;
        };
        if (attempt.outcome == CopyOutcome::NotRun)
            RunCopyAttempt(op, attempt); // not made ahead on a copy thread
        util::retryOnceAfter(
            attempt.outcome,
            [&] {
                RunCopyAttempt(op, attempt);
                return attempt.outcome;
            },
            [&](CopyOutcome outcome) {
                return outcome == CopyOutcome::CopyError && IsAccessDenied(attempt.err);
            },
            [&] {
                return ClearedForRetry(op.TargetFolder, *attempt.to, attempt.keeper ? nullptr : &op.FileName);
            });
        switch (attempt.outcome) {
        case CopyOutcome::Copied:
            if (op.LinkLeader)
                m_leadersCopied.insert(&op);
            LogAdd(LogEntryType::Copied, op.FileName, sourceFolder, targetFolder);
            return false;
        case CopyOutcome::FolderError:
            return copyError(attempt.err, FolderOpenErrorText(attempt.err));
        case CopyOutcome::SourceError:
            return copyError(attempt.err, GetSystemErrorMessage(attempt.err));
        case CopyOutcome::Changed:
            return copyError(kChangedCode, kChangedMessage);
        case CopyOutcome::NotRun:
        case CopyOutcome::CopyError:
            break;
        }
        return copyError(attempt.err, GetSystemErrorMessage(attempt.err));
    });
}

bool cClone::CopyFileAndLogResults(const std::string& FileName, const std::string& SourceFileSpec,
                                   const std::string& SourceFolderSpec, const std::string& TargetFileSpec,
                                   const std::string& TargetFolderSpec)
{
    (void)SourceFileSpec;
    (void)TargetFileSpec;
    FileOp op;
    op.OpType = FileOpCopy;
    op.FileName = FileName;
    op.SourceFolder = RefFor(SourceFolderSpec);
    op.TargetFolder = RefFor(TargetFolderSpec);
    return CopyFileAndLogResults(op);
}

bool cClone::CopyFileAndLogResults(const FileOp& op)
{
    return Guarded("cClone.CopyFileAndLogResults", true, [&] {
        CopyAttempt attempt;
        const int32_t method = m_run.copyMethod;
        if (!PrepareCopyIn(op, attempt) || method == CopyMethodRegular)
            return FinishCopy(op, attempt);

        const std::string& sourceFolder = op.SourceFolderSpec();
        const std::string& targetFolder = op.TargetFolderSpec();
        auto copyError = [&](int32_t code, const std::string& message) {
            LogAdd(LogEntryType::CopyError, op.FileName, sourceFolder, targetFolder, code, message);
            return true;
        };
        // The Source as it is now: gone, or not what was compared, fails this file only.
        platform::PathAttributes before;
        if (const int err = platform::entryAttributesAt(attempt.from->folder, op.FileName, before))
            return copyError(err, GetSystemErrorMessage(err));
        if (op.SourceKnown &&
            (before.size != op.SourceListed.size || before.lastWrite != op.SourceListed.lastWrite))
            return copyError(kChangedCode, kChangedMessage);

        if (method == CopyMethodSafe) {
            if (!SafeCopyAt(*attempt.from, *attempt.to, op.FileName, op.SourceFileSpec(), op.TargetFileSpec(),
                            &before, &m_metadataLoss, attempt.keepOld(op.FileName)))
                return true;
        } else {
            const int err = util::retryOnce(
                [&] {
                    return platform::copyFileAt(attempt.from->folder, op.FileName, attempt.to->folder,
                                                op.FileName, platform::CopyFlavor::KeepEverything, &before,
                                                false, &m_metadataLoss, attempt.keepOld(op.FileName));
                },
                [](int err) { return IsAccessDenied(err); },
                [&] {
                    return ClearedForRetry(op.TargetFolder, *attempt.to,
                                           attempt.keeper ? nullptr : &op.FileName);
                });
            if (err == platform::kSourceChanged)
                return copyError(kChangedCode, kChangedMessage);
            if (err != 0)
                return copyError(err, "Dx - " + GetSystemErrorMessage(err));
        }
        if (op.LinkLeader)
            m_leadersCopied.insert(&op);
        LogAdd(LogEntryType::Copied, op.FileName, sourceFolder, targetFolder);
        return false;
    });
}

bool cClone::DeleteFileAndLogResults(const std::string& FileName, const std::string& TargetFileSpec,
                                     const std::string& TargetFolderSpec)
{
    (void)TargetFileSpec;
    FileOp op;
    op.OpType = FileOpDelete;
    op.FileName = FileName;
    op.TargetFolder = RefFor(TargetFolderSpec);
    return DeleteFileAndLogResults(op);
}

bool cClone::DeleteFileAndLogResults(const FileOp& op)
{
    return Guarded("cClone.DeleteFileAndLogResults", true, [&] {
        const int32_t method = m_run.deleteMethod;
        if (method == DeleteMethodDoNotDelete)
            return false;
        const std::string& name = op.FileName;
        const std::string& folderText = op.TargetFolderSpec();
        int err = 0;
        const HeldFolderPtr folder = OpenOpFolder(op.TargetFolder, TreeSide::Target, err);
        if (!folder) {
            err = err ? err : ENOENT;
            LogAdd(LogEntryType::DeleteError, name, {}, folderText, err, FolderOpenErrorText(err));
            return true;
        }
        auto deleteOnce = [&] {
            if (m_keeper) {
                // Kept as an old version, whatever the delete method; a folder that took the name is left.
                platform::PathAttributes a;
                if (const int lookErr = platform::entryAttributesAt(folder->folder, name, a))
                    return lookErr;
                if (a.kind == platform::PathKind::Folder)
                    return EISDIR;
                return m_keeper->keep(folder->folder, RelativeToTarget(op.TargetFolder), name);
            }
            if (method == DeleteMethodRecycleBin) {
                // Only files are planned for deletion: a folder that took the name since is left alone.
                platform::PathAttributes a;
                const int lookErr = platform::entryAttributesAt(folder->folder, name, a);
                if (lookErr != 0)
                    return lookErr;
                if (a.kind == platform::PathKind::Folder)
                    return EISDIR;
                return Guarded("modKestrow.SendFileToRecycleBin", EIO, [&] {
                    return platform::moveToTrashAt(folder->folder, name, op.TargetFileSpec());
                });
            }
            if (method == DeleteMethodSecure) {
                bool onlyUnlinked = false;
                const int secureErr = platform::secureDeleteAt(folder->folder, name, &onlyUnlinked);
                if (secureErr == 0 && onlyUnlinked)
                    LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                           "Not overwritten before its deletion, as other hard links share its data; only "
                           "this link was removed. - '" +
                               op.TargetFileSpec() + "' ");
                return secureErr;
            }
            return platform::deleteFileAt(folder->folder, name);
        };
        // A secure delete makes its own way past a read-only file.
        err = util::retryOnce(
            deleteOnce,
            [&](int e) { return (m_keeper || method != DeleteMethodSecure) && IsAccessDenied(e); },
            [&] { return ClearedForRetry(op.TargetFolder, *folder, m_keeper ? nullptr : &name); });
        if (err == 0) {
            LogAdd(LogEntryType::Deleted, name, {}, folderText);
            return false;
        }
        LogAdd(LogEntryType::DeleteError, name, {}, folderText, err,
               method == DeleteMethodSecure ? "Dx - " + GetSystemErrorMessage(err)
                                            : GetSystemErrorMessage(err));
        return true;
    });
}

bool cClone::CreateFolderAndLogResults(const std::string& TargetFolderSpec)
{
    return CreateFolderAndLogResults(RefFor(TargetFolderSpec));
}

bool cClone::CreateFolderAndLogResults(const FolderSpecRef& folder, const FolderSpecRef* source)
{
    return Guarded("cClone.CreateFolderAndLogResults", true, [&] {
        // A folder made for a Source folder is private until the list is done
        // and it gets that folder's metadata.
        auto made = [&] {
            if (source && *source) {
                FolderFinish& f = m_folderFinishes.emplace_back();
                f.source = *source;
                f.target = folder;
                f.created = true;
            }
            LogAdd(LogEntryType::CreatedFolder, {}, {}, *folder);
            return false;
        };
        const std::string& text = *folder;
        const FolderSpecRef parent = folder.parent();
        if (!parent) {
            // A root (or a folder known only by its text): made by its path, as the person named it.
            if (const int err = platform::makeFolder(WithoutTrailingSlash(text))) {
                CreateFolderPath(text);
                if (!IsRealFolder(text)) {
                    LogAdd(LogEntryType::CreateDirError, {}, {}, text, err, GetSystemErrorMessage(err));
                    return true;
                }
            }
            m_handles->forget(folder);
            return made();
        }
        int err = 0;
        HeldFolderPtr held = OpenOpFolder(parent, TreeSide::Target, err);
        if (!held && err == ENOENT)
            held = MakeMissingLevels(parent, err);
        if (!held) {
            err = err ? err : ENOENT;
            LogAdd(LogEntryType::CreateDirError, {}, {}, text, err, FolderOpenErrorText(err));
            return true;
        }
        const std::string name(folder.name());
        if (m_keeper)
            m_keeper->noteFolder(held->folder, RelativeToTarget(parent));
        if (const int makeErr = platform::makeFolderAt(held->folder, name, source && *source ? 0700 : 0777)) {
            // One that is there already is fine; a link or file standing there is not the folder.
            platform::PathAttributes a;
            if (platform::entryAttributesAt(held->folder, name, a) != 0 ||
                a.kind != platform::PathKind::Folder) {
                LogAdd(LogEntryType::CreateDirError, {}, {}, text, makeErr, GetSystemErrorMessage(makeErr));
                return true;
            }
        }
        m_handles->forget(folder);
        return made();
    });
}

HeldFolderPtr cClone::MakeMissingLevels(const FolderSpecRef& folder, int& err)
{
    // Up to the nearest level that opens, then each missing level made on the way down.
    std::vector<FolderSpecRef> missing{folder};
    HeldFolderPtr held;
    for (FolderSpecRef up = folder.parent(); up; up = up.parent()) {
        held = m_handles->open(up, err);
        if (held)
            break;
        if (err != ENOENT || !up.parent())
            return nullptr;
        missing.push_back(up);
    }
    if (!held)
        return nullptr;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const int makeErr = platform::makeFolderAt(held->folder, std::string(it->name()));
        if (makeErr && makeErr != EEXIST) {
            err = makeErr;
            return nullptr;
        }
        m_handles->forget(*it);
        held = m_handles->open(*it, err);
        if (!held)
            return nullptr;
    }
    return held;
}

bool cClone::RemoveFolderAndLogResults(const std::string& folder)
{
    return RemoveFolderAndLogResults(RefFor(folder));
}

bool cClone::RemoveFolderAndLogResults(const FolderSpecRef& folder)
{
    return Guarded("cClone.RemoveFolderAndLogResults", true, [&] {
        const std::string& text = *folder;
        const FolderSpecRef parent = folder.parent();
        int err = 0;
        const HeldFolderPtr held = parent ? OpenOpFolder(parent, TreeSide::Target, err) : nullptr;
        if (!held) {
            err = parent ? (err ? err : ENOENT) : EPERM; // a root is never removed
            LogAdd(LogEntryType::DeleteDirError, {}, {}, text, err, FolderOpenErrorText(err));
            return true;
        }
        m_handles->forget(folder);
        const std::string name(folder.name());
        const std::string relative = m_keeper ? RelativeToTarget(parent) : std::string();
        err = util::retryOnce(
            [&] {
                return m_keeper ? m_keeper->removeFolder(held->folder, held->id, relative, name)
                                : platform::removeFolderAt(held->folder, name);
            },
            [](int e) { return IsAccessDenied(e); },
            [&] { return ClearedForRetry(parent, *held, m_keeper ? nullptr : &name); });
        if (err == 0) {
            LogAdd(LogEntryType::DeletedFolder, {}, {}, text);
            return false;
        }
        LogAdd(LogEntryType::DeleteDirError, {}, {}, text, err, GetSystemErrorMessage(err));
        return true;
    });
}
cClone::cClone() : m_handles(std::make_unique<FolderHandles>()) {}
cClone::~cClone() = default;

bool cClone::PerformFileOperations(const std::string& pstrSourceFolderSpec)
{
    return Guarded("cClone.PerformFileOperations", false, [&] {
        // A list performed on its own (after a plan) goes by the options as they are now.
        if (!m_inRun)
            TakeRunOptions();
        RunHost& host = runHost();
        const size_t count = FileOpsArray.size();
        std::vector<bool> skip(count, false);
        const auto listed = [](const FileOp& op) { return !op.Removed; };
        if (m_run.confirmSyncActions && std::any_of(FileOpsArray.begin(), FileOpsArray.end(), listed)) {
            const PlannedActions actions(*this);
            std::vector<bool> skipped;
            bool keepConfirming = true;
            host.setAnimationEnabled(false);
            const bool perform = host.confirmSyncActions(actions, skipped, keepConfirming);
            if (!keepConfirming)
                setConfirmSyncActions(false);
            if (!perform)
                CancelRequested = true;
            host.setAnimationEnabled(true);
            if (IsCloneCancelled())
                return false;
            if (skipped.size() == count)
                skip = std::move(skipped);
        }

        // The folders whose entries the list changes: their last-write times are the Source's again at the
        // end.
        std::unordered_set<const void*> changedFolders;
        auto changedIn = [&changedFolders](const FolderSpecRef& folder) {
            if (folder)
                changedFolders.insert(folder.key());
        };
        if (m_run.deleteMethod != DeleteMethodDoNotDelete)
            for (const auto& leftover : m_leftovers)
                changedIn(leftover.first);
        RemoveLeftoverTempFiles();
        host.setStatusText(StatusPanel::Panel1, "Cloning folder \"" + pstrSourceFolderSpec + "\"...");
        host.setStatusText(StatusPanel::Panel2, "0%");
        long long shownPercent = 0;

        // A copy onto a name that is still a folder planned for removal waits
        // until the folders are gone (a folder replaced by a file in the Source).
        std::unordered_set<std::string> plannedRemovals;
        bool errors = false;
        const bool deletes = m_run.deleteMethod != DeleteMethodDoNotDelete;
        PlannedWork planned;
        for (size_t i = 0; i < count; ++i) {
            const FileOp& op = FileOpsArray[i];
            if (op.Removed || skip[i])
                continue;
            switch (op.OpType) {
            case FileOpRemoveFolder:
                plannedRemovals.insert(op.TargetFolderSpec());
                break;
            case FileOpCopy:
                ++planned.files;
                planned.bytes += op.HardLink ? 0 : op.SourceListed.size;
                break;
            case FileOpDelete:
                planned.deletions += deletes ? 1 : 0;
                break;
            case FileOpCreateFolder:
                ++planned.foldersMade;
                break;
            case FileOpRename:
                ++planned.others;
                break;
            case FileOpUpdateAttributes:
                planned.others += op.FileName.empty() ? 0 : 1;
                break;
            }
        }
        if (deletes)
            planned.foldersRemoved = plannedRemovals.size();
        const size_t copies = planned.files;
        // What the host is told of each operation, when it follows the run at all.
        const bool progress = host.wantsProgress();
        auto finished = [&](const FileOp& op, bool failed) {
            if (failed)
                errors = true;
            if (progress)
                host.workDone(WorkKindOf(op.OpType), op.HardLink ? 0 : op.SourceListed.size, !failed);
        };

        // Copy threads where there is enough to copy.
        m_clearedFolders.clear();
        m_performer = std::make_unique<Performer>();
        const util::ScopeExit performerEnd([this] { m_performer.reset(); });
        Performer& performer = *m_performer;
        m_lastSourceFolder = m_lastTargetFolder = nullptr;
        // A root that is no longer where its path leads (moved away, a link put in
        // its place) is not worked in at all.
        for (const FolderSpecRef* root : {&m_sourceRoot, &m_targetRoot}) {
            int err = 0;
            if (*root && !m_handles->openVerified(*root, err) && err == platform::kFolderReplaced) {
                LogAdd(LogEntryType::FolderPathError,
                       std::string(root == &m_sourceRoot ? "Source: " : "Target: ") + **root, {}, {}, 0,
                       kRootMovedText);
                return false;
            }
        }
        if (copies >= kThreadedCopyMinimum && m_run.copyMethod == CopyMethodRegular)
            performer.pool.start(CopyThreadCount());
        if (progress)
            host.performingStarted(planned);

        // Copies handed to the threads and not yet logged, oldest first.
        std::deque<Performer::Job> inFlight;
        uint64_t inFlightBytes = 0;
        auto logOldest = [&] {
            Performer::Job& job = inFlight.front();
            performer.pool.wait(job);
            inFlightBytes -= job.op->SourceListed.size;
            finished(*job.op, FinishCopy(*job.op, job.attempt));
            inFlight.pop_front();
        };
        auto logAll = [&] {
            while (!inFlight.empty())
                logOldest();
        };

        bool cancelled = false;
        std::vector<FolderSpecRef> removals;
        std::vector<size_t> deferredCopies;
        for (size_t i = 0; i < count; ++i) {
            const long long percent = std::llround(std::nearbyint(double(i + 1) / double(count) * 100.0));
            if (percent != shownPercent) {
                host.setStatusText(StatusPanel::Panel2, std::to_string(percent) + "%");
                shownPercent = percent;
            }
            host.processEvents();
            const FileOp& op = FileOpsArray[i];
            if (op.Removed || skip[i])
                continue;
            changedIn(op.OpType == FileOpCreateFolder || op.OpType == FileOpRemoveFolder
                          ? op.TargetFolder.parent()
                      : op.OpType == FileOpUpdateAttributes ? FolderSpecRef()
                                                            : op.TargetFolder);
            switch (op.OpType) {
            case FileOpCopy:
                if (!plannedRemovals.empty() && plannedRemovals.contains(op.TargetFileSpec() + '/')) {
                    deferredCopies.push_back(i);
                    break;
                }
                if (op.HardLink) {
                    logAll(); // its first name may be a copy still on its way
                    finished(op, LinkFileAndLogResults(op));
                    break;
                }
                if (performer.pool.started()) {
                    Performer::Job& job = inFlight.emplace_back();
                    job.op = &op;
                    if (!PrepareCopyIn(op, job.attempt)) {
                        inFlight.pop_back();
                    } else {
                        performer.pool.submit(job, op.SourceListed.size >= kLargeJobBytes);
                        inFlightBytes += op.SourceListed.size;
                        // A bounded lead, so a cancel is not kept waiting behind much work.
                        while (inFlight.size() > kCopiesAhead ||
                               (inFlight.size() > 2 && inFlightBytes > kBytesAhead))
                            logOldest();
                        break;
                    }
                }
                logAll();
                finished(op, CopyFileAndLogResults(op));
                break;
            case FileOpDelete:
                logAll();
                if (deletes)
                    finished(op, DeleteFileAndLogResults(op));
                break;
            case FileOpCreateFolder:
                logAll();
                finished(op, CreateFolderAndLogResults(op.TargetFolder, &op.SourceFolder));
                break;
            case FileOpRename:
                logAll();
                finished(op, RenameAndLogResults(op));
                break;
            case FileOpUpdateAttributes:
                // A folder's wait until its contents are done.
                if (!op.FileName.empty()) {
                    logAll();
                    finished(op, UpdateAttributesAndLogResults(op));
                }
                break;
            case FileOpRemoveFolder:
                if (m_run.deleteMethod != DeleteMethodDoNotDelete)
                    removals.push_back(op.TargetFolder);
                break;
            }
            // Every operation begun so far is finished and logged before the cancel is.
            if (CancelRequested.load(std::memory_order_relaxed)) {
                logAll();
                if (IsCloneCancelled()) {
                    errors = true;
                    cancelled = true;
                    break;
                }
            }
        }
        logAll();

        if (!cancelled && m_run.deleteMethod != DeleteMethodDoNotDelete) {
            std::unordered_set<std::string> done;
            for (auto it = removals.rbegin(); it != removals.rend(); ++it) {
                if (!done.insert(**it).second)
                    continue; // each folder once
                bool removed = false;
                if (IsHeldFolderEmpty(*m_handles, *it)) {
                    removed = !RemoveFolderAndLogResults(*it);
                    errors = errors || !removed;
                } else {
                    LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                           "Folder not deleted because it is not empty. - '" + **it + "' ");
                }
                if (progress)
                    host.workDone(WorkKind::RemoveFolder, 0, removed);
                host.processEvents();
                if (IsCloneCancelled()) {
                    errors = true;
                    cancelled = true;
                    break;
                }
            }
        }
        if (!cancelled) {
            for (const size_t i : deferredCopies) {
                const FileOp& op = FileOpsArray[i];
                finished(op, op.HardLink ? LinkFileAndLogResults(op) : CopyFileAndLogResults(op));
                host.processEvents();
                if (IsCloneCancelled()) {
                    errors = true;
                    break;
                }
            }
        }
        if (!cancelled && FinishFolders(skip, changedFolders))
            errors = true;
        LogMetadataLoss();
        // A folder moved away or swapped while the list worked in it: say so. The
        // roots' paths are checked once, then each level below them once.
        std::unordered_set<const void*> rechecked;
        auto reportMoved = [&](const FolderSpecRef& folder, int err) {
            FolderSpecRef top = folder;
            while (top.parent())
                top = top.parent();
            LogAdd(LogEntryType::FolderPathError, (top.rootId() == 1 ? "Source: " : "Target: ") + *folder, {},
                   {}, 0, FolderOpenErrorText(err));
            errors = true;
        };
        bool rootsStayed = true;
        for (const FolderSpecRef* root : {&m_sourceRoot, &m_targetRoot}) {
            int err = 0;
            if (*root && !m_handles->openVerified(*root, err) && !IsMissingError(err)) {
                reportMoved(*root, err);
                rootsStayed = false;
            }
        }
        for (size_t i = 0; rootsStayed && i < performer.touched.size(); ++i) {
            int err = 0;
            if (!m_handles->openChecked(performer.touched[i], rechecked, err) && !IsMissingError(err))
                reportMoved(performer.touched[i], err);
        }
        m_lastSourceFolder = m_lastTargetFolder = nullptr;
        return !errors;
    });
}

} // namespace kestrow
