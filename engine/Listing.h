#pragma once
// Folder listings that turn a folder and a set of filters into lists of file and
// folder specs. Only "." and ".." are passed over; dot-folders are hidden folders
// and follow the hidden-folder skip option. Symbolic links are listed as files and
// never descended. The trash folders ".Trash" and ".Trash-<uid>" at the top of a
// mounted file system are never listed. A folder that cannot be listed yields no
// items and no error. Every listing polls IsCloneCancelled once per entry.

#include "engine/Filters.h"

#include <string>
#include <vector>

namespace kestrow {

// Appends to `items` the spec of every file of `folderSpec` whose name matches
// `masks`, descending depth-first into subfolders when `includeSubfolders` (a
// subfolder skipped by its attributes is logged as kind 21 and not entered).
// Nothing is listed when `masks` is empty. False when cancelled or on an
// unexpected error ("modKestrow.GetFilesInPathMatchingMasks").
bool GetFilesInPathMatchingMasks(const std::string& folderSpec, bool includeSubfolders,
                                 const StringCollection& masks, std::vector<std::string>& items);

// The direct children of `folderSpec`: with `includeFolders` first the subfolders
// (item name + "/"), sorted, then the files (item: the bare name), sorted; each
// under the key folderSpec + item (case-sensitive, so "A" and "a" are both
// there). Subfolders skipped by the folder options are left out without logging.
// Unexpected errors: "modKestrow.GetTopLevelFolderContentsInCollection", empty.
StringCollection GetTopLevelFolderContentsInCollection(const std::string& folderSpec, bool includeFolders);

// Fills `items` with the include items of `pstrIncludeFileSpecs` (split by
// GetSpecSeparator) followed by every file of the source folder (and of its
// subfolders with `pbolIncludeSubFolders`) that matches the include masks, which
// replace the contents of `masks`. False when cancelled or on an unexpected error
// ("cClone.PopulateIncludedItemsArray"). Items are made canonical below the
// Source; one that leads out of it is logged, left out and counted in `*refused`.
bool PopulateIncludedItemsArray(const std::string& pstrSourceFolderSpec,
                                const std::string& pstrIncludeFileSpecs,
                                const std::string& pstrIncludeFileMasks, bool pbolIncludeSubFolders,
                                std::vector<std::string>& items, StringCollection& masks,
                                size_t* refused = nullptr);

// Copies to `result` (emptied first) the items of `items` that no exclusion
// matches: a file item is kept unless DoesFileMatchExclusionSpecs or its name
// matches the exclude masks, a folder item unless DoesFolderMatchExclusionSpecs.
// The exclude specs are split at "<:>"; the masks replace the contents of `masks`. False when
// cancelled or on an unexpected error ("cClone.RemoveItemsMatchingExclusions").
bool RemoveItemsMatchingExclusions(const std::string& pstrExcludeFileSpecs,
                                   const std::string& pstrExcludeFileMasks,
                                   const std::vector<std::string>& items, std::vector<std::string>& result,
                                   StringCollection& masks);

// Appends every file of `folderSpec` and, with `includeSubfolders`, of its
// subfolders (depth-first), and every empty folder as its own spec (ending "/"),
// so that it is created in the Target. A subfolder skipped by its attributes is
// logged as kind 21 and not entered, but still makes its parent non-empty. False
// when cancelled or on an unexpected error ("cClone.GetFolderContents_ExclusionsUse").
bool GetFolderContents_ExclusionsUse(const std::string& folderSpec, std::vector<std::string>& items,
                                     bool includeSubfolders);

// Whether `name` is the name of a trash folder at a mount's top (".Trash", or
// ".Trash-" followed by digits).
bool IsTrashFolderName(const std::string& name);

// Whether `name` in `folderSpec` is a trash folder at the top of a mounted file
// system (".Trash" or ".Trash-" followed by digits), which no listing shows.
bool IsMountTrashEntry(const std::string& folderSpec, const std::string& name);

} // namespace kestrow
