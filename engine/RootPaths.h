#pragma once
// One spelling for the Source and Target roots and for include and exclude items,
// whatever a person typed: absolute, lexically normal, folders ending with "/".
// Two spellings of one folder ("s/", "./s", "/home/me//s/.") then pair, compare and
// log alike, and an item can be checked to lie inside its Source by its text alone.
//
// Normalising is lexical: "." is dropped, ".." removes the name before it (never
// above "/"), runs of "/" become one. Links are not resolved (the person may name a
// link as a root; the engine holds what it resolves to). Bytes are never re-encoded,
// and a name that merely begins with dots ("..foo", "...") is an ordinary name.

#include "log/CloneLog.h"

#include <string>
#include <vector>

namespace kestrow {

// The canonical folder spec of `path`: absolute (a relative path is taken from the
// working folder), normal, with exactly one trailing "/" ("/" for the top). "." and
// ".." are taken out by their names, except that a ".." after a symbolic link
// resolves that link first, so the spec names the folder the kernel would reach.
// "" stays "" (callers refuse it), and so does a relative path when the working folder
// cannot be read.
std::string CanonicalFolderSpec(const std::string& path);

enum class ItemPlace
{
    Inside,  // at or below the Source root
    Outside, // anywhere else
};

// Where the canonical path `canonicalItem` lies against `canonicalSourceRoot` (a
// CanonicalFolderSpec result). The root itself is Inside; an empty root holds nothing.
ItemPlace PlaceOfItem(const std::string& canonicalItem, const std::string& canonicalSourceRoot);

// Normalises one include or exclude item into `out`. A relative item is taken below
// `canonicalSourceRoot` (a CanonicalFolderSpec result), not the working folder. A
// folder item (ending with "/", or with a last name of "." or "..") ends with one
// "/"; a file item has none. The root named without its "/" is the root folder
// item. Returns whether `out` lies at or below the root; false for an empty item
// (`out` then ""). `out` holds the normal form either way.
bool CanonicalItem(const std::string& item, const std::string& canonicalSourceRoot, std::string& out);

// Which filter a spec string belongs to: how it is split and how refusals are logged.
enum class ItemRole
{
    // Split by the separator rule (GetSpecSeparator). A refused file item is logged
    // as IncludeFilterFileError (19), a refused folder item as IncludeFilterFolderError (17).
    Include,
    // Split at "<:>". A refused item is logged as FolderPathError (15) with the
    // message "Exclude item is outside the Source folder.".
    Exclude,
};

// The items of `specString`, each made canonical against `canonicalSourceRoot`, in
// their order, duplicates (after normalising) dropped. Every item outside the root is
// logged to gCloneLog with its canonical form as the file name and left out; the
// number left out is added to `*refusedCount` when given. Empty items are kept as ""
// (the engine's own rules for them stay), and an empty string gives no items.
std::vector<std::string> CanonicalItems(const std::string& specString, const std::string& canonicalSourceRoot,
                                        ItemRole role, size_t* refusedCount = nullptr);

// CanonicalItems joined by "<:>", ready for a task's or the engine's spec-string
// parameters ("" when no item is left).
std::string CanonicalSpecString(const std::string& specString, const std::string& canonicalSourceRoot,
                                ItemRole role, size_t* refusedCount = nullptr);

// How a Source and a Target root overlap, by their paths with links resolved, in the
// words a run logs: "The Source and Target folders are the same folder.", "The
// Target folder lies inside the Source folder." or "The Source folder lies inside
// the Target folder."; null when they do not overlap.
const char* RootsOverlapText(const std::string& source, const std::string& target);

} // namespace kestrow
