// Letter case as names compare "whatever the case": ASCII letters only, whatever the
// locale, every other byte as it is.

#include "util/AsciiCase.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace kestrow::util {
namespace {

struct FoldRow
{
    const char* what;
    std::string text, lower, upper;
};

class AsciiFold : public ::testing::TestWithParam<FoldRow>
{
};

TEST_P(AsciiFold, FoldsOnlyAsciiLetters)
{
    const FoldRow& row = GetParam();
    EXPECT_EQ(asciiLower(row.text), row.lower);
    EXPECT_EQ(asciiUpper(row.text), row.upper);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AsciiFold,
    ::testing::Values(FoldRow{"letters", "Task Name 7", "task name 7", "TASK NAME 7"},
                      // The bytes beside the letter ranges: @ [ ` {
                      FoldRow{"neighbours of the letters", "@AZ[`az{", "@az[`az{", "@AZ[`AZ{"},
                      FoldRow{"UTF-8 kept byte for byte", "\xc3\x84rger \xc3\xa4", "\xc3\x84rger \xc3\xa4",
                              "\xc3\x84RGER \xc3\xa4"},
                      FoldRow{"Latin-1 letters are not letters here", "\xc9t\xe9", "\xc9t\xe9", "\xc9T\xe9"},
                      FoldRow{"NUL and controls", std::string("A\0b\x1f", 4), std::string("a\0b\x1f", 4),
                              std::string("A\0B\x1f", 4)},
                      FoldRow{"empty", "", "", ""}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

TEST(AsciiCase, CharactersOfAnyWidthFoldAlike)
{
    static_assert(asciiLower('Q') == 'q' && asciiUpper('q') == 'Q');
    static_assert(asciiLower(U'Q') == U'q' && asciiLower(U'\u00C4') == U'\u00C4');
    static_assert(asciiLower(uint32_t{'Z'}) == uint32_t{'z'} && asciiUpper(uint32_t{0x110041}) == 0x110041u);
    static_assert(isAsciiUpper('A') && !isAsciiUpper('a') && isAsciiLower('z') && !isAsciiLower('{'));
    EXPECT_EQ(asciiLower(static_cast<char>(0xC9)), static_cast<char>(0xC9));
}

struct CompareRow
{
    const char* a;
    const char* b;
    int sign; // of compareIgnoringCase(a, b)
};

TEST(AsciiCase, ComparesAsLowerCaseBytes)
{
    const CompareRow rows[] = {
        {"Music", "mUSIC", 0},
        {"abc", "ABD", -1},
        {"ABD", "abc", 1},
        {"ab", "ABC", -1}, // a prefix first
        {"", "a", -1},
        // Folded to lower case, "_" (0x5F) sorts before the letters; to upper case it would not.
        {"a_", "aB", -1},
        // UTF-8 after ASCII, as a plain comparison of unsigned bytes has it.
        {"\xc3\xa9", "z", 1},
        {"\xc3\x89", "\xc3\xa9", -1}, // É and é differ: not ASCII letters
    };
    for (const CompareRow& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " / " + row.b);
        const int c = compareIgnoringCase(row.a, row.b);
        EXPECT_EQ((c > 0) - (c < 0), row.sign);
        EXPECT_EQ(equalsIgnoringCase(row.a, row.b), row.sign == 0);
    }
}

TEST(AsciiCase, PrefixesAndSuffixes)
{
    EXPECT_TRUE(startsWithIgnoringCase("RESTORE SOURCE: x", "restore source:"));
    EXPECT_FALSE(startsWithIgnoringCase("Rest", "restore"));
    EXPECT_TRUE(startsWithIgnoringCase("anything", ""));
    EXPECT_TRUE(endsWithIgnoringCase("List.KWT", ".kwt"));
    EXPECT_FALSE(endsWithIgnoringCase("kwt", ".kwt"));
    EXPECT_FALSE(endsWithIgnoringCase("List.kwt\xc3\xa9", ".kwt"));
}

struct FindRow
{
    const char* text;
    const char* part;
    std::size_t from, found;
};

TEST(AsciiCase, FindsThePartFromAPlace)
{
    constexpr std::size_t npos = std::string_view::npos;
    const FindRow rows[] = {
        {"a<:>b<:>c", "<:>", 0, 1},   {"a<:>b<:>c", "<:>", 2, 5},
        {"One AND two", "and", 0, 4}, {"One AND two", "and", 5, npos},
        {"abc", "abcd", 0, npos},     {"abc", "", 2, 2}, // as string_view::find has it
        {"abc", "c", 4, npos},        {"xXx", "XX", 0, 0},
    };
    for (const FindRow& row : rows) {
        SCOPED_TRACE(std::string(row.text) + " / " + row.part + " from " + std::to_string(row.from));
        EXPECT_EQ(findIgnoringCase(row.text, row.part, row.from), row.found);
    }
}

// Under a locale whose ctype knows more letters, the folding stays ASCII.
TEST(AsciiCase, TheLocaleChangesNothing)
{
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = previous ? previous : "C";
    bool set = false;
    for (const char* name : {"tr_TR.ISO-8859-9", "de_DE.ISO-8859-1", "en_US.ISO-8859-1", "C.UTF-8"})
        if (std::setlocale(LC_CTYPE, name)) {
            set = true;
            break;
        }
    if (!set)
        GTEST_SKIP() << "no locale besides C here";
    EXPECT_EQ(asciiLower("I\xc9"), "i\xc9");
    EXPECT_EQ(asciiUpper("i\xe9"), "I\xe9");
    EXPECT_FALSE(equalsIgnoringCase("\xc9", "\xe9"));
    std::setlocale(LC_CTYPE, saved.c_str());
}

} // namespace
} // namespace kestrow::util
