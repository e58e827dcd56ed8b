// Trimming with the blanks each text of the program has.

#include "util/Trim.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrow::util {
namespace {

struct TrimRow
{
    std::string text;
    std::string_view blanks;
    std::string expected;
};

TEST(Trim, RemovesOnlyTheNamedBlanksAtBothEnds)
{
    const TrimRow rows[] = {
        {"  a  b  ", kSpaces, "a  b"},
        {"\ta b\t", kSpaces, "\ta b\t"}, // a task text's tab is part of it
        {" \t a b \t ", kSpacesAndTabs, "a b"},
        {"\r\n a \v\f", kSpacesAndTabs, "\r\n a \v\f"},
        {"\r\n\t a b\v\f ", kCWhiteSpace, "a b"},
        {"   ", kSpaces, ""},
        {"", kSpaces, ""},
        {"x", kCWhiteSpace, "x"},
        {std::string(" \0 ", 3), kSpaces, std::string("\0", 1)},
        {"\x1a key \x1a", " \x1a", "key"},
    };
    for (const TrimRow& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.text));
        EXPECT_EQ(trimmed(row.text, row.blanks), row.expected);
        if (row.blanks == kSpaces) {
            EXPECT_EQ(trimSpaces(row.text), row.expected);
        }
    }
}

TEST(Trim, GivesAViewIntoTheText)
{
    const std::string text = "  name ";
    const std::string_view view = trimSpaces(text);
    EXPECT_EQ(view.data(), text.data() + 2);
    EXPECT_EQ(view.size(), 4u);
    const std::string_view none = trimSpaces(std::string_view(text).substr(0, 2));
    EXPECT_TRUE(none.empty());
}

TEST(Trim, OnlySpaces)
{
    EXPECT_TRUE(onlySpaces(""));
    EXPECT_TRUE(onlySpaces("    "));
    EXPECT_FALSE(onlySpaces(" \t "));
    EXPECT_FALSE(onlySpaces("  x"));
    EXPECT_FALSE(onlySpaces(std::string_view("\0", 1)));
}

} // namespace
} // namespace kestrow::util
