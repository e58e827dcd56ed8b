#include "util/AsciiCase.h"

#include <algorithm>

namespace kestrow::util {

std::string asciiLower(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) { return asciiLower(c); });
    return out;
}

std::string asciiUpper(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) { return asciiUpper(c); });
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && compareIgnoringCase(a, b) == 0;
}

int compareIgnoringCase(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(asciiLower(a[i]));
        const auto y = static_cast<unsigned char>(asciiLower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

std::size_t findIgnoringCase(std::string_view text, std::string_view part, std::size_t from)
{
    if (from > text.size() || part.size() > text.size() - from)
        return std::string_view::npos;
    for (std::size_t i = from; i + part.size() <= text.size(); ++i) {
        if (equalsIgnoringCase(text.substr(i, part.size()), part))
            return i;
    }
    return std::string_view::npos;
}

} // namespace kestrow::util
