// The selected-items modes: inclusions only, exclusions only, and both.

#include "tests/support/CloneTestSupport.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using SelectedTest = CloneTest;

TEST_F(SelectedTest, IncludeMaskDeletesOnlyMatchingOrphans)
{
    file("src/a.txt", "a");
    file("src/sub/b.txt", "b");
    file("src/c.doc", "c");
    file("tgt/old.txt", "o");
    file("tgt/keep.doc", "k");
    file("tgt/sub/orphan.txt", "s");
    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
    EXPECT_EQ(read(tgt() + "sub/b.txt"), "b");
    EXPECT_FALSE(exists(tgt() + "c.doc"));
    EXPECT_FALSE(exists(tgt() + "old.txt"));
    EXPECT_FALSE(exists(tgt() + "sub/orphan.txt"));
    EXPECT_EQ(read(tgt() + "keep.doc"), "k");
    EXPECT_EQ(clone.FileOpsCount(), 0); // discarded at the end of the call

    // Do Not Delete: the Target is not even scanned.
    file("tgt/old2.txt", "o");
    clone.setDeleteMethod(2);
    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_TRUE(exists(tgt() + "old2.txt"));
}

TEST_F(SelectedTest, MissingIncludeItemsAreLoggedAndTheOthersStillCloned)
{
    file("src/there.txt", "t");
    file("src/dir/in.txt", "i");
    const std::string specs =
        src() + "gone.txt<:>" + src() + "there.txt<:>" + src() + "nodir/<:>" + src() + "dir/";
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, specs, ""));
    EXPECT_EQ(logCount(" *Include Filter Error: The file does not exist  " + src() + "gone.txt"), 1);
    EXPECT_EQ(logCount(" *Include Filter Error: The subfolder does not exist  " + src() + "nodir/"), 1);
    EXPECT_EQ(read(tgt() + "there.txt"), "t");
    EXPECT_EQ(read(tgt() + "dir/in.txt"), "i");
}

TEST_F(SelectedTest, IncludedFoldersAreCreatedOrComparedInFull)
{
    file("src/newf/x.txt", "x");
    file("src/newf/deep/y.txt", "y");
    folder("src/newf/empty");
    file("src/both/1.txt", "1");
    file("tgt/both/stale.txt", "s");
    file("tgt/both/gone/g.txt", "g");
    file("src/unselected.txt", "u");
    const std::string specs = src() + "newf/<:>" + src() + "both/";

    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, specs, ""));
    EXPECT_TRUE(TreeDifferences(src() + "newf/", tgt() + "newf/").empty());
    EXPECT_TRUE(TreeDifferences(src() + "both/", tgt() + "both/").empty());
    EXPECT_FALSE(exists(tgt() + "unselected.txt"));

    // Without subfolders only the included folder's own files are taken.
    fs::remove_all(tgt() + "newf");
    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), false, specs, ""));
    EXPECT_EQ(read(tgt() + "newf/x.txt"), "x");
    EXPECT_FALSE(exists(tgt() + "newf/deep"));
}

TEST_F(SelectedTest, IncludedFileInAFolderMissingInTheTargetGetsTheFolderFirst)
{
    file("src/a/b/f.txt", "f");
    file("src/a/b/g.txt", "g");
    clone.setPlanOnly(true);
    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true,
                                                   src() + "a/b/f.txt<:>" + src() + "a/b/g.txt", ""));
    std::vector<std::string> texts;
    clone.GetSyncActionStrings(texts);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "     CREATE FOLDER     " + tgt() + "a/b/",
                         "     COPY FILE     \"f.txt\"  FROM  " + src() + "a/b/  TO  " + tgt() + "a/b/",
                         "     COPY FILE     \"g.txt\"  FROM  " + src() + "a/b/  TO  " + tgt() + "a/b/",
                     }));
    clone.setPlanOnly(false);
    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, src() + "a/b/f.txt", ""));
    EXPECT_EQ(read(tgt() + "a/b/f.txt"), "f"); // missing levels are made too
}

TEST_F(SelectedTest, IncludeAndExcludeShowExcludedCopiesAsRemovedAndSkipThem)
{
    file("src/keep.txt", "k");
    file("src/skip/s.txt", "s");
    file("src/name.tmp.txt", "t");
    file("tgt/orphan.txt", "o");
    file("tgt/orphan.bak.txt", "b");
    clone.setConfirmSyncActions(true);
    EXPECT_TRUE(clone.CloneSelected_InclusionExclusion(src(), tgt(), true, "", "*.txt", src() + "skip/",
                                                       "*.tmp.txt,*.bak.txt"));
    ASSERT_EQ(host.confirmations, 1);
    EXPECT_EQ(std::count(host.shown.begin(), host.shown.end(), "|REMOVED ACTION|"), 4);
    EXPECT_EQ(read(tgt() + "keep.txt"), "k");
    EXPECT_FALSE(exists(tgt() + "skip"));
    EXPECT_FALSE(exists(tgt() + "name.tmp.txt"));
    EXPECT_FALSE(exists(tgt() + "orphan.txt"));
    EXPECT_EQ(read(tgt() + "orphan.bak.txt"), "b");
}

TEST_F(SelectedTest, IncludeAndExcludeRemoveOnlyOrphanFoldersThatAreAlreadyEmpty)
{
    file("src/f/a.txt", "a");
    file("tgt/f/a.txt", "a");
    file("tgt/f/old/o.dat", "o");
    folder("tgt/f/empty");
    EXPECT_TRUE(clone.CloneSelected_InclusionExclusion(src(), tgt(), true, src() + "f/", "", "", "*.tmp"));
    EXPECT_FALSE(exists(tgt() + "f/old/o.dat"));
    EXPECT_TRUE(exists(tgt() + "f/old")); // it still held a file when the list was checked
    EXPECT_FALSE(exists(tgt() + "f/empty"));
}

TEST_F(SelectedTest, ExcludedNamesAndFoldersAreLeftAloneOnBothSides)
{
    file("src/a.txt", "a");
    file("src/cache/c.txt", "c");
    file("src/x.bak", "new");
    file("tgt/x.bak", "old");
    file("tgt/orphan.bak", "kept");
    file("tgt/orphan.txt", "gone");
    file("tgt/cache/old.txt", "kept");
    file("tgt/cache/oldsub/deep.txt", "kept");
    file("tgt/gone/g.bak", "kept");
    file("tgt/gone/g.txt", "gone");
    EXPECT_TRUE(clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, src() + "cache/", "*.bak"));
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
    EXPECT_EQ(read(tgt() + "x.bak"), "old");
    EXPECT_EQ(read(tgt() + "orphan.bak"), "kept");
    EXPECT_FALSE(exists(tgt() + "orphan.txt"));
    EXPECT_FALSE(exists(tgt() + "cache/c.txt"));
    EXPECT_EQ(read(tgt() + "cache/old.txt"), "kept");
    EXPECT_EQ(read(tgt() + "cache/oldsub/deep.txt"), "kept");
    EXPECT_EQ(read(tgt() + "gone/g.bak"), "kept"); // keeps its folder too
    EXPECT_FALSE(exists(tgt() + "gone/g.txt"));
}

TEST_F(SelectedTest, CancelDuringASelectedRunPerformsNothing)
{
    for (int i = 0; i < 10; ++i)
        file("src/f" + std::to_string(i) + ".txt", "x");
    host.cancelAtPump = 4;
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_EQ(logCount(" *User Cancelled Error: "), 1);
    EXPECT_TRUE(fs::is_empty(tgt()));
}

} // namespace
} // namespace kestrow::test
