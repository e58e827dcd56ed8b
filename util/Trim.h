#pragma once
// Trimming. What counts as a blank differs between the texts the program reads, so a
// caller names its set: the spaces of task texts and names, spaces and tabs of desktop
// files, or the white space of the C locale. Nothing here follows the locale.

#include <string_view>

namespace kestrow::util {

inline constexpr std::string_view kSpaces = " ";
inline constexpr std::string_view kSpacesAndTabs = " \t";
// What isspace accepts in the "C" locale.
inline constexpr std::string_view kCWhiteSpace = " \t\n\v\f\r";

// `text` without the leading and trailing characters listed in `blanks`. A view into
// `text`: it lives as long as the text does.
std::string_view trimmed(std::string_view text, std::string_view blanks);

// trimmed(text, kSpaces): only the byte 0x20 is a blank.
std::string_view trimSpaces(std::string_view text);

// Whether `text` is empty or holds only spaces (0x20).
bool onlySpaces(std::string_view text);

} // namespace kestrow::util
