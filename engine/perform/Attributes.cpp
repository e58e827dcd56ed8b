// What a list does besides copying and deleting: hard links made to an earlier
// name's copy, case-only renames on Targets that fold case, metadata applied in
// place, and the folders' metadata and times once their contents are done.

#include "engine/cClone.h"

#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/RunControl.h"
#include "engine/perform/VersionKeeper.h"
#include "platform/FolderAt.h"
#include "platform/Metadata.h"

#include <algorithm>
#include <ranges>
#include <unordered_set>
#include <vector>

namespace kestrow {

using namespace clone_detail;

bool cClone::LinkFileAndLogResults(const FileOp& op)
{
    return Guarded("cClone.CopyFileAndLogResults", true, [&] {
        const auto key = m_linkOps.find(&op);
        const auto leader = key != m_linkOps.end() ? m_linkLeaders.find(key->second) : m_linkLeaders.end();
        // Only a first name that is now the Source's data may be linked to: one
        // that needed no copy, or whose copy went well.
        if (leader != m_linkLeaders.end() &&
            (!leader->second.copy || m_leadersCopied.contains(leader->second.copy))) {
            int err = 0;
            const HeldFolderPtr from = OpenOpFolder(leader->second.targetFolder, TreeSide::Target, err);
            const HeldFolderPtr to = from ? OpenOpFolder(op.TargetFolder, TreeSide::Target, err) : nullptr;
            // The link takes the name at once: what holds it goes to the old versions first.
            platform::PathAttributes there;
            if (to && m_keeper && platform::entryAttributesAt(to->folder, op.FileName, there) == 0 &&
                there.kind != platform::PathKind::Folder) {
                if (const int keepErr =
                        m_keeper->keep(to->folder, RelativeToTarget(op.TargetFolder), op.FileName)) {
                    LogAdd(LogEntryType::CopyError, op.FileName, op.SourceFolderSpec(), op.TargetFolderSpec(),
                           keepErr, GetSystemErrorMessage(keepErr));
                    return true;
                }
            }
            if (to && platform::linkFileAt(from->folder, leader->second.name, to->folder, op.FileName) == 0) {
                LogAdd(LogEntryType::Copied, op.FileName, op.SourceFolderSpec(), op.TargetFolderSpec());
                return false;
            }
        }
        // Another file system, a full link count, a first copy that failed: a copy of its own.
        return CopyFileAndLogResults(op);
    });
}

bool cClone::RenameAndLogResults(const FileOp& op)
{
    return Guarded("cClone.PerformFileOperations", true, [&] {
        const std::string& from = RenamedFrom(op);
        int err = 0;
        const HeldFolderPtr folder = OpenOpFolder(op.TargetFolder, TreeSide::Target, err);
        if (folder) {
            err = platform::renameCaseAt(folder->folder, from, op.FileName);
        }
        if (folder && err == 0) {
            if (const HeldFolderPtr source =
                    op.SourceFolder ? OpenOpFolder(op.SourceFolder, TreeSide::Source, err) : nullptr)
                (void)platform::copyTimesAt(source->folder, op.FileName, folder->folder, op.FileName,
                                            RunCopyFlavor());
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Renamed \"" + from + "\" to \"" + op.FileName +
                       "\", as the Target does not tell letter case apart. - '" + op.TargetFolderSpec() +
                       "' ");
            return false;
        }
        err = err ? err : ENOENT;
        LogAdd(LogEntryType::CopyError, op.FileName, {}, op.TargetFolderSpec(), err,
               folder ? GetSystemErrorMessage(err) : FolderOpenErrorText(err));
        return true;
    });
}

bool cClone::UpdateAttributesAndLogResults(const FileOp& op)
{
    return Guarded("cClone.CopyFileAndLogResults", true, [&] {
        int err = 0;
        const HeldFolderPtr from = OpenOpFolder(op.SourceFolder, TreeSide::Source, err);
        const HeldFolderPtr to = from ? OpenOpFolder(op.TargetFolder, TreeSide::Target, err) : nullptr;
        if (!from || !to) {
            err = err ? err : ENOENT;
            LogAdd(LogEntryType::CopyError, op.FileName, op.SourceFolderSpec(), op.TargetFolderSpec(), err,
                   FolderOpenErrorText(err));
            return true;
        }
        platform::MetadataChanges changed;
        err = platform::updateMetadataAt(from->folder, op.FileName, to->folder, op.FileName, RunCopyFlavor(),
                                         true, false, &m_metadataLoss, changed);
        if (err) {
            LogAdd(LogEntryType::CopyError, op.FileName, op.SourceFolderSpec(), op.TargetFolderSpec(), err,
                   GetSystemErrorMessage(err));
            return true;
        }
        if (changed.any())
            LogAdd(LogEntryType::UpdatedAttributes, op.FileName, {}, op.TargetFolderSpec());
        return false;
    });
}

bool cClone::FinishFolders(const std::vector<bool>& skip,
                           const std::unordered_set<const void*>& changedFolders)
{
    return Guarded("cClone.PerformFileOperations", true, [&] {
        struct Work
        {
            const FolderFinish* finish;
            bool attributes;
        };
        // Every folder was noted before the folders below it (the walk notes a pair before
        // it looks inside, a made folder follows its parent), so the notes read backwards
        // finish each folder after its contents, and a folder made read-only or private
        // keeps nobody out of its subfolders. Backwards, neighbours stay together, so the
        // way to each folder is mostly held already.
        std::vector<Work> work;
        for (const FolderFinish& f : std::views::reverse(m_folderFinishes)) {
            const bool opWanted = f.attributesOp >= 0 && static_cast<size_t>(f.attributesOp) < skip.size() &&
                                  !skip[static_cast<size_t>(f.attributesOp)] &&
                                  !FileOpsArray[static_cast<size_t>(f.attributesOp)].Removed;
            const bool attributes = f.created || f.checkAttributes || opWanted;
            if (attributes || f.differs || changedFolders.contains(f.target.key()))
                work.push_back({&f, attributes});
        }
        bool errors = false;
        for (const Work& w : work) {
            const FolderFinish& f = *w.finish;
            int err = 0;
            const HeldFolderPtr from = OpenOpFolder(f.source, TreeSide::Source, err);
            const HeldFolderPtr to = from ? OpenOpFolder(f.target, TreeSide::Target, err) : nullptr;
            if (!from || !to) {
                if (!IsMissingError(err)) { // a folder removed meanwhile has nothing to finish
                    LogAdd(LogEntryType::CopyError, {}, *f.source, *f.target, err, FolderOpenErrorText(err));
                    errors = true;
                }
                continue;
            }
            platform::MetadataChanges changed;
            const bool times = m_targetFeatures.folderTimes || !f.target.sameAs(m_targetRoot);
            err = platform::updateMetadataAt(from->folder, {}, to->folder, {}, RunCopyFlavor(), w.attributes,
                                             times, &m_metadataLoss, changed);
            if (err) {
                LogAdd(LogEntryType::CopyError, {}, *f.source, *f.target, err, GetSystemErrorMessage(err));
                errors = true;
            } else if (changed.any() && !f.created) {
                const FolderSpecRef parent = f.target.parent();
                if (parent)
                    LogAdd(LogEntryType::UpdatedAttributes, std::string(f.target.name()), {}, *parent);
                else
                    LogAdd(LogEntryType::UpdatedAttributes, *f.target);
            }
            runHost().processEvents();
            if (IsCloneCancelled())
                return true;
        }
        return errors;
    });
}

} // namespace kestrow
