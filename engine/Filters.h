#pragma once
// Include and exclude filters: the spec-string and mask-string formats, mask
// matching, matching paths against exclude items, the hidden/system skip tests
// with their log messages, and the small collection and path helpers they share.
//
// Paths follow the file system: folder specs end with "/", and pairing of paths
// with exclude items is case-sensitive. File masks match without regard to case.

#include "platform/DirList.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace kestrow {

enum class KeyCase
{
    Sensitive,
    Insensitive
};

// Strings in insertion order, each under a key; an item whose key is already
// present is passed over. Insensitive keys fold the ASCII letters only (other
// bytes of UTF-8 names compare as they are).
class StringCollection
{
public:
    explicit StringCollection(KeyCase keyCase = KeyCase::Insensitive) : m_keyCase(keyCase) {}

    // Adds `item` under `key`. Returns false, adding nothing, when the key is taken.
    bool Add(const std::string& item, const std::string& key);
    bool Add(const std::string& item) { return Add(item, item); }

    size_t Count() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    // 0-based.
    const std::string& Item(size_t index) const { return m_items.at(index); }
    const std::string& Key(size_t index) const { return m_keys.at(index); }
    bool ContainsKey(const std::string& key) const;
    const std::vector<std::string>& Items() const { return m_items; }
    KeyCase keyCase() const { return m_keyCase; }
    void Clear();

private:
    std::string indexKey(const std::string& key) const;

    KeyCase m_keyCase;
    std::vector<std::string> m_items;
    std::vector<std::string> m_keys;
    std::unordered_set<std::string> m_index;
};

// The separator of include and exclude spec strings.
inline constexpr const char* kSpecSeparator = "<:>";

// Splits `text` at every occurrence of `delimiter` (ASCII letters compared without
// regard to case). An empty text gives no elements; empty elements between
// delimiters are kept. An empty delimiter gives the whole text.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);

// Splits `text` at `delimiter`, trims blanks (spaces) from both ends of each
// element and adds it to `collection` under itself; duplicates are passed over.
void FillColWithParsedStringElems(StringCollection& collection, const std::string& text,
                                  const std::string& delimiter);

// The untrimmed elements of `text` split at `delimiter`, duplicates passed over;
// empty for an empty text.
StringCollection ParseStringElementsIntoCollection(const std::string& text, const std::string& delimiter,
                                                   KeyCase keyCase = KeyCase::Insensitive);

// The separator of a spec string: "<:>" when it holds "<:>". An older string
// without it is one item ("<:>") unless it is several absolute paths joined by
// "," (every part between commas non-empty and beginning with "/"); then ",".
std::string GetSpecSeparator(const std::string& specString);

// The items of a spec string, split by GetSpecSeparator; duplicates (compared
// case-sensitively, as paths) are passed over. Items are not trimmed.
StringCollection PutFileSpecsInCollection(const std::string& specString);

// The items of a spec string split by GetSpecSeparator, duplicates kept.
std::vector<std::string> SplitSpecString(const std::string& specString);

// Whether the file name `name` (no folder) matches the wildcard `mask`: "?" one
// character, "*" any run (also none), "#" one digit, "[a-z0]" one character of the
// list, "[!a]" one character not in it. Letters compare without regard to case. A
// character is one UTF-8 sequence; a byte that is not valid UTF-8 is one character.
// A "[" without its "]" stands for itself.
bool MaskMatches(const std::string& name, const std::string& mask);

// The name matches any mask of `masks`. False for an empty collection.
bool FileMatchesPatternInCollection(const std::string& fileName, const StringCollection& masks);

// True when an exclude file item (not ending with "/") equals `fileSpec`, or an
// exclude folder item (ending with "/") begins `fileSpec` (the file lies in an
// excluded folder). Case-sensitive.
bool DoesFileMatchExclusionSpecs(const std::string& fileSpec, const std::vector<std::string>& excludeItems);

// True when an exclude folder item equals `folderSpec` or begins it. Exclude file
// items are not considered. `folderSpec` is taken as a folder: a missing trailing
// "/" is supplied. Case-sensitive.
bool DoesFolderMatchExclusionSpecs(const std::string& folderSpec,
                                   const std::vector<std::string>& excludeItems);

// The part after the last "/" (the whole string when there is none).
std::string GetFileNamePart(const std::string& spec);
// The part up to and including the last "/" (the whole string when there is none).
std::string GetFolderPart(const std::string& spec);

// "spec" with a trailing "/" (unchanged when it has one or is empty).
std::string WithTrailingSlash(const std::string& spec);

// Whether a task name holds one of \ / : * ? " < > |.
bool StringContainsIllegalFileNameCharacter(const std::string& text);

// Sorts ascending without regard to case (ASCII letters folded; ties in byte
// order, so equal-but-for-case names keep a fixed order). Moves, never copies.
void QuickSortStringArray(std::vector<std::string>& array);

// Skip reasons of the hidden/system tests.
enum SkipReasonValue : int32_t
{
    SkipReasonNone = 0,
    SkipReasonHidden = 2,
    SkipReasonSystem = 4,
};

// The skip tests. Each returns true with `SkipReason` 4 when the system attribute
// is set and its "ignore system" option (on gCompare) is on, else 2 when the
// hidden attribute is set and its "ignore hidden" option is on; otherwise false
// with 0. Hidden: the name begins with "."; system: a FIFO, socket or device node.
//
// By path, file options. A path whose attributes cannot be read counts as having
// every attribute set.
bool IsFileSkipped(const std::string& fileSpec, int32_t& SkipReason);
// From a directory entry already read, file options.
bool IsFindDataSkipped(const platform::DirEntry& entry, int32_t& SkipReason);
// By path (a trailing "/" allowed; a final link is not followed), folder options.
// A path whose attributes cannot be read counts as having every attribute set.
bool IsFolderPathSkipped(const std::string& folderSpec, int32_t& SkipReason);
// By path, folder options; a folder that is not there is never skipped.
bool IsFolderObjectSkipped(const std::string& folderSpec, int32_t& SkipReason);
// From a directory entry already read, folder options.
bool AreFolderAttributesSkipped(const platform::DirEntry& entry, int32_t& SkipReason);

// Who was skipped, which picks the wording of the log message.
enum class SkipSubject
{
    File, // a target file met by the orphan check
    SourceFile,
    TargetFile,
    Folder, // a folder met by a listing
    SourceFolder,
    TargetFolder,
};

// The message for a skip (it ends with "- '"; callers append the path and "' ").
// Empty for a reason other than 2 or 4.
std::string SkipMessage(SkipSubject subject, int32_t reason);

// Adds the kind 21 ("Information Only") entry for a skip to gCloneLog: the
// message, `spec` and "' ".
void LogSkip(SkipSubject subject, int32_t reason, const std::string& spec);

} // namespace kestrow
