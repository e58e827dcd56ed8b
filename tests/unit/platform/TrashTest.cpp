#include "platform/FileOps.h"

#include "platform/FileInfo.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace t = kestrow::test;

namespace {

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        names.insert(e.path().filename().string());
    return names;
}

// The Path= value of a .trashinfo file, and a check of its other lines.
std::string trashedPath(const std::string& infoFile)
{
    const std::string text = t::readAll(infoFile);
    static const std::regex shape("\\[Trash Info\\]\nPath=([^\n]*)\n"
                                  "DeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\n");
    std::smatch m;
    EXPECT_TRUE(std::regex_match(text, m, shape)) << text;
    return m.size() > 1 ? m[1].str() : std::string();
}

} // namespace

TEST(Trash, MovesAFileIntoTheHomeTrashWithItsInfo)
{
    TempDir tmp;
    const std::string file = tmp.writeFile("src/report.doc", "contents");
    const std::string trash = tmp.path() + "/home/.local/share/Trash";
    ASSERT_EQ(moveToTrash(file), 0);
    EXPECT_FALSE(t::exists(file));
    EXPECT_EQ(t::readAll(trash + "/files/report.doc"), "contents");
    EXPECT_EQ(trashedPath(trash + "/info/report.doc.trashinfo"), tmp.path() + "/src/report.doc");
}

TEST(Trash, MakesTheHomeTrashWhenNothingOfItExistsYet)
{
    TempDir tmp;
    const std::string dataHome = tmp.path() + "/fresh/share";
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    const std::string work = tmp.makeDir("work");
    const std::string file = tmp.writeFile("work/item", "x");
    // A relative path is taken from the current folder, and nothing lands there.
    const std::string oldCwd = std::filesystem::current_path().string();
    std::filesystem::current_path(work);
    const int rc = moveToTrash("item");
    std::filesystem::current_path(oldCwd);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(namesIn(work), std::set<std::string>{});
    EXPECT_EQ(t::lstatOf(dataHome + "/Trash").st_mode & 0777, 0700u);
    EXPECT_EQ(t::readAll(dataHome + "/Trash/files/item"), "x");
    EXPECT_EQ(trashedPath(dataHome + "/Trash/info/item.trashinfo"), work + "/item");
}

TEST(Trash, WithoutXdgDataHomeUsesTheHomeFolder)
{
    TempDir tmp;
    ::unsetenv("XDG_DATA_HOME");
    const std::string file = tmp.writeFile("a", "x");
    ASSERT_EQ(moveToTrash(file), 0);
    EXPECT_TRUE(t::exists(tmp.path() + "/home/.local/share/Trash/files/a"));
}

TEST(Trash, ClashingNamesGetNumberedAndKeepTheirOrigins)
{
    TempDir tmp;
    const std::string trash = tmp.path() + "/home/.local/share/Trash";
    const std::string origins[] = {tmp.writeFile("one/notes.txt", "1"), tmp.writeFile("two/notes.txt", "2"),
                                   tmp.writeFile("three/notes.txt", "3")};
    for (const auto& f : origins)
        ASSERT_EQ(moveToTrash(f), 0) << f;
    const std::set<std::string> expected = {"notes.txt", "notes.2.txt", "notes.3.txt"};
    EXPECT_EQ(namesIn(trash + "/files"), expected);
    // Each trashed file holds what its recorded origin held.
    const std::map<std::string, std::string> contentOf = {
        {origins[0], "1"}, {origins[1], "2"}, {origins[2], "3"}};
    std::set<std::string> paths;
    for (const auto& name : expected) {
        const std::string origin = trashedPath(trash + "/info/" + name + ".trashinfo");
        paths.insert(origin);
        ASSERT_TRUE(contentOf.contains(origin)) << origin;
        EXPECT_EQ(t::readAll(trash + "/files/" + name), contentOf.at(origin));
    }
    EXPECT_EQ(paths, std::set<std::string>(std::begin(origins), std::end(origins)));
}

TEST(Trash, PathIsPercentEncoded)
{
    TempDir tmp;
    const std::string trash = tmp.path() + "/home/.local/share/Trash";
    struct Row
    {
        std::string name;
        std::string encoded;
    };
    const Row rows[] = {
        {"with space", "with%20space"},
        {"100%", "100%25"},
        {"new\nline", "new%0Aline"},
        {"caf\xc3\xa9", "caf%C3%A9"},
        {std::string("bad\xff"), "bad%FF"},
        {"keep-_.~", "keep-_.~"},
        {"a#b?c", "a%23b%3Fc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.encoded);
        ASSERT_EQ(moveToTrash(tmp.writeFile("p/" + row.name, "x")), 0);
        EXPECT_EQ(trashedPath(trash + "/info/" + row.name + ".trashinfo"), tmp.path() + "/p/" + row.encoded);
        EXPECT_TRUE(t::exists(trash + "/files/" + row.name));
    }
}

TEST(Trash, FoldersAndLinksGoWholeAndAsTheyAre)
{
    TempDir tmp;
    const std::string trash = tmp.path() + "/home/.local/share/Trash";
    tmp.writeFile("tree/folder/inner/deep.txt", "deep");
    const std::string target = tmp.writeFile("tree/target", "stays");
    t::makeSymlink("target", tmp.path() + "/tree/link");

    ASSERT_EQ(moveToTrash(tmp.path() + "/tree/folder/"), 0);
    ASSERT_EQ(moveToTrash(tmp.path() + "/tree/link"), 0);
    EXPECT_EQ(t::readAll(trash + "/files/folder/inner/deep.txt"), "deep");
    EXPECT_EQ(trashedPath(trash + "/info/folder.trashinfo"), tmp.path() + "/tree/folder");
    EXPECT_EQ(pathKind(trash + "/files/link"), PathKind::Symlink);
    EXPECT_EQ(t::readAll(target), "stays");
    EXPECT_EQ(namesIn(tmp.path() + "/tree"), std::set<std::string>{"target"});
}

TEST(Trash, ALongNameStillFitsItsInfoFile)
{
    TempDir tmp;
    const std::string trash = tmp.path() + "/home/.local/share/Trash";
    const std::string name = std::string(251, 'n') + ".txt"; // 255 bytes
    ASSERT_EQ(moveToTrash(tmp.writeFile("long/" + name, "x")), 0);
    ASSERT_EQ(moveToTrash(tmp.writeFile("long2/" + name, "y")), 0);
    const auto files = namesIn(trash + "/files");
    ASSERT_EQ(files.size(), 2u);
    std::set<std::string> origins;
    for (const auto& f : files) {
        EXPECT_LE((f + ".trashinfo").size(), 255u);
        EXPECT_TRUE(f.ends_with(".txt")) << f;
        origins.insert(trashedPath(trash + "/info/" + f + ".trashinfo"));
    }
    EXPECT_EQ(origins, (std::set<std::string>{tmp.path() + "/long/" + name, tmp.path() + "/long2/" + name}));
}

TEST(Trash, FailuresReturnErrnoAndLeaveNoInfo)
{
    TempDir tmp;
    const std::string trash = tmp.path() + "/home/.local/share/Trash";
    EXPECT_EQ(moveToTrash(tmp.path() + "/absent"), ENOENT);
    EXPECT_EQ(moveToTrash("/"), EINVAL);
    EXPECT_EQ(moveToTrash(""), ENOENT);
    EXPECT_EQ(moveToTrash("/" + std::string(5000, 'x')), ENAMETOOLONG);
    EXPECT_EQ(namesIn(trash + "/info"), std::set<std::string>{});
}

TEST(Trash, AnotherMountUsesItsOwnTrashFolder)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs for a second file system needs root";
    TempDir tmp;
    const std::string mnt = tmp.makeDir("other fs");
    t::ScopedMount mount("mount -t tmpfs -o size=4m tmpfs", mnt);
    if (!mount.mounted())
        GTEST_SKIP() << "could not mount a tmpfs here";
    const std::string file = tmp.writeFile("other fs/dir/item name", "on tmpfs");
    ASSERT_EQ(moveToTrash(file), 0);
    const std::string trash = mnt + "/.Trash-" + std::to_string(::getuid());
    EXPECT_EQ(t::lstatOf(trash).st_mode & 07777, 0700u);
    EXPECT_EQ(t::readAll(trash + "/files/item name"), "on tmpfs");
    // Relative to the top of the mount.
    EXPECT_EQ(trashedPath(trash + "/info/item name.trashinfo"), "dir/item%20name");
    EXPECT_FALSE(t::exists(tmp.path() + "/home/.local/share/Trash/files/item name"));
}

TEST(Trash, AnAdministratorsSharedTrashIsPreferred)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs for a second file system needs root";
    TempDir tmp;
    const std::string mnt = tmp.makeDir("mnt");
    t::ScopedMount mount("mount -t tmpfs -o size=4m tmpfs", mnt);
    if (!mount.mounted())
        GTEST_SKIP() << "could not mount a tmpfs here";
    tmp.makeDir("mnt/.Trash");
    t::chmodOrFail(mnt + "/.Trash", 01777);
    const std::string file = tmp.writeFile("mnt/f", "x");
    ASSERT_EQ(moveToTrash(file), 0);
    EXPECT_EQ(t::readAll(mnt + "/.Trash/" + std::to_string(::getuid()) + "/files/f"), "x");
    EXPECT_FALSE(t::exists(mnt + "/.Trash-" + std::to_string(::getuid())));
}

TEST(Trash, ABindMountOfTheHomeFileSystemUsesItsOwnTrash)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "bind mounts need root";
    TempDir tmp;
    const std::string source = tmp.makeDir("source");
    const std::string bound = tmp.makeDir("bound");
    t::ScopedMount mount("mount --bind " + t::shellQuoted(source), bound);
    if (!mount.mounted())
        GTEST_SKIP() << "could not bind-mount here";
    // Same device as the home trash, yet a rename across the mounts is refused.
    const std::string file = tmp.writeFile("bound/f", "x");
    ASSERT_EQ(moveToTrash(file), 0);
    const std::string trash = bound + "/.Trash-" + std::to_string(::getuid());
    EXPECT_EQ(t::readAll(trash + "/files/f"), "x");
    EXPECT_EQ(trashedPath(trash + "/info/f.trashinfo"), "f");
    EXPECT_EQ(namesIn(tmp.path() + "/home/.local/share/Trash/info"), std::set<std::string>{});
}

TEST(Trash, AnItemThatCannotBeMovedLeavesNoInfoBehind)
{
    TempDir tmp;
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        const std::string file = tmp.writeFile("locked/f", "x");
        t::chmodOrFail(tmp.path() + "/locked", 0555);
        EXPECT_EQ(moveToTrash(file), EACCES);
        EXPECT_EQ(t::readAll(file), "x");
        EXPECT_EQ(namesIn(tmp.path() + "/home/.local/share/Trash/info"), std::set<std::string>{});
    });
}
