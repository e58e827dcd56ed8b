#include "util/Trim.h"

namespace kestrow::util {

std::string_view trimmed(std::string_view text, std::string_view blanks)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return text.substr(text.size());
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view trimSpaces(std::string_view text)
{
    return trimmed(text, kSpaces);
}

bool onlySpaces(std::string_view text)
{
    return text.find_first_not_of(' ') == std::string_view::npos;
}

} // namespace kestrow::util
