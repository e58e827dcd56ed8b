#include "log/OneLine.h"

namespace kestrow {

namespace {

bool isControl(unsigned char c)
{
    return (c >= 0x01 && c <= 0x1F) || c == 0x7F;
}

} // namespace

bool NeedsOneLineForm(std::string_view text)
{
    for (const char c : text) {
        if (c == '\\' || isControl(static_cast<unsigned char>(c)))
            return true;
    }
    return false;
}

void AppendOneLineForm(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (isControl(c)) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
}

std::string OneLineForm(std::string_view text)
{
    std::string out;
    if (!NeedsOneLineForm(text))
        return std::string(text);
    out.reserve(text.size() + 8);
    AppendOneLineForm(out, text);
    return out;
}

} // namespace kestrow
