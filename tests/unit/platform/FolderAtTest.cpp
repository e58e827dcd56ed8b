#include "platform/FolderAt.h"

#include "platform/FileOpsInternal.h"
#include "tests/support/TempDir.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace t = kestrow::test;

namespace {

// Opens `path` as a root, failing the test when it cannot.
OpenFolder openRoot(const std::string& path, FolderIdentity* id = nullptr)
{
    OpenFolder folder;
    FolderIdentity ignored;
    EXPECT_EQ(openRootFolder(path, folder, id ? *id : ignored), 0) << path;
    return folder;
}

std::set<std::string> namesAt(const OpenFolder& folder)
{
    std::vector<DirEntry> entries;
    EXPECT_EQ(listFolderAt(folder, entries), 0);
    std::set<std::string> names;
    for (const DirEntry& e : entries)
        names.insert(e.name);
    return names;
}

bool anyTempIn(const OpenFolder& folder)
{
    for (const std::string& name : namesAt(folder))
        if (isUniqueFileName(name, "kw_", ".tmp"))
            return true;
    return false;
}

DirEntry entryNamed(const OpenFolder& folder, const std::string& name)
{
    std::vector<DirEntry> entries;
    EXPECT_EQ(listFolderAt(folder, entries), 0);
    for (const DirEntry& e : entries)
        if (e.name == name)
            return e;
    ADD_FAILURE() << "not listed: " << name;
    return {};
}

// Runs every check once through openat2 and once through the openat fallback.
class BothOpenPaths : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override { detail::setOpenat2Disabled(GetParam()); }
    void TearDown() override { detail::setOpenat2Disabled(false); }
};

std::string openPathName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "OpenatFallback" : "Openat2";
}

} // namespace

TEST(FolderAt, NamesThatAreNotSingleNamesAreRefused)
{
    TempDir tmp;
    tmp.makeDir("a/b");
    tmp.writeFile("a/f", "x");
    const OpenFolder root = openRoot(tmp.path());
    const FolderIdentity none;
    for (const std::string& name :
         std::vector<std::string>{"", ".", "..", "a/b", "../a", "a/", std::string("a\0b", 3)}) {
        OpenFolder child;
        FolderIdentity id;
        EXPECT_EQ(openChildFolder(root, none, name, nullptr, MountCrossing::allow, child, id), EINVAL)
            << name;
        EXPECT_FALSE(child.isOpen());
        PathAttributes attrs;
        EXPECT_EQ(entryAttributesAt(root, name, attrs), EINVAL) << name;
        EXPECT_EQ(deleteFileAt(root, name), EINVAL) << name;
        EXPECT_EQ(removeFolderAt(root, name), EINVAL) << name;
        EXPECT_EQ(makeFolderAt(root, name), EINVAL) << name;
        EXPECT_EQ(copyFileAt(root, "a/f", root, "g", CopyFlavor::Regular), EINVAL);
        EXPECT_EQ(copyFileAt(root, "x", root, name, CopyFlavor::Regular), EINVAL) << name;
        EXPECT_EQ(secureDeleteAt(root, name), EINVAL) << name;
        EXPECT_EQ(moveToTrashAt(root, name, "/x"), EINVAL) << name;
    }
    EXPECT_TRUE(t::exists(tmp / "a/b"));
    EXPECT_TRUE(t::exists(tmp / "a/f"));
}

TEST_P(BothOpenPaths, AChildSwappedForALinkToAnOutsideFolderIsNeverEntered)
{
    TempDir tmp;
    tmp.makeDir("root/child");
    tmp.writeFile("outside/precious", "keep me");
    FolderIdentity rootId;
    const OpenFolder root = openRoot(tmp / "root", &rootId);
    const DirEntry listed = entryNamed(root, "child");
    const FolderIdentity expected = identityOf(listed);

    // Swapped after the listing, as an attacker would.
    ASSERT_EQ(::rmdir((tmp / "root/child").c_str()), 0);
    t::makeSymlink(tmp / "outside", tmp / "root/child");

    for (const MountCrossing crossing : {MountCrossing::refuse, MountCrossing::allow}) {
        OpenFolder child;
        FolderIdentity id;
        EXPECT_EQ(openChildFolder(root, rootId, "child", &expected, crossing, child, id), ELOOP);
        EXPECT_EQ(openChildFolder(root, rootId, "child", nullptr, crossing, child, id), ELOOP);
        EXPECT_FALSE(child.isOpen());
        EXPECT_FALSE(id.known());
    }
    // What works on the entry works on the link itself.
    EXPECT_EQ(removeFolderAt(root, "child"), ENOTDIR);
    EXPECT_EQ(clearReadOnlyAt(root, "child"), EPERM);
    EXPECT_EQ(deleteFileAt(root, "child"), 0);
    EXPECT_EQ(t::readAll(tmp / "outside/precious"), "keep me");
}

TEST_P(BothOpenPaths, AChildSwappedForAnotherFolderIsReplaced)
{
    TempDir tmp;
    tmp.makeDir("root/child");
    tmp.makeDir("root/other");
    FolderIdentity rootId;
    const OpenFolder root = openRoot(tmp / "root", &rootId);
    const FolderIdentity expected = identityOf(entryNamed(root, "child"));
    ASSERT_TRUE(expected.known());

    OpenFolder child;
    FolderIdentity id;
    ASSERT_EQ(openChildFolder(root, rootId, "child", &expected, MountCrossing::refuse, child, id), 0);
    EXPECT_TRUE(id.sameFolder(expected));
    EXPECT_EQ(id.mount, rootId.mount);

    ASSERT_EQ(::rename((tmp / "root/child").c_str(), (tmp / "root/moved").c_str()), 0);
    ASSERT_EQ(::rename((tmp / "root/other").c_str(), (tmp / "root/child").c_str()), 0);
    OpenFolder swapped;
    EXPECT_EQ(openChildFolder(root, rootId, "child", &expected, MountCrossing::refuse, swapped, id),
              kFolderReplaced);
    EXPECT_FALSE(swapped.isOpen());
    // Without an expectation it is simply the folder there now.
    EXPECT_EQ(openChildFolder(root, rootId, "child", nullptr, MountCrossing::refuse, swapped, id), 0);
    EXPECT_FALSE(id.sameFolder(expected));

    tmp.writeFile("root/file", "x");
    EXPECT_EQ(openChildFolder(root, rootId, "file", nullptr, MountCrossing::refuse, swapped, id), ENOTDIR);
    EXPECT_EQ(openChildFolder(root, rootId, "missing", nullptr, MountCrossing::refuse, swapped, id), ENOENT);
    t::makeFifoAt(tmp / "root/fifo");
    t::Watchdog watchdog;
    EXPECT_EQ(openChildFolder(root, rootId, "fifo", nullptr, MountCrossing::refuse, swapped, id), ENOTDIR);
}

TEST_P(BothOpenPaths, ABindMountOfTheSameFileSystemIsACrossing)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "bind mounts need root";
    TempDir tmp;
    tmp.makeDir("root/mnt");
    tmp.makeDir("root/plain");
    tmp.writeFile("elsewhere/inside", "x");
    t::ScopedMount mount("mount --bind " + t::shellQuoted(tmp / "elsewhere"), tmp / "root/mnt");
    if (!mount.mounted())
        GTEST_SKIP() << "could not bind-mount here";

    FolderIdentity rootId;
    const OpenFolder root = openRoot(tmp / "root", &rootId);
    const DirEntry listed = entryNamed(root, "mnt");
    EXPECT_EQ(listed.device, rootId.device); // one file system ...
    if (listed.mount != 0) {
        EXPECT_NE(listed.mount, rootId.mount); // ... two mounts
    }
    const FolderIdentity expected = identityOf(listed);

    OpenFolder child;
    FolderIdentity id;
    EXPECT_EQ(openChildFolder(root, rootId, "mnt", &expected, MountCrossing::refuse, child, id),
              kFolderReplaced);
    EXPECT_FALSE(child.isOpen());
    ASSERT_EQ(openChildFolder(root, rootId, "mnt", &expected, MountCrossing::allow, child, id), 0);
    EXPECT_EQ(namesAt(child), std::set<std::string>{"inside"});
    EXPECT_TRUE(isMountTop(child, id));

    OpenFolder plain;
    FolderIdentity plainId;
    ASSERT_EQ(openChildFolder(root, rootId, "plain", nullptr, MountCrossing::refuse, plain, plainId), 0);
    EXPECT_FALSE(isMountTop(plain, plainId));
}

INSTANTIATE_TEST_SUITE_P(FolderAt, BothOpenPaths, ::testing::Bool(), openPathName);

TEST(FolderAt, TheRootIsAMountTopAndEndsTheAncestors)
{
    TempDir tmp;
    tmp.makeDir("a/b");
    FolderIdentity slashId;
    const OpenFolder slash = openRoot("/", &slashId);
    EXPECT_TRUE(isMountTop(slash, slashId));
    std::vector<FolderIdentity> above;
    EXPECT_EQ(ancestorIdentities(slash, above), 0);
    EXPECT_TRUE(above.empty());

    FolderIdentity bId;
    const OpenFolder b = openRoot(tmp / "a/b", &bId);
    EXPECT_FALSE(isMountTop(b, bId));
    ASSERT_EQ(ancestorIdentities(b, above), 0);
    ASSERT_GE(above.size(), 2u);
    EXPECT_EQ(above.front().inode, t::lstatOf(tmp / "a").st_ino);
    EXPECT_TRUE(above.back().sameFolder(slashId));
}

TEST(FolderAt, ListingFillsIdentitiesAndLeavesTheHandleAlone)
{
    TempDir tmp;
    for (int i = 0; i < 300; ++i)
        tmp.writeFile("d/file" + std::to_string(i), "x");
    tmp.makeDir("d/sub");
    t::makeSymlink("nowhere", tmp / "d/link");
    const OpenFolder d = openRoot(tmp / "d");
    FolderIdentity dId;
    ASSERT_EQ(detail::identityOfFd(d.fd(), dId), 0);

    std::vector<DirEntry> viaHandle;
    std::vector<DirEntry> viaPath;
    ASSERT_EQ(listFolderAt(d, viaHandle), 0);
    ASSERT_EQ(listFolder(tmp / "d", viaPath), 0);
    ASSERT_EQ(viaHandle.size(), 302u);
    ASSERT_EQ(viaPath.size(), 302u);
    for (const auto* list : {&viaHandle, &viaPath}) {
        for (const DirEntry& e : *list) {
            const struct stat st = t::lstatOf(tmp / "d/" + e.name);
            EXPECT_EQ(e.device, st.st_dev) << e.name;
            EXPECT_EQ(e.inode, st.st_ino) << e.name;
            if (e.isFolder()) {
                EXPECT_EQ(e.mount, dId.mount) << e.name;
            }
        }
    }
    // Threads listing through one handle each see everything.
    std::vector<std::vector<DirEntry>> results(4);
    std::vector<int> codes(4, -1);
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < results.size(); ++i)
            threads.emplace_back([&, i] { codes[i] = listFolderAt(d, results[i]); });
    }
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(codes[i], 0);
        EXPECT_EQ(results[i].size(), 302u);
    }
    // The handle's own position never moved.
    EXPECT_EQ(::lseek(d.fd(), 0, SEEK_CUR), 0);
}

TEST(FolderAt, APathLongerThanTheKernelTakesIsWorkedInLevelByLevel)
{
    TempDir tmp;
    tmp.writeFile("src/data", "deep contents");
    FolderIdentity rootId;
    const OpenFolder root = openRoot(tmp.path(), &rootId);
    const OpenFolder src = openRoot(tmp / "src");
    const std::string level(200, 'L');
    std::vector<OpenFolder> chain;
    std::vector<FolderIdentity> ids{rootId};
    size_t depth = tmp.path().size();
    while (depth <= 4096 + 200) {
        const OpenFolder& parent = chain.empty() ? root : chain.back();
        ASSERT_EQ(makeFolderAt(parent, level), 0);
        OpenFolder child;
        FolderIdentity id;
        ASSERT_EQ(openChildFolder(parent, ids.back(), level, nullptr, MountCrossing::refuse, child, id), 0);
        chain.push_back(std::move(child));
        ids.push_back(id);
        depth += level.size() + 1;
    }
    const OpenFolder& deepest = chain.back();
    ASSERT_EQ(copyFileAt(src, "data", deepest, "copy", CopyFlavor::KeepEverything), 0);
    EXPECT_EQ(namesAt(deepest), std::set<std::string>{"copy"});
    PathAttributes attrs;
    ASSERT_EQ(entryAttributesAt(deepest, "copy", attrs), 0);
    EXPECT_EQ(attrs.size, 13u);
    ASSERT_EQ(copyFileAt(deepest, "copy", src, "back", CopyFlavor::Regular), 0);
    EXPECT_EQ(t::readAll(tmp / "src/back"), "deep contents");
    std::vector<FolderIdentity> above;
    ASSERT_EQ(ancestorIdentities(deepest, above), 0);
    EXPECT_GT(above.size(), chain.size());
    EXPECT_TRUE(above[chain.size() - 1].sameFolder(rootId));

    EXPECT_EQ(secureDeleteAt(deepest, "copy"), 0);
    EXPECT_TRUE(namesAt(deepest).empty());
    // Taken down level by level (no path would reach the bottom).
    for (size_t i = chain.size(); i-- > 0;) {
        const OpenFolder& parent = i == 0 ? root : chain[i - 1];
        EXPECT_EQ(removeFolderAt(parent, level), 0) << i;
    }
    EXPECT_FALSE(t::exists(tmp / level));
}

TEST(FolderAt, ACopyReplacesTheNameAndNeverWritesThroughAHardLink)
{
    TempDir tmp;
    tmp.writeFile("src/f", "new data, longer than the old");
    t::setMtime(tmp / "src/f", 1700000000, 123456789);
    tmp.writeFile("dst/f", "old data");
    ASSERT_EQ(::link((tmp / "dst/f").c_str(), (tmp / "other-link").c_str()), 0);
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");

    ASSERT_EQ(copyFileAt(src, "f", dst, "f", CopyFlavor::Regular), 0);
    EXPECT_EQ(t::readAll(tmp / "dst/f"), "new data, longer than the old");
    EXPECT_EQ(t::readAll(tmp / "other-link"), "old data");
    const struct stat st = t::lstatOf(tmp / "dst/f");
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_FALSE(anyTempIn(dst));
}

TEST(FolderAt, ACopyThatCannotBeDoneChangesNothing)
{
    TempDir tmp;
    tmp.writeFile("src/f", "source");
    tmp.writeFile("dst/readonly", "old");
    t::chmodOrFail(tmp / "dst/readonly", 0444);
    tmp.makeDir("dst/folder");
    ASSERT_EQ(::link((tmp / "src/f").c_str(), (tmp / "dst/same").c_str()), 0);
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");

    EXPECT_EQ(copyFileAt(src, "f", dst, "readonly", CopyFlavor::Regular), EACCES);
    EXPECT_EQ(t::readAll(tmp / "dst/readonly"), "old");
    EXPECT_EQ(copyFileAt(src, "f", dst, "folder", CopyFlavor::Regular), EISDIR);
    EXPECT_EQ(copyFileAt(src, "f", dst, "same", CopyFlavor::Regular), EINVAL);
    EXPECT_EQ(t::readAll(tmp / "dst/same"), "source");
    EXPECT_EQ(copyFileAt(src, "missing", dst, "x", CopyFlavor::Regular), ENOENT);
    const OpenFolder top = openRoot(tmp.path());
    EXPECT_EQ(copyFileAt(top, "src", dst, "x", CopyFlavor::Regular), EISDIR);
    t::makeSocket(tmp / "src/sock");
    EXPECT_EQ(copyFileAt(src, "sock", dst, "sock", CopyFlavor::Regular), ENOTSUP);
    EXPECT_FALSE(anyTempIn(dst));
    EXPECT_EQ(namesAt(dst), (std::set<std::string>{"readonly", "folder", "same"}));
}

TEST(FolderAt, ASourceThatIsNotAsListedIsNotCopied)
{
    TempDir tmp;
    tmp.writeFile("src/f", "as listed");
    tmp.writeFile("dst/f", "old copy");
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");
    PathAttributes listed;
    ASSERT_EQ(entryAttributesAt(src, "f", listed), 0);

    // Written again since the listing: same size, another time.
    tmp.writeFile("src/f", "as changed");
    t::setMtime(tmp / "src/f", 1600000000, 5);
    EXPECT_EQ(copyFileAt(src, "f", dst, "f", CopyFlavor::Regular, &listed), kSourceChanged);
    EXPECT_EQ(t::readAll(tmp / "dst/f"), "old copy");
    std::string temp;
    EXPECT_EQ(copyToTempAt(src, "f", dst, CopyFlavor::Regular, temp, &listed), kSourceChanged);
    EXPECT_TRUE(temp.empty());
    // Replaced by a link.
    ASSERT_EQ(::unlink((tmp / "src/f").c_str()), 0);
    t::makeSymlink("as listed", tmp / "src/f");
    EXPECT_EQ(copyFileAt(src, "f", dst, "f", CopyFlavor::Regular, &listed), kSourceChanged);
    EXPECT_EQ(t::readAll(tmp / "dst/f"), "old copy");
    EXPECT_FALSE(anyTempIn(dst));

    // As listed: copied.
    ASSERT_EQ(entryAttributesAt(src, "f", listed), 0);
    ASSERT_EQ(copyFileAt(src, "f", dst, "f", CopyFlavor::Regular, &listed), 0);
    std::string text;
    ASSERT_EQ(readLinkAt(dst, "f", text), 0);
    EXPECT_EQ(text, "as listed");
}

TEST(FolderAt, ACopyThatFailsHalfWayLeavesTheTargetAsItWas)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "a small file system to fill needs root";
    TempDir tmp;
    tmp.writeFile("src/big", t::patternBytes(3 << 20));
    tmp.makeDir("small");
    t::ScopedMount mount("mount -t tmpfs -o size=1m tmpfs", tmp / "small");
    if (!mount.mounted())
        GTEST_SKIP() << "could not mount a tmpfs here";
    tmp.writeFile("small/big", "old copy");
    ASSERT_EQ(::link((tmp / "small/big").c_str(), (tmp / "small/other").c_str()), 0);
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder small = openRoot(tmp / "small");
    EXPECT_EQ(copyFileAt(src, "big", small, "big", CopyFlavor::Regular), ENOSPC);
    EXPECT_EQ(t::readAll(tmp / "small/big"), "old copy");
    EXPECT_EQ(t::readAll(tmp / "small/other"), "old copy");
    EXPECT_FALSE(anyTempIn(small));
    std::string temp;
    EXPECT_EQ(copyToTempAt(src, "big", small, CopyFlavor::Regular, temp), ENOSPC);
    EXPECT_TRUE(temp.empty());
    EXPECT_EQ(namesAt(small), (std::set<std::string>{"big", "other"}));
}

TEST(FolderAt, CopyToTempLeavesTheCopyForTheCallerToRename)
{
    TempDir tmp;
    tmp.writeFile("src/f", "data");
    t::makeFifoAt(tmp / "src/fifo", 0640);
    t::makeSymlink("../somewhere", tmp / "src/link");
    tmp.writeFile("dst/f", "old");
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");
    t::Watchdog watchdog;
    for (const std::string name : {"f", "fifo", "link"}) {
        std::string temp;
        ASSERT_EQ(copyToTempAt(src, name, dst, CopyFlavor::Regular, temp), 0) << name;
        EXPECT_TRUE(isUniqueFileName(temp, "kw_", ".tmp")) << temp;
        ASSERT_EQ(renameAt(dst, temp, dst, name, name == "f"), 0);
    }
    EXPECT_EQ(t::readAll(tmp / "dst/f"), "data");
    EXPECT_TRUE(S_ISFIFO(t::lstatOf(tmp / "dst/fifo").st_mode));
    EXPECT_EQ(t::lstatOf(tmp / "dst/fifo").st_mode & 07777, 0640u);
    std::string text;
    ASSERT_EQ(readLinkAt(dst, "link", text), 0);
    EXPECT_EQ(text, "../somewhere");

    std::string temp;
    ASSERT_EQ(copyToTempAt(src, "f", dst, CopyFlavor::Regular, temp), 0);
    EXPECT_EQ(renameAt(dst, temp, dst, "f", false), EEXIST);
    EXPECT_EQ(deleteFileAt(dst, temp), 0);
    EXPECT_FALSE(anyTempIn(dst));
}

TEST(FolderAt, SetIdBitsStayOnlyWithTheOwner)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "files of other users need root";
    TempDir tmp;
    tmp.writeFile("src/tool", "#!/bin/sh\n");
    t::chmodOrFail(tmp / "src", 0755);
    ASSERT_EQ(::chown((tmp / "src/tool").c_str(), 12345, 12345), 0);
    t::chmodOrFail(tmp / "src/tool", 06755);
    tmp.makeDir("dst");
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");

    // Root keeps the owner with every flavour, and so the bits.
    for (const CopyFlavor flavor : {CopyFlavor::Regular, CopyFlavor::KeepEverything}) {
        const std::string name = flavor == CopyFlavor::Regular ? "regular" : "kept";
        ASSERT_EQ(copyFileAt(src, "tool", dst, name, flavor), 0);
        const struct stat st = t::lstatOf(tmp / ("dst/" + name));
        EXPECT_EQ(st.st_uid, 12345u) << name;
        EXPECT_EQ(st.st_gid, 12345u) << name;
        EXPECT_EQ(st.st_mode & 07777, 06755u) << name;
    }

    // A user who cannot keep the owner gets a copy of their own without the bits.
    tmp.makeDir("mine");
    ASSERT_EQ(::chown((tmp / "mine").c_str(), 65534, 65534), 0);
    t::chmodOrFail(tmp.path(), 0755);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(90);
        OpenFolder from, to;
        FolderIdentity id;
        if (openRootFolder(tmp / "src", from, id) != 0 || openRootFolder(tmp / "mine", to, id) != 0)
            ::_exit(91);
        MetadataLoss loss;
        const int err = copyFileAt(from, "tool", to, "tool", CopyFlavor::Regular, nullptr, false, &loss);
        ::_exit(err != 0 ? 92 : (loss.take() & MetadataOwner) ? 0 : 93);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "90/91: setup, 92: copy failed, 93: the lost owner was not told";
    const struct stat st = t::lstatOf(tmp / "mine/tool");
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST(FolderAt, EveryFlavourCarriesExtendedAttributes)
{
    TempDir tmp;
    tmp.writeFile("src/f", "x");
    tmp.makeDir("dst");
    const std::string value = "kept";
    if (::setxattr((tmp / "src/f").c_str(), "user.kestrow", value.data(), value.size(), 0) != 0)
        GTEST_SKIP() << "no user extended attributes here";
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");
    ASSERT_EQ(copyFileAt(src, "f", dst, "all", CopyFlavor::KeepEverything), 0);
    ASSERT_EQ(copyFileAt(src, "f", dst, "plain", CopyFlavor::Regular), 0);
    std::string temp;
    ASSERT_EQ(copyToTempAt(src, "f", dst, CopyFlavor::Regular, temp), 0);
    for (const std::string& name : {std::string("all"), std::string("plain"), temp}) {
        char buf[16] = {};
        EXPECT_EQ(::getxattr((tmp / ("dst/" + name)).c_str(), "user.kestrow", buf, sizeof buf), 4) << name;
        EXPECT_EQ(std::string(buf, 4), value) << name;
    }
}

TEST(FolderAt, ASparseFileKeepsItsHoles)
{
    TempDir tmp;
    tmp.makeDir("src");
    tmp.makeDir("dst");
    const std::string file = tmp / "src/sparse";
    {
        Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        ASSERT_TRUE(fd.valid());
        const std::string head = t::patternBytes(4096, 1);
        const std::string middle = t::patternBytes(4096, 2);
        ASSERT_EQ(::pwrite(fd.get(), head.data(), head.size(), 0), 4096);
        ASSERT_EQ(::pwrite(fd.get(), middle.data(), middle.size(), 4 << 20), 4096);
        ASSERT_EQ(::ftruncate(fd.get(), 8 << 20), 0); // a hole at the end too
    }
    const struct stat srcSt = t::lstatOf(file);
    if (static_cast<uint64_t>(srcSt.st_blocks) * 512 >= static_cast<uint64_t>(srcSt.st_size))
        GTEST_SKIP() << "this file system has no holes";
    const OpenFolder src = openRoot(tmp / "src");
    const OpenFolder dst = openRoot(tmp / "dst");
    ASSERT_EQ(copyFileAt(src, "sparse", dst, "sparse", CopyFlavor::Regular), 0);
    const struct stat dstSt = t::lstatOf(tmp / "dst/sparse");
    EXPECT_EQ(dstSt.st_size, srcSt.st_size);
    EXPECT_LE(dstSt.st_blocks, srcSt.st_blocks + 64) << "holes were filled";
    EXPECT_TRUE(t::readAll(tmp / "dst/sparse") == t::readAll(file));
    // The path-based copy shares the same data copy.
    ASSERT_EQ(copyFile(file, tmp / "dst/by-path"), 0);
    EXPECT_LE(t::lstatOf(tmp / "dst/by-path").st_blocks, srcSt.st_blocks + 64);
}

TEST(FolderAt, TrashFromAHandleGoesToTheHomeTrashWithTheDisplayPath)
{
    TempDir tmp;
    const std::string dataHome = tmp / "xdg-data";
    t::ScopedEnv xdg("XDG_DATA_HOME", dataHome);
    tmp.writeFile("work/report.txt", "first");
    const OpenFolder work = openRoot(tmp / "work");
    ASSERT_EQ(moveToTrashAt(work, "report.txt", "/shown/as/report.txt"), 0);
    EXPECT_FALSE(t::exists(tmp / "work/report.txt"));
    EXPECT_EQ(t::readAll(dataHome + "/Trash/files/report.txt"), "first");
    EXPECT_NE(t::readAll(dataHome + "/Trash/info/report.txt.trashinfo").find("\nPath=/shown/as/report.txt\n"),
              std::string::npos);
    // A second one of the same name is numbered.
    tmp.writeFile("work/report.txt", "second");
    ASSERT_EQ(moveToTrashAt(work, "report.txt", "/shown/as/report.txt"), 0);
    EXPECT_EQ(t::readAll(dataHome + "/Trash/files/report.2.txt"), "second");
    EXPECT_EQ(moveToTrashAt(work, "report.txt", "/x"), ENOENT);
}

TEST(FolderAt, TrashFromAHandleOnABindMountUsesThatMountsTrash)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "bind mounts need root";
    TempDir tmp;
    t::ScopedEnv xdg("XDG_DATA_HOME", tmp / "xdg-data");
    tmp.writeFile("source/sub/item", "x");
    tmp.makeDir("bound");
    t::ScopedMount mount("mount --bind " + t::shellQuoted(tmp / "source"), tmp / "bound");
    if (!mount.mounted())
        GTEST_SKIP() << "could not bind-mount here";
    const OpenFolder sub = openRoot(tmp / "bound/sub");
    ASSERT_EQ(moveToTrashAt(sub, "item", tmp / "bound/sub/item"), 0);
    const std::string trash = tmp / "source/.Trash-0";
    EXPECT_EQ(t::readAll(trash + "/files/item"), "x");
    EXPECT_NE(t::readAll(trash + "/info/item.trashinfo").find("\nPath=sub/item\n"), std::string::npos);
}

TEST(FolderAt, SecureDeleteOfAHardLinkedFileLeavesTheOtherLinksData)
{
    TempDir tmp;
    tmp.writeFile("d/shared", "shared data");
    ASSERT_EQ(::link((tmp / "d/shared").c_str(), (tmp / "elsewhere").c_str()), 0);
    tmp.writeFile("d/alone", "secret");
    t::chmodOrFail(tmp / "d/alone", 0400);
    t::makeSymlink(tmp / "elsewhere", tmp / "d/link");
    const OpenFolder d = openRoot(tmp / "d");
    EXPECT_EQ(secureDeleteAt(d, "shared"), 0);
    EXPECT_EQ(t::readAll(tmp / "elsewhere"), "shared data");
    EXPECT_EQ(secureDeleteAt(d, "link"), 0);
    EXPECT_EQ(t::readAll(tmp / "elsewhere"), "shared data");
    EXPECT_EQ(secureDeleteAt(d, "alone"), 0);
    EXPECT_TRUE(namesAt(d).empty());
    EXPECT_EQ(secureDeleteAt(d, "alone"), ENOENT);
}

TEST(FolderAt, ClearReadOnlyNeverChangesWhatALinkPointsTo)
{
    TempDir tmp;
    tmp.writeFile("outside", "x");
    t::chmodOrFail(tmp / "outside", 0444);
    tmp.writeFile("d/readonly", "x");
    t::chmodOrFail(tmp / "d/readonly", 0444);
    t::makeSymlink(tmp / "outside", tmp / "d/link");
    t::makeFifoAt(tmp / "d/fifo", 0440);
    const OpenFolder d = openRoot(tmp / "d");
    t::Watchdog watchdog;
    EXPECT_EQ(clearReadOnlyAt(d, "link"), EPERM);
    EXPECT_EQ(t::lstatOf(tmp / "outside").st_mode & 07777, 0444u);
    EXPECT_EQ(clearReadOnlyAt(d, "readonly"), 0);
    EXPECT_EQ(t::lstatOf(tmp / "d/readonly").st_mode & 07777, 0644u);
    EXPECT_EQ(clearReadOnlyAt(d, "fifo"), 0);
    EXPECT_EQ(t::lstatOf(tmp / "d/fifo").st_mode & 07777, 0640u);
    // The path-based one shares it: a link is left alone.
    EXPECT_EQ(clearReadOnly(tmp / "d/link"), 0);
    EXPECT_EQ(t::lstatOf(tmp / "outside").st_mode & 07777, 0444u);

    t::chmodOrFail(tmp / "d", 0555);
    EXPECT_EQ(clearReadOnlyFolder(d), 0);
    EXPECT_EQ(t::lstatOf(tmp / "d").st_mode & 07777, 0755u);
}

TEST(FolderAt, LockFolderIsExclusiveAcrossHandles)
{
    TempDir tmp;
    tmp.makeDir("d");
    OpenFolder first = openRoot(tmp / "d");
    const OpenFolder second = openRoot(tmp / "d");
    EXPECT_EQ(lockFolder(first), 0);
    EXPECT_EQ(lockFolder(second), EWOULDBLOCK);
    first.close();
    EXPECT_EQ(lockFolder(second), 0);
    EXPECT_EQ(lockFolder(OpenFolder()), EBADF);
}

TEST(FolderAt, EntryOperationsGiveTheErrorsTheContractNames)
{
    TempDir tmp;
    tmp.makeDir("d/sub");
    tmp.writeFile("d/sub/inner", "x");
    tmp.writeFile("d/file", "x");
    tmp.makeDir("d/empty");
    t::makeSymlink("empty", tmp / "d/link");
    const OpenFolder d = openRoot(tmp / "d");
    EXPECT_EQ(makeFolderAt(d, "file"), EEXIST);
    EXPECT_EQ(deleteFileAt(d, "sub"), EISDIR);
    EXPECT_EQ(removeFolderAt(d, "sub"), ENOTEMPTY);
    EXPECT_EQ(removeFolderAt(d, "link"), ENOTDIR);
    EXPECT_EQ(removeFolderAt(d, "empty"), 0);
    EXPECT_EQ(syncAt(d, "link"), ENOTSUP);
    EXPECT_EQ(syncAt(d, "file"), 0);
    EXPECT_EQ(syncFolder(d), 0);
    EXPECT_EQ(renameAt(d, "file", d, "sub", false), EEXIST);
    EXPECT_EQ(renameAt(d, "file", d, "renamed", false), 0);
    EXPECT_EQ(removeLeftoverFileAt(d, "renamed"), 0);
    EXPECT_EQ(namesAt(d), (std::set<std::string>{"sub", "link"}));
}

TEST(FolderAt, AFolderThatMayOnlyBeSearchedIsHeldForSearching)
{
    TempDir tmp;
    tmp.writeFile("d/sub/file", "reachable");
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0711), 0);
    t::chmodOrFail(tmp / "d", 0311); // searchable by all, readable by nobody
    t::chmodOrFail(tmp / "d/sub", 0777);
    t::chmodOrFail(tmp / "d/sub/file", 0644);
    // In a child process, as another user when the test runs as root (so that
    // permissions count).
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (t::runningAsRoot() && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        OpenFolder d;
        FolderIdentity dId;
        if (openRootFolder(tmp / "d", d, dId) != 0)
            ::_exit(11);
        std::vector<DirEntry> entries;
        if (listFolderAt(d, entries) != EACCES)
            ::_exit(12);
        if (lockFolder(d) != EBADF)
            ::_exit(13);
        OpenFolder sub;
        FolderIdentity subId;
        if (openChildFolder(d, dId, "sub", nullptr, MountCrossing::refuse, sub, subId) != 0)
            ::_exit(14);
        if (listFolderAt(sub, entries) != 0 || entries.size() != 1)
            ::_exit(15);
        if (copyFileAt(sub, "file", sub, "copy", CopyFlavor::Regular) != 0)
            ::_exit(16);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "step that failed: " << WEXITSTATUS(status);
    EXPECT_EQ(t::readAll(tmp / "d/sub/copy"), "reachable");
}
