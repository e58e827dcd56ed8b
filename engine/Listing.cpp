#include "engine/Listing.h"

#include "engine/CloneInternal.h"

#include "base/ErrorReporter.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "platform/DirList.h"
#include "platform/Drives.h"

#include <algorithm>

namespace kestrow {

bool IsTrashFolderName(const std::string& name)
{
    if (name == ".Trash")
        return true;
    constexpr std::string_view prefix = ".Trash-";
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

enum class Walk
{
    Done,
    Cancelled
};

// One folder's entries, the trash folders of a mount's top left out, and its
// subfolders as folders of the walk; the folder itself is let go again, so a
// deep tree does not hold a descriptor per level.
struct WalkLevel
{
    bool listed = false;
    std::vector<platform::DirEntry> entries;
    std::vector<FolderSpecRef> subfolders; // one per folder entry, in order
};

WalkLevel ListLevel(clone_detail::FolderHandles& handles, const FolderSpecRef& folder)
{
    WalkLevel level;
    const auto listing = clone_detail::ListIndexed(handles, folder);
    level.listed = listing->error == 0; // what could not be read is simply not there
    level.entries = std::move(listing->entries);
    for (const platform::DirEntry& entry : level.entries) {
        if (entry.isFolder())
            level.subfolders.push_back(clone_detail::ChildRef(folder, listing->held.get(), entry));
    }
    return level;
}

Walk filesMatchingMasks(clone_detail::FolderHandles& handles, const FolderSpecRef& folder,
                        bool includeSubfolders, const StringCollection& masks,
                        std::vector<std::string>& items)
{
    const WalkLevel level = ListLevel(handles, folder);
    size_t next = 0;
    for (const platform::DirEntry& entry : level.entries) {
        if (IsCloneCancelled())
            return Walk::Cancelled;
        if (!entry.isFolder()) {
            if (FileMatchesPatternInCollection(entry.name, masks))
                items.push_back(*folder + entry.name);
            continue;
        }
        const FolderSpecRef& subfolder = level.subfolders[next++];
        if (!includeSubfolders)
            continue;
        int32_t reason = SkipReasonNone;
        if (AreFolderAttributesSkipped(entry, reason)) {
            LogSkip(SkipSubject::Folder, reason, *subfolder);
            continue;
        }
        if (filesMatchingMasks(handles, subfolder, includeSubfolders, masks, items) == Walk::Cancelled)
            return Walk::Cancelled;
    }
    return Walk::Done;
}

Walk folderContents(clone_detail::FolderHandles& handles, const FolderSpecRef& folder,
                    std::vector<std::string>& items, bool includeSubfolders)
{
    const WalkLevel level = ListLevel(handles, folder);
    size_t next = 0;
    for (const platform::DirEntry& entry : level.entries) {
        if (IsCloneCancelled())
            return Walk::Cancelled;
        if (!entry.isFolder()) {
            items.push_back(*folder + entry.name);
            continue;
        }
        const FolderSpecRef& subfolder = level.subfolders[next++];
        if (!includeSubfolders)
            continue;
        int32_t reason = SkipReasonNone;
        if (AreFolderAttributesSkipped(entry, reason)) {
            LogSkip(SkipSubject::Folder, reason, *subfolder);
            continue;
        }
        if (folderContents(handles, subfolder, items, includeSubfolders) == Walk::Cancelled)
            return Walk::Cancelled;
    }
    if (level.listed && level.entries.empty())
        items.push_back(*folder);
    return Walk::Done;
}

} // namespace

bool IsMountTrashEntry(const std::string& folderSpec, const std::string& name)
{
    // The name test comes first: it is cheap, the mount lookup is not.
    return IsTrashFolderName(name) &&
           platform::driveOfPath(WithTrailingSlash(folderSpec)) == WithTrailingSlash(folderSpec);
}

bool GetFilesInPathMatchingMasks(const std::string& folderSpec, bool includeSubfolders,
                                 const StringCollection& masks, std::vector<std::string>& items)
{
    return Guarded("modKestrow.GetFilesInPathMatchingMasks", false, [&] {
        if (masks.empty())
            return true;
        // Through held folders from the root given: never through a link or into a
        // mount that takes a listed folder's place, and at any depth.
        clone_detail::FolderHandles handles;
        return filesMatchingMasks(handles, FolderSpecRef::Root(WithTrailingSlash(folderSpec), 1),
                                  includeSubfolders, masks, items) == Walk::Done;
    });
}

StringCollection GetTopLevelFolderContentsInCollection(const std::string& folderSpec, bool includeFolders)
{
    return Guarded("modKestrow.GetTopLevelFolderContentsInCollection", StringCollection(KeyCase::Sensitive),
                   [&] {
                       const std::string folder = WithTrailingSlash(folderSpec);
                       std::vector<platform::DirEntry> entries;
                       platform::listFolder(folder, entries);
                       std::vector<std::string> folders;
                       std::vector<std::string> files;
                       for (const platform::DirEntry& entry : entries) {
                           if (IsMountTrashEntry(folder, entry.name))
                               continue;
                           if (!entry.isFolder()) {
                               files.push_back(entry.name);
                               continue;
                           }
                           int32_t reason = SkipReasonNone;
                           if (includeFolders && !AreFolderAttributesSkipped(entry, reason))
                               folders.push_back(entry.name + '/');
                       }
                       QuickSortStringArray(folders);
                       QuickSortStringArray(files);
                       StringCollection contents(KeyCase::Sensitive);
                       for (const std::string& item : folders)
                           contents.Add(item, folder + item);
                       for (const std::string& item : files)
                           contents.Add(item, folder + item);
                       return contents;
                   });
}

bool PopulateIncludedItemsArray(const std::string& pstrSourceFolderSpec,
                                const std::string& pstrIncludeFileSpecs,
                                const std::string& pstrIncludeFileMasks, bool pbolIncludeSubFolders,
                                std::vector<std::string>& items, StringCollection& masks, size_t* refused)
{
    return Guarded("cClone.PopulateIncludedItemsArray", false, [&] {
        // Every item as it lies below the Source; one that leads out of it is logged and dropped.
        items = CanonicalItems(pstrIncludeFileSpecs, WithTrailingSlash(pstrSourceFolderSpec),
                               ItemRole::Include, refused);
        masks.Clear();
        FillColWithParsedStringElems(masks, pstrIncludeFileMasks, ",");
        return GetFilesInPathMatchingMasks(pstrSourceFolderSpec, pbolIncludeSubFolders, masks, items) &&
               !IsCloneCancelled();
    });
}

bool RemoveItemsMatchingExclusions(const std::string& pstrExcludeFileSpecs,
                                   const std::string& pstrExcludeFileMasks,
                                   const std::vector<std::string>& items, std::vector<std::string>& result,
                                   StringCollection& masks)
{
    return Guarded("cClone.RemoveItemsMatchingExclusions", false, [&] {
        result.clear();
        const std::vector<std::string> excludeItems = SplitString(pstrExcludeFileSpecs, kSpecSeparator);
        masks.Clear();
        FillColWithParsedStringElems(masks, pstrExcludeFileMasks, ",");
        for (const std::string& item : items) {
            const bool keep = item.ends_with('/')
                                  ? !DoesFolderMatchExclusionSpecs(item, excludeItems)
                                  : !DoesFileMatchExclusionSpecs(item, excludeItems) &&
                                        !FileMatchesPatternInCollection(GetFileNamePart(item), masks);
            if (keep)
                result.push_back(item);
            if (IsCloneCancelled())
                return false;
        }
        return true;
    });
}

bool GetFolderContents_ExclusionsUse(const std::string& folderSpec, std::vector<std::string>& items,
                                     bool includeSubfolders)
{
    return Guarded("cClone.GetFolderContents_ExclusionsUse", false, [&] {
        clone_detail::FolderHandles handles;
        return folderContents(handles, FolderSpecRef::Root(WithTrailingSlash(folderSpec), 1), items,
                              includeSubfolders) == Walk::Done;
    });
}

} // namespace kestrow
