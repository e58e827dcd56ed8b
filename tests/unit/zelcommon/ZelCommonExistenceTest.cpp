// Existence tests of libzelcommon.so on real files: hidden and system entries,
// links, FIFOs, wildcard searches and folders that cannot be searched.

#include "platform/FileProbe.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"
#include "zelcommon/ZelCommon.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace std::string_literals;
namespace fs = std::filesystem;
namespace zc = kestrow::zc;

namespace {

class ZelCommonExistence : public ::testing::Test
{
protected:
    void SetUp() override
    {
        t = dir.makeDir("t");
        dir.writeFile("t/a.txt", "a");
        dir.writeFile("t/.hidden", "h");
        dir.writeFile("t/noext", "n");
        dir.writeFile("t/[x].txt", "x");
        dir.makeDir("t/sub");
        fs::create_symlink("a.txt", t + "/link");
        fs::create_symlink("missing", t + "/dangling");
        fs::create_directory_symlink("sub", t + "/subLink");
        ASSERT_EQ(kestrow::platform::makeFifo(t + "/fifo"), 0);
    }

    kestrow::test::TempDir dir;
    std::string t;
};

struct PathRow
{
    const char* proves;
    std::string path;
    bool expected;
};

} // namespace

TEST_F(ZelCommonExistence, PBFileExists)
{
    const PathRow rows[] = {
        {"regular file", t + "/a.txt", true},
        {"hidden file is not reported", t + "/.hidden", false},
        {"folder is not a file", t + "/sub", false},
        {"FIFO is a system entry", t + "/fifo", false},
        {"link counts as a file", t + "/link", true},
        {"dangling link counts as a file", t + "/dangling", true},
        {"missing name", t + "/missing", false},
        {"star pattern", t + "/*.txt", true},
        {"question mark is one byte", t + "/?.txt", true},
        {"question mark is not zero bytes", t + "/a?.txt", false},
        {"pattern without a match", t + "/*.zip", false},
        {"trailing .* also takes the bare name", t + "/noext.*", true},
        {"brackets are literal in a name", t + "/[x].txt", true},
        {"brackets are literal in a pattern", t + "/[x]*", true},
        {"bracket class is not a class", t + "/[a].txt", false},
        {"names compare case-sensitively", t + "/A.TXT", false},
        {"pattern only matching hidden files", t + "/.h*", false},
        {"folder ending in separator searches every name", t + "/", true},
        {"folder with only a subfolder", dir / "onlySub/*", false},
        {"missing folder", t + "/nothere/*", false},
        {"NUL cuts nothing short", t + "/a.txt\0junk"s, false},
        {"FIFO as a folder", t + "/fifo/", false},
        {"device node is a system entry", "/dev/null", false},
        {"empty path", "", false},
    };
    dir.makeDir("onlySub/inner");
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::PBFileExists(r.path), r.expected) << r.path;
    }
}

TEST_F(ZelCommonExistence, PBFolderExistsNeedsAVisibleEntry)
{
    dir.makeDir("empty");
    dir.writeFile("onlyHidden/.x", "");
    dir.makeDir("onlyFifo");
    ASSERT_EQ(kestrow::platform::makeFifo(dir / "onlyFifo/p"), 0);
    dir.makeDir("onlySub/inner");
    dir.makeDir("onlyLink");
    fs::create_symlink("/nonexistent", dir / "onlyLink/l");
    fs::create_directory_symlink(dir / "onlySub", dir / "onlySubLink");
    const PathRow rows[] = {
        {"folder with files", t, true},
        {"trailing separator", t + "/", true},
        {"empty folder", dir / "empty", false},
        {"only hidden entries", dir / "onlyHidden", false},
        {"only system entries", dir / "onlyFifo", false},
        {"subfolders count", dir / "onlySub", true},
        {"links count", dir / "onlyLink", true},
        {"link to a folder is searched through", dir / "onlySubLink", true},
        {"file is no folder", t + "/a.txt", false},
        {"FIFO is no folder", t + "/fifo", false},
        {"missing folder", dir / "missing", false},
        {"empty path", "", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::PBFolderExists(r.path), r.expected) << r.path;
    }
}

TEST_F(ZelCommonExistence, APIFileExists)
{
    const PathRow rows[] = {
        {"regular file", t + "/a.txt", true},
        {"hidden file", t + "/.hidden", true},
        {"FIFO exists and is never opened", t + "/fifo", true},
        {"device node", "/dev/null", true},
        {"dangling link is an entry", t + "/dangling", true},
        {"folder is not a file", t + "/sub", false},
        {"link to a folder is a file entry", t + "/subLink", true},
        {"trailing separator on a file", t + "/a.txt/", false},
        {"missing", t + "/missing", false},
        {"wildcards are literal", t + "/*.txt", false},
        {"NUL-holding path names nothing", t + "/a.txt\0junk"s, false},
        {"empty path", "", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::APIFileExists(r.path), r.expected) << r.path;
    }
}

TEST_F(ZelCommonExistence, APIFolderExists)
{
    dir.makeDir("empty");
    const PathRow rows[] = {
        {"empty folder exists", dir / "empty", true}, {"folder with files", t, true},
        {"trailing separator", t + "/sub/", true},    {"link to a folder", t + "/subLink", true},
        {"file is no folder", t + "/a.txt", false},   {"FIFO is no folder", t + "/fifo", false},
        {"missing", dir / "missing", false},          {"empty path", "", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        EXPECT_EQ(zc::APIFolderExists(r.path), r.expected) << r.path;
    }
}

TEST_F(ZelCommonExistence, EmptyFolderIsFoundByTheApiTestOnly)
{
    const std::string empty = dir.makeDir("empty");
    EXPECT_FALSE(zc::PBFolderExists(empty));
    EXPECT_TRUE(zc::APIFolderExists(empty));
    dir.writeFile("empty/f", "");
    EXPECT_TRUE(zc::PBFolderExists(empty));
}

TEST_F(ZelCommonExistence, RelativePathsSearchTheCurrentFolder)
{
    const fs::path saved = fs::current_path();
    fs::current_path(t);
    const bool literal = zc::PBFileExists("a.txt");
    const bool pattern = zc::PBFileExists("*.txt");
    const bool hidden = zc::PBFileExists(".hidden");
    fs::current_path(saved);
    EXPECT_TRUE(literal);
    EXPECT_TRUE(pattern);
    EXPECT_FALSE(hidden);
}

TEST_F(ZelCommonExistence, FolderThatCannotBeSearchedGivesZero)
{
    kestrow::test::asUnprivilegedUser({dir.path()}, [&] {
        const std::string locked = dir.makeDir("locked");
        dir.writeFile("locked/f.txt", "");
        fs::permissions(locked, fs::perms::none);
        EXPECT_FALSE(zc::PBFileExists(locked + "/f.txt"));
        EXPECT_FALSE(zc::PBFileExists(locked + "/*"));
        EXPECT_FALSE(zc::PBFolderExists(locked));
        EXPECT_FALSE(zc::APIFileExists(locked + "/f.txt"));
        // The folder itself is still there.
        EXPECT_TRUE(zc::APIFolderExists(locked));
        fs::permissions(locked, fs::perms::owner_all);
    });
}
