#include "util/PercentEncode.h"

#include "util/AsciiCase.h"

namespace kestrow::util {

std::string percentEncodePath(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const unsigned char c : path) {
        const bool keep = isAsciiUpper(c) || isAsciiLower(c) || (c >= '0' && c <= '9') || c == '/' ||
                          c == '-' || c == '_' || c == '.' || c == '~';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace kestrow::util
