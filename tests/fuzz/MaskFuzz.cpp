// libFuzzer target for file masks (engine/FilterStrings.cpp). The input gives a
// name and a mask: as raw bytes, spelled from the characters masks are made of, or
// a mask made from the name so that it must match. Checked on every input:
// - MaskMatches agrees with a reference matcher written here (dynamic programming
//   over characters, a character being one UTF-8 sequence or one stray byte) for
//   every mask whose ranges have a plain meaning: both ends lower-case letters,
//   both upper-case, or no ASCII letter within the range;
// - for every mask: a name it matches is also matched with "*" put before or
//   after the mask;
// - a mask string of several masks matches a name exactly when one of its
//   trimmed parts does (FileMatchesPatternInCollection);
// - a mask made to match a name does.

#include "FuzzSupport.h"

#include "engine/Filters.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace kestrow;
using fuzz::printable;
using fuzz::require;

constexpr uint32_t kStrayByte = 0x110000;

// Code points; a byte that does not begin a well-formed, shortest, non-surrogate
// sequence stands alone as kStrayByte + byte.
std::vector<uint32_t> decode(std::string_view s)
{
    std::vector<uint32_t> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        uint32_t cp = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
        bool ok = n > 0 && i + static_cast<std::size_t>(n) <= s.size();
        for (int k = 1; ok && k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && cp >= kLeast[n] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (ok) {
            out.push_back(cp);
            i += static_cast<std::size_t>(n);
        } else {
            out.push_back(kStrayByte + b);
            ++i;
        }
    }
    return out;
}

bool isLower(uint32_t c)
{
    return c >= 'a' && c <= 'z';
}
bool isUpper(uint32_t c)
{
    return c >= 'A' && c <= 'Z';
}
uint32_t otherCase(uint32_t c)
{
    return isLower(c) ? c - 32 : isUpper(c) ? c + 32 : c;
}

struct Token
{
    enum Kind
    {
        Literal,
        Any,
        Digit,
        Star,
        Empty,
        List
    } kind = Literal;
    uint32_t c = 0;
    bool negated = false;
    std::vector<std::pair<uint32_t, uint32_t>> ranges; // singles as (c, c)
};

// The mask as tokens; `plain` turns false for a range whose meaning with letters
// folded is not the obvious one.
std::vector<Token> tokens(const std::vector<uint32_t>& m, bool& plain)
{
    std::vector<Token> out;
    plain = true;
    for (std::size_t p = 0; p < m.size();) {
        Token t;
        const uint32_t c = m[p];
        if (c == '*') {
            t.kind = Token::Star;
        } else if (c == '?') {
            t.kind = Token::Any;
        } else if (c == '#') {
            t.kind = Token::Digit;
        } else if (c == '[') {
            const auto close = std::find(m.begin() + static_cast<long>(p) + 1, m.end(), uint32_t(']'));
            if (close != m.end()) {
                const std::size_t end = static_cast<std::size_t>(close - m.begin());
                std::size_t q = p + 1;
                t.kind = end == q ? Token::Empty : Token::List;
                if (q < end && m[q] == '!') {
                    t.negated = true;
                    ++q;
                }
                while (q < end) {
                    const uint32_t low = m[q++];
                    if (q + 1 < end && m[q] == '-') {
                        const uint32_t high = m[q + 1];
                        q += 2;
                        const bool letters =
                            (isLower(low) && isLower(high)) || (isUpper(low) && isUpper(high));
                        const bool noLetters =
                            !isLower(low) && !isUpper(low) && !isLower(high) && !isUpper(high) &&
                            (low > high || high < 'A' || low > 'z' || (low > 'Z' && high < 'a'));
                        plain = plain && (letters || noLetters);
                        t.ranges.emplace_back(low, high);
                    } else {
                        t.ranges.emplace_back(low, low);
                    }
                }
                out.push_back(t);
                p = end + 1;
                continue;
            }
            t.c = c;
        } else {
            t.c = c;
        }
        out.push_back(t);
        ++p;
    }
    return out;
}

bool holds(const Token& t, uint32_t c)
{
    bool found = false;
    for (const auto& [low, high] : t.ranges) {
        found = found || (c >= low && c <= high) || (otherCase(c) >= low && otherCase(c) <= high);
    }
    return found != t.negated;
}

bool refMatches(const std::vector<uint32_t>& name, const std::vector<Token>& mask)
{
    // can[j][i]: mask tokens from j on match the name from i on.
    const std::size_t n = name.size(), m = mask.size();
    std::vector<char> can((m + 1) * (n + 1), 0);
    auto at = [&](std::size_t j, std::size_t i) -> char& { return can[j * (n + 1) + i]; };
    at(m, n) = 1;
    for (std::size_t j = m; j-- > 0;) {
        const Token& t = mask[j];
        for (std::size_t i = n + 1; i-- > 0;) {
            const bool more = i < n;
            bool ok = false;
            switch (t.kind) {
            case Token::Star:
                ok = at(j + 1, i) || (more && at(j, i + 1));
                break;
            case Token::Empty:
                ok = at(j + 1, i);
                break;
            case Token::Any:
                ok = more && at(j + 1, i + 1);
                break;
            case Token::Digit:
                ok = more && name[i] >= '0' && name[i] <= '9' && at(j + 1, i + 1);
                break;
            case Token::Literal:
                ok = more && (name[i] == t.c || otherCase(name[i]) == t.c) && at(j + 1, i + 1);
                break;
            case Token::List:
                ok = more && holds(t, name[i]) && at(j + 1, i + 1);
                break;
            }
            at(j, i) = ok;
        }
    }
    return at(0, 0);
}

void checkPair(const std::string& name, const std::string& mask)
{
    const std::string shown = "name " + printable(name) + " mask " + printable(mask);
    const bool matches = MaskMatches(name, mask);
    if (matches) {
        require(MaskMatches(name, "*" + mask), "a star before the mask still matches", shown);
        require(MaskMatches(name, mask + "*"), "a star after the mask still matches", shown);
    }
    const std::vector<uint32_t> n = decode(name), m = decode(mask);
    if (n.size() * m.size() > 1000000)
        return;
    bool plain = true;
    const std::vector<Token> t = tokens(m, plain);
    if (plain)
        require(matches == refMatches(n, t), "MaskMatches agrees with the reference", shown);
}

void checkMaskString(const std::string& name, const std::string& masks)
{
    StringCollection collection;
    FillColWithParsedStringElems(collection, masks, ",");
    bool any = false;
    for (const std::string& mask : collection.Items())
        any = any || MaskMatches(name, mask);
    require(FileMatchesPatternInCollection(name, collection) == any, "a name matches when any mask does",
            "name " + printable(name) + " masks " + printable(masks));
    if (masks.empty())
        require(!any, "no masks match nothing", printable(name));
}

// Names and masks spelled from the characters that mean something in a mask, so
// that short inputs reach lists, ranges and stars.
std::string spelled(FuzzedDataProvider& in, std::size_t length)
{
    static constexpr const char* kPieces[] = {"a", "b", "Z",        "z",        "0",    "9",    ".",
                                              "-", "!", "*",        "?",        "#",    "[",    "]",
                                              ",", " ", "\xC3\xA9", "\xC3\x89", "\xFF", "\xC3", "_"};
    std::string s;
    for (std::size_t i = 0; i < length; ++i)
        s += kPieces[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kPieces) - 1)];
    return s;
}

// A mask made to match `name`: each character kept (its letter case flipped at
// times), or replaced by "?", "#" for a digit, a list or range that holds it, a
// negated list that does not, or a "*" that swallows a run.
std::string maskFor(FuzzedDataProvider& in, const std::string& name)
{
    const std::vector<uint32_t> chars = decode(name);
    std::string mask;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        // The bytes of this character in `name`.
        std::size_t length = 1;
        if (chars[i] < kStrayByte)
            length = chars[i] < 0x80 ? 1 : chars[i] < 0x800 ? 2 : chars[i] < 0x10000 ? 3 : 4;
        const std::string c = name.substr(byte, length);
        byte += length;
        const uint32_t cp = chars[i];
        const bool special =
            cp == '*' || cp == '?' || cp == '#' || cp == '[' || cp == ']' || cp == '!' || cp == '-';
        switch (in.ConsumeIntegralInRange<int>(0, 6)) {
        case 0:
            mask += "?";
            break;
        case 1:
            mask += cp >= '0' && cp <= '9' ? "#" : "?";
            break;
        case 2: // a list holding it
            mask += special ? (cp == ']' ? std::string("?") : "[" + c + "]") : "[x" + c + "0]";
            break;
        case 3: // a range around a letter or digit, in the letter's own case
            if (isLower(cp))
                mask += "[a-z]";
            else if (isUpper(cp))
                mask += "[A-Z]";
            else if (cp >= '0' && cp <= '9')
                mask += "[0-9]";
            else
                mask += "?";
            break;
        case 4: // a negated list without it
            mask += cp == 'q' || cp == 'Q' || cp == ']' ? "?" : "[!q]";
            break;
        case 5: { // a star swallowing this and the next few characters
            mask += "*";
            const std::size_t skip = in.ConsumeIntegralInRange<std::size_t>(0, 3);
            for (std::size_t k = 0; k < skip && i + 1 < chars.size(); ++k) {
                ++i;
                byte += chars[i] < 0x80 || chars[i] >= kStrayByte ? 1
                        : chars[i] < 0x800                        ? 2
                        : chars[i] < 0x10000                      ? 3
                                                                  : 4;
            }
            break;
        }
        default: // itself, the case of a letter flipped at times
            if (special)
                mask += cp == ']' ? std::string("?") : "[" + c + "]";
            else if ((isLower(cp) || isUpper(cp)) && in.ConsumeBool())
                mask += static_cast<char>(otherCase(cp));
            else
                mask += c;
            break;
        }
    }
    return mask;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    std::string name, mask;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
    case 1: { // raw: name and mask apart at the first NUL
        const std::string rest = in.ConsumeRemainingBytesAsString();
        const std::size_t nul = rest.find('\0');
        name = rest.substr(0, nul);
        mask = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
        break;
    }
    case 2: {
        const std::size_t nameLength = in.ConsumeIntegralInRange<std::size_t>(0, 24);
        const std::size_t maskLength = in.ConsumeIntegralInRange<std::size_t>(0, 16);
        name = spelled(in, nameLength);
        mask = spelled(in, maskLength);
        break;
    }
    default: {
        name = spelled(in, in.ConsumeIntegralInRange<std::size_t>(1, 24));
        mask = maskFor(in, name);
        bool plain = true;
        tokens(decode(mask), plain);
        require(!plain || MaskMatches(name, mask), "a mask made to match a name matches it",
                "name " + printable(name) + " mask " + printable(mask));
        break;
    }
    }
    checkPair(name, mask);
    checkMaskString(name, mask);
    return 0;
}
