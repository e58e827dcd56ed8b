#pragma once
// An INI text held in memory, read and changed the way the Windows profile functions
// (GetPrivateProfileString, GetPrivateProfileInt, WritePrivateProfileString) read and
// change an INI file: the task lists and the options file keep that format.
//
// Reading:
// - Lines end with LF or CR LF; the last line may lack its line break. Text is bytes:
//   never re-encoded; NUL and other binary bytes are ordinary characters.
// - A line whose first non-blank character is "[" and that contains a "]" starts a
//   section; its name is the text between that "[" and the last "]", blanks trimmed.
// - Inside a section, a line with "=" is a key line: the name is the text before the
//   first "=", the value the text after it, both with blanks (space, tab, CR, VT, FF,
//   ^Z) trimmed. Lines without "=" are passed over, as are key lines before the first
//   section. A key name that itself contains "=" or looks like a section header
//   cannot be read back.
// - Section and key names match with ASCII case folding, after trimming the names
//   asked for. With duplicates the first matching section, and in it the first
//   matching key, wins.
// - A value enclosed in one pair of matching quotes (" or ') reads without them.
//
// Changing (nothing is written to disk until save):
// - An existing key line is rewritten in place: the text up to its "=" is kept and
//   the value after it replaced; every other byte of the text stays as it was.
// - A new key goes after the last key line of its section (before blank lines and
//   comments that trail the section); into a section without keys, right after its
//   header line.
// - A new section goes at the end of the text as "[name]" and its first key, with no
//   blank line before it (as WritePrivateProfileString appends one).
// - Deleting a key removes its line; deleting a section removes its header and every
//   line up to the next section header. Only the first match is removed.
// - New lines end with LF; existing lines keep their own line break. A last line
//   without a line break gets LF once something follows it.
// - Line breaks cannot be stored in a value or name: they are cut at the first CR or
//   LF. An empty (after trimming) section or key name matches nothing and writes
//   nothing.
//
// Lookups and changes cost O(1) on average (hashed by folded name), so documents of
// tens of thousands of keys load, change and save in milliseconds.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrow {

// The most characters a profile string read returns; longer values are cut.
inline constexpr std::size_t IniMaxValueChars = 16383;

class IniDocument
{
public:
    // An empty document.
    IniDocument() : IniDocument(std::string_view{}) {}
    // Parses `text`. Never fails: any bytes are accepted.
    explicit IniDocument(std::string_view text);

    // Reads and parses the file at `path`. A missing file (or missing folder) gives an
    // empty document and `err` 0; any other read failure gives an empty document and
    // the errno in `err`. The document remembers `path` for save().
    static IniDocument load(const std::string& path, int& err);

    // Writes text() to the path given to load(), atomically (temporary file in the same
    // folder, flushed, renamed over the file). Returns 0 or errno. Writes even when
    // nothing changed. Fails with EINVAL when the document was not loaded from a path.
    int save() const;
    // As save(), to `path`.
    int saveAs(const std::string& path) const;
    const std::string& filePath() const { return m_filePath; }

    // The whole text as it would be written.
    std::string text() const;

    // Whether any change was made since parsing. Setting a key to the value it already
    // has is no change.
    bool modified() const { return m_modified; }

    // The value of `key` in `section`, trimmed and without enclosing quotes, uncut;
    // nullopt when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // GetStringValue semantics: the value cut to IniMaxValueChars, or `defaultValue`
    // when the key, its section or the value is missing or empty.
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    // GetPrivateProfileInt semantics: `defaultValue` when the key is missing or its
    // value is empty; otherwise the leading decimal number of the value (blanks skipped,
    // one optional sign, digits up to the first other character, at most 29 characters
    // looked at, wrapping modulo 2^32), 0 when there are no digits.
    int32_t getInt(std::string_view section, std::string_view key, int32_t defaultValue) const;

    bool hasSection(std::string_view section) const;

    // Names of the sections in file order, as their headers give them (trimmed),
    // duplicates included, deleted ones left out.
    std::vector<std::string> sectionNames() const;
    // The names of the keys `section` holds (its first section of that name), ASCII
    // letters folded to lower case, in no particular order. Empty for a missing section.
    // A count read from a file is bounded by this: only keys that are there can be read.
    std::vector<std::string> foldedKeyNames(std::string_view section) const;

    // WritePrivateProfileString with a value: creates the section or the key as needed
    // or replaces the value in place. An empty value writes "key=".
    void setString(std::string_view section, std::string_view key, std::string_view value);

    // Removes the first matching key line of the first matching section. Returns
    // whether there was one.
    bool deleteKey(std::string_view section, std::string_view key);

    // Removes the first matching section with all its lines. Returns whether there
    // was one.
    bool deleteSection(std::string_view section);

private:
    enum class Eol : uint8_t
    {
        None,
        Lf,
        CrLf
    };

    struct Line
    {
        std::string text; // without its line break
        Eol eol = Eol::Lf;
        bool deleted = false;
        std::size_t equals = 0; // position of the first "=" in a key line
    };

    struct Section
    {
        std::string name; // trimmed header name; empty for the lines before the first header
        bool deleted = false;
        // The header line (when there is one) and every line up to the last key line.
        // New keys are appended here, so indices into `body` never move.
        std::vector<Line> body;
        // Lines after the last key line (blank lines, comments) up to the next header.
        std::vector<Line> tail;
        // Folded key name -> indices into `body`, in file order.
        std::unordered_map<std::string, std::vector<uint32_t>> keys;
    };

    const Section* findSection(std::string_view section) const;
    Section* findSection(std::string_view section);
    const Line* findKey(std::string_view section, std::string_view key) const;
    // Adds a section at the end; with a header line "[name]" unless it is the lines
    // before the first header. Returns its index.
    uint32_t appendSection(std::string_view name, bool withHeader, Eol headerEol = Eol::Lf,
                           std::string_view headerText = {});

    std::vector<Section> m_sections; // [0]: the lines before the first header
    // Folded section name -> indices into m_sections of the live sections, in file order.
    std::unordered_map<std::string, std::vector<uint32_t>> m_sectionIndex;
    std::string m_filePath;
    bool m_modified = false;
};

} // namespace kestrow
