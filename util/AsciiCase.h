#pragma once
// Letter case without locale: only A-Z and a-z are folded, every other byte (UTF-8
// sequences included) compares as it is. Task names, categories, keys, file names on a
// Target that folds case and the words of the stored files compare this way wherever
// the program says "whatever the case". std::tolower and its kin are not used for
// names: they follow the locale, and a name must not change meaning with it.

#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrow::util {

// For bytes and for decoded characters alike.
template <std::integral C> constexpr bool isAsciiUpper(C c)
{
    return c >= C('A') && c <= C('Z');
}

template <std::integral C> constexpr bool isAsciiLower(C c)
{
    return c >= C('a') && c <= C('z');
}

template <std::integral C> constexpr C asciiLower(C c)
{
    return isAsciiUpper(c) ? static_cast<C>(c - 'A' + 'a') : c;
}

template <std::integral C> constexpr C asciiUpper(C c)
{
    return isAsciiLower(c) ? static_cast<C>(c - 'a' + 'A') : c;
}

std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// <0, 0 or >0 as `a` sorts before, with or after `b` once both are folded to lower case
// (bytes compared unsigned, so UTF-8 sorts after ASCII as in a plain comparison).
int compareIgnoringCase(std::string_view a, std::string_view b);

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix);

// The first place at or after `from` where `part` occurs, letters folded; npos when
// there is none. An empty `part` is found at `from` (as std::string_view::find finds it).
std::size_t findIgnoringCase(std::string_view text, std::string_view part, std::size_t from = 0);

} // namespace kestrow::util
