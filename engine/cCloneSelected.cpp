// The selected-items modes of cClone: inclusions only, exclusions only, and
// both together. They fill the same operations list as the clone-all mode and
// hand it to the same performer.

#include "engine/cClone.h"

#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/Listing.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "platform/FileInfo.h"

#include <unordered_map>
#include <unordered_set>

namespace kestrow {

using namespace clone_detail;

// One selected-items run. Items arrive as full paths; the folders they lie in
// are listed once each (a small cache) instead of probing every file by path.
class CloneSelectedRun
{
public:
    CloneSelectedRun(cClone& clone, const std::string& sourceRoot, const std::string& targetRoot,
                     bool includeSubfolders)
        : m_clone(clone), m_src(CanonicalFolderSpec(sourceRoot)), m_tgt(CanonicalFolderSpec(targetRoot)),
          m_sub(includeSubfolders), m_sourceCache(clone.Handles()), m_targetCache(clone.Handles())
    {
    }

    bool RunInclusions(const std::string& includeSpecs, const std::string& includeMasks,
                       const ExclusionRules* exclusions, const std::string& sourceForStatus)
    {
        return m_clone.RunSequence(
            m_src, m_tgt, sourceForStatus, false, {m_sub, exclusions},
            [&](bool& stop) { return CompareInclusions(includeSpecs, includeMasks, exclusions, stop); });
    }

    bool RunExclusions(const ExclusionRules& exclusions, const std::string& sourceForStatus)
    {
        return m_clone.RunSequence(m_src, m_tgt, sourceForStatus, true, {m_sub, &exclusions}, [&](bool&) {
            return Guarded("cClone.CompareSourceToTarget_ExclusionsUse", false, [&] {
                return CompareTrees(m_clone, m_clone.SourceRootRef(), m_clone.TargetRootRef(), m_sub,
                                    &exclusions);
            });
        });
    }

private:
    // The comparison of the inclusions modes; true when it met no error. `stop`
    // is set when the run must end here (cancelled, or no Source to judge by).
    bool CompareInclusions(const std::string& includeSpecs, const std::string& includeMasks,
                           const ExclusionRules* exclusions, bool& stop)
    {
        RunHost& host = runHost();
        int rootErr = 0;
        if (const HeldFolderPtr root = m_clone.Handles().open(m_clone.TargetRootRef(), rootErr)) {
            m_haveRootDevice = true;
            m_rootId = root->id;
        }
        stop = true;
        host.setStatusText(StatusPanel::Panel1, "Scanning Source folder...");
        host.setStatusText(StatusPanel::Panel2, "");
        // An unreadable or missing Source root would make every Target file an orphan.
        if (const auto root = ListIndexed(m_clone.Handles(), m_clone.SourceRootRef()); root->error) {
            LogListingError(m_src, root->error);
            return false;
        }
        std::vector<std::string> items;
        StringCollection masks;
        size_t refused = 0;
        if (!PopulateIncludedItemsArray(m_src, includeSpecs, includeMasks, m_sub, items, masks, &refused) ||
            IsCloneCancelled())
            return false;

        host.setStatusText(StatusPanel::Panel1, "Comparing folders...");
        host.setStatusText(StatusPanel::Panel2, "0 files");
        bool errors = refused > 0;
        if (!items.empty()) {
            if (!Guarded("cClone.CompareSpecificSourceItems", false,
                         [&] { return CompareSpecificSourceItems(items); }))
                errors = true;
            if (IsCloneCancelled())
                return false;
        }

        if (m_clone.RunOptionsInForce().deleteMethod != DeleteMethodDoNotDelete) {
            host.setStatusText(StatusPanel::Panel1, "Scanning Target folder...");
            host.setStatusText(StatusPanel::Panel2, "");
            std::vector<std::string> targetItems;
            if (!GetFilesInPathMatchingMasks(m_tgt, m_sub, masks, targetItems))
                errors = true;
            m_clone.TargetFilesListed += static_cast<int64_t>(targetItems.size());
            if (IsCloneCancelled())
                return false;
            // Nothing of the Source selected while the Target has files the masks take:
            // the Source is as good as empty for this run.
            if (items.empty() && !targetItems.empty() && m_clone.RunOptionsInForce().protectFromEmptySource) {
                LogEmptySourceRefusal(m_src, m_tgt);
                return false;
            }
            if (!targetItems.empty() && !Guarded("cClone.CompareMatchingTarget", false,
                                                 [&] { return CompareMatchingTarget(targetItems); }))
                errors = true;
        }

        if (exclusions) {
            for (FileOp& op : m_clone.FileOpsArray) {
                switch (op.OpType) {
                case FileOpCopy:
                    op.Removed = exclusions->fileExcluded(op.SourceFileSpec(), op.FileName);
                    break;
                case FileOpDelete: {
                    // An excluded item is left alone in the Target too.
                    std::string rest;
                    op.Removed = FileMatchesPatternInCollection(op.FileName, exclusions->masks) ||
                                 (Below(op.TargetFileSpec(), m_tgt, rest) && !exclusions->items.empty() &&
                                  DoesFileMatchExclusionSpecs(m_src + rest, exclusions->items));
                    break;
                }
                case FileOpCreateFolder:
                    op.Removed = exclusions->folderExcluded(op.SourceFolderSpec());
                    break;
                case FileOpRemoveFolder:
                case FileOpRename:
                    break;
                case FileOpUpdateAttributes:
                    op.Removed =
                        op.FileName.empty()
                            ? exclusions->folderExcluded(op.SourceFolderSpec())
                            : exclusions->fileExcluded(op.SourceFolderSpec() + op.FileName, op.FileName);
                    break;
                }
            }
            m_clone.ValidateRemoveFolderOps();
        }
        stop = false;
        return !errors;
    }

    // The part of `spec` below `root`, or false when it does not lie below it.
    static bool Below(const std::string& spec, const std::string& root, std::string& rest)
    {
        if (!spec.starts_with(root))
            return false;
        rest = spec.substr(root.size());
        return true;
    }

    FolderSpecRef Ref(const std::string& folderSpec) { return m_clone.RefFor(folderSpec); }

    // Whether `folderSpec` opens, from its root, as a real folder (never through a link).
    bool IsHeldFolder(const std::string& folderSpec)
    {
        int err = 0;
        return m_clone.Handles().open(Ref(folderSpec), err) != nullptr;
    }

    // A folder that cannot be read (not merely missing) is reported once.
    void ReportUnreadable(const std::string& folder, int err)
    {
        if (m_reported.insert(folder).second)
            LogListingError(folder, err);
    }

    // Whether a Target folder lies on another file system than the Target root
    // (nothing is deleted there). Reported once per folder.
    bool OnOtherFileSystem(const std::string& targetFolder)
    {
        if (!m_haveRootDevice)
            return false;
        if (const auto it = m_foreign.find(targetFolder); it != m_foreign.end())
            return it->second;
        int err = 0;
        const HeldFolderPtr held = m_clone.Handles().open(Ref(targetFolder), err);
        const bool foreign =
            held && (held->id.device != m_rootId.device ||
                     (m_rootId.mount != 0 && held->id.mount != 0 && held->id.mount != m_rootId.mount));
        m_foreign.emplace(targetFolder, foreign);
        if (foreign)
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Nothing is deleted in this folder or below it because it is on another file system. - '" +
                       targetFolder + "' ");
        return foreign;
    }

    bool CompareSpecificSourceItems(const std::vector<std::string>& items)
    {
        RunHost& host = runHost();
        bool ok = true;
        std::string rest;
        for (const std::string& item : items) {
            if (item.empty())
                break;
            host.processEvents();
            if (IsCloneCancelled())
                return false;
            if (item.back() != '/') {
                const FolderListing& listing = m_sourceCache.get(Ref(GetFolderPart(item)));
                const platform::DirEntry* entry =
                    Below(item, m_src, rest) ? listing.file(GetFileNamePart(item)) : nullptr;
                if (!entry) {
                    LogAdd(LogEntryType::IncludeFilterFileError, item);
                    ok = false;
                    continue;
                }
                m_clone.CountScannedEntry();
                if (!Guarded("cClone.CompareSourceFileAndReturnResults", false,
                             [&] { return CompareSourceFileAndReturnResults(item, *entry); }))
                    ok = false;
            } else {
                if (!Below(item, m_src, rest) || !IsHeldFolder(item)) {
                    LogAdd(LogEntryType::IncludeFilterFolderError, item);
                    ok = false;
                    continue;
                }
                if (!Guarded("cClone.CompareSourceFolderAndReturnResults", false,
                             [&] { return CompareSourceFolderAndReturnResults(item); }))
                    ok = false;
            }
        }
        return ok;
    }

    // One included file, listed as `source`. True on success.
    bool CompareSourceFileAndReturnResults(const std::string& sourceFileSpec,
                                           const platform::DirEntry& source)
    {
        std::string rest;
        if (!Below(sourceFileSpec, m_src, rest))
            return false;
        const std::string targetFileSpec = m_tgt + rest;
        const std::string sourceFolder = GetFolderPart(sourceFileSpec);
        const std::string targetFolder = GetFolderPart(targetFileSpec);
        const std::string name = GetFileNamePart(sourceFileSpec);

        const FolderListing& sl = m_sourceCache.get(Ref(sourceFolder));
        const FolderListing& tl = m_targetCache.get(Ref(targetFolder));
        if (tl.error && !IsMissingError(tl.error)) {
            ReportUnreadable(targetFolder, tl.error);
            return false;
        }
        int32_t reason = SkipReasonNone;
        const platform::DirEntry* target = tl.file(name);
        const CloneEntryState state{source.size, source.lastWrite};
        if (!target) {
            if (IsFindDataSkipped(source, reason)) {
                LogSkip(SkipSubject::File, reason, sourceFileSpec);
                return true;
            }
            if (tl.error && !m_clone.CreateFolderFileOpAlreadyAdded(targetFolder))
                m_clone.AddCreateFolderOp(Ref(sourceFolder), Ref(targetFolder));
            m_clone.AddCopyOp(Ref(sourceFolder), Ref(targetFolder), name, &state,
                              source.type == platform::EntryType::File);
            return true;
        }

        m_clone.CountScannedEntry();
        bool failed = false;
        const bool copy = PairNeedsCopy(m_clone, sourceFolder, targetFolder, source, *target, failed, nullptr,
                                        sl.held.get(), tl.held.get());
        if (failed)
            return false;
        runHost().processEvents();
        if (IsCloneCancelled())
            return false;
        if (!copy)
            return true;
        if (IsFindDataSkipped(source, reason))
            LogSkip(SkipSubject::File, reason, sourceFileSpec);
        else if (IsFindDataSkipped(*target, reason))
            LogSkip(SkipSubject::File, reason, targetFileSpec);
        else
            m_clone.AddCopyOp(Ref(sourceFolder), Ref(targetFolder), name, &state,
                              source.type == platform::EntryType::File, cClone::TargetEntry::Listed);
        return true;
    }

    // One included folder: compared in full when the Target has it, else created and filled.
    bool CompareSourceFolderAndReturnResults(const std::string& sourceFolderSpec)
    {
        std::string rest;
        if (!Below(sourceFolderSpec, m_src, rest))
            return false;
        const std::string targetFolder = m_tgt + rest;
        if (IsHeldFolder(targetFolder))
            return m_clone.CompareEntireSource(sourceFolderSpec, targetFolder, m_sub);
        return Guarded("cClone.AddSourceSubfolderAndContentsToFileOpsArray", false, [&] {
            return AddSourceSubfolderAndContentsToFileOpsArray(sourceFolderSpec, targetFolder);
        });
    }

    // Depth-first: create the folder, copy its files, recurse into its subfolders.
    bool AddSourceSubfolderAndContentsToFileOpsArray(const std::string& sourceFolder,
                                                     const std::string& targetFolder)
    {
        return AddSourceSubfolderAndContents(Ref(WithTrailingSlash(sourceFolder)),
                                             Ref(WithTrailingSlash(targetFolder)));
    }

    bool AddSourceSubfolderAndContents(const FolderSpecRef& src, const FolderSpecRef& tgt)
    {
        RunHost& host = runHost();
        if (!m_clone.CreateFolderFileOpAlreadyAdded(*tgt))
            m_clone.AddCreateFolderOp(src, tgt);
        const auto sl = ListIndexed(m_clone.Handles(), src);
        if (sl->error) {
            LogListingError(*src, sl->error);
            return false;
        }
        bool ok = true;
        int32_t reason = SkipReasonNone;
        for (const platform::DirEntry& s : sl->entries) {
            if (!s.isFolder()) {
                if (IsFindDataSkipped(s, reason)) {
                    LogSkip(SkipSubject::SourceFile, reason, *src + s.name);
                } else {
                    const CloneEntryState state{s.size, s.lastWrite};
                    m_clone.AddCopyOp(src, tgt, s.name, &state, s.type == platform::EntryType::File);
                }
            } else if (m_sub) {
                const FolderSpecRef subSource = ChildRef(src, sl->held.get(), s);
                if (AreFolderAttributesSkipped(s, reason))
                    LogSkip(SkipSubject::SourceFolder, reason, *subSource);
                else if (!AddSourceSubfolderAndContents(subSource, FolderSpecRef::Child(tgt, s.name)))
                    ok = false;
            }
            host.processEvents();
            if (IsCloneCancelled())
                return false;
        }
        return ok;
    }

    bool CompareMatchingTarget(const std::vector<std::string>& targetItems)
    {
        RunHost& host = runHost();
        bool ok = true;
        for (const std::string& item : targetItems) {
            if (item.empty())
                break;
            host.processEvents();
            if (IsCloneCancelled())
                return false;
            if (m_clone.RunOptionsInForce().deleteMethod != DeleteMethodDoNotDelete &&
                !Guarded("cClone.AddFileToFileOpsArrayIfOrphan", false,
                         [&] { return AddFileToFileOpsArrayIfOrphan(item); }))
                ok = false;
        }
        return ok;
    }

    // Whether the Source lacks the counterpart of `targetFileSpec`. `known` is
    // false when the Source folder could not be read: then it is no orphan.
    bool IsTargetFileOrphan(const std::string& targetFileSpec, bool& known)
    {
        known = true;
        std::string rest;
        if (!Below(targetFileSpec, m_tgt, rest)) {
            known = false;
            return false;
        }
        const std::string sourceFileSpec = m_src + rest;
        const std::string sourceFolder = GetFolderPart(sourceFileSpec);
        const FolderListing& sl = m_sourceCache.get(Ref(sourceFolder));
        if (sl.error && !IsMissingError(sl.error)) {
            ReportUnreadable(sourceFolder, sl.error);
            known = false;
            return false;
        }
        return !sl.file(GetFileNamePart(sourceFileSpec));
    }

    // True on success.
    bool AddFileToFileOpsArrayIfOrphan(const std::string& targetFileSpec)
    {
        bool known = true;
        const bool orphan = Guarded("cClone.IsTargetFileOrphan", false,
                                    [&] { return IsTargetFileOrphan(targetFileSpec, known); });
        if (!known)
            return false;
        if (!orphan)
            return true;
        int32_t reason = SkipReasonNone;
        if (IsFileSkipped(targetFileSpec, reason)) {
            LogSkip(SkipSubject::File, reason, targetFileSpec);
            return true;
        }
        const std::string targetFolder = GetFolderPart(targetFileSpec);
        if (OnOtherFileSystem(targetFolder))
            return true;
        m_clone.AddDeleteOp(Ref(targetFolder), GetFileNamePart(targetFileSpec));
        return true;
    }

    cClone& m_clone;
    std::string m_src;
    std::string m_tgt;
    bool m_sub;
    ListingCache m_sourceCache;
    ListingCache m_targetCache;
    std::unordered_set<std::string> m_reported;
    std::unordered_map<std::string, bool> m_foreign;
    bool m_haveRootDevice = false;
    platform::FolderIdentity m_rootId;
};

bool cClone::CloneSelected_InclusionsOnly(const std::string& pstrSourceFolderSpec,
                                          const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders,
                                          const std::string& pstrIncludeFileSpecs,
                                          const std::string& pstrIncludeFileMasks)
{
    return Guarded("cClone.CloneSelected_InclusionsOnly", false, [&] {
        CloneSelectedRun run(*this, pstrSourceFolderSpec, pstrTargetFolderSpec, pbolIncludeSubFolders);
        return run.RunInclusions(pstrIncludeFileSpecs, pstrIncludeFileMasks, nullptr, pstrSourceFolderSpec);
    });
}

bool cClone::CloneSelected_ExclusionsOnly(const std::string& pstrSourceFolderSpec,
                                          const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders,
                                          const std::string& pstrExcludeFileSpecs,
                                          const std::string& pstrExcludeFileMasks)
{
    return Guarded("cClone.CloneSelected_ExclusionsOnly", false, [&] {
        const ExclusionRules exclusions = MakeExclusionRules(CanonicalFolderSpec(pstrSourceFolderSpec),
                                                             pstrExcludeFileSpecs, pstrExcludeFileMasks);
        CloneSelectedRun run(*this, pstrSourceFolderSpec, pstrTargetFolderSpec, pbolIncludeSubFolders);
        return run.RunExclusions(exclusions, pstrSourceFolderSpec);
    });
}

bool cClone::CloneSelected_InclusionExclusion(const std::string& pstrSourceFolderSpec,
                                              const std::string& pstrTargetFolderSpec,
                                              bool pbolIncludeSubFolders,
                                              const std::string& pstrIncludeFileSpecs,
                                              const std::string& pstrIncludeFileMasks,
                                              const std::string& pstrExcludeFileSpecs,
                                              const std::string& pstrExcludeFileMasks)
{
    return Guarded("cClone.CloneSelected_InclusionExclusion", false, [&] {
        const ExclusionRules exclusions = MakeExclusionRules(CanonicalFolderSpec(pstrSourceFolderSpec),
                                                             pstrExcludeFileSpecs, pstrExcludeFileMasks);
        CloneSelectedRun run(*this, pstrSourceFolderSpec, pstrTargetFolderSpec, pbolIncludeSubFolders);
        return run.RunInclusions(pstrIncludeFileSpecs, pstrIncludeFileMasks, &exclusions,
                                 pstrSourceFolderSpec);
    });
}

} // namespace kestrow
