// The path and string functions through the wrapper and the real libzelcommon.so,
// loaded on first use from the test executable's folder.

#include "zelcommon/ZelCommon.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace std::string_literals;
namespace zc = kestrow::zc;

namespace {

struct Row1
{
    const char* proves;
    std::string in;
    std::string expected;
};

struct Row2
{
    const char* proves;
    std::string a;
    std::string b;
    std::string expected;
};

} // namespace

TEST(ZelCommonPaths, NormalizePath)
{
    const Row1 rows[] = {
        {"drive-like pair gets a separator", "C:", "C:/"},
        {"one byte stays", "C", "C"},
        {"two bytes not ending in colon stay", "ab", "ab"},
        {"already ending in separator stays", "C:/", "C:/"},
        {"three bytes get a separator", "abc", "abc/"},
        {"a backslash is no separator", "x\\y", "x\\y/"},
        {"the root stays the root", "/", "/"},
        {"top-level folder gets a separator", "/x", "/x/"},
        {"two bytes ending in a separator stay", "x/", "x/"},
        {"empty stays empty", "", ""},
        {"absolute folder gets a separator", "/home/a", "/home/a/"},
        {"folder spec stays", "/home/a/", "/home/a/"},
        {"NUL bytes are ordinary bytes", "a\0b"s, "a\0b/"s},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::NormalizePath(r.in), r.expected);
    }
}

TEST(ZelCommonPaths, GetLastItemInPath)
{
    const Row1 rows[] = {
        {"file after the last separator", "/a/b.txt", "b.txt"},
        {"ending in separator gives empty", "/a/b/", ""},
        {"no separator gives the path", "b.txt", "b.txt"},
        {"backslash is not a separator here", "a\\b", "a\\b"},
        {"root gives empty", "/", ""},
        {"empty gives empty", "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::GetLastItemInPath(r.in), r.expected);
    }
}

TEST(ZelCommonPaths, GetNextSlashPos)
{
    std::string deep(40000, 'a');
    deep += '/';
    std::string edge(32766, 'a');
    edge += '/';
    const struct
    {
        const char* proves;
        std::string path;
        int16_t start;
        int16_t expected;
    } rows[] = {
        {"forward slash after start", "C:\\a/b", 4, 5},
        {"backslash counts too", "C:\\a/b", 3, 3},
        {"scan starts at start", "/ab/", 2, 4},
        {"start on the last byte", "abc/", 4, 4},
        {"none found", "abc", 1, 0},
        {"start beyond the length", "abc", 9, 0},
        {"start below one", "/abc", 0, 0},
        {"negative start", "/abc", -5, 0},
        {"empty path", "", 1, 0},
        {"position 32767 still fits", edge, 1, 32767},
        {"position beyond int16 is not reported", deep, 1, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::GetNextSlashPos(r.path, r.start), r.expected);
    }
}

TEST(ZelCommonStrings, RemainingString)
{
    const Row2 rows[] = {
        {"after the first delimiter", "a/b/c", "/", "b/c"},
        {"delimiter missing gives empty", "abc", "x", ""},
        {"empty delimiter gives empty", "abc", "", ""},
        {"empty text gives empty", "", "a", ""},
        {"case-sensitive", "aBc", "b", ""},
        {"delimiter at the end gives empty", "abc", "c", ""},
        {"multi-byte delimiter", "a<:>b<:>c", "<:>", "b<:>c"},
        {"NUL delimiter", "a\0b"s, "\0"s, "b"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::RemainingString(r.a, r.b), r.expected);
    }
}

TEST(ZelCommonStrings, ExtractString)
{
    const Row2 rows[] = {
        {"before the first delimiter", "a/b/c", "/", "a"},
        {"delimiter missing gives text", "abc", "x", "abc"},
        {"empty delimiter gives text", "abc", "", "abc"},
        {"delimiter first gives empty", "/abc", "/", ""},
        {"case-sensitive", "aBc", "b", "aBc"},
        {"multi-byte delimiter", "a<:>b<:>c", "<:>", "a"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ExtractString(r.a, r.b), r.expected);
    }
}

TEST(ZelCommonStrings, ReplaceString)
{
    const struct
    {
        const char* proves;
        std::string text, find, replacement, expected;
    } rows[] = {
        {"non-overlapping left to right", "aaa", "aa", "b", "ba"},
        {"empty find leaves text", "abc", "", "x", "abc"},
        {"empty text stays empty", "", "a", "x", ""},
        {"empty replacement deletes", "a.b.c", ".", "", "abc"},
        {"inserted text is not rescanned", "aXa", "a", "aa", "aaXaa"},
        {"case-sensitive", "abc", "ABC", "x", "abc"},
        {"NUL bytes match", "a\0b\0"s, "\0"s, "-", "a-b-"},
        {"line breaks replaced", "one\r\ntwo\r\n", "\r\n", " ", "one two "},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ReplaceString(r.text, r.find, r.replacement), r.expected);
    }
}

TEST(ZelCommonStrings, ReplaceStringOnLongText)
{
    const std::string text(1 << 20, 'a');
    const std::string doubled = zc::ReplaceString(text, "a", "bb");
    ASSERT_EQ(doubled.size(), 2u << 20);
    EXPECT_EQ(doubled.find_first_not_of('b'), std::string::npos);
}

TEST(ZelCommonStrings, CaseFunctions)
{
    const Row1 toggle[] = {
        {"letters swap, others stay", "aB1 c", "Ab1 C"},
        {"only spaces give empty", "   ", ""},
        {"empty gives empty", "", ""},
        {"spaces around letters kept", " a ", " A "},
        {"a tab is not a space", "\t", "\t"},
        {"bytes above 127 unchanged", "\x84\xE4z", "\x84\xE4Z"},
        {"NUL bytes kept", "a\0B"s, "A\0b"s},
    };
    for (const auto& r : toggle) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ToggleCase(r.in), r.expected);
    }
    const Row1 proper[] = {
        {"apostrophe starts a word", "o'neil", "O'Neil"},
        {"digit starts a word", "3rd", "3Rd"},
        {"rest of each word lowered", "hELLO wORLD", "Hello World"},
        {"hyphen starts a word", "jean-luc", "Jean-Luc"},
        {"accented lower raised at word start", "\x84hnlich", "\x8Ehnlich"},
        {"accented upper lowered inside a word", "STRA\x8E", "Stra\x84"},
        {"every accented pair converts", "x\x8E\x99\x9A\x90\xA5\x8F\x80", "X\x84\x94\x81\x82\xA4\x86\x87"},
        {"other high bytes are no letters",
         "\xE4"
         "bc",
         "\xE4"
         "Bc"},
        {"empty gives empty", "", ""},
    };
    for (const auto& r : proper) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ProperCase(r.in), r.expected);
    }
}

TEST(ZelCommonStrings, SpacesAndNulls)
{
    const Row1 spaces[] = {
        {"all spaces go", " a b c ", "abc"},
        {"tabs are not spaces", "a\tb", "a\tb"},
        {"only spaces give empty", "   ", ""},
    };
    for (const auto& r : spaces) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::RemoveInternalSpaces(r.in), r.expected);
    }
    const Row1 nulls[] = {
        {"cut at the first NUL", "ab\0cd\0"s, "ab"},
        {"no NUL keeps text", "abc", "abc"},
        {"leading NUL gives empty", "\0abc"s, ""},
    };
    for (const auto& r : nulls) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::StripNull(r.in), r.expected);
    }
}

TEST(ZelCommonNames, ExtensionAndBase)
{
    const struct
    {
        const char* proves;
        std::string name, extension, base;
    } rows[] = {
        {"last dot splits", "archive.tar.gz", "gz", "archive.tar"},
        {"no dot", "noext", "", "noext"},
        {"trailing dot", "a.", "", "a"},
        {"leading dot", ".txt", "txt", ""},
        {"separators not considered", "dir.x/file", "x/file", "dir"},
        {"only spaces", "   ", "", ""},
        {"empty", "", "", ""},
        {"space before the dot counts as a name", " .txt", "txt", " "},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::GetFilenameExtension(r.name), r.extension);
        EXPECT_EQ(zc::RemoveFilenameExtension(r.name), r.base);
    }
}

TEST(ZelCommonNames, ReplaceAndSuffix)
{
    const Row2 fileName[] = {
        {"extension kept", "old.txt", "new", "new.txt"},
        {"no extension", "noext", "new", "new"},
        {"empty extension after trailing dot", "a.", "new", "new"},
        {"only the last extension kept", "a.b.c", "x", "x.c"},
    };
    for (const auto& r : fileName) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ReplaceFileName(r.a, r.b), r.expected);
    }
    const Row2 extension[] = {
        {"added when missing", "x", "tmp", "x.tmp"},
        {"replaced when present", "x.dat", "tmp", "x.tmp"},
        {"empty new extension leaves the dot", "x.dat", "", "x."},
        {"empty name", "", "tmp", ".tmp"},
        {"only-spaces name loses its spaces", "  ", "tmp", ".tmp"},
    };
    for (const auto& r : extension) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ReplaceExtension(r.a, r.b), r.expected);
    }
    const Row2 suffix[] = {
        {"suffix before the extension", "report.txt", "-old", "report-old.txt"},
        {"no extension", "report", "-old", "report-old"},
        {"last extension only", "a.b.c", "_1", "a.b_1.c"},
        {"trailing dot is lost", "a.", "-x", "a-x"},
    };
    for (const auto& r : suffix) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::AddSuffixToFileName(r.a, r.b), r.expected);
    }
}

TEST(ZelCommonNumbers, BinaryAndBits)
{
    const struct
    {
        int32_t value;
        std::string expected;
    } binary[] = {
        {0, "0"},
        {1, "1"},
        {5, "101"},
        {-1, std::string(32, '1')},
        {std::numeric_limits<int32_t>::min(), "1" + std::string(31, '0')},
        {std::numeric_limits<int32_t>::max(), std::string(31, '1')},
    };
    for (const auto& r : binary) {
        SCOPED_TRACE(r.value);
        EXPECT_EQ(zc::ConvertLongToBinaryString(r.value), r.expected);
    }
    const struct
    {
        int32_t value;
        int16_t bit;
        bool expected;
    } bits[] = {
        {5, 0, true},
        {5, 1, false},
        {5, 2, true},
        {-1, 31, true},
        {std::numeric_limits<int32_t>::min(), 31, true},
        {1, 32, false},
        {1, -1, false},
        {-1, 32, false},
    };
    for (const auto& r : bits) {
        SCOPED_TRACE(testing::Message() << r.value << " bit " << r.bit);
        EXPECT_EQ(zc::IsBitSet(r.value, r.bit), r.expected);
    }
}

TEST(ZelCommonNumbers, SizeText)
{
    constexpr int64_t kB = 10000; // one byte in the fixed-point count
    constexpr int64_t kKB = 1024 * kB;
    const struct
    {
        const char* proves;
        int64_t count;
        std::string expected;
    } rows[] = {
        {"below 1024 in bytes", 1023 * kB, "1023 Bytes"},
        {"zero bytes", 0, "0 Bytes"},
        {"fractional bytes without trailing zeros", 12345, "1.2345 Bytes"},
        {"half a byte", 5000, "0.5 Bytes"},
        {"exactly 1024 is one KB, no decimal point", kKB, "1KB"},
        {"decimals without trailing zero", 1536 * kB, "1.5KB"},
        {"two decimals", kKB + 10 * kB, "1.01KB"},
        {"half rounds to even (down)", 2176 * kB, "2.12KB"},
        {"half rounds to even (up)", 2432 * kB, "2.38KB"},
        {"rounding carries into thousands", 1048575 * kB, "1,024KB"},
        {"thousands separator with decimals", 1048064 * kB, "1,023.5KB"},
        {"one MB", 1048576 * kB, "1MB"},
        {"half of a hundredth in MB rounds to even", 2228224 * kB, "2.12MB"},
        {"one GB", (int64_t{1} << 30) * kB, "1GB"},
        {"one TB", (int64_t{1} << 40) * kB, "1TB"},
        {"largest count stays in TB", std::numeric_limits<int64_t>::max(), "838.86TB"},
        {"negative KB", -1536 * kB, "-1.5KB"},
        {"negative bytes", -5000, "-0.5 Bytes"},
        {"most negative count", std::numeric_limits<int64_t>::min(), "-838.86TB"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::ConvertBytesToCorrectByteTypeString(r.count), r.expected);
    }
}
