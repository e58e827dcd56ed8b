#include "platform/FileOps.h"
#include "platform/FolderAt.h"

#include "platform/FileInfo.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <sys/statvfs.h>
#include <sys/xattr.h>

using namespace kestrow::platform;
using kestrow::test::TempDir;
namespace t = kestrow::test;

namespace {

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace

TEST(CopyFile, CopiesDataModeAndLastWriteToTheNanosecond)
{
    TempDir tmp;
    struct Row
    {
        const char* proves;
        size_t size;
        mode_t mode;
    };
    const Row rows[] = {
        {"an empty file", 0, 0644},
        {"one byte, executable", 1, 0755},
        {"several read blocks", 3 * 1024 * 1024 + 17, 0600},
        {"a read-only source", 4096, 0444},
        {"odd permission bits", 100, 0751},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const std::string data = t::patternBytes(row.size, ++n);
        const std::string from = tmp.writeFile("src/" + std::to_string(n), data);
        t::setMtime(from, 1700000001, 123456789 + n);
        t::chmodOrFail(from, row.mode);
        const std::string to = tmp.path() + "/dst" + std::to_string(n);

        ASSERT_EQ(copyFile(from, to), 0);
        EXPECT_EQ(t::readAll(to), data);
        const struct stat s = t::lstatOf(from);
        const struct stat d = t::lstatOf(to);
        EXPECT_TRUE(S_ISREG(d.st_mode));
        EXPECT_EQ(d.st_mode & 07777, row.mode);
        EXPECT_EQ(d.st_mtim.tv_sec, s.st_mtim.tv_sec);
        EXPECT_EQ(d.st_mtim.tv_nsec, s.st_mtim.tv_nsec);
    }
}

TEST(CopyFile, OverwritesAnExistingTargetInPlace)
{
    TempDir tmp;
    const std::string from = tmp.writeFile("a", "short");
    const std::string to = tmp.writeFile("b", std::string(10000, 'L'));
    const ino_t inode = t::lstatOf(to).st_ino;
    ASSERT_EQ(copyFile(from, to), 0);
    EXPECT_EQ(t::readAll(to), "short");
    EXPECT_EQ(t::lstatOf(to).st_ino, inode);
}

TEST(CopyFile, ReadOnlyTargetIsAccessDeniedUntilCleared)
{
    TempDir tmp;
    const std::string from = tmp.writeFile("a", "new");
    const std::string to = tmp.writeFile("b", "old");
    t::chmodOrFail(to, 0444);
    // Refused even for root, as a read-only file would be.
    EXPECT_EQ(copyFile(from, to), EACCES);
    EXPECT_EQ(t::readAll(to), "old");

    ASSERT_EQ(clearReadOnly(to), 0);
    EXPECT_EQ(t::lstatOf(to).st_mode & 07777, 0644u);
    ASSERT_EQ(copyFile(from, to), 0);
    EXPECT_EQ(t::readAll(to), "new");
}

TEST(CopyFile, NeverWritesThroughALinkAtTheTarget)
{
    TempDir tmp;
    const std::string r = tmp.makeDir("w") + "/";
    const std::string from = tmp.writeFile("w/src", "payload");
    const std::string victim = tmp.writeFile("w/victim", "untouched");
    t::makeSymlink("victim", r + "to");
    t::makeSymlink("nowhere", r + "to2");

    ASSERT_EQ(copyFile(from, r + "to"), 0);
    ASSERT_EQ(copyFile(from, r + "to2"), 0);
    EXPECT_EQ(t::readAll(victim), "untouched");
    EXPECT_FALSE(t::exists(r + "nowhere"));
    for (const char* name : {"to", "to2"}) {
        EXPECT_TRUE(S_ISREG(t::lstatOf(r + name).st_mode)) << name;
        EXPECT_EQ(t::readAll(r + name), "payload");
    }
    EXPECT_EQ(namesIn(r), (std::set<std::string>{"src", "victim", "to", "to2"}))
        << "no temporary entry is left behind";
}

TEST(CopyFile, ALinkIsCopiedAsALink)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    tmp.writeFile("real", "data");
    t::makeSymlink("real", r + "link");
    t::makeSymlink("../no/such", r + "dangling");
    tmp.writeFile("existing", "will be replaced by a link");

    struct Row
    {
        const char* from;
        const char* to;
        const char* text;
    };
    const Row rows[] = {
        {"link", "linkCopy", "real"},
        {"dangling", "danglingCopy", "../no/such"},
        {"link", "existing", "real"},
        {"dangling", "linkCopy", "../no/such"}, // a link over a link
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.from) + " -> " + row.to);
        ASSERT_EQ(copyFile(r + row.from, r + row.to), 0);
        EXPECT_EQ(pathKind(r + row.to), PathKind::Symlink);
        std::string text;
        ASSERT_EQ(readLinkText(r + row.to, text), 0);
        EXPECT_EQ(text, row.text);
    }
    EXPECT_EQ(t::readAll(r + "real"), "data");
}

TEST(CopyFile, AFifoIsRecreatedNeverOpened)
{
    TempDir tmp;
    const std::string fifo = tmp.path() + "/fifo";
    t::makeFifoAt(fifo, 0604);
    t::setMtime(fifo, 1600000000, 5);
    const std::string existing = tmp.writeFile("existing", "x");
    t::Watchdog watchdog; // opening the FIFO would wait for a writer for ever
    for (const std::string& to : {tmp.path() + "/fifoCopy", existing}) {
        SCOPED_TRACE(to);
        ASSERT_EQ(copyFile(fifo, to), 0);
        const struct stat st = t::lstatOf(to);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0604u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
    }
}

TEST(CopyFile, RefusalsLeaveNoTargetBehind)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    const std::string file = tmp.writeFile("file", "x");
    t::makeSocket(r + "sock");
    tmp.makeDir("folder");
    tmp.makeDir("targetFolder");
    std::string longPath = r;
    while (longPath.size() < 4200)
        longPath += std::string(100, 'q') + "/";

    struct Row
    {
        const char* proves;
        std::string from;
        std::string to;
        int err;
    };
    const Row rows[] = {
        {"a missing source", r + "absent", r + "t1", ENOENT},
        {"a socket", r + "sock", r + "t2", ENOTSUP},
        {"a folder source", r + "folder", r + "t3", EISDIR},
        {"a missing target folder", file, r + "nofolder/t4", ENOENT},
        {"a folder at the target", file, r + "targetFolder", EISDIR},
        {"the file onto itself", file, file, EINVAL},
        {"a path beyond PATH_MAX", file, longPath + "t5", ENAMETOOLONG},
        {"a NUL in the target", file, r + std::string("t6\0x", 4), EINVAL},
    };
    t::Watchdog watchdog;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(copyFile(row.from, row.to), row.err);
    }
    EXPECT_EQ(t::readAll(file), "x");
    for (const char* name : {"t1", "t2", "t3", "t6"})
        EXPECT_FALSE(t::exists(r + name)) << name;
}

TEST(CopyFile, AnUnreadableSourceLeavesNoPartialTarget)
{
    TempDir tmp;
    kestrow::test::asUnprivilegedUser({tmp.path()}, [&] {
        const std::string from = tmp.writeFile("secret", "x");
        t::chmodOrFail(from, 0);
        EXPECT_EQ(copyFile(from, tmp.path() + "/copy"), EACCES);
        EXPECT_FALSE(t::exists(tmp.path() + "/copy"));
    });
}

TEST(CopyFile, KeepEverythingAlsoKeepsAccessTimeAndExtendedAttributes)
{
    TempDir tmp;
    const std::string from = tmp.writeFile("src", "abc");
    if (::setxattr(from.c_str(), "user.kestrow", "v1", 2, 0) != 0)
        GTEST_SKIP() << "this file system takes no user extended attributes";
    t::setTimes(from, {1500000000, 111}, {1600000000, 222});

    const std::string kept = tmp.path() + "/kept";
    ASSERT_EQ(copyFile(from, kept, CopyFlavor::KeepEverything), 0);
    struct stat st = t::lstatOf(kept);
    EXPECT_EQ(st.st_atim.tv_sec, 1500000000);
    EXPECT_EQ(st.st_atim.tv_nsec, 111);
    EXPECT_EQ(st.st_mtim.tv_nsec, 222);
    char value[16] = {};
    EXPECT_EQ(::getxattr(kept.c_str(), "user.kestrow", value, sizeof value), 2);
    EXPECT_STREQ(value, "v1");
    EXPECT_EQ(st.st_uid, t::lstatOf(from).st_uid);

    const std::string regular = tmp.path() + "/regular";
    ASSERT_EQ(copyFile(from, regular), 0);
    st = t::lstatOf(regular);
    EXPECT_NE(st.st_atim.tv_sec, 1500000000) << "a regular copy keeps only the last-write time";
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
}

TEST(CopyFile, AFileThatReportsNoSizeIsStillReadToItsEnd)
{
    // proc files say 0 bytes; the data comes only from reading.
    TempDir tmp;
    const std::string to = tmp.path() + "/status";
    ASSERT_EQ(copyFile("/proc/self/status", to), 0);
    EXPECT_TRUE(t::readAll(to).starts_with("Name:")) << t::readAll(to);
}

TEST(CopyFile, ReflinkSharesTheDataWhereTheFileSystemCan)
{
    if (!t::runningAsRoot())
        GTEST_SKIP() << "loop-mounting an image needs root";
    if (!t::quietly("command -v mkfs.btrfs"))
        GTEST_SKIP() << "mkfs.btrfs (btrfs-progs) is not installed";
    TempDir tmp;
    const std::string image = tmp.path() + "/btrfs.img";
    ASSERT_TRUE(t::quietly("truncate -s 128M " + t::shellQuoted(image)));
    if (!t::quietly("mkfs.btrfs -q " + t::shellQuoted(image)))
        GTEST_SKIP() << "mkfs.btrfs failed on the image";
    const std::string point = tmp.makeDir("btrfs");
    t::ScopedMount mount("mount -t btrfs -o loop " + t::shellQuoted(image), point);
    if (!mount.mounted())
        GTEST_SKIP() << "no btrfs loop mount on this machine";

    const std::string data = t::patternBytes(32 * 1024 * 1024, 3);
    const std::string from = tmp.writeFile("btrfs/big", data);
    ::sync();
    struct statvfs before
    {
    };
    ASSERT_EQ(::statvfs(point.c_str(), &before), 0);
    ASSERT_EQ(copyFile(from, point + "/clone"), 0);
    ::sync();
    struct statvfs after
    {
    };
    ASSERT_EQ(::statvfs(point.c_str(), &after), 0);
    EXPECT_EQ(t::readAll(point + "/clone"), data);
    const double usedMiB = (static_cast<double>(before.f_bavail) - static_cast<double>(after.f_bavail)) *
                           static_cast<double>(after.f_frsize) / (1024.0 * 1024.0);
    EXPECT_LT(usedMiB, 8.0) << "a 32 MiB copy took " << usedMiB << " MiB: the data was not shared";
}

TEST(FileOps, FolderAndFileChanges)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    ASSERT_EQ(makeFolder(r + "new"), 0);
    EXPECT_EQ(pathKind(r + "new"), PathKind::Folder);
    EXPECT_EQ(makeFolder(r + "new"), EEXIST);
    EXPECT_EQ(makeFolder(r + "missing/child"), ENOENT);

    tmp.writeFile("new/inside", "x");
    EXPECT_EQ(removeFolder(r + "new"), ENOTEMPTY);
    ASSERT_EQ(deleteFile(r + "new/inside"), 0);
    ASSERT_EQ(removeFolder(r + "new/"), 0);
    EXPECT_FALSE(t::exists(r + "new"));
    EXPECT_EQ(deleteFile(r + "new"), ENOENT);

    // A link goes, never what it points at; a link to a folder is no folder to remove.
    const std::string target = tmp.writeFile("target", "kept");
    tmp.makeDir("dirTarget");
    t::makeSymlink("target", r + "link");
    t::makeSymlink("dirTarget", r + "dirLink");
    EXPECT_EQ(removeFolder(r + "dirLink"), ENOTDIR);
    ASSERT_EQ(deleteFile(r + "link"), 0);
    ASSERT_EQ(deleteFile(r + "dirLink"), 0);
    EXPECT_EQ(t::readAll(target), "kept");
    EXPECT_EQ(pathKind(r + "dirTarget"), PathKind::Folder);
}

TEST(FileOps, ClearReadOnlyAddsOwnerWriteAndNeverTouchesALinksTarget)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    const std::string file = tmp.writeFile("f", "x");
    t::chmodOrFail(file, 0550);
    tmp.makeDir("d");
    t::chmodOrFail(r + "d", 0555);
    const std::string target = tmp.writeFile("target", "x");
    t::chmodOrFail(target, 0444);
    t::makeSymlink("target", r + "link");

    ASSERT_EQ(clearReadOnly(file), 0);
    EXPECT_EQ(t::lstatOf(file).st_mode & 07777, 0750u);
    ASSERT_EQ(clearReadOnly(r + "d"), 0);
    EXPECT_EQ(t::lstatOf(r + "d").st_mode & 07777, 0755u);
    ASSERT_EQ(clearReadOnly(r + "link"), 0);
    EXPECT_EQ(t::lstatOf(target).st_mode & 07777, 0444u);
    EXPECT_EQ(clearReadOnly(r + "absent"), ENOENT);
}

TEST(FileOps, RenameWithoutReplaceRefusesAnExistingName)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    tmp.writeFile("a", "A");
    tmp.writeFile("b", "B");
    tmp.makeDir("dirA");
    tmp.makeDir("dirB");
    OpenFolder d;
    ASSERT_EQ(d.open(r), 0);
    EXPECT_EQ(renameAt(d, "a", d, "b", false), EEXIST);
    EXPECT_EQ(renameAt(d, "dirA", d, "dirB", false), EEXIST);
    EXPECT_EQ(t::readAll(r + "a"), "A");
    EXPECT_EQ(t::readAll(r + "b"), "B");

    ASSERT_EQ(renameAt(d, "a", d, "c", false), 0);
    EXPECT_FALSE(t::exists(r + "a"));
    EXPECT_EQ(t::readAll(r + "c"), "A");
    EXPECT_EQ(renameAt(d, "absent", d, "d", false), ENOENT);

    ASSERT_EQ(renameAt(d, "c", d, "b", true), 0);
    EXPECT_EQ(t::readAll(r + "b"), "A");
    EXPECT_FALSE(t::exists(r + "c"));
}

TEST(FileOps, MakeUniqueFileCreatesANewEmptyFileEachCall)
{
    TempDir tmp;
    const std::string folder = tmp.makeDir("target") + "/";
    std::set<std::string> made;
    for (int i = 0; i < 20; ++i) {
        std::string spec;
        ASSERT_EQ(makeUniqueFile(folder, "kw_", ".tmp", spec), 0);
        ASSERT_TRUE(spec.starts_with(folder + "kw_")) << spec;
        EXPECT_TRUE(spec.ends_with(".tmp")) << spec;
        EXPECT_GT(spec.size(), (folder + "kw_.tmp").size());
        EXPECT_EQ(pathKind(spec), PathKind::File);
        EXPECT_EQ(t::lstatOf(spec).st_size, 0);
        made.insert(spec);
    }
    EXPECT_EQ(made.size(), 20u);

    std::string spec;
    ASSERT_EQ(makeUniqueFile(tmp.path() + "/target", "", "", spec), 0) << "folder without trailing slash";
    EXPECT_TRUE(spec.starts_with(folder)) << spec;
    EXPECT_EQ(makeUniqueFile(tmp.path() + "/absent/", "kw_", ".tmp", spec), ENOENT);
    EXPECT_TRUE(spec.empty());
}

TEST(FileOps, TempFolderFollowsTmpdir)
{
    TempDir tmp;
    const std::string mine = tmp.makeDir("mytmp");
    ::setenv("TMPDIR", mine.c_str(), 1);
    EXPECT_EQ(tempFolder(), mine + "/");
    std::string spec;
    ASSERT_EQ(makeUniqueFile("", "kw_", ".tmp", spec), 0);
    EXPECT_TRUE(spec.starts_with(mine + "/kw_")) << spec;
    ::unsetenv("TMPDIR");
    EXPECT_EQ(tempFolder(), "/tmp/");
}

TEST(SecureDelete, LeavesNothingBehind)
{
    TempDir tmp;
    const std::string folder = tmp.makeDir("sd") + "/";
    tmp.writeFile("sd/big", t::patternBytes(2 * 1024 * 1024 + 5));
    tmp.writeFile("sd/empty", "");
    tmp.writeFile("sd/readonly", "secret");
    t::chmodOrFail(folder + "readonly", 0400);
    const std::string target = tmp.writeFile("linkTarget", "must stay");
    t::makeSymlink("../linkTarget", folder + "link");
    t::makeFifoAt(folder + "fifo");

    t::Watchdog watchdog;
    for (const char* name : {"big", "empty", "readonly", "link", "fifo"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(secureDelete(folder + name), 0);
    }
    EXPECT_TRUE(namesIn(folder).empty()) << "nor the renamed entry";
    EXPECT_EQ(t::readAll(target), "must stay");
    EXPECT_EQ(secureDelete(folder + "absent"), ENOENT);
}

TEST(SecureDelete, OverwritesTheDataOfOtherNamesForTheSameFile)
{
    // A hard link sees the inode itself: proof that the data was overwritten,
    // not merely unlinked.
    TempDir tmp;
    const std::string original = t::patternBytes(100000, 7);
    const std::string file = tmp.writeFile("file", original);
    const std::string other = tmp.path() + "/otherName";
    ASSERT_EQ(::link(file.c_str(), other.c_str()), 0);
    ASSERT_EQ(secureDelete(file), 0);
    EXPECT_FALSE(t::exists(file));
    const std::string left = t::readAll(other);
    ASSERT_EQ(left.size(), original.size());
    EXPECT_EQ(left.find(original.substr(0, 64)), std::string::npos);
    EXPECT_EQ(left.find(original.substr(original.size() - 64)), std::string::npos);
}

TEST(SyncAt, FlushesFilesAndFoldersAndNeverOpensAFifo)
{
    TempDir tmp;
    tmp.writeFile("f", "x");
    OpenFolder d;
    ASSERT_EQ(d.open(tmp.path()), 0);
    EXPECT_EQ(syncAt(d, "f"), 0);
    EXPECT_EQ(syncFolder(d), 0);
    t::makeFifoAt(tmp.path() + "/fifo");
    t::Watchdog watchdog;
    EXPECT_EQ(syncAt(d, "fifo"), ENOTSUP);
    EXPECT_EQ(syncAt(d, "absent"), ENOENT);
}

// copyFileAt gives the copy the Source's own mode and times whatever the umask,
// whether or not the caller knows the Source from a listing.
TEST(CopyFileAt, CopiesWithTheModeAndTimesTheSourceHas)
{
    TempDir tmp;
    const std::string src = tmp.makeDir("src") + "/";
    const std::string dst = tmp.makeDir("dst") + "/";
    struct Row
    {
        const char* proves;
        size_t size;
        mode_t mode;
        mode_t umask;
    };
    const Row rows[] = {
        {"an empty file", 0, 0644, 022},
        {"the umask leaves the bits whole", 5000, 0640, 022},
        {"the umask takes bits away: put back", 5000, 0666, 077},
        {"the umask changed since the folder was opened", 5000, 0640, 027},
        {"set-user-ID bit of the copy's own owner", 100, 04755, 022},
        {"a read-only source", 3 * 1024 * 1024 + 5, 0444, 022},
    };
    OpenFolder from, to;
    ASSERT_EQ(from.open(src), 0);
    ASSERT_EQ(to.open(dst), 0);
    int n = 0;
    for (const bool listed : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.proves) + (listed ? ", as listed" : ""));
            const mode_t saved = ::umask(row.umask);
            const std::string name = "f" + std::to_string(++n);
            const std::string data = t::patternBytes(row.size, static_cast<unsigned>(n));
            tmp.writeFile("src/" + name, data);
            t::setMtime(src + name, 1700000001, 987654321 - n);
            t::chmodOrFail(src + name, row.mode);

            PathAttributes before;
            ASSERT_EQ(entryAttributesIn(from, name, before), 0);
            EXPECT_EQ(copyFileAt(from, name, to, name, CopyFlavor::Regular, listed ? &before : nullptr), 0);
            ::umask(saved);
            EXPECT_EQ(t::readAll(dst + name), data);
            const struct stat s = t::lstatOf(src + name);
            const struct stat d = t::lstatOf(dst + name);
            EXPECT_EQ(d.st_mode & 07777, row.mode & 07777);
            EXPECT_EQ(d.st_mtim.tv_sec, s.st_mtim.tv_sec);
            EXPECT_EQ(d.st_mtim.tv_nsec, s.st_mtim.tv_nsec);
        }
    }
}

// What copyFileAt does with everything but a plain pair: a link is copied as a
// link, a link at the Target is replaced and never written through, and what
// it refuses stays as it was.
TEST(CopyFileAt, EveryOtherCaseIsCopiedOrRefusedWithoutWritingThrough)
{
    TempDir tmp;
    const std::string src = tmp.makeDir("src") + "/";
    const std::string dst = tmp.makeDir("dst") + "/";
    tmp.writeFile("src/plain", "payload");
    tmp.writeFile("src/victim", "untouched");
    t::makeSymlink("plain", src + "link");
    tmp.writeFile("dst/readonly", "old");
    t::chmodOrFail(dst + "readonly", 0444);
    tmp.writeFile("src/readonly", "new");
    tmp.makeDir("dst/folder");
    tmp.writeFile("src/folder", "file where the Target has a folder");
    t::makeSymlink("../src/victim", dst + "linked");
    tmp.writeFile("src/linked", "file where the Target has a link");
    ASSERT_EQ(::link((src + "plain").c_str(), (dst + "same").c_str()), 0);
    ASSERT_EQ(::link((src + "plain").c_str(), (src + "same").c_str()), 0);

    OpenFolder from, to;
    ASSERT_EQ(from.open(src), 0);
    ASSERT_EQ(to.open(dst), 0);
    struct Row
    {
        const char* name;
        int result;
    };
    for (const Row row : {Row{"link", 0}, Row{"readonly", EACCES}, Row{"folder", EISDIR}, Row{"linked", 0},
                          Row{"same", EINVAL}, Row{"missing", ENOENT}}) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(copyFileAt(from, row.name, to, row.name, CopyFlavor::Regular), row.result);
    }
    EXPECT_EQ(t::readAll(dst + "readonly"), "old");
    EXPECT_TRUE(S_ISDIR(t::lstatOf(dst + "folder").st_mode));
    EXPECT_TRUE(S_ISREG(t::lstatOf(dst + "linked").st_mode));
    EXPECT_EQ(t::readAll(dst + "linked"), "file where the Target has a link");
    EXPECT_EQ(t::readAll(src + "victim"), "untouched");
    EXPECT_TRUE(S_ISLNK(t::lstatOf(dst + "link").st_mode));
    EXPECT_FALSE(t::exists(dst + "missing"));
}

TEST(CopyFileIn, AttributesByNameMatchThoseByPath)
{
    TempDir tmp;
    const std::string r = tmp.path() + "/";
    tmp.writeFile(".hidden", "h");
    t::chmodOrFail(r + ".hidden", 0444);
    t::makeSymlink("nowhere", r + "link");
    tmp.makeDir("sub");
    OpenFolder folder;
    ASSERT_EQ(folder.open(r), 0);
    for (const char* name : {".hidden", "link", "sub"}) {
        SCOPED_TRACE(name);
        PathAttributes byName, byPath;
        ASSERT_EQ(entryAttributesIn(folder, name, byName), 0);
        ASSERT_EQ(pathAttributes(r + name, byPath), 0);
        EXPECT_EQ(byName.kind, byPath.kind);
        EXPECT_EQ(byName.hidden, byPath.hidden);
        EXPECT_EQ(byName.readOnly, byPath.readOnly);
        EXPECT_EQ(byName.size, byPath.size);
        EXPECT_EQ(byName.lastWrite, byPath.lastWrite);
        EXPECT_EQ(byName.mode, byPath.mode);
    }
    PathAttributes missing;
    EXPECT_EQ(entryAttributesIn(folder, "missing", missing), ENOENT);
    OpenFolder none;
    EXPECT_EQ(none.open(r + "missing/"), ENOENT);
    EXPECT_FALSE(none.isOpen());
}
