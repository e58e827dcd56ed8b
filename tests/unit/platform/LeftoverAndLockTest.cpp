#include "platform/FileOps.h"
#include "platform/InstanceLock.h"

#include "tests/support/TempDir.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace fs = std::filesystem;

TEST(UniqueFileName, MatchesExactlyWhatMakeUniqueFileGives)
{
    struct Row
    {
        const char* name;
        bool matches;
    };
    const Row rows[] = {
        {"kw_0123abcd.tmp", true},      {"kw_00000000.tmp", true},
        {"kw_0123ABCD.tmp", false},     {"kw_0123abc.tmp", false},
        {"kw_0123abcde.tmp", false},    {"kw_0123abcg.tmp", false},
        {"KW_0123abcd.tmp", false},     {"kw_0123abcd.TMP", false},
        {"kw_0123abcd.tmp.bak", false}, {"xkw_0123abcd.tmp", false},
        {"kw_0123abcd", false},         {"kw_.tmp", false},
        {"kw_0123 bcd.tmp", false},     {"", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isUniqueFileName(row.name, "kw_", ".tmp"), row.matches) << row.name;

    TempDir tmp;
    for (int i = 0; i < 20; ++i) {
        std::string made;
        ASSERT_EQ(makeUniqueFile(tmp.path() + "/", "kw_", ".tmp", made), 0);
        EXPECT_TRUE(isUniqueFileName(fs::path(made).filename().string(), "kw_", ".tmp")) << made;
    }
}

TEST(RemoveLeftoverFile, RemovesOnlyASingleNamedRegularFileOfOurOwn)
{
    TempDir tmp;
    const std::string own = tmp.writeFile("own", "x");
    const std::string victim = tmp.writeFile("victim", "v");
    const std::string linked = tmp.writeFile("linked", "l");
    fs::create_hard_link(linked, tmp / "second-name");
    fs::create_symlink(victim, tmp / "link");
    tmp.makeDir("folder");
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);

    EXPECT_EQ(removeLeftoverFile(own), 0);
    EXPECT_FALSE(fs::exists(own));
    EXPECT_EQ(removeLeftoverFile(tmp / "missing"), ENOENT);
    for (const char* kept : {"linked", "link", "folder", "fifo"}) {
        EXPECT_EQ(removeLeftoverFile(tmp / kept), EPERM) << kept;
        EXPECT_TRUE(fs::exists(fs::symlink_status(tmp / kept))) << kept;
    }
    EXPECT_EQ(tmp.readFile("victim"), "v");

    if (::geteuid() == 0) {
        const std::string foreign = tmp.writeFile("foreign", "f");
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        EXPECT_EQ(removeLeftoverFile(foreign), EPERM);
        EXPECT_TRUE(fs::exists(foreign));
    }
}

TEST(TargetLockFile, OneLockPerFolderWhateverTheTrailingSlash)
{
    TempDir tmp;
    int err = -1;
    const std::string a = targetLockFile(tmp.dataFolder(), "/srv/backup", err);
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(a.starts_with(tmp.dataFolder() + "target-locks/")) << a;
    EXPECT_TRUE(fs::is_directory(tmp.dataFolder() + "target-locks"));
    EXPECT_EQ(targetLockFile(tmp.dataFolder(), "/srv/backup/", err), a);
    EXPECT_NE(targetLockFile(tmp.dataFolder(), "/srv/backup2", err), a);
    EXPECT_NE(targetLockFile(tmp.dataFolder(), "/srv/Backup", err), a);

    InstanceLock first, second;
    ASSERT_EQ(first.acquire(a), InstanceLock::Result::Acquired);
    EXPECT_EQ(second.acquire(a), InstanceLock::Result::HeldElsewhere);
    first.release();
    EXPECT_EQ(second.acquire(a), InstanceLock::Result::Acquired);

    // A data folder where nothing can be made gives no lock file and the reason.
    tmp.writeFile("plain-file", "");
    EXPECT_EQ(targetLockFile(tmp / "plain-file", "/srv/backup", err), "");
    EXPECT_EQ(err, ENOTDIR);
}
