// The operations list: appending to it, its guards (the deletion cap, folder
// removals that are no longer empty, leftovers of killed runs) and its text.

#include "engine/cClone.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/Listing.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/cCompare.h"
#include "engine/modCompare.h"
#include "log/OneLine.h"
#include "platform/DeviceId.h"
#include "platform/FileCompare.h"
#include "platform/FileInfo.h"
#include "platform/FileOps.h"
#include "platform/InstanceLock.h"
#include "platform/SystemInfo.h"

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

using namespace clone_detail;

namespace {

const std::string kEmptyText;

} // namespace

// ---------------------------------------------------------------------------
// FileOp

// A run plans one per file: a million of them stay under 100 bytes each.
static_assert(sizeof(FileOp) <= 72);

const std::string& FileOp::SourceFolderSpec() const
{
    return SourceFolder ? *SourceFolder : kEmptyText;
}

const std::string& FileOp::TargetFolderSpec() const
{
    return TargetFolder ? *TargetFolder : kEmptyText;
}

std::string FileOp::SourceFileSpec() const
{
    return OpType == FileOpCopy && SourceFolder ? *SourceFolder + FileName : std::string();
}

std::string FileOp::TargetFileSpec() const
{
    return (OpType == FileOpCopy || OpType == FileOpDelete) && TargetFolder ? *TargetFolder + FileName
                                                                            : std::string();
}

bool cClone::IsSafeCopyLeftoverName(const std::string& name)
{
    return platform::isUniqueFileName(name, kSafeCopyPrefix, std::string(".") + kSafeCopyExtension);
}

void cClone::CountScannedEntry()
{
    ++FilesScannedCount;
    if (FilesScannedCount % 25 == 0)
        runHost().setStatusText(StatusPanel::Panel2, std::to_string(FilesScannedCount) + " files");
}

void cClone::AddCopyOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                       const std::string& name, const CloneEntryState* listed, bool listedRegular,
                       TargetEntry target)
{
    if (IsSafeCopyLeftoverName(name))
        return; // half a copy of something else, never cloned on
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpCopy;
    op.FileName = name;
    op.SourceFolder = sourceFolder;
    op.TargetFolder = targetFolder;
    if (listed) {
        op.SourceKnown = true;
        op.SourceRegular = listedRegular;
        op.TargetListed = target == TargetEntry::Listed;
        op.SourceListed = *listed;
    }
}

void cClone::AddDeleteOp(const FolderSpecRef& targetFolder, const std::string& name)
{
    if (IsSafeCopyLeftoverName(name)) {
        LeftoverTempFiles.push_back(*targetFolder + name); // ours, not an orphan of the Source
        m_leftovers.emplace_back(targetFolder, name);
        return;
    }
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpDelete;
    op.FileName = name;
    op.TargetFolder = targetFolder;
}

void cClone::AddCreateFolderOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder)
{
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpCreateFolder;
    op.SourceFolder = sourceFolder;
    op.TargetFolder = targetFolder;
    m_createdFolderOps.insert(*targetFolder);
}

void cClone::AddRemoveFolderOp(const FolderSpecRef& targetFolder)
{
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpRemoveFolder;
    op.TargetFolder = targetFolder;
}

bool cClone::PlanHardLink(const FolderSpecRef& source, const FolderSpecRef& target,
                          const platform::DirEntry& s, const platform::DirEntry* t)
{
    if (!m_run.keepHardLinks || s.type != platform::EntryType::File || s.links < 2)
        return false;
    const auto [it, first] = m_linkLeaders.try_emplace(LinkKey{s.device, s.inode});
    LinkLeader& leader = it->second;
    if (first) {
        leader.targetFolder = target;
        leader.name = s.name;
        leader.targetInode = t && t->type == platform::EntryType::File ? t->inode : 0;
        leader.targetDevice = t ? t->device : 0;
        return false;
    }
    if (t && t->type == platform::EntryType::File && leader.targetInode != 0 &&
        t->inode == leader.targetInode && t->device == leader.targetDevice)
        return true; // a link of it already
    const CloneEntryState state{s.size, s.lastWrite};
    AddCopyOp(source, target, s.name, &state, true, t ? TargetEntry::Listed : TargetEntry::None);
    FileOp& op = FileOpsArray.back();
    op.HardLink = true;
    m_linkOps.emplace(&op, it->first);
    return true;
}

void cClone::NoteLinkLeaderCopy(const platform::DirEntry& s)
{
    if (!m_run.keepHardLinks || s.links < 2 || FileOpsArray.empty())
        return;
    const auto it = m_linkLeaders.find(LinkKey{s.device, s.inode});
    FileOp& op = FileOpsArray.back();
    if (it == m_linkLeaders.end() || op.OpType != FileOpCopy || op.FileName != s.name)
        return;
    op.LinkLeader = true;
    it->second.copy = &op;
    it->second.targetInode = 0;
}

void cClone::AddRenameOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                         const std::string& from, const std::string& to)
{
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpRename;
    op.FileName = to;
    op.SourceFolder = sourceFolder;
    op.TargetFolder = targetFolder;
    m_renameFrom.emplace(&op, from);
}

const std::string& cClone::RenamedFrom(const FileOp& op) const
{
    static const std::string none;
    const auto it = m_renameFrom.find(&op);
    return it != m_renameFrom.end() ? it->second : none;
}

void cClone::AddUpdateAttributesOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                                   const std::string& name)
{
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpUpdateAttributes;
    op.FileName = name;
    op.SourceFolder = sourceFolder;
    op.TargetFolder = targetFolder;
}

void cClone::NoteFolderPair(const FolderSpecRef& source, const FolderSpecRef& target, bool differs,
                            int64_t attributesOp, bool checkAttributes)
{
    FolderFinish& f = m_folderFinishes.emplace_back();
    f.source = source;
    f.target = target;
    f.differs = differs;
    f.attributesOp = attributesOp;
    f.checkAttributes = checkAttributes;
}

bool cClone::AttributesDiffer(const platform::DirEntry& source, const platform::DirEntry& target,
                              const HeldFolder* from, const HeldFolder* to) const
{
    if (source.type != target.type)
        return false; // not a question of metadata
    const platform::TargetFeatures& can = m_targetFeatures;
    const bool ownerDiffers = source.uid != target.uid || source.gid != target.gid;
    if (can.owners && ownerDiffers &&
        platform::ownerCanBeMadeLike(target.uid, target.gid, source.uid, source.gid))
        return true;
    // A link has no permission bits of its own.
    const uint32_t wanted = platform::copiedPermissions(source.mode, !ownerDiffers);
    if (source.type != platform::EntryType::Symlink && can.modes &&
        (target.mode & platform::kPermissionBits) != wanted)
        return true;
    // Attributes cost two reads per pair: looked at only where the Source has
    // changed (chmod, setfattr, setfacl all mark it) since the Target last did.
    if (!can.extendedAttributes || !from || !to || source.changeTime <= target.changeTime)
        return false;
    platform::ExtendedAttributes a, b;
    if (platform::readExtendedAttributesAt(from->folder, source.name, a) != 0 ||
        platform::readExtendedAttributesAt(to->folder, target.name, b) != 0)
        return false;
    return a != b;
}

platform::CopyFlavor cClone::RunCopyFlavor() const
{
    return m_run.copyMethod == CopyMethodRetainCreateTime ? platform::CopyFlavor::KeepEverything
                                                          : platform::CopyFlavor::Regular;
}

void cClone::LogMetadataLoss()
{
    const uint32_t lost = m_metadataLoss.take();
    if (!lost || !m_targetRoot)
        return;
    std::vector<std::string> parts;
    if (lost & platform::MetadataOwner)
        parts.emplace_back("owners and groups");
    if (lost & platform::MetadataPermissions)
        parts.emplace_back("permission bits");
    if (lost & platform::MetadataExtendedAttributes)
        parts.emplace_back("extended attributes");
    std::string list;
    for (const std::string& p : parts)
        list += (list.empty() ? "" : ", ") + p;
    LogAdd(
        LogEntryType::InformationOnly, {}, {}, {}, 0, {},
        "Some metadata could not be kept in the Target (its file system or this user's rights do not allow "
        "it): " +
            list + ". - '" + *m_targetRoot + "' ");
}

bool cClone::CreateFolderFileOpAlreadyAdded(const std::string& path) const
{
    return m_createdFolderOps.contains(path);
}

bool cClone::DeletionsCapped(const std::string& target)
{
    const int32_t percent = m_run.maxDeletePercent;
    if (percent <= 0 || m_run.deleteMethod == DeleteMethodDoNotDelete)
        return false;
    const int64_t deletions = std::count_if(FileOpsArray.begin(), FileOpsArray.end(), [](const FileOp& op) {
        return op.OpType == FileOpDelete && !op.Removed;
    });
    if (deletions < kDeleteCapMinimumFiles || deletions * 100 <= int64_t{percent} * TargetFilesListed)
        return false;
    for (FileOp& op : FileOpsArray) {
        if (op.OpType == FileOpDelete || op.OpType == FileOpRemoveFolder)
            op.Removed = true;
    }
    LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
           "Problems processing the Target folder. " + std::to_string(deletions) + " of its " +
               std::to_string(TargetFilesListed) + " files were to be deleted, more than the limit of " +
               std::to_string(percent) + "%, so nothing was deleted from it.");
    return true;
}

void cClone::RemoveLeftoverTempFiles()
{
    if (m_run.deleteMethod == DeleteMethodDoNotDelete)
        return;
    for (const auto& [folder, name] : m_leftovers) {
        const std::string spec = *folder + name;
        int err = 0;
        if (const HeldFolderPtr held = m_handles->open(folder, err))
            err = platform::removeLeftoverFileAt(held->folder, name);
        if (err == 0)
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Removed a temporary file left by an interrupted run. - '" + spec + "' ");
        else if (!IsMissingError(err))
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Not removed, as it is not a temporary file of this program: " +
                       GetSystemErrorMessage(err) + " - '" + spec + "' ");
    }
    LeftoverTempFiles.clear();
    m_leftovers.clear();
}

void cClone::ValidateRemoveFolderOps()
{
    Guarded("cClone.ValidateRemoveFolderOps", [&] {
        for (FileOp& op : FileOpsArray) {
            if (op.OpType == FileOpRemoveFolder && !IsHeldFolderEmpty(*m_handles, op.TargetFolder))
                op.Removed = true;
        }
    });
}

// ---------------------------------------------------------------------------
// cClone: the text form of the list

std::string cClone::ActionText(const FileOp& op) const
{
    // Names are the file system's: in their one-line form, one operation stays one line.
    const std::string name = OneLineForm(op.FileName);
    const std::string from = OneLineForm(op.SourceFolderSpec());
    const std::string to = OneLineForm(op.TargetFolderSpec());
    switch (op.OpType) {
    case FileOpCopy:
        return "     COPY FILE     \"" + name + "\"  FROM  " + from + "  TO  " + to;
    case FileOpDelete:
        return "     DELETE FILE     \"" + name + "\"  FROM  " + to;
    case FileOpCreateFolder:
        return "     CREATE FOLDER     " + to;
    case FileOpRemoveFolder:
        return "     DELETE FOLDER     " + to;
    case FileOpRename:
        return "     RENAME     \"" + OneLineForm(RenamedFrom(op)) + "\"  TO  \"" + name + "\"  IN  " + to;
    case FileOpUpdateAttributes:
        if (op.FileName.empty())
            return "     UPDATE ATTRIBUTES     " + to;
        return "     UPDATE ATTRIBUTES     \"" + name + "\"  IN  " + to;
    }
    return {};
}

std::string cClone::SyncActionString(const FileOp& op) const
{
    return op.Removed ? std::string(kRemovedAction) : ActionText(op);
}

int32_t cClone::GetSyncActionStrings(std::vector<std::string>& strings) const
{
    return ActionStrings("cClone.GetSyncActionStrings", strings,
                         [this](const FileOp& op) { return SyncActionString(op); });
}

int32_t cClone::GetPlannedActionStrings(std::vector<std::string>& strings) const
{
    return ActionStrings("cClone.GetPlannedActionStrings", strings, [this](const FileOp& op) {
        if (!op.Removed)
            return ActionText(op);
        // What it was, after the marker: the reader sees what will not be done.
        std::string text = ActionText(op);
        text.erase(0, text.find_first_not_of(' '));
        return std::string(kRemovedAction) + " " + text;
    });
}

int32_t cClone::ActionStrings(const char* location, std::vector<std::string>& strings,
                              const std::function<std::string(const FileOp&)>& text) const
{
    return Guarded(location, int32_t{0}, [&] {
        strings.clear();
        strings.reserve(FileOpsArray.size());
        int32_t count = 0;
        RunHost& host = runHost();
        for (const FileOp& op : FileOpsArray) {
            strings.push_back(text(op));
            if (!op.Removed)
                ++count;
            host.processEvents();
        }
        return count;
    });
}

} // namespace kestrow
