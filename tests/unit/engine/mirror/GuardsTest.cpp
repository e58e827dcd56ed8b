// What stands between a mistake and a lost backup: an empty Source, a run that
// would delete most of a Target, leftovers of a killed safe copy, and two runs
// on one Target at once.

#include "tests/support/CloneTestSupport.h"

#include "base/AppState.h"
#include "platform/DeviceId.h"
#include "platform/InstanceLock.h"

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

using GuardsTest = CloneTest;

const std::string kEmptySourceError =
    " *Folder Path Error:  Problems processing the Source folder. The Source "
    "folder is empty, so the Target folder was left untouched.";

TEST_F(GuardsTest, EmptySourceLeavesTheTargetUntouchedInEveryMode)
{
    fs::create_directories(src());
    file("tgt/precious.txt", "p");
    file("tgt/dir/more.txt", "m");
    clone.setDeleteMethod(0);
    EXPECT_FALSE(clone.ProtectFromEmptySource()); // a fresh engine does what it is told
    clone.setProtectFromEmptySource(true);

    EXPECT_TRUE(plan().empty());
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_FALSE(clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, "", "*.tmp"));
    EXPECT_FALSE(clone.CloneSelected_InclusionExclusion(src(), tgt(), true, "", "*.txt", "", "*.tmp"));
    EXPECT_EQ(read(tgt() + "precious.txt"), "p");
    EXPECT_EQ(read(tgt() + "dir/more.txt"), "m");
    EXPECT_EQ(logCount(kEmptySourceError), 5); // the plan included
    EXPECT_EQ(logCount("Source: " + src() + " Target: " + tgt()), 5);
}

TEST_F(GuardsTest, EmptySourceGuardAppliesOnlyToAnEmptySourceOverAFilledTarget)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> sourceFiles; // root-relative to src/
        std::vector<std::string> targetFiles;
        bool protect;
        bool refused;
    };
    const std::vector<Row> rows = {
        {"BothEmpty", {}, {}, true, false},
        {"SourceHoldsOnlyADotFile", {".keep"}, {"a.txt"}, true, false},
        {"SourceHoldsOnlyAnEmptyFolder", {"empty/"}, {"a.txt"}, true, false},
        {"TargetHoldsOnlyAFolder", {}, {"sub/"}, true, true},
        {"ProtectionSwitchedOff", {}, {"a.txt", "sub/b.txt"}, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(src());
        fs::remove_all(tgt());
        fs::create_directories(src());
        fs::create_directories(tgt());
        for (const std::string& f : row.sourceFiles)
            f.ends_with('/') ? (void)folder("src/" + f) : (void)file("src/" + f, "s");
        for (const std::string& f : row.targetFiles)
            f.ends_with('/') ? (void)folder("tgt/" + f) : (void)file("tgt/" + f, "t");
        clone.setProtectFromEmptySource(row.protect);
        clone.setDeleteMethod(0);
        const int before = logCount(kEmptySourceError);
        const bool ok = clone.CloneAll(src(), tgt(), true);
        EXPECT_EQ(logCount(kEmptySourceError) - before, row.refused ? 1 : 0);
        EXPECT_EQ(ok, !row.refused);
        if (row.refused)
            EXPECT_FALSE(fs::is_empty(tgt()));
        else
            EXPECT_TRUE(TreeDifferences(src(), tgt()).empty());
    }
}

// What an unmounted disk leaves behind is a Source with nothing this run would
// clone: an empty file system's lost+found, a desktop's .directory with Skip
// Hidden on, entries the exclusions or the subfolder choice pass over.
TEST_F(GuardsTest, EmptySourceGuardSeesASourceWithNothingTheRunWouldClone)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> sourceFiles;
        bool skipHidden;
        bool subfolders;
        const char* excludeMasks; // non-null: the exclusions mode
        bool refused;
    };
    const std::vector<Row> rows = {
        {"OnlyLostAndFound", {"lost+found/"}, false, true, nullptr, true},
        {"LostAndFoundAndAFile", {"lost+found/", "a.txt"}, false, true, nullptr, false},
        {"OnlyAHiddenFileSkipped", {".directory"}, true, true, nullptr, true},
        {"OnlyAHiddenFolderSkipped", {".cache/x"}, true, true, nullptr, true},
        {"AHiddenFileCloned", {".directory"}, false, true, nullptr, false},
        {"OnlySubfoldersWithoutSubfolders", {"sub/a.txt"}, false, false, nullptr, true},
        {"OnlyExcludedFiles", {"a.tmp", "b.tmp"}, false, true, "*.tmp", true},
        {"AFileNotExcluded", {"a.tmp", "b.txt"}, false, true, "*.tmp", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(src());
        fs::remove_all(tgt());
        fs::create_directories(src());
        for (int i = 0; i < 20; ++i)
            file("tgt/file" + std::to_string(i) + ".txt", "t");
        for (const std::string& f : row.sourceFiles)
            f.ends_with('/') ? (void)folder("src/" + f) : (void)file("src/" + f, "s");
        compare.setIgnoreHiddenFiles(row.skipHidden);
        compare.setIgnoreHiddenFolders(row.skipHidden);
        clone.setProtectFromEmptySource(true);
        clone.setDeleteMethod(0);
        const int before = logCount(kEmptySourceError);
        const bool ok = row.excludeMasks ? clone.CloneSelected_ExclusionsOnly(src(), tgt(), row.subfolders,
                                                                              "", row.excludeMasks)
                                         : clone.CloneAll(src(), tgt(), row.subfolders);
        EXPECT_EQ(logCount(kEmptySourceError) - before, row.refused ? 1 : 0);
        EXPECT_EQ(ok, !row.refused);
        EXPECT_EQ(exists(tgt() + "file19.txt"), row.refused);
    }
}

TEST_F(GuardsTest, EmptySourceGuardSeesIncludeMasksThatSelectNothing)
{
    file("src/notes.txt", "n");
    file("tgt/letter.doc", "l");
    file("tgt/notes.txt", "n");
    clone.setProtectFromEmptySource(true);
    clone.setDeleteMethod(0);
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.doc"));
    EXPECT_EQ(logCount(kEmptySourceError), 1);
    EXPECT_TRUE(exists(tgt() + "letter.doc"));

    file("src/other.doc", "o"); // something to clone: the orphan goes
    EXPECT_TRUE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.doc"));
    EXPECT_FALSE(exists(tgt() + "letter.doc"));
    EXPECT_EQ(logCount(kEmptySourceError), 1);
}

// A Target of `count` files "f00".."fNN" of which the Source keeps the first `kept`.
void MakeTargetWithOrphans(int count, int kept, const std::function<void(std::string)>& make)
{
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt";
        make("tgt/" + name);
        if (i < kept)
            make("src/" + name);
    }
}

TEST_F(GuardsTest, DeletionCapWithdrawsEveryDeletionButKeepsTheCopies)
{
    struct Row
    {
        const char* name;
        int percent, targetFiles, kept;
        bool capped;
    };
    const std::vector<Row> rows = {
        // Besides the "f" files the Target holds one more orphan, gone/inside.txt.
        {"ThreeQuartersOverHalf", 50, 20, 5, true},
        {"ThreeQuartersUnderEightyPercent", 80, 20, 5, false},
        {"ExactlyAtTheLimitIsAllowed", 50, 19, 10, false}, // 10 of 20
        {"FewerThanTenFilesNeverCapped", 10, 12, 4, false},
        {"TenFilesAreEnough", 10, 12, 3, true},
        {"ZeroMeansNoLimit", 0, 20, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(src());
        fs::remove_all(tgt());
        MakeTargetWithOrphans(row.targetFiles, row.kept,
                              [this](const std::string& rel) { file(rel, "same"); });
        file("src/new.txt", "new");
        file("tgt/gone/inside.txt", "g"); // an orphan folder: its removal is withheld too
        clone.setDeleteMethod(0);
        clone.setMaxDeletePercent(row.percent);
        const int before = logCount("files were to be deleted, more than the limit of");

        const bool ok = clone.CloneAll(src(), tgt(), true);
        EXPECT_EQ(ok, !row.capped);
        EXPECT_EQ(read(tgt() + "new.txt"), "new"); // copies happen either way
        EXPECT_EQ(logCount("files were to be deleted, more than the limit of") - before, row.capped ? 1 : 0);
        if (row.capped) {
            EXPECT_EQ(read(tgt() + "gone/inside.txt"), "g");
            EXPECT_TRUE(exists(tgt() + "f" + std::to_string(row.targetFiles - 1) + ".txt"));
            const int deletions = row.targetFiles - row.kept + 1;
            EXPECT_EQ(logCount(" *Folder Path Error:  Problems processing the Target folder. " +
                               std::to_string(deletions) + " of its " + std::to_string(row.targetFiles + 1) +
                               " files were to be deleted, more than the limit of " +
                               std::to_string(row.percent) +
                               "%, so nothing was deleted from it. Target: " + tgt()),
                      1);
        } else {
            EXPECT_TRUE(TreeDifferences(src(), tgt()).empty());
        }
    }
}

TEST_F(GuardsTest, DeletionCapShowsTheWithdrawnDeletionsInThePlanAndHoldsInSelectedModes)
{
    MakeTargetWithOrphans(20, 2, [this](const std::string& rel) { file(rel, "x"); });
    clone.setDeleteMethod(0);
    clone.setMaxDeletePercent(25);
    const std::vector<std::string> planned = plan();
    ASSERT_EQ(planned.size(), 18u);
    for (const std::string& line : planned)
        EXPECT_NE(line.find("|REMOVED ACTION|"), std::string::npos) << line;
    // A dry run shows what each withdrawn entry was and counts only what will be done.
    std::vector<std::string> printed;
    EXPECT_EQ(clone.GetPlannedActionStrings(printed), 0);
    ASSERT_EQ(printed.size(), 18u);
    for (const std::string& line : printed)
        EXPECT_TRUE(line.starts_with("|REMOVED ACTION| DELETE FILE     \"f") &&
                    line.ends_with("  FROM  " + tgt()))
            << line;

    EXPECT_FALSE(clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, "", "*.doc"));
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_TRUE(exists(tgt() + "f19.txt"));
    EXPECT_EQ(logCount("files were to be deleted, more than the limit of 25%"), 3);

    // Do Not Delete plans no deletion: nothing to cap.
    clone.setDeleteMethod(2);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(logCount("files were to be deleted, more than the limit of 25%"), 3);
}

TEST_F(GuardsTest, SafeCopyLeftoversAreRemovedNotPlannedAndNeverCopied)
{
    file("src/a.txt", "a");
    file("src/sub/b.txt", "b");
    file("src/kw_00112233.tmp", "a leftover in the Source"); // never cloned on
    // Look-alikes are the person's own files: cloned like any other.
    for (const char* name : {"kw_notes.tmp", "kw_0011223.tmp", "kw_001122334.tmp", "kw_0011AABB.tmp",
                             "KW_0011aabb.tmp", "kw_0011aabb.tmp.bak", "xkw_0011aabb.tmp"})
        file(std::string("src/") + name, name);
    file("tgt/a.txt", "a");
    file("tgt/kw_0123abcd.tmp", "half");
    file("tgt/sub/kw_fedcba98.tmp", "half");
    file("tgt/orphan/kw_99999999.tmp", "half"); // inside an orphan folder, which then goes
    clone.setDeleteMethod(0);

    const std::vector<std::string> leftovers = {"kw_0123abcd.tmp", "kw_fedcba98.tmp", "kw_99999999.tmp",
                                                "kw_00112233.tmp"};
    for (const std::string& line : plan()) {
        for (const std::string& name : leftovers)
            EXPECT_EQ(line.find(name), std::string::npos) << line;
    }
    EXPECT_TRUE(exists(tgt() + "kw_0123abcd.tmp")); // a plan changes nothing

    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    for (const char* name : {"kw_notes.tmp", "kw_0011223.tmp", "kw_001122334.tmp", "kw_0011AABB.tmp",
                             "KW_0011aabb.tmp", "kw_0011aabb.tmp.bak", "xkw_0011aabb.tmp"})
        EXPECT_EQ(read(tgt() + name), name);
    EXPECT_FALSE(exists(tgt() + "kw_0123abcd.tmp"));
    EXPECT_FALSE(exists(tgt() + "sub/kw_fedcba98.tmp"));
    EXPECT_FALSE(exists(tgt() + "orphan"));
    EXPECT_FALSE(exists(tgt() + "kw_00112233.tmp"));
    EXPECT_EQ(
        logCount("Removed a temporary file left by an interrupted run. - '" + tgt() + "kw_0123abcd.tmp' "),
        1);
    EXPECT_EQ(logCount("Removed a temporary file left by an interrupted run."), 3);
    EXPECT_EQ(logCount("kw_0123abcd.tmp"), 1); // not logged as a deletion
}

TEST_F(GuardsTest, LeftoverNamesThatAreNotOurFilesAreLeftAlone)
{
    file("src/a.txt", "a");
    file("victim/data.txt", "v");
    file("tgt/a.txt", "a");
    link("tgt/kw_aaaaaaaa.tmp", root() + "victim/data.txt"); // a link, not a file of ours
    file("tgt/kw_bbbbbbbb.tmp", "two names");
    fs::create_hard_link(tgt() + "kw_bbbbbbbb.tmp", root() + "victim/hardlink");
    folder("tgt/kw_cccccccc.tmp"); // a folder of that name is an ordinary orphan folder
    clone.setDeleteMethod(0);

    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(exists(tgt() + "kw_aaaaaaaa.tmp"));
    EXPECT_TRUE(exists(tgt() + "kw_bbbbbbbb.tmp"));
    EXPECT_FALSE(exists(tgt() + "kw_cccccccc.tmp"));
    EXPECT_EQ(read(root() + "victim/data.txt"), "v");
    EXPECT_EQ(logCount("Not removed, as it is not a temporary file of this program"), 2);

    // Do Not Delete keeps even our own leftovers.
    file("tgt/kw_dddddddd.tmp", "half");
    clone.setDeleteMethod(2);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(exists(tgt() + "kw_dddddddd.tmp"));
}

TEST_F(GuardsTest, ATargetLockedByAnotherRunIsSkippedWhateverItsSpelling)
{
    file("src/a.txt", "a");
    fs::create_directories(tgt());
    fs::create_directory_symlink(tgt(), root() + "alias");
    int err = 0;
    const std::string lockFile =
        platform::targetLockFile(gstrAppPath, platform::resolvedFolderPath(tgt()), err);
    ASSERT_FALSE(lockFile.empty()) << err;
    platform::InstanceLock other;
    ASSERT_EQ(other.acquire(lockFile), platform::InstanceLock::Result::Acquired);

    const std::string skipped = " *Folder Path Error:  Problems processing the Target folder. Another run is "
                                "working on this Target folder now, so it was skipped.";
    for (const std::string& spelling : {tgt(), root() + "alias/", root() + "tgt/../tgt/", root() + "tgt"}) {
        SCOPED_TRACE(spelling);
        EXPECT_FALSE(clone.CloneAll(src(), spelling, true));
        EXPECT_FALSE(exists(tgt() + "a.txt"));
    }
    EXPECT_FALSE(clone.CloneSelected_ExclusionsOnly(src(), tgt(), true, "", "*.tmp"));
    EXPECT_FALSE(clone.CloneSelected_InclusionsOnly(src(), tgt(), true, "", "*.txt"));
    EXPECT_EQ(logCount(skipped), 6);

    other.release();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
    // Released at the end of the run: the next one takes it again.
    EXPECT_EQ(other.acquire(lockFile), platform::InstanceLock::Result::Acquired);
}

} // namespace
} // namespace kestrow::test
