// Performing the list: confirmation, cancel, copy and delete methods, folder
// removals, read-only targets and links in the Target.

#include "tests/support/CloneTestSupport.h"

#include "engine/RunControl.h"
#include "engine/cCompare.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

class PerformTest : public CloneTest
{
protected:
    std::string trashFiles() const { return std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/"; }
    std::string trashInfo() const { return std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/info/"; }
    std::vector<std::string> namesIn(const std::string& folder) const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PerformTest, ConfirmationSkipsTheEntriesTakenOutWithoutLoggingThem)
{
    for (const char* name : {"a", "b", "c", "d"})
        file(std::string("src/") + name, name);
    clone.setConfirmSyncActions(true);
    host.skipIndexes = {1, 3};
    host.answerKeepConfirming = false;
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));

    ASSERT_EQ(host.confirmations, 1);
    ASSERT_EQ(host.shown.size(), 4u);
    for (size_t i = 0; i < host.shown.size(); ++i) {
        const std::string name = host.shown[i].substr(host.shown[i].find('"') + 1, 1);
        SCOPED_TRACE(host.shown[i]);
        const bool skipped = i == 1 || i == 3;
        EXPECT_EQ(exists(tgt() + name), !skipped);
        EXPECT_EQ(logCount(" - Copied: " + name + " from "), skipped ? 0 : 1);
    }
    EXPECT_FALSE(clone.ConfirmSyncActions()); // the person switched it off for later runs
    EXPECT_EQ(host.animation, (std::vector<bool>{false, true}));
}

TEST_F(PerformTest, ConfirmationListsThePlanHidesWithdrawnEntriesAndPerformsExactlyWhatWasKept)
{
    // Twelve orphans against one kept file: the deletion cap withdraws every deletion.
    file("src/same.txt", "s");
    file("tgt/same.txt", "s");
    for (int i = 0; i < 12; ++i)
        file("tgt/orphan" + std::to_string(i) + ".txt", "o");
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        file(std::string("src/") + name, name);
    clone.setDeleteMethod(0);
    clone.setMaxDeletePercent(50);
    const std::vector<std::string> planned = plan();
    ASSERT_EQ(planned.size(), 18u);

    // Every other copy taken out.
    std::set<std::string> skippedNames;
    int copies = 0;
    for (size_t i = 0; i < planned.size(); ++i) {
        if (!planned[i].starts_with("     COPY FILE     \""))
            continue;
        if (copies++ % 2 == 0) {
            host.skipIndexes.insert(i);
            skippedNames.insert(planned[i].substr(planned[i].find('"') + 1, 1));
        }
    }
    ASSERT_EQ(skippedNames.size(), 3u);
    clone.setConfirmSyncActions(true);
    clone.CloneAll(src(), tgt(), true);

    ASSERT_EQ(host.confirmations, 1);
    EXPECT_EQ(host.shown, planned) << "each line as the plan's text form reads it";
    ASSERT_EQ(host.withdrawn.size(), planned.size());
    for (size_t i = 0; i < planned.size(); ++i)
        EXPECT_EQ(host.withdrawn[i], planned[i] == "|REMOVED ACTION|") << planned[i];
    EXPECT_EQ(std::count(host.withdrawn.begin(), host.withdrawn.end(), true), 12);
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        EXPECT_EQ(exists(tgt() + name), !skippedNames.contains(name)) << name;
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(exists(tgt() + "orphan" + std::to_string(i) + ".txt"));
}

// Options changed from the window while a run compares (the options dialog, a
// menu) take effect at the next run, never half-way through this one.
TEST_F(PerformTest, OptionsChangedDuringARunWaitForTheNextRun)
{
    struct ChangingHost : TestRunHost
    {
        cClone* engine = nullptr;
        void processEvents() override
        {
            TestRunHost::processEvents();
            engine->setDeleteMethod(2);     // Do Not Delete
            engine->setCopyMethod(1);       // Safe Copy
            engine->setMaxDeletePercent(1); // would withdraw every deletion
            gCompare->setIgnoreHiddenFiles(true);
        }
    };
    for (int i = 0; i < 12; ++i)
        file("tgt/orphan" + std::to_string(i) + ".txt", "o");
    file("src/new.txt", "n");
    file("src/.hidden", "h");
    clone.setDeleteMethod(0);
    clone.setCopyMethod(0);
    clone.setMaxDeletePercent(0);
    {
        ChangingHost changing;
        changing.engine = &clone;
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    }
    EXPECT_EQ(entriesStartingWith(" - Deleted: orphan").size(), 12u);
    EXPECT_EQ(read(tgt() + "new.txt"), "n");
    EXPECT_EQ(read(tgt() + ".hidden"), "h") << "the skip options too are those the run began with";
    EXPECT_EQ(clone.DeleteMethod(), 2); // the change itself stands, for the next run
    file("tgt/later.txt", "l");
    log.ResetInMemoryLog();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(exists(tgt() + "later.txt")) << "the next run goes by the new options";
}

TEST_F(PerformTest, ClosingTheConfirmationCancelsTheRunAndPerformsNothing)
{
    file("src/a", "a");
    file("tgt/orphan", "o");
    clone.setConfirmSyncActions(true);
    host.answerPerform = false;
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(exists(tgt() + "a"));
    EXPECT_TRUE(exists(tgt() + "orphan"));
    EXPECT_EQ(logCount(" *User Cancelled Error: "), 1);
}

TEST_F(PerformTest, EveryEntryRemovedShowsNoDialogAndPerformsNothing)
{
    file("src/a", "a");
    file("tgt/orphan", "o");
    plan();
    for (FileOp& op : clone.FileOpsArray)
        op.Removed = true;
    clone.setConfirmSyncActions(true);
    EXPECT_TRUE(clone.PerformFileOperations(src()));
    EXPECT_EQ(host.confirmations, 0);
    EXPECT_FALSE(exists(tgt() + "a"));
    EXPECT_TRUE(exists(tgt() + "orphan"));
}

TEST_F(PerformTest, CancelWhilePerformingLeavesTheRestAndEveryFolderRemovalUndone)
{
    for (int i = 0; i < 6; ++i)
        file("src/f" + std::to_string(i), "x");
    file("tgt/gone/old.txt", "o");
    host.countOnlyWhilePerforming = true;
    host.cancelAtPump = 3; // seen after the third operation
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(entriesStartingWith(" - Copied: ").size(), 3u);
    EXPECT_EQ(logCount(" *User Cancelled Error: "), 1);
    EXPECT_TRUE(exists(tgt() + "gone/old.txt"));
    EXPECT_EQ(entriesStartingWith(" - Deleted Folder: ").size(), 0u);
}

TEST_F(PerformTest, DeleteMethodsRemoveOrphansTheirOwnWay)
{
    struct Row
    {
        const char* what;
        int32_t method;
        bool inTrash;
    };
    for (const Row row : {Row{"regular", 0, false}, Row{"trash", 1, true}, Row{"secure", 3, false}}) {
        SCOPED_TRACE(row.what);
        const std::string name = std::string("orphan-") + row.what + ".txt";
        file("tgt/" + name, "secret");
        clone.setDeleteMethod(row.method);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
        EXPECT_FALSE(exists(tgt() + name));
        EXPECT_EQ(logCount(" - Deleted: " + name + " from " + tgt()), 1);
        EXPECT_EQ(exists(trashFiles() + name), row.inTrash);
        if (row.inTrash) {
            EXPECT_EQ(read(trashFiles() + name), "secret");
            EXPECT_TRUE(exists(trashInfo() + name + ".trashinfo"));
        }
    }
}

TEST_F(PerformTest, NestedOrphanFoldersAreRemovedChildFirst)
{
    file("tgt/a/b/c/f.txt", "f");
    file("tgt/a/b/g.txt", "g");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(entriesStartingWith(" - Deleted Folder: "),
              (std::vector<std::string>{" - Deleted Folder: " + tgt() + "a/b/c/",
                                        " - Deleted Folder: " + tgt() + "a/b/",
                                        " - Deleted Folder: " + tgt() + "a/"}));
    EXPECT_TRUE(namesIn(tgt()).empty());
}

TEST_F(PerformTest, PlannedFolderThatIsNotEmptyIsKeptAndReported)
{
    compare.setIgnoreHiddenFolders(true);
    file("tgt/gone/.hid/x", "x");
    file("tgt/gone/f", "f");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(exists(tgt() + "gone/f"));
    EXPECT_TRUE(exists(tgt() + "gone/.hid/x"));
    EXPECT_EQ(
        logCount(" - Information Only: Folder not deleted because it is not empty. - '" + tgt() + "gone/' "),
        1);
}

TEST_F(PerformTest, ReadOnlyTargetFileIsReplacedByEveryCopyMethod)
{
    for (int32_t method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        const std::string name = "ro" + std::to_string(method) + ".txt";
        file("src/" + name, "new", 1'700'000'000);
        file("tgt/" + name, "old", 1'600'000'000);
        setMode(tgt() + name, 0444);
        clone.setCopyMethod(method);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
        EXPECT_EQ(read(tgt() + name), "new");
        EXPECT_EQ(modeOf(tgt() + name), modeOf(src() + name));
        EXPECT_EQ(logCount(" - Copied: " + name + " from "), 1);
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());
    }
    // The safe copy sent the old file to the trash.
    EXPECT_EQ(read(trashFiles() + "ro1.txt"), "old");
}

TEST_F(PerformTest, SafeCopyOfANewFileGoesStraightToItsName)
{
    file("src/a.txt", "a");
    clone.setCopyMethod(1);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
    EXPECT_TRUE(namesIn(trashFiles()).empty());
}

TEST_F(PerformTest, FailedSafeCopyKeepsTheOldTargetAndLeavesNoTemporaryFile)
{
    file("src/a.txt", "new", 1'700'000'000);
    file("tgt/a.txt", "old", 1'600'000'000);
    // A trash that cannot be made: the old file cannot be put aside.
    const std::string trash = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash";
    fs::remove_all(trash);
    file(trash.substr(tmp.path().size() + 1), "not a folder");
    clone.setCopyMethod(1);
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + "a.txt"), "old");
    EXPECT_TRUE(tempFilesUnder(tgt()).empty());
    const auto errors = entriesStartingWith(" *Safe Copy Error: (Delete Failed) ");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].ends_with(" " + tgt() + "a.txt")) << errors[0];
}

TEST_F(PerformTest, FileReplacedByFolderAndFolderReplacedByFileConvergeInOneRun)
{
    file("src/was-dir", "now a file");
    file("tgt/was-dir/inner.txt", "i");
    file("src/was-file/f.txt", "f");
    file("tgt/was-file", "was a file");
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(TreeDifferences(src(), tgt()).empty())
        << ::testing::PrintToString(TreeDifferences(src(), tgt()));
    EXPECT_TRUE(plan().empty());
}

TEST_F(PerformTest, OrphanLinkToAFolderOutsideIsRemovedAsALink)
{
    file("outside/keep.txt", "keep");
    for (int32_t method : {0, 1, 3}) {
        SCOPED_TRACE(method);
        link("tgt/outlink", root() + "outside");
        clone.setDeleteMethod(method);
        EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
        EXPECT_FALSE(exists(tgt() + "outlink"));
        EXPECT_EQ(read(root() + "outside/keep.txt"), "keep");
        EXPECT_EQ(namesIn(root() + "outside"), std::vector<std::string>{"keep.txt"});
    }
}

TEST_F(PerformTest, NothingIsWrittenThroughALinkThatStandsWhereTheSourceHasAFolder)
{
    folder("outside");
    file("src/dir/new.txt", "n");
    link("tgt/dir", root() + "outside");

    clone.setDeleteMethod(2); // the link stays, so the folder cannot be made
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(namesIn(root() + "outside").empty());
    EXPECT_EQ(entriesStartingWith(" *Create Dir Error: ").size(), 1u);
    EXPECT_EQ(entriesStartingWith(" *Copy Error: ").size(), 1u);

    clone.setDeleteMethod(0); // the link is removed and a real folder made
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(fs::symlink_status(tgt() + "dir").type(), fs::file_type::directory);
    EXPECT_EQ(read(tgt() + "dir/new.txt"), "n");
    EXPECT_TRUE(namesIn(root() + "outside").empty());
}

TEST_F(PerformTest, SourceThatChangesOrVanishesAfterTheListingFailsOnlyThatFile)
{
    for (int32_t method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        fs::remove_all(tgt());
        folder("tgt");
        file("src/changing.txt", "before");
        file("src/vanishing.txt", "v");
        file("src/stable.txt", "s");
        clone.setCopyMethod(method);
        plan();
        file("src/changing.txt", "after, and longer");
        fs::remove(src() + "vanishing.txt");
        log.ResetInMemoryLog();
        EXPECT_FALSE(clone.PerformFileOperations(src()));
        EXPECT_EQ(read(tgt() + "stable.txt"), "s");
        EXPECT_FALSE(exists(tgt() + "changing.txt"));
        EXPECT_FALSE(exists(tgt() + "vanishing.txt"));
        EXPECT_EQ(logCount(" *Copy Error: 0 The file changed while it was being cloned. changing.txt from " +
                           src() + " to " + tgt()),
                  1);
        EXPECT_EQ(logCount(" *Copy Error: 2 No such file or directory vanishing.txt from " + src() + " to " +
                           tgt()),
                  1);
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());
    }
}

TEST_F(PerformTest, CopyErrorsAreLoggedAndTheRunGoesOn)
{
    for (int32_t method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        fs::remove_all(tgt());
        log.ResetInMemoryLog();
        file("src/a.txt", "a");
        file("src/b.txt", "b");
        folder("tgt/a.txt/inside"); // a folder that is not planned for removal stands in the way
        clone.setCopyMethod(method);
        plan();
        // Keep the folder: take its removal out, as the person could in the confirmation.
        for (FileOp& op : clone.FileOpsArray) {
            if (op.OpType != FileOpCopy)
                op.Removed = true;
        }
        EXPECT_FALSE(clone.PerformFileOperations(src()));
        EXPECT_EQ(read(tgt() + "b.txt"), "b");
        EXPECT_TRUE(exists(tgt() + "a.txt/inside"));
        EXPECT_TRUE(tempFilesUnder(tgt()).empty());
        if (method == 1)
            EXPECT_EQ(logCount(" *Safe Copy Error: (Copy Failed) 21 Is a directory " + tgt() + "a.txt"), 1);
        else if (method == 2)
            EXPECT_EQ(logCount(" *Copy Error: 21 Dx - Is a directory a.txt from " + src() + " to " + tgt()),
                      1);
        else
            EXPECT_EQ(logCount(" *Copy Error: 21 Is a directory a.txt from " + src() + " to " + tgt()), 1);
    }
}

} // namespace
} // namespace kestrow::test
