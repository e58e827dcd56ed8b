#pragma once
// Letter case without locale: only A-Z and a-z are folded, every other byte (UTF-8
// sequences included) compares as it is. Task names, categories, keys and the words
// of the stored files compare this way wherever the program says "whatever the case".

#include <string>
#include <string_view>

namespace kestrow::util {

constexpr char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// <0, 0 or >0 as `a` sorts before, with or after `b` once both are folded to lower case.
int compareIgnoringCase(std::string_view a, std::string_view b);

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix);

} // namespace kestrow::util
