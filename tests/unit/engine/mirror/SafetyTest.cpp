// Faults a Linux file system makes easy: unreadable Source folders, roots that
// overlap, other file systems mounted inside the Target, the trash of a mount.

#include "tests/support/CloneTestSupport.h"

#include "engine/Filters.h"
#include "engine/cCompare.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using SafetyTest = CloneTest;

const std::string kTmpfs = "mount -t tmpfs -o size=1m kestrow-test";

TEST_F(SafetyTest, UnreadableSourceFolderIsNotTakenForAMissingOne)
{
    switch (RunWithPermissionsEnforced()) {
    case Enforced::DoneInChild:
        return;
    case Enforced::Unavailable:
        GTEST_SKIP() << "running as root without setpriv: permissions cannot be enforced";
    case Enforced::RunHere:
        break;
    }
    file("src/other.txt", "o");
    file("src/locked/x.txt", "x");
    file("src/locked-new/y.txt", "y");
    file("tgt/locked/keep.txt", "k");
    file("tgt/locked/deeper/keep2.txt", "k2");
    setMode(src() + "locked", 0);
    setMode(src() + "locked-new", 0);

    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + "locked/keep.txt"), "k");
    EXPECT_EQ(read(tgt() + "locked/deeper/keep2.txt"), "k2");
    EXPECT_EQ(read(tgt() + "other.txt"), "o");
    EXPECT_FALSE(exists(tgt() + "locked-new"));
    EXPECT_EQ(logCount(" *Get SubFolders Error: 70 Permission is Denied " + src() + "locked/"), 1);
    EXPECT_EQ(logCount(" *Get SubFolders Error: 70 Permission is Denied " + src() + "locked-new/"), 1);

    // The selected-items modes hold to the same rule.
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_EQ(read(tgt() + "locked/keep.txt"), "k");
    EXPECT_EQ(read(tgt() + "locked/deeper/keep2.txt"), "k2");
    EXPECT_FALSE(clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, "", "*.tmp"));
    EXPECT_EQ(read(tgt() + "locked/keep.txt"), "k");
    setMode(src() + "locked", 0755);
    setMode(src() + "locked-new", 0755);
}

TEST_F(SafetyTest, ReadOnlyTargetFoldersAreOpenedForDeletion)
{
    switch (RunWithPermissionsEnforced()) {
    case Enforced::DoneInChild:
        return;
    case Enforced::Unavailable:
        GTEST_SKIP() << "running as root without setpriv: permissions cannot be enforced";
    case Enforced::RunHere:
        break;
    }
    file("src/kept/a.txt", "a");
    file("tgt/kept/a.txt", "a");
    file("tgt/kept/orphan.txt", "o");
    setMode(tgt() + "kept", 0555);
    file("tgt/gone/sub/f.txt", "f");
    setMode(tgt() + "gone/sub", 0555);
    setMode(tgt() + "gone", 0555);

    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
    EXPECT_FALSE(exists(tgt() + "kept/orphan.txt"));
    EXPECT_FALSE(exists(tgt() + "gone"));
}

TEST_F(SafetyTest, OverlappingRootsAreRefusedBeforeAnythingIsPlanned)
{
    file("src/a.txt", "a");
    file("tgt/b.txt", "b");
    link("src-link", "src");
    struct Row
    {
        const char* what;
        std::string source, target;
        const char* relation;
    };
    const Row rows[] = {
        {"same folder", src(), src(), "The Source and Target folders are the same folder."},
        {"same folder through a link", src(), root() + "src-link/",
         "The Source and Target folders are the same folder."},
        {"Target inside Source", src(), src() + "inner/", "The Target folder lies inside the Source folder."},
        {"Source inside Target", tgt() + "b/", tgt(), "The Source folder lies inside the Target folder."},
        {"spelled with dots", src(), root() + "tgt/../src/./x/",
         "The Target folder lies inside the Source folder."},
    };
    // The log shows each root as the run took it: absolute and lexically normal.
    auto logged = [&](const std::string& root) {
        return root == this->root() + "tgt/../src/./x/" ? src() + "x/" : root;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        log.ResetInMemoryLog();
        EXPECT_FALSE(clone.CloneAll(row.source, row.target, true));
        EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(row.source, row.target, true, "", "*"));
        EXPECT_FALSE(clone.CloneSelected_ExclusionsOnly(row.source, row.target, true, "", "*.tmp"));
        EXPECT_FALSE(
            clone.CloneSelected_InclusionExclusion(row.source, row.target, true, "", "*", "", "*.tmp"));
        EXPECT_EQ(logCount(std::string(" *Folder Path Error:  ") + row.relation +
                           " Source: " + logged(row.source) + " Target: " + logged(row.target)),
                  4);
        EXPECT_EQ(clone.FileOpsCount(), 0);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(src()), fs::directory_iterator()), 1);
    EXPECT_FALSE(exists(src() + "inner"));
    EXPECT_EQ(read(tgt() + "b.txt"), "b");
}

TEST_F(SafetyTest, MissingSourceRootDeletesNothing)
{
    file("tgt/precious.txt", "p");
    file("tgt/dir/more.txt", "m");
    EXPECT_FALSE(clone.CloneAll(root() + "no-such-source/", tgt(), true));
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(root() + "no-such-source/", tgt(), true, "", "*.txt"));
    EXPECT_FALSE(clone.CloneSelected_ExclusionsOnly(root() + "no-such-source/", tgt(), true, "", "*.tmp"));
    EXPECT_EQ(read(tgt() + "precious.txt"), "p");
    EXPECT_EQ(read(tgt() + "dir/more.txt"), "m");
    EXPECT_GE(logCount(" *Get SubFolders Error: 76 Path Not Found/Permission is Denied " + root() +
                       "no-such-source/"),
              1);
}

TEST_F(SafetyTest, MissingTargetRootIsCreatedAndFilled)
{
    file("src/a/b.txt", "b");
    fs::remove_all(tgt());
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true)); // the missing root is reported
    EXPECT_EQ(read(tgt() + "a/b.txt"), "b");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
}

TEST_F(SafetyTest, FoldersBeyondThePathLimitAreClonedAndASecondRunPlansNothing)
{
    const std::string deep = makeDeepFolder("src/deep");
    file("src/plain.txt", "p");
    file("tgt/orphan.txt", "o");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + "plain.txt"), "p");
    EXPECT_FALSE(exists(tgt() + "orphan.txt"));
    // The deepest file, past the kernel's path limit, came across with its full path in the log.
    const std::string relative = deep.substr(src().size()) + "/f";
    EXPECT_EQ(logCount(" - Copied: f from " + GetFolderPart(src() + relative)), 1);
    EXPECT_TRUE(plan().empty());
}

TEST_F(SafetyTest, NothingIsDeletedInAnotherFileSystemMountedInsideTheTarget)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    file("src/mnt/new.txt", "n");
    file("src/plain.txt", "p");
    folder("tgt/mnt");
    folder("tgt/orphan-mnt");
    ScopedMount mounted(kTmpfs, tgt() + "mnt");
    ScopedMount orphan(kTmpfs, tgt() + "orphan-mnt");
    if (!mounted.mounted() || !orphan.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    file("tgt/mnt/old.txt", "o");
    file("tgt/mnt/olddir/x.txt", "x");
    file("tgt/orphan-mnt/y.txt", "y");

    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true)) << ::testing::PrintToString(logEntries());
    EXPECT_EQ(read(tgt() + "mnt/new.txt"), "n"); // copying into it is allowed
    EXPECT_EQ(read(tgt() + "mnt/old.txt"), "o");
    EXPECT_EQ(read(tgt() + "mnt/olddir/x.txt"), "x");
    EXPECT_EQ(read(tgt() + "orphan-mnt/y.txt"), "y");
    EXPECT_EQ(
        logCount(
            " - Information Only: Nothing is deleted in this folder or below it because it is on another "
            "file system. - '" +
            tgt() + "mnt/' "),
        1);

    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_EQ(read(tgt() + "mnt/old.txt"), "o");
    EXPECT_EQ(read(tgt() + "orphan-mnt/y.txt"), "y");
}

TEST_F(SafetyTest, TrashFoldersAtTheTopOfAMountAreNeverTouched)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting needs root";
    ScopedMount source(kTmpfs, root() + "src");
    ScopedMount target(kTmpfs, root() + "tgt");
    if (!source.mounted() || !target.mounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    file("src/.Trash-0/files/from-source", "s");
    file("src/a.txt", "a");
    file("src/sub/.Trash/not-a-mount-top", "t");
    file("tgt/.Trash-0/files/x", "x");
    file("tgt/.Trash/y", "y");

    const std::vector<std::string> texts = plan();
    for (const std::string& text : texts)
        EXPECT_EQ(text.find(".Trash-0"), std::string::npos) << text;
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + ".Trash-0/files/x"), "x");
    EXPECT_EQ(read(tgt() + ".Trash/y"), "y");
    EXPECT_FALSE(exists(tgt() + ".Trash-0/files/from-source"));
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
    // Below the top it is an ordinary dot-folder.
    EXPECT_EQ(read(tgt() + "sub/.Trash/not-a-mount-top"), "t");

    // Files the trash method deletes from this mount land in its own trash, which later runs leave alone.
    clone.setDeleteMethod(1);
    file("tgt/orphan.txt", "o");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(exists(tgt() + "orphan.txt"));
    EXPECT_TRUE(plan().empty());
}

} // namespace
} // namespace kestrow::test
