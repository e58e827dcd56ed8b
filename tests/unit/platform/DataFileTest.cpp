// Files of the data folder are never opened through a symbolic link, and nothing but a
// regular file is opened: a link or a FIFO planted there changes nothing elsewhere and
// never blocks.

#include "platform/DataFile.h"
#include "platform/InstanceLock.h"
#include "platform/TextFile.h"

#include "tests/support/TempDir.h"
#include "tests/unit/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace kestrow::platform;
using kestrow::test::TempDir;
using kestrow::test::Watchdog;
namespace fs = std::filesystem;

namespace {

enum class Planted
{
    LinkToFile,     // a link to a file outside the data folder
    DanglingLink,   // a link to a name outside where nothing is yet
    Fifo,           // a FIFO nobody reads
    FifoWithReader, // a FIFO with a reader waiting
};

const char* nameOf(Planted p)
{
    switch (p) {
    case Planted::LinkToFile:
        return "link to a file";
    case Planted::DanglingLink:
        return "dangling link";
    case Planted::Fifo:
        return "FIFO";
    case Planted::FifoWithReader:
        return "FIFO with a reader";
    }
    return "?";
}

// One opening operation of the data folder on `name`: returns the errno it failed with, 0 when it
// succeeded.
struct Operation
{
    const char* what;
    std::function<int(const std::string& name, const std::string& scratch)> run;
    // The name the operation opens, given the data file it is handed.
    std::function<std::string(const std::string& name)> openedName = [](const std::string& n) { return n; };
};

const Operation kOperations[] = {
    {"append (clone.log, ERR_DETAIL.TXT)",
     [](const std::string& n, const std::string&) { return appendToFile(n, "appended\n"); }},
    {"create or truncate (an empty task list)",
     [](const std::string& n, const std::string&) { return writeWholeFile(n, "written\n"); }},
    {"read (options, task lists, the log)",
     [](const std::string& n, const std::string&) {
         int err = 0;
         const std::string text = readDataFile(n, err);
         return text.empty() ? err : -1;
     }},
    {"copy the log elsewhere",
     [](const std::string& n, const std::string& scratch) {
         return copyFileNoOverwrite(n, scratch + "/saved-log");
     }},
    {"instance and Target lock",
     [](const std::string& n, const std::string&) {
         InstanceLock lock;
         return lock.acquire(n) == InstanceLock::Result::Failed ? lock.error() : 0;
     }},
    {"update lock sidecar",
     [](const std::string& n, const std::string&) {
         const UpdateLock lock(n);
         return lock.held() ? 0 : lock.error();
     },
     [](const std::string& n) { return updateLockFile(n); }},
};

} // namespace

TEST(OpenDataFile, PlantedLinksAndFifosAreRefusedAndNothingOutsideChanges)
{
    const Watchdog watchdog; // a FIFO opened for writing would block forever
    for (const Operation& op : kOperations) {
        for (const Planted planted :
             {Planted::LinkToFile, Planted::DanglingLink, Planted::Fifo, Planted::FifoWithReader}) {
            SCOPED_TRACE(std::string(op.what) + ", " + nameOf(planted));
            TempDir tmp;
            const std::string outside = tmp / "outside/victim";
            const std::string data = tmp.dataFolder() + "clone.log";
            const std::string at = op.openedName(data);
            int reader = -1;
            switch (planted) {
            case Planted::LinkToFile:
                tmp.writeFile("outside/victim", "untouched");
                kestrow::test::makeSymlink(outside, at);
                break;
            case Planted::DanglingLink:
                tmp.makeDir("outside");
                kestrow::test::makeSymlink(outside, at);
                break;
            case Planted::Fifo:
                kestrow::test::makeFifoAt(at, 0600);
                break;
            case Planted::FifoWithReader:
                kestrow::test::makeFifoAt(at, 0600);
                reader = ::open(at.c_str(), O_RDONLY | O_NONBLOCK);
                ASSERT_GE(reader, 0);
                break;
            }
            const bool isLink = planted == Planted::LinkToFile || planted == Planted::DanglingLink;
            EXPECT_EQ(op.run(data, tmp.path()), isLink ? ELOOP : EINVAL);

            if (planted == Planted::LinkToFile) {
                EXPECT_EQ(tmp.readFile("outside/victim"), "untouched");
            }
            if (planted == Planted::DanglingLink) {
                EXPECT_FALSE(kestrow::test::exists(outside)) << "created through the link";
            }
            if (reader >= 0) {
                char c;
                EXPECT_LE(::read(reader, &c, 1), 0) << "written into the FIFO";
                ::close(reader);
            }
            EXPECT_FALSE(kestrow::test::exists(tmp / "saved-log"));
            // What was planted is still what it was: nothing replaced or followed it.
            const struct stat st = kestrow::test::lstatOf(at);
            EXPECT_EQ(S_ISLNK(st.st_mode), isLink);
        }
    }
}

TEST(OpenDataFile, RegularFilesStillWorkAsBefore)
{
    TempDir tmp;
    const std::string file = tmp.dataFolder() + "clone.log";
    EXPECT_EQ(appendToFile(file, "one\n"), 0);
    EXPECT_EQ(appendToFile(file, "two\n"), 0);
    EXPECT_EQ(tmp.readFile("data/clone.log"), "one\ntwo\n");
    // Truncation waits for the type check but still happens.
    EXPECT_EQ(writeWholeFile(file, "short"), 0);
    EXPECT_EQ(tmp.readFile("data/clone.log"), "short");
    int err = -1;
    EXPECT_EQ(readDataFile(file, err), "short");
    EXPECT_EQ(err, 0);
    readDataFile(tmp.dataFolder() + "missing", err);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(writeWholeFile(tmp.dataFolder(), "x"), EISDIR);

    // A write through the descriptor is not left non-blocking.
    const Fd fd = openDataFile(file, O_WRONLY | O_APPEND);
    ASSERT_TRUE(fd.valid());
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0);

    // O_EXCL refuses every kind of thing at the name, a link included.
    kestrow::test::makeSymlink(tmp / "outside-new", tmp.dataFolder() + "new");
    EXPECT_FALSE(openDataFile(tmp.dataFolder() + "new", O_WRONLY | O_CREAT | O_EXCL, 0600).valid());
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(kestrow::test::exists(tmp / "outside-new"));
}

TEST(OpenDataFile, AtomicReplaceReplacesALinkAndNeverTakesItsTargetsMode)
{
    TempDir tmp;
    const std::string outside = tmp.writeFile("outside/kestrow.ini", "[Outside]\n");
    ASSERT_EQ(::chmod(outside.c_str(), 0604), 0);
    const std::string ini = tmp.dataFolder() + "kestrow.ini";
    kestrow::test::makeSymlink(outside, ini);

    EXPECT_EQ(writeFileAtomically(ini, "[Log]\n"), 0);
    const struct stat st = kestrow::test::lstatOf(ini);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(tmp.readFile("data/kestrow.ini"), "[Log]\n");
    EXPECT_EQ(tmp.readFile("outside/kestrow.ini"), "[Outside]\n");
}

TEST(OpenDataFile, LockQueriesAndTheTargetLockFolderDoNotFollowLinks)
{
    TempDir tmp;
    // A lock held on a file outside is not reported as ours through a link to it.
    const std::string outside = tmp.writeFile("outside/held.lock", "");
    InstanceLock holder;
    ASSERT_EQ(holder.acquire(outside), InstanceLock::Result::Acquired);
    const std::string lockFile = instanceLockFile(tmp.dataFolder());
    kestrow::test::makeSymlink(outside, lockFile);
    EXPECT_FALSE(InstanceLock::isHeld(lockFile));

    // The Target locks' folder replaced by a link to a folder elsewhere: no lock is made there.
    tmp.makeDir("outside/locks");
    kestrow::test::makeSymlink(tmp / "outside/locks", tmp.dataFolder() + "target-locks");
    int err = 0;
    EXPECT_EQ(targetLockFile(tmp.dataFolder(), "/srv/backup", err), "");
    EXPECT_EQ(err, ELOOP);
    EXPECT_TRUE(fs::is_empty(tmp / "outside/locks"));

    TempDir other;
    other.writeFile("data/target-locks", "a file");
    EXPECT_EQ(targetLockFile(other.dataFolder(), "/srv/backup", err), "");
    EXPECT_EQ(err, ENOTDIR);
}

TEST(FolderWritableByOthers, GroupOrOtherWriteWithoutStickyBitOrAnotherOwner)
{
    struct Row
    {
        mode_t mode;
        bool open;
    };
    const Row rows[] = {
        {0700, false}, {0755, false}, {0750, false},  {0770, true},   {0720, true},
        {0702, true},  {0777, true},  {01777, false}, {01770, false}, {0711, false},
    };
    for (const Row& row : rows) {
        TempDir tmp;
        ASSERT_EQ(::chmod(tmp.dataFolder().c_str(), row.mode), 0);
        int err = -1;
        EXPECT_EQ(folderWritableByOthers(tmp.dataFolder(), err), row.open) << std::oct << row.mode;
        EXPECT_EQ(err, 0);
    }

    TempDir tmp;
    int err = 0;
    EXPECT_FALSE(folderWritableByOthers(tmp / "missing/", err));
    EXPECT_EQ(err, ENOENT);
    // Reached through a link, the folder itself is what counts.
    tmp.makeDir("real");
    ASSERT_EQ(::chmod((tmp / "real").c_str(), 0700), 0);
    kestrow::test::makeSymlink(tmp / "real", tmp / "via-link");
    EXPECT_FALSE(folderWritableByOthers(tmp / "via-link/", err));

    if (kestrow::test::runningAsRoot()) {
        ASSERT_EQ(::chmod(tmp.dataFolder().c_str(), 0700), 0);
        ASSERT_EQ(::chown(tmp.dataFolder().c_str(), 65534, 65534), 0);
        EXPECT_TRUE(folderWritableByOthers(tmp.dataFolder(), err)) << "owned by another user";
    }
}
