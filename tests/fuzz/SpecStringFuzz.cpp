// libFuzzer target for spec strings and the other delimited lists of the filters
// (engine/FilterStrings.cpp). Checked on every input:
// - the input as a spec string: GetSpecSeparator follows the rule ("<:>" when the
//   string holds it; "," only for several absolute paths joined by commas; else one
//   item), the items join back into the string, PutFileSpecsInCollection keeps the
//   first of equal items (case-sensitive) in order;
// - the input split at a delimiter taken from its first bytes (letters matched
//   without regard to case) agrees with a plain reference split, and the pieces
//   with the delimiters between them give the text back;
// - the input as a mask string: the masks are its comma-separated parts trimmed of
//   spaces, the first of those equal but for case kept;
// - items made from the input and joined with "<:>" (as the program writes them)
//   split back into the same items; a single item comes back whole unless the
//   older comma rule claims it.

#include "FuzzSupport.h"

#include "engine/Filters.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace kestrow;
using fuzz::printable;
using fuzz::require;

char fold(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string folded(std::string s)
{
    for (char& c : s)
        c = fold(c);
    return s;
}

bool matchesAt(std::string_view text, std::size_t at, std::string_view delimiter)
{
    if (at + delimiter.size() > text.size())
        return false;
    for (std::size_t k = 0; k < delimiter.size(); ++k) {
        if (fold(text[at + k]) != fold(delimiter[k]))
            return false;
    }
    return true;
}

// Leftmost, non-overlapping occurrences, letters folded.
std::vector<std::string> refSplit(std::string_view text, std::string_view delimiter)
{
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    if (delimiter.empty())
        return {std::string(text)};
    std::string piece;
    std::size_t i = 0;
    while (i < text.size()) {
        if (matchesAt(text, i, delimiter)) {
            parts.push_back(piece);
            piece.clear();
            i += delimiter.size();
        } else {
            piece += text[i++];
        }
    }
    parts.push_back(piece);
    return parts;
}

std::string join(const std::vector<std::string>& items, std::string_view separator)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += separator;
        out += items[i];
    }
    return out;
}

std::string trimSpaces(const std::string& s)
{
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Whether the older rule reads a string without "<:>" as a comma list.
bool commaList(const std::string& s)
{
    const std::vector<std::string> parts = refSplit(s, ",");
    if (parts.size() < 2)
        return false;
    for (const std::string& p : parts) {
        if (p.empty() || p[0] != '/')
            return false;
    }
    return true;
}

void checkSpecString(const std::string& s)
{
    const std::string shown = printable(s);
    const std::string separator = GetSpecSeparator(s);
    const bool holdsSeparator = s.find("<:>") != std::string::npos;
    const std::string expectedSeparator = holdsSeparator || !commaList(s) ? "<:>" : ",";
    require(separator == expectedSeparator, "the separator rule", shown);

    const std::vector<std::string> items = SplitSpecString(s);
    require(items == refSplit(s, separator), "items are the parts between separators", shown);
    if (s.empty())
        require(items.empty(), "an empty spec string has no items", shown);
    else
        require(join(items, separator) == s, "items join back into the spec string", shown);

    std::vector<std::string> unique;
    std::set<std::string> seen;
    for (const std::string& item : items) {
        if (seen.insert(item).second)
            unique.push_back(item);
    }
    const StringCollection collection = PutFileSpecsInCollection(s);
    require(collection.Items() == unique, "the collection keeps the first of equal items", shown);
    for (std::size_t i = 0; i < collection.Count(); ++i)
        require(collection.Key(i) == collection.Item(i), "each item is its own key", shown);
}

void checkDelimited(const std::string& text, const std::string& delimiter)
{
    const std::string shown = printable(delimiter) + " in " + printable(text);
    const std::vector<std::string> parts = SplitString(text, delimiter);
    require(parts == refSplit(text, delimiter), "split at the delimiter, letters folded", shown);

    // Pieces and delimiters together are the text.
    std::size_t at = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        require(text.compare(at, parts[i].size(), parts[i]) == 0, "a piece is where it was", shown);
        at += parts[i].size();
        if (i + 1 < parts.size()) {
            require(matchesAt(text, at, delimiter), "a delimiter lies between pieces", shown);
            at += delimiter.size();
        }
    }
    require(at == text.size(), "the pieces cover the text", shown);

    // Untrimmed elements, the first of those equal but for case kept.
    std::vector<std::string> unique;
    std::set<std::string> seen;
    for (const std::string& p : parts) {
        if (seen.insert(folded(p)).second)
            unique.push_back(p);
    }
    require(ParseStringElementsIntoCollection(text, delimiter).Items() == unique,
            "parsed elements are untrimmed and unique ignoring case", shown);
}

void checkMaskString(const std::string& masks)
{
    const std::string shown = printable(masks);
    std::vector<std::string> unique;
    std::set<std::string> seen;
    for (const std::string& p : refSplit(masks, ",")) {
        const std::string mask = trimSpaces(p);
        if (seen.insert(folded(mask)).second)
            unique.push_back(mask);
    }
    StringCollection collection;
    FillColWithParsedStringElems(collection, masks, ",");
    require(collection.Items() == unique, "masks are trimmed and unique ignoring case", shown);
}

// Items as a person could pick them: absolute paths, folders ending with "/", names
// holding commas, blanks and the characters of the separator, but never "<:>".
std::string item(FuzzedDataProvider& in)
{
    static constexpr char kAlphabet[] = {'/', '/', 'a', 'B', ',', ' ', '<', ':', '>', '.', '\xC3', '\xA9'};
    std::string s = in.ConsumeBool() ? "/" : "";
    const int length = in.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < length; ++i)
        s += kAlphabet[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet - 1)];
    for (std::size_t at = s.find("<:>"); at != std::string::npos; at = s.find("<:>"))
        s.erase(at + 1, 1);
    return s;
}

void checkWrittenItems(FuzzedDataProvider& in)
{
    std::vector<std::string> items;
    const int count = in.ConsumeIntegralInRange<int>(1, 6);
    for (int i = 0; i < count; ++i)
        items.push_back(item(in));
    const std::string s = join(items, "<:>");
    const std::string shown = printable(s);
    const std::vector<std::string> back = SplitSpecString(s);
    if (items.size() >= 2) {
        require(back == items, "items joined with <:> split back into the same items", shown);
    } else if (s.empty()) {
        require(back.empty(), "one empty item is no item", shown);
    } else if (commaList(s)) {
        require(back == refSplit(s, ","), "one item that looks like a comma list goes by the comma rule",
                shown);
    } else {
        require(back == items, "one item comes back whole", shown);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkSpecString(text);
    checkMaskString(text);
    for (std::size_t n = 1; n <= 3 && n < text.size(); ++n)
        checkDelimited(text.substr(n), text.substr(0, n));

    FuzzedDataProvider in(data, size);
    checkWrittenItems(in);
    return 0;
}
