#include "platform/FileInfo.h"

#include "platform/DirList.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace t = kestrow::test;

TEST(FileInfo, PathKindFollowsLinksOnlyWhenAsked)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    tmp.writeFile("file", "x");
    tmp.makeDir("folder");
    t::makeSymlink("file", r + "toFile");
    t::makeSymlink("folder", r + "toFolder");
    t::makeSymlink("missing", r + "dangling");
    t::makeSymlink("loopB", r + "loopA");
    t::makeSymlink("loopA", r + "loopB");
    t::makeFifoAt(r + "fifo");

    struct Row
    {
        const char* name;
        PathKind noFollow;
        PathKind follow;
        int followErr;
    };
    const Row rows[] = {
        {"file", PathKind::File, PathKind::File, 0},
        {"folder", PathKind::Folder, PathKind::Folder, 0},
        {"toFile", PathKind::Symlink, PathKind::File, 0},
        {"toFolder", PathKind::Symlink, PathKind::Folder, 0},
        {"dangling", PathKind::Symlink, PathKind::Missing, ENOENT},
        {"loopA", PathKind::Symlink, PathKind::Missing, ELOOP},
        {"fifo", PathKind::Special, PathKind::Special, 0},
        {"absent", PathKind::Missing, PathKind::Missing, ENOENT},
    };
    t::Watchdog watchdog;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int err = -1;
        EXPECT_EQ(pathKind(r + row.name, FollowLinks::no, &err), row.noFollow);
        EXPECT_EQ(err, row.noFollow == PathKind::Missing ? ENOENT : 0);
        EXPECT_EQ(pathKind(r + row.name, FollowLinks::yes, &err), row.follow);
        EXPECT_EQ(err, row.followErr);
    }
    EXPECT_EQ(pathKind(r + "file"), PathKind::File) << "the error pointer is optional";
}

TEST(FileInfo, PathKindReportsWhyAPathCannotBeExamined)
{
    TempDir tmp;
    tmp.writeFile("file", "x");
    struct Row
    {
        const char* proves;
        std::string path;
        int err;
    };
    const Row rows[] = {
        {"a file used as a folder", tmp.path() + "/file/child", ENOTDIR},
        {"longer than PATH_MAX", "/" + std::string(5000, 'a'), ENAMETOOLONG},
        {"a single name longer than 255 bytes", tmp.path() + "/" + std::string(256, 'a'), ENAMETOOLONG},
        {"a NUL inside", tmp.path() + std::string("/file\0/x", 8), EINVAL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        int err = 0;
        EXPECT_EQ(pathKind(row.path, FollowLinks::no, &err), PathKind::Missing);
        EXPECT_EQ(err, row.err);
    }
}

TEST(FileInfo, PathKindSeesAccessDeniedOnAParent)
{
    TempDir tmp;
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        tmp.writeFile("closed/inner", "x");
        t::chmodOrFail(tmp.path() + "/closed", 0);
        int err = 0;
        EXPECT_EQ(pathKind(tmp.path() + "/closed/inner", FollowLinks::no, &err), PathKind::Missing);
        EXPECT_EQ(err, EACCES);
    });
}

TEST(FileInfo, AttributesMapHiddenSystemAndReadOnly)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    tmp.writeFile(".dotfile", "abc");
    tmp.writeFile("ro", "abcd");
    t::chmodOrFail(r + "ro", 0555);
    tmp.makeDir(".dotdir");
    t::makeFifoAt(r + "fifo");
    t::makeSymlink("ro", r + "linkToReadOnly");
    t::setMtime(r + "ro", 1234567890, 500);

    struct Row
    {
        std::string path;
        PathKind kind;
        bool hidden;
        bool system;
        bool readOnly;
    };
    const Row rows[] = {
        {r + ".dotfile", PathKind::File, true, false, false},
        {r + "ro", PathKind::File, false, false, true},
        {r + ".dotdir/", PathKind::Folder, true, false, false}, // trailing "/" ignored for the name
        {r + "fifo", PathKind::Special, false, true, false},
        {r + "linkToReadOnly", PathKind::Symlink, false, false, false},
        {r + ".", PathKind::Folder, false, false, false},
        {r + "..", PathKind::Folder, false, false, false},
    };
    t::Watchdog watchdog;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        PathAttributes a;
        ASSERT_EQ(pathAttributes(row.path, a), 0);
        EXPECT_EQ(a.kind, row.kind);
        EXPECT_EQ(a.hidden, row.hidden);
        EXPECT_EQ(a.system, row.system);
        EXPECT_EQ(a.readOnly, row.readOnly);
    }
    PathAttributes a;
    ASSERT_EQ(pathAttributes(r + "ro", a), 0);
    EXPECT_EQ(a.size, 4u);
    EXPECT_EQ(a.lastWrite, fileTimeFromUnix(1234567890, 500));
    EXPECT_EQ(a.mode & 07777, 0555u);

    EXPECT_EQ(pathAttributes(r + "absent", a), ENOENT);
    EXPECT_EQ(a.kind, PathKind::Missing);
}

TEST(FileInfo, ReadLinkTextGivesTheTextUnresolved)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    const std::string longText = std::string(4000, 'x') + "/end";
    struct Row
    {
        const char* name;
        std::string text;
    };
    const Row rows[] = {
        {"relative", "../somewhere/else"},
        {"absolute", "/etc/passwd"},
        {"oddBytes", std::string("sp ace\nnl\\bs\xff")},
        {"nearMaximum", longText},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        t::makeSymlink(row.text, r + row.name);
        std::string got;
        ASSERT_EQ(readLinkText(r + row.name, got), 0);
        EXPECT_EQ(got, row.text);
    }
    tmp.writeFile("plain", "x");
    std::string got = "stale";
    EXPECT_EQ(readLinkText(r + "plain", got), EINVAL);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(readLinkText(r + "absent", got), ENOENT);
}
