// The text side of the filters: collections, spec and mask strings, mask
// matching and path pairing. Nothing here touches the file system or the log.

#include "engine/Filters.h"

#include "base/ErrorReporter.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <algorithm>
#include <string_view>

namespace kestrow {

namespace {

constexpr uint32_t kBadByteBase = 0x110000; // past Unicode: stands for a byte that is not valid UTF-8

// Decodes the character at `pos` and moves past it. A byte that does not start a
// well-formed sequence is a character of its own.
uint32_t nextChar(std::string_view s, size_t& pos)
{
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    size_t length = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    }
    bool wellFormed = length != 0 && pos + length <= s.size();
    for (size_t i = 1; wellFormed && i < length; ++i) {
        const auto next = static_cast<unsigned char>(s[pos + i]);
        wellFormed = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3Fu);
    }
    if (wellFormed && code >= least && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
        pos += length;
        return code;
    }
    ++pos;
    return kBadByteBase + lead;
}

bool sameLetter(uint32_t a, uint32_t b)
{
    return util::asciiLower(a) == util::asciiLower(b);
}

bool inRange(uint32_t c, uint32_t low, uint32_t high)
{
    using util::asciiLower, util::asciiUpper;
    return (c >= low && c <= high) ||
           (asciiLower(c) >= asciiLower(low) && asciiLower(c) <= asciiLower(high)) ||
           (asciiUpper(c) >= asciiUpper(low) && asciiUpper(c) <= asciiUpper(high));
}

// Whether `c` is one of the list between `open` ("[") and `close` ("]").
bool listHolds(std::string_view mask, size_t open, size_t close, uint32_t c)
{
    size_t pos = open + 1;
    bool negated = false;
    if (pos < close && mask[pos] == '!') {
        negated = true;
        ++pos;
    }
    bool found = false;
    while (pos < close) {
        const uint32_t low = nextChar(mask, pos);
        // A "-" between two characters makes a range; first or last it is itself.
        if (pos + 1 < close && mask[pos] == '-') {
            ++pos;
            const uint32_t high = nextChar(mask, pos);
            found = found || inRange(c, low, high);
        } else {
            found = found || sameLetter(c, low);
        }
    }
    return found != negated;
}

// SplitString's search: an empty delimiter is never found.
size_t findNoCase(const std::string& text, const std::string& part, size_t from)
{
    return part.empty() ? std::string::npos : util::findIgnoringCase(text, part, from);
}

// Letters folded, and names equal but for case in byte order, so the sort is total.
bool lessNoCase(const std::string& a, const std::string& b)
{
    const int folded = util::compareIgnoringCase(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

bool StringCollection::Add(const std::string& item, const std::string& key)
{
    if (!m_index.insert(indexKey(key)).second)
        return false;
    m_items.push_back(item);
    m_keys.push_back(key);
    return true;
}

bool StringCollection::ContainsKey(const std::string& key) const
{
    return m_index.contains(indexKey(key));
}

void StringCollection::Clear()
{
    m_items.clear();
    m_keys.clear();
    m_index.clear();
}

std::string StringCollection::indexKey(const std::string& key) const
{
    if (m_keyCase == KeyCase::Sensitive)
        return key;
    return util::asciiLower(key);
}

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter)
{
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    size_t start = 0;
    for (size_t at = findNoCase(text, delimiter, 0); at != std::string::npos;
         at = findNoCase(text, delimiter, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + delimiter.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

void FillColWithParsedStringElems(StringCollection& collection, const std::string& text,
                                  const std::string& delimiter)
{
    Guarded("modKestrow.FillColWithParsedStringElems", [&] {
        for (const std::string& element : SplitString(text, delimiter))
            collection.Add(std::string(util::trimSpaces(element)));
    });
}

StringCollection ParseStringElementsIntoCollection(const std::string& text, const std::string& delimiter,
                                                   KeyCase keyCase)
{
    StringCollection collection(keyCase);
    Guarded("modKestrow.ParseStringElementsIntoCollection", [&] {
        for (const std::string& element : SplitString(text, delimiter))
            collection.Add(element);
    });
    return collection;
}

std::string GetSpecSeparator(const std::string& specString)
{
    if (specString.find(kSpecSeparator) != std::string::npos)
        return kSpecSeparator;
    // File names may hold commas; only a list of absolute paths is split at them.
    const std::vector<std::string> parts = SplitString(specString, ",");
    const bool severalPaths =
        parts.size() > 1 &&
        std::all_of(parts.begin(), parts.end(), [](const auto& part) { return part.starts_with('/'); });
    return severalPaths ? "," : kSpecSeparator;
}

std::vector<std::string> SplitSpecString(const std::string& specString)
{
    return SplitString(specString, GetSpecSeparator(specString));
}

StringCollection PutFileSpecsInCollection(const std::string& specString)
{
    StringCollection collection(KeyCase::Sensitive);
    Guarded("modKestrow.PutFileSpecsInCollection", [&] {
        for (const std::string& item : SplitSpecString(specString))
            collection.Add(item);
    });
    return collection;
}

bool MaskMatches(const std::string& nameText, const std::string& maskText)
{
    const std::string_view name(nameText);
    const std::string_view mask(maskText);
    size_t n = 0;
    size_t p = 0;
    // Where the last "*" let the match resume: the pattern after it and the name
    // position it has swallowed up to.
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    for (;;) {
        if (p < mask.size()) {
            const char pc = mask[p];
            if (pc == '*') {
                starP = ++p;
                starN = n;
                continue;
            }
            size_t close = std::string_view::npos;
            if (pc == '[') {
                close = mask.find(']', p + 1);
                if (close == p + 1) { // "[]" matches the empty string
                    p = close + 1;
                    continue;
                }
            }
            if (n < name.size()) {
                size_t nextN = n;
                const uint32_t c = nextChar(name, nextN);
                size_t nextP = p + 1;
                bool ok = false;
                if (pc == '?') {
                    ok = true;
                } else if (pc == '#') {
                    ok = c >= '0' && c <= '9';
                } else if (pc == '[' && close != std::string_view::npos) {
                    ok = listHolds(mask, p, close, c);
                    nextP = close + 1;
                } else {
                    nextP = p;
                    ok = sameLetter(c, nextChar(mask, nextP));
                }
                if (ok) {
                    n = nextN;
                    p = nextP;
                    continue;
                }
            }
        } else if (n == name.size()) {
            return true;
        }
        // Mismatch: let the last "*" swallow one more character, if it can.
        if (starP == std::string_view::npos || starN >= name.size())
            return false;
        nextChar(name, starN);
        n = starN;
        p = starP;
    }
}

bool FileMatchesPatternInCollection(const std::string& fileName, const StringCollection& masks)
{
    return Guarded("modKestrow.FileMatchesPatternInCollection", false, [&] {
        return std::any_of(masks.Items().begin(), masks.Items().end(),
                           [&](const std::string& mask) { return MaskMatches(fileName, mask); });
    });
}

bool DoesFileMatchExclusionSpecs(const std::string& fileSpec, const std::vector<std::string>& excludeItems)
{
    return Guarded("modKestrow.DoesFileMatchExclusionSpecs", false, [&] {
        for (const std::string& item : excludeItems) {
            if (item.ends_with('/') ? fileSpec.starts_with(item) : fileSpec == item)
                return true;
        }
        return false;
    });
}

bool DoesFolderMatchExclusionSpecs(const std::string& folderSpec,
                                   const std::vector<std::string>& excludeItems)
{
    return Guarded("modKestrow.DoesFolderMatchExclusionSpecs", false, [&] {
        const std::string folder = WithTrailingSlash(folderSpec);
        for (const std::string& item : excludeItems) {
            if (item.ends_with('/') && folder.starts_with(item))
                return true;
        }
        return false;
    });
}

std::string GetFileNamePart(const std::string& spec)
{
    const size_t slash = spec.rfind('/');
    return slash == std::string::npos ? spec : spec.substr(slash + 1);
}

std::string GetFolderPart(const std::string& spec)
{
    const size_t slash = spec.rfind('/');
    return slash == std::string::npos ? spec : spec.substr(0, slash + 1);
}

std::string WithTrailingSlash(const std::string& spec)
{
    if (spec.empty() || spec.ends_with('/'))
        return spec;
    return spec + '/';
}

bool StringContainsIllegalFileNameCharacter(const std::string& text)
{
    return text.find_first_of("\\/:*?\"<>|") != std::string::npos;
}

void QuickSortStringArray(std::vector<std::string>& array)
{
    Guarded("modQuickSortStringArray.QuickSortStringArray",
            [&] { std::sort(array.begin(), array.end(), lessNoCase); });
}

} // namespace kestrow
