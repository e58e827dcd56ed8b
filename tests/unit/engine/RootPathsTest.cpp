#include "engine/RootPaths.h"

#include "tests/support/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kestrow {
namespace {

using test::EngineTest;
using RootPathsTest = EngineTest;

// ---------------------------------------------------------------------------
// Folder specs. Relative rows are read from the working folder "/" + kCwd.

constexpr const char* kCwd = "w/d"; // made below the test's temporary root

struct FolderRow
{
    const char* name;
    std::string path;
    std::string expected; // "@" stands for the working folder, with its "/"
};

void PrintTo(const FolderRow& row, std::ostream* os)
{
    *os << row.name;
}

class FolderSpecs : public EngineTest, public ::testing::WithParamInterface<FolderRow>
{
};

TEST_P(FolderSpecs, AreAbsoluteAndNormal)
{
    const FolderRow& row = GetParam();
    const std::string cwd = tmp.makeDir(kCwd) + "/";
    std::filesystem::current_path(cwd);
    std::string expected = row.expected;
    if (expected.starts_with('@'))
        expected = cwd + expected.substr(1);
    EXPECT_EQ(CanonicalFolderSpec(row.path), expected);
    // Normal forms are fixed points.
    if (!expected.empty()) {
        EXPECT_EQ(CanonicalFolderSpec(expected), expected);
    }
}

const std::string kBadUtf8 = "bad\xff\xfe\xc3"; // invalid sequences, kept byte for byte

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderSpecs,
    ::testing::Values(
        FolderRow{"EmptyStaysEmpty", "", ""}, FolderRow{"Top", "/", "/"},
        FolderRow{"DoubleSlashIsTop", "//", "/"}, FolderRow{"DotAtTopIsTop", "/./", "/"},
        FolderRow{"DotDotNeverAboveTop", "/../../a", "/a/"}, FolderRow{"AddsTheSlash", "/a/b", "/a/b/"},
        FolderRow{"OneSlashKept", "/a/b/", "/a/b/"}, FolderRow{"RunsOfSlashes", "///a////b//", "/a/b/"},
        FolderRow{"DotDotRemovesOneName", "/a/../b", "/b/"}, FolderRow{"TrailingDot", "/a/b/.", "/a/b/"},
        FolderRow{"TrailingDotDot", "/a/b/..", "/a/"}, FolderRow{"TrailingDotDotSlash", "/a/b/../", "/a/"},
        FolderRow{"DotDotPrefixIsAName", "/a/..foo/...", "/a/..foo/.../"},
        FolderRow{"DotSuffixIsAName", "/a/b./c..", "/a/b./c../"},
        FolderRow{"Utf8Kept", "/d\xc3\xa9j\xc3\xa0/\xe2\x82\xac", "/d\xc3\xa9j\xc3\xa0/\xe2\x82\xac/"},
        FolderRow{"InvalidUtf8Kept", "/x/" + kBadUtf8 + "/../" + kBadUtf8, "/x/" + kBadUtf8 + "/"},
        FolderRow{"RelativeName", "s", "@s/"}, FolderRow{"RelativeDot", "./", "@"},
        FolderRow{"RelativeDotName", "./s/./t", "@s/t/"},
        FolderRow{"RelativeUpPastTop",
                  "../../../../../../../../../../../../../../../../../../"
                  "../../../../../../../../../../../../../../../../../x",
                  "/x/"},
        FolderRow{"RelativeDotDotName", "..foo", "@..foo/"}),
    [](const auto& info) { return std::string(info.param.name); });

// ".." from the working folder: its parent (the table's "@" cannot say that).
TEST_F(RootPathsTest, RelativeUpIsTakenFromTheWorkingFolder)
{
    const std::string cwd = tmp.makeDir(kCwd);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(CanonicalFolderSpec("../x"), root() + "w/x/");
    EXPECT_EQ(CanonicalFolderSpec("../"), root() + "w/");
}

// "lnk/.." is the parent of the folder the link leads to: dropping "lnk" by its
// name would clone another folder than the one meant.
TEST_F(RootPathsTest, DotDotAfterALinkLeadsWhereTheKernelGoes)
{
    tmp.makeDir("real/deep/er");
    tmp.makeDir("w");
    std::filesystem::create_symlink(root() + "real/deep", root() + "w/lnk");
    std::filesystem::current_path(root() + "w");
    EXPECT_EQ(CanonicalFolderSpec("lnk/.."), root() + "real/");
    EXPECT_EQ(CanonicalFolderSpec(root() + "w/lnk/er/../.."), root() + "real/");
    EXPECT_EQ(CanonicalFolderSpec("lnk/er"), root() + "w/lnk/er/"); // a link without ".." stays as written
    EXPECT_EQ(CanonicalFolderSpec("gone/.."), root() + "w/");
}

TEST(RootPaths, VeryLongPathsAreNormalisedWhole)
{
    std::string path;
    std::string expected;
    while (expected.size() < 20000) {
        path += "/name_of_forty_bytes_to_make_it_long_xx/./";
        expected += "/name_of_forty_bytes_to_make_it_long_xx";
    }
    path += "gone/..//";
    expected += '/';
    ASSERT_GT(path.size(), 20000u);
    EXPECT_EQ(CanonicalFolderSpec(path), expected);
}

// ---------------------------------------------------------------------------
// Items against the Source root "/r/s/".

constexpr const char* kRoot = "/r/s/";

struct ItemRow
{
    const char* name;
    std::string item;
    std::string expected; // the normal form, kept even for an item outside
    bool inside;
};

void PrintTo(const ItemRow& row, std::ostream* os)
{
    *os << row.name;
}

class Items : public ::testing::TestWithParam<ItemRow>
{
};

TEST_P(Items, AreNormalisedAndPlaced)
{
    const ItemRow& row = GetParam();
    std::string out = "leftover";
    EXPECT_EQ(CanonicalItem(row.item, kRoot, out), row.inside);
    EXPECT_EQ(out, row.expected);
    EXPECT_EQ(PlaceOfItem(out, kRoot), row.inside ? ItemPlace::Inside : ItemPlace::Outside);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Items,
    ::testing::Values(
        ItemRow{"AbsoluteFile", "/r/s/a.txt", "/r/s/a.txt", true},
        ItemRow{"AbsoluteFolder", "/r/s/d/", "/r/s/d/", true},
        ItemRow{"RelativeIsBelowTheRoot", "d/a.txt", "/r/s/d/a.txt", true},
        ItemRow{"DotSlash", "./x/", "/r/s/x/", true}, ItemRow{"DoubleSlash", "//r//s//x//", "/r/s/x/", true},
        ItemRow{"DotInside", "/r/s/./x", "/r/s/x", true},
        ItemRow{"FileStaysAFile", "x/./f", "/r/s/x/f", true},
        ItemRow{"TrailingDotIsAFolder", "x/.", "/r/s/x/", true},
        ItemRow{"TrailingDotDotIsAFolder", "x/y/..", "/r/s/x/", true},
        ItemRow{"UpAndBackIn", "sub/../a", "/r/s/a", true}, ItemRow{"RootAsFolder", "/r/s/", "/r/s/", true},
        ItemRow{"RootAsDot", ".", "/r/s/", true}, ItemRow{"RootWithoutSlash", "/r/s", "/r/s/", true},
        ItemRow{"RootReachedFromInside", "sub/..", "/r/s/", true},
        ItemRow{"DotDotNameIsInside", "..foo", "/r/s/..foo", true},
        ItemRow{"DotDotNameFolder", "..foo/", "/r/s/..foo/", true},
        ItemRow{"Utf8Kept", "d\xc3\xa9j\xc3\xa0/", "/r/s/d\xc3\xa9j\xc3\xa0/", true},
        ItemRow{"InvalidUtf8Kept", "x\xff\xfe", "/r/s/x\xff\xfe", true},
        ItemRow{"UpOutOfTheRoot", "sub/../../../other/", "/other/", false},
        ItemRow{"UpToTheParent", "..", "/r/", false}, ItemRow{"SiblingFile", "../t/f", "/r/t/f", false},
        ItemRow{"AbsoluteElsewhere", "/etc/passwd", "/etc/passwd", false},
        ItemRow{"PrefixIsNotInside", "/r/sother/x", "/r/sother/x", false},
        ItemRow{"PrefixFolderIsNotInside", "/r/s2/", "/r/s2/", false}, ItemRow{"Top", "/", "/", false},
        ItemRow{"EmptyIsNoItem", "", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Spec strings: split, normalised, refusals logged and left out.

TEST_F(RootPathsTest, IncludeItemsOutsideAreLoggedAndLeftOut)
{
    size_t refused = 0;
    const std::vector<std::string> items = CanonicalItems(
        "./a/<:>../b.txt<:>a/<:>//r//s//c<:>../../d/<:>x/../y", kRoot, ItemRole::Include, &refused);
    EXPECT_EQ(items, (std::vector<std::string>{"/r/s/a/", "/r/s/c", "/r/s/y"}));
    EXPECT_EQ(refused, 2u);
    EXPECT_EQ(logCount(" *Include Filter Error: The file does not exist  /r/b.txt"), 1);
    EXPECT_EQ(logCount(" *Include Filter Error: The subfolder does not exist  /d/"), 1);
    EXPECT_EQ(logEntries().size(), 2u);
}

TEST_F(RootPathsTest, ExcludeItemsOutsideAreLoggedAsFolderPathErrors)
{
    size_t refused = 0;
    const std::vector<std::string> items = CanonicalItems("x/<:>/etc/", kRoot, ItemRole::Exclude, &refused);
    EXPECT_EQ(items, std::vector<std::string>{"/r/s/x/"});
    EXPECT_EQ(refused, 1u);
    EXPECT_EQ(logCount(" *Folder Path Error:  Exclude item is outside the Source folder. /etc/"), 1);
}

TEST_F(RootPathsTest, SpecStringsKeepTheirSplittingRules)
{
    // An older include string: absolute paths joined by ",".
    EXPECT_EQ(CanonicalItems("/r/s/a,/r/s/./b/", kRoot, ItemRole::Include),
              (std::vector<std::string>{"/r/s/a", "/r/s/b/"}));
    // Exclude strings are split at "<:>" only: a comma is part of a name.
    EXPECT_EQ(CanonicalItems("/r/s/a,/r/s/b", kRoot, ItemRole::Exclude),
              std::vector<std::string>{"/r/s/a,/r/s/b"});
    // Empty items stay where they are (the engine stops include lists at one).
    EXPECT_EQ(CanonicalItems("a<:><:>b", kRoot, ItemRole::Include),
              (std::vector<std::string>{"/r/s/a", "", "/r/s/b"}));
    EXPECT_TRUE(CanonicalItems("", kRoot, ItemRole::Include).empty());
    EXPECT_EQ(CanonicalSpecString("./a<:>b/", kRoot, ItemRole::Exclude), "/r/s/a<:>/r/s/b/");
    // One item that the comma rule would split comes back whole.
    const std::string joined =
        CanonicalSpecString("/r/s/x,/r/s/y<:>/r/s/./x,/r/s/y", kRoot, ItemRole::Include);
    EXPECT_EQ(CanonicalItems(joined, kRoot, ItemRole::Include),
              (std::vector<std::string>{"/r/s/x,/r/s/y", ""}));
    EXPECT_EQ(logEntries().size(), 0u);
}

} // namespace
} // namespace kestrow
