// Faults met by the engine in-process: links laid as traps, files that change
// between the listing and the copy, a Target that fills up or turns read-only.

#include "tests/support/CloneTestSupport.h"
#include "tests/support/FaultSupport.h"

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using FaultTest = CloneTest;

// Runs `beforePerform` at the confirmation of the list: inside the run, after
// everything has been listed and planned, before anything is performed.
class ChangeBeforePerformHost : public TestRunHost
{
public:
    std::function<void()> beforePerform;
    bool confirmSyncActions(const SyncActionList& actions, std::vector<bool>& skipped,
                            bool& keepConfirming) override
    {
        if (beforePerform)
            beforePerform();
        return TestRunHost::confirmSyncActions(actions, skipped, keepConfirming);
    }
};

TEST_F(FaultTest, SymbolicLinkTrapsChangeNothingOutsideTheTarget)
{
    file("victim/keep.txt", "precious");
    file("victim/deeper/more.txt", "more");
    const std::string before = TreeDigest(root() + "victim");

    // A Target link where the Source has a folder, a Source link to "/", loops on both sides.
    file("src/docs/new.txt", "n");
    link("tgt/docs", root() + "victim");
    link("src/root-link", "/");
    link("src/loop", "loop");
    link("tgt/loop-t", "../tgt");
    folder("src/cycle");
    link("src/cycle/up", "..");
    link("tgt/orphan-link", root() + "victim/keep.txt");
    clone.setDeleteMethod(0);

    for (const int copyMethod : {0, 1, 2}) {
        SCOPED_TRACE(copyMethod);
        clone.setCopyMethod(copyMethod);
        clone.CloneAll(src(), tgt(), true);
        clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, "", "*.none");
        clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt");
        EXPECT_EQ(TreeDigest(root() + "victim"), before);
    }
    // The Source's links are cloned as links, never followed.
    EXPECT_EQ(fs::read_symlink(tgt() + "root-link"), "/");
    EXPECT_EQ(fs::read_symlink(tgt() + "cycle/up"), "..");
    EXPECT_EQ(read(tgt() + "docs/new.txt"), "n");
    EXPECT_FALSE(fs::is_symlink(tgt() + "docs"));
}

TEST_F(FaultTest, LinkSwappedInForATargetFolderBetweenPlanAndPerformIsNotWrittenThrough)
{
    file("victim/a.txt", "victim's own");
    file("victim/gone.txt", "victim's too");
    const std::string before = TreeDigest(root() + "victim");
    file("src/sub/a.txt", "new contents");
    file("tgt/sub/a.txt", "old");
    file("tgt/sub/gone.txt", "orphan");
    setLastWrite(src() + "sub/a.txt", 1'700'000'000);
    clone.setDeleteMethod(0);
    for (const int copyMethod : {0, 1, 2}) {
        SCOPED_TRACE(copyMethod);
        clone.setCopyMethod(copyMethod);
        ChangeBeforePerformHost swap;
        swap.beforePerform = [&] {
            fs::rename(tgt() + "sub", root() + "moved-away");
            link("tgt/sub", root() + "victim");
        };
        clone.setConfirmSyncActions(true);
        EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
        EXPECT_EQ(swap.confirmations, 1);
        EXPECT_EQ(TreeDigest(root() + "victim"), before);
        fs::remove(tgt() + "sub");
        fs::rename(root() + "moved-away", tgt() + "sub");
    }
}

TEST_F(FaultTest, FilesThatGrowShrinkOrVanishAfterTheListingAreNeverTornUnderTheirName)
{
    for (const int copyMethod : {0, 1}) {
        SCOPED_TRACE(copyMethod);
        fs::remove_all(src());
        fs::remove_all(tgt());
        file("src/grows.bin", std::string(5000, 'g'), 1'700'000'000);
        file("src/shrinks.bin", std::string(5000, 's'), 1'700'000'000);
        file("src/vanishes.bin", std::string(5000, 'v'), 1'700'000'000);
        file("src/steady.bin", std::string(5000, 'k'), 1'700'000'000);
        file("tgt/grows.bin", "old g");
        file("tgt/shrinks.bin", "old s");
        clone.setCopyMethod(copyMethod);
        ChangeBeforePerformHost change;
        change.beforePerform = [&] {
            file("src/grows.bin", std::string(9000, 'G'), 1'700'000'100);
            file("src/shrinks.bin", std::string(10, 'S'), 1'700'000'100);
            fs::remove(src() + "vanishes.bin");
        };
        clone.setConfirmSyncActions(true);
        const int changedBefore = logCount("The file changed while it was being cloned.");
        EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
        ASSERT_EQ(change.shown.size(), 4u);
        EXPECT_GE(logCount("The file changed while it was being cloned.") - changedBefore, 2);

        EXPECT_EQ(read(tgt() + "steady.bin"), std::string(5000, 'k'));
        // Each changed file is either still the old Target or not there: never a mix.
        for (const char* name : {"grows.bin", "shrinks.bin"}) {
            const std::string now = read(tgt() + name);
            EXPECT_TRUE(now == std::string("old ") + name[0] || now == read(src() + name)) << name;
        }
        EXPECT_FALSE(exists(tgt() + "vanishes.bin"));
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());

        // The next run catches up.
        clone.setConfirmSyncActions(false);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
        EXPECT_TRUE(TreeDifferences(src(), tgt()).empty());
    }
}

TEST_F(FaultTest, DiskFullOnTheTargetLogsErrorsGoesOnAndLeavesNoTornFile)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    folder("tgt");
    ScopedMount small("mount -t tmpfs -o size=256k kestrow-fault", tgt());
    if (!small.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here (a container without mount rights?)";
    for (int i = 0; i < 6; ++i)
        file("src/big" + std::to_string(i) + ".bin", std::string(100 * 1024, char('a' + i)), 1'700'000'000);
    file("src/small.txt", "fits");
    for (int i = 0; i < 2; ++i)
        file("tgt/big" + std::to_string(i) + ".bin", "old " + std::to_string(i));
    const std::string sourceBefore = TreeDigest(src());

    for (const int copyMethod : {1, 0}) {
        SCOPED_TRACE(copyMethod);
        clone.setCopyMethod(copyMethod);
        EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
        EXPECT_EQ(read(tgt() + "small.txt"), "fits"); // the run went on past the failures
        EXPECT_GE(logCount("No space left on device"), 1);
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());
        for (int i = 0; i < 6; ++i) {
            const std::string name = "big" + std::to_string(i) + ".bin";
            if (!exists(tgt() + name))
                continue;
            const std::string now = read(tgt() + name);
            EXPECT_TRUE(now == read(src() + name) || now == "old " + std::to_string(i)) << name;
        }
    }
    EXPECT_EQ(TreeDigest(src()), sourceBefore);
}

TEST_F(FaultTest, ReadOnlyTargetFileSystemFailsEachOperationAndTheSourceStays)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    folder("tgt");
    ScopedMount mounted("mount -t tmpfs -o size=1m kestrow-fault", tgt());
    if (!mounted.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here (a container without mount rights?)";
    file("src/a.txt", "new a", 1'700'000'000);
    file("src/b.txt", "b");
    file("tgt/a.txt", "old a");
    file("tgt/orphan.txt", "o");
    const std::string sourceBefore = TreeDigest(src());
    if (std::system(("mount -o remount,ro " + tgt()).c_str()) != 0)
        GTEST_SKIP() << "the tmpfs cannot be remounted read-only here";
    clone.setDeleteMethod(0);
    for (const int copyMethod : {0, 1, 2}) {
        clone.setCopyMethod(copyMethod);
        EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    }
    EXPECT_GE(logCount("Read-only file system"), 3);
    EXPECT_EQ(read(tgt() + "a.txt"), "old a");
    EXPECT_EQ(read(tgt() + "orphan.txt"), "o");
    EXPECT_EQ(TreeDigest(src()), sourceBefore);
    std::system(("mount -o remount,rw " + tgt()).c_str());
}

} // namespace
} // namespace kestrow::test
