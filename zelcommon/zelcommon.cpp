// The exported functions of libzelcommon.so. Each export turns its counted
// arguments into views, does the work on standard strings and hands back a
// malloc'd copy. Nothing may escape the C boundary: a failure inside (in
// practice only running out of memory) gives the empty string or 0.

#include "zelcommon/zelcommon.h"

#include "platform/FileProbe.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using Bytes = std::string_view;
using kestrow::platform::EntryKind;
namespace util = kestrow::util;

constexpr size_t kMaxLength = static_cast<size_t>(std::numeric_limits<int32_t>::max());

Bytes arg(const ZcString* s)
{
    if (!s || !s->data || s->length <= 0)
        return {};
    return {s->data, static_cast<size_t>(s->length)};
}

ZcString result(Bytes bytes)
{
    if (bytes.size() > kMaxLength)
        return {nullptr, 0};
    auto* data = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (!data)
        return {nullptr, 0};
    if (!bytes.empty())
        std::memcpy(data, bytes.data(), bytes.size());
    data[bytes.size()] = '\0';
    return {data, static_cast<int32_t>(bytes.size())};
}

template <typename Fn> ZcString guardedString(Fn&& fn) noexcept
{
    try {
        return result(fn());
    } catch (...) {
        return {nullptr, 0};
    }
}

template <typename Fn> int16_t guardedFlag(Fn&& fn) noexcept
{
    try {
        return fn() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

using util::onlySpaces;

// ---- names and extensions ------------------------------------------------------

Bytes extensionOf(Bytes name)
{
    if (onlySpaces(name))
        return {};
    const size_t dot = name.rfind('.');
    return dot == Bytes::npos ? Bytes{} : name.substr(dot + 1);
}

Bytes baseOf(Bytes name)
{
    if (onlySpaces(name))
        return {};
    const size_t dot = name.rfind('.');
    return dot == Bytes::npos ? name : name.substr(0, dot);
}

std::string concat(std::initializer_list<Bytes> parts)
{
    std::string out;
    size_t total = 0;
    for (Bytes part : parts)
        total += part.size();
    out.reserve(total);
    for (Bytes part : parts)
        out.append(part);
    return out;
}

// ---- case ----------------------------------------------------------------------

// Letters of ProperCase: A-Z, a-z and the seven accented code page 437 pairs.
struct CaseTable
{
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
    std::array<bool, 256> letter{};

    constexpr CaseTable()
    {
        for (int c = 0; c < 256; ++c) {
            upper[c] = lower[c] = static_cast<unsigned char>(c);
        }
        for (int c = 'A'; c <= 'Z'; ++c)
            pair(static_cast<unsigned char>(c), static_cast<unsigned char>(c + 32));
        pair(0x8E, 0x84); // Ä ä
        pair(0x99, 0x94); // Ö ö
        pair(0x9A, 0x81); // Ü ü
        pair(0x90, 0x82); // É é
        pair(0xA5, 0xA4); // Ñ ñ
        pair(0x8F, 0x86); // Å å
        pair(0x80, 0x87); // Ç ç
    }

    constexpr void pair(unsigned char up, unsigned char low)
    {
        upper[up] = upper[low] = up;
        lower[up] = lower[low] = low;
        letter[up] = letter[low] = true;
    }
};

constexpr CaseTable kProperCase;

// ---- size text -----------------------------------------------------------------

std::string withThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    const size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out.append(digits, 0, lead);
    for (size_t i = lead; i < digits.size(); i += 3) {
        out.push_back(',');
        out.append(digits, i, 3);
    }
    return out;
}

// `value` as the `width` digits after a decimal point, trailing zeros dropped.
std::string decimals(uint64_t value, int width)
{
    std::string digits = std::to_string(value);
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    return digits;
}

std::string sizeText(int64_t countTimes10000)
{
    const bool negative = countTimes10000 < 0;
    // Magnitude without overflow for INT64_MIN.
    const uint64_t n =
        negative ? static_cast<uint64_t>(-(countTimes10000 + 1)) + 1 : static_cast<uint64_t>(countTimes10000);
    constexpr uint64_t kFixed = 10000;
    std::string text;
    if (n < 1024 * kFixed) {
        text = std::to_string(n / kFixed);
        if (const std::string frac = decimals(n % kFixed, 4); !frac.empty())
            text += "." + frac;
        text += " Bytes";
    } else {
        static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
        int unit = 0;
        uint64_t divisor = 1024; // bytes per unit
        while (unit < 3 && n / kFixed / divisor >= 1024) {
            ++unit;
            divisor *= 1024;
        }
        // Hundredths of the unit, rounded half to even on the exact remainder.
        const uint64_t d = divisor * (kFixed / 100);
        uint64_t hundredths = n / d;
        const uint64_t rest = n % d;
        if (rest * 2 > d || (rest * 2 == d && hundredths % 2 == 1))
            ++hundredths;
        text = withThousands(hundredths / 100);
        if (const std::string frac = decimals(hundredths % 100, 2); !frac.empty())
            text += "." + frac;
        text += kUnits[unit];
    }
    return negative ? "-" + text : text;
}

// ---- searches ------------------------------------------------------------------

// "*" any run of bytes, "?" one byte, everything else itself.
bool plainMatch(Bytes pattern, Bytes name)
{
    size_t p = 0, n = 0;
    size_t starP = Bytes::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != Bytes::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// A trailing ".*" may also match nothing, so "*.*" takes names without a dot.
bool wildMatch(Bytes pattern, Bytes name)
{
    if (plainMatch(pattern, name))
        return true;
    return pattern.size() >= 2 && pattern.ends_with(".*") &&
           plainMatch(pattern.substr(0, pattern.size() - 2), name);
}

bool hasWildcard(Bytes pattern)
{
    return pattern.find_first_of("*?") != Bytes::npos;
}

bool isHidden(Bytes name)
{
    return !name.empty() && name.front() == '.';
}

bool isVisible(EntryKind kind, Bytes name)
{
    return kind != EntryKind::Missing && kind != EntryKind::Other && !isHidden(name);
}

// Searches `folder` for an entry matching `pattern` that `accept` takes.
template <typename Accept> bool searchFolder(const std::string& folder, Bytes pattern, Accept accept)
{
    bool found = false;
    kestrow::platform::forEachDirEntry(folder, [&](std::string_view name, EntryKind kind) {
        if (wildMatch(pattern, name) && accept(kind, name))
            found = true;
        return !found;
    });
    return found;
}

bool fileSearch(Bytes path)
{
    if (path.empty() || path.find('\0') != Bytes::npos)
        return false;
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == Bytes::npos ? std::string("./") : std::string(path.substr(0, slash + 1));
    Bytes pattern = slash == Bytes::npos ? path : path.substr(slash + 1);
    if (pattern.empty())
        pattern = "*.*";
    const auto isFile = [](EntryKind kind, Bytes name) {
        return kind != EntryKind::Directory && isVisible(kind, name);
    };
    // A literal name can only match itself: no need to read the whole folder.
    if (!hasWildcard(pattern))
        return isFile(kestrow::platform::probeEntry(std::string(path)), pattern);
    return searchFolder(folder, pattern, isFile);
}

bool folderSearch(Bytes path)
{
    if (path.empty() || path.find('\0') != Bytes::npos)
        return false;
    std::string folder(path);
    if (folder.back() != '/')
        folder += '/';
    return searchFolder(folder, "*.*", isVisible);
}

} // namespace

extern "C" {

void ZcFreeString(ZcString s)
{
    std::free(s.data);
}

int32_t LIBMAIN(void*, uint32_t reason, void*)
{
    return reason <= 3 ? 1 : 0;
}

int16_t GetNextSlashPos(const ZcString* path, int16_t start)
{
    const Bytes p = arg(path);
    if (start < 1 || static_cast<size_t>(start) > p.size())
        return 0;
    const size_t limit = std::min<size_t>(p.size(), std::numeric_limits<int16_t>::max());
    for (size_t i = static_cast<size_t>(start) - 1; i < limit; ++i) {
        if (p[i] == '/' || p[i] == '\\')
            return static_cast<int16_t>(i + 1);
    }
    return 0;
}

ZcString GetLastItemInPath(const ZcString* path)
{
    return guardedString([&] {
        const Bytes p = arg(path);
        const size_t slash = p.rfind('/');
        return slash == Bytes::npos ? p : p.substr(slash + 1);
    });
}

ZcString NormalizePath(const ZcString* path)
{
    return guardedString([&] {
        const Bytes p = arg(path);
        // Two bytes: "C:" as a drive, and "/x", a folder at the top of the tree.
        const bool twoAppend = p.size() == 2 && (p[1] == ':' || p[0] == '/');
        const bool appends = !p.empty() && p.back() != '/' && (p.size() > 2 || twoAppend);
        return appends ? concat({p, "/"}) : std::string(p);
    });
}

ZcString RemainingString(const ZcString* text, const ZcString* delimiter)
{
    return guardedString([&] {
        const Bytes t = arg(text), d = arg(delimiter);
        if (t.empty() || d.empty())
            return Bytes{};
        const size_t at = t.find(d);
        return at == Bytes::npos ? Bytes{} : t.substr(at + d.size());
    });
}

ZcString ExtractString(const ZcString* text, const ZcString* delimiter)
{
    return guardedString([&] {
        const Bytes t = arg(text), d = arg(delimiter);
        if (d.empty())
            return t;
        const size_t at = t.find(d);
        return at == Bytes::npos ? t : t.substr(0, at);
    });
}

ZcString ReplaceString(const ZcString* text, const ZcString* find, const ZcString* replacement)
{
    return guardedString([&]() -> std::string {
        const Bytes t = arg(text), f = arg(find), r = arg(replacement);
        if (t.empty() || f.empty())
            return std::string(t);
        uint64_t count = 0;
        for (size_t at = t.find(f); at != Bytes::npos; at = t.find(f, at + f.size()))
            ++count;
        // Check the size before building: a short find with a long replacement can explode.
        const uint64_t size = t.size() - count * f.size() + count * r.size();
        if (size > kMaxLength)
            throw std::length_error("result too long");
        std::string out;
        out.reserve(size);
        size_t from = 0;
        for (size_t at = t.find(f); at != Bytes::npos; at = t.find(f, from)) {
            out.append(t.substr(from, at - from));
            out.append(r);
            from = at + f.size();
        }
        out.append(t.substr(from));
        return out;
    });
}

ZcString ToggleCase(const ZcString* text)
{
    return guardedString([&] {
        const Bytes t = arg(text);
        if (onlySpaces(t))
            return std::string();
        std::string out(t);
        for (char& c : out)
            c = util::isAsciiUpper(c) ? util::asciiLower(c) : util::asciiUpper(c);
        return out;
    });
}

ZcString ProperCase(const ZcString* text)
{
    return guardedString([&] {
        std::string out(arg(text));
        bool wordStart = true;
        for (char& c : out) {
            const auto u = static_cast<unsigned char>(c);
            if (kProperCase.letter[u]) {
                c = static_cast<char>(wordStart ? kProperCase.upper[u] : kProperCase.lower[u]);
                wordStart = false;
            } else {
                wordStart = true;
            }
        }
        return out;
    });
}

ZcString RemoveInternalSpaces(const ZcString* text)
{
    return guardedString([&] {
        std::string out(arg(text));
        std::erase(out, ' ');
        return out;
    });
}

ZcString StripNull(const ZcString* text)
{
    return guardedString([&] {
        const Bytes t = arg(text);
        return t.substr(0, t.find('\0'));
    });
}

ZcString GetFilenameExtension(const ZcString* name)
{
    return guardedString([&] { return extensionOf(arg(name)); });
}

ZcString RemoveFilenameExtension(const ZcString* name)
{
    return guardedString([&] { return baseOf(arg(name)); });
}

ZcString ReplaceFileName(const ZcString* name, const ZcString* newBaseName)
{
    return guardedString([&] {
        const Bytes ext = extensionOf(arg(name));
        return ext.empty() ? std::string(arg(newBaseName)) : concat({arg(newBaseName), ".", ext});
    });
}

ZcString ReplaceExtension(const ZcString* name, const ZcString* newExtension)
{
    return guardedString([&] { return concat({baseOf(arg(name)), ".", arg(newExtension)}); });
}

ZcString AddSuffixToFileName(const ZcString* name, const ZcString* suffix)
{
    return guardedString([&] {
        const Bytes n = arg(name);
        const Bytes ext = extensionOf(n);
        return ext.empty() ? concat({baseOf(n), arg(suffix)}) : concat({baseOf(n), arg(suffix), ".", ext});
    });
}

ZcString ConvertLongToBinaryString(int32_t value)
{
    return guardedString([&] {
        auto bits = static_cast<uint32_t>(value);
        if (bits == 0)
            return std::string("0");
        std::string out;
        for (; bits != 0; bits >>= 1)
            out.insert(out.begin(), (bits & 1U) ? '1' : '0');
        return out;
    });
}

ZcString ConvertBytesToCorrectByteTypeString(int64_t countTimes10000)
{
    return guardedString([&] { return sizeText(countTimes10000); });
}

int16_t IsBitSet(int32_t value, int16_t bit)
{
    if (bit < 0 || bit > 31)
        return 0;
    return (static_cast<uint32_t>(value) >> bit) & 1U ? 1 : 0;
}

int16_t PBFileExists(const ZcString* path)
{
    return guardedFlag([&] { return fileSearch(arg(path)); });
}

int16_t PBFolderExists(const ZcString* path)
{
    return guardedFlag([&] { return folderSearch(arg(path)); });
}

int16_t APIFileExists(const char* path)
{
    return guardedFlag([&] {
        if (!path || *path == '\0')
            return false;
        const EntryKind kind = kestrow::platform::probeEntry(path);
        return kind != EntryKind::Missing && kind != EntryKind::Directory;
    });
}

int16_t APIFolderExists(const ZcString* path)
{
    return guardedFlag([&] {
        std::string folder(arg(path));
        if (folder.empty())
            return false;
        if (folder.back() != '/')
            folder += '/';
        return kestrow::platform::probeTarget(folder) == EntryKind::Directory;
    });
}

} // extern "C"
