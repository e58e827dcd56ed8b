// Planning: what the clone-all comparison puts in the operations list, and in
// which order.

#include "tests/support/CloneTestSupport.h"

#include "engine/RunControl.h"
#include "engine/cCompare.h"
#include "engine/modCompare.h"

#include <algorithm>
#include <filesystem>
#include <functional>

namespace kestrow::test {
namespace {

class ClonePlanTest : public CloneTest
{
protected:
    std::string copyText(const std::string& name, const std::string& relFolder = {}) const
    {
        return "     COPY FILE     \"" + name + "\"  FROM  " + src() + relFolder + "  TO  " + tgt() +
               relFolder;
    }
    std::string deleteText(const std::string& name, const std::string& relFolder = {}) const
    {
        return "     DELETE FILE     \"" + name + "\"  FROM  " + tgt() + relFolder;
    }
    std::string createText(const std::string& relFolder) const
    {
        return "     CREATE FOLDER     " + tgt() + relFolder;
    }
    std::string removeText(const std::string& relFolder) const
    {
        return "     DELETE FOLDER     " + tgt() + relFolder;
    }
    static long indexOf(const std::vector<std::string>& texts, const std::string& text)
    {
        const auto it = std::find(texts.begin(), texts.end(), text);
        EXPECT_NE(it, texts.end()) << "not planned: " << text;
        return it - texts.begin();
    }
};

TEST_F(ClonePlanTest, IdenticalTreesPlanNothingShowNoDialogAndSucceed)
{
    for (const char* rel : {"a.txt", "d/b.txt", "d/e/c.txt"}) {
        file(std::string("src/") + rel, rel);
        file(std::string("tgt/") + rel, rel);
    }
    EXPECT_TRUE(plan().empty());

    clone.setConfirmSyncActions(true);
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(host.confirmations, 0);
    EXPECT_EQ(host.panel2.back(), "0%");
    EXPECT_TRUE(logEntries().empty());
}

TEST_F(ClonePlanTest, OrderIsTargetTreeBreadthFirstThenFoldersMissingInTarget)
{
    file("src/keep.txt", "k");
    file("tgt/keep.txt", "k");
    file("src/changed.txt", "new", 1'700'000'000);
    file("tgt/changed.txt", "old", 1'600'000'000);
    file("src/new.txt", "n");
    file("tgt/orphan.txt", "o");
    file("src/both/x.txt", "x");
    file("tgt/both/x.txt", "x");
    file("tgt/both/stale.txt", "s");
    file("tgt/gone/g1.txt", "g");
    file("tgt/gone/inner/g2.txt", "g");
    file("src/newdir/n1.txt", "1");
    file("src/newdir/deeper/n2.txt", "2");

    const std::vector<std::string> texts = plan();
    ASSERT_EQ(texts.size(), 12u) << ::testing::PrintToString(texts);
    const long changed = indexOf(texts, copyText("changed.txt"));
    const long orphan = indexOf(texts, deleteText("orphan.txt"));
    const long added = indexOf(texts, copyText("new.txt"));
    const long stale = indexOf(texts, deleteText("stale.txt", "both/"));
    const long g1 = indexOf(texts, deleteText("g1.txt", "gone/"));
    const long gone = indexOf(texts, removeText("gone/"));
    const long g2 = indexOf(texts, deleteText("g2.txt", "gone/inner/"));
    const long inner = indexOf(texts, removeText("gone/inner/"));
    const long newdir = indexOf(texts, createText("newdir/"));
    const long n1 = indexOf(texts, copyText("n1.txt", "newdir/"));
    const long deeper = indexOf(texts, createText("newdir/deeper/"));
    const long n2 = indexOf(texts, copyText("n2.txt", "newdir/deeper/"));

    // Root pair: the Target's entries first, then Source-only files.
    EXPECT_LT(changed, added);
    EXPECT_LT(orphan, added);
    // Level by level through the Target tree; an orphan folder's files before its removal.
    EXPECT_LT(added, std::min(stale, g1));
    EXPECT_LT(g1, gone);
    EXPECT_LT(std::max(stale, gone), g2);
    EXPECT_LT(g2, inner);
    // Then the Source folders missing in the Target, breadth first, each created before its files.
    EXPECT_LT(inner, newdir);
    EXPECT_LT(newdir, n1);
    EXPECT_LT(n1, deeper);
    EXPECT_LT(deeper, n2);
}

TEST_F(ClonePlanTest, DoNotDeletePlansNoDeletionAndKeepsOrphans)
{
    file("src/a.txt", "a");
    file("tgt/orphan.txt", "o");
    file("tgt/gone/g.txt", "g");
    clone.setDeleteMethod(2);
    EXPECT_EQ(plan(), std::vector<std::string>{copyText("a.txt")});
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), true));
    EXPECT_TRUE(exists(tgt() + "orphan.txt"));
    EXPECT_TRUE(exists(tgt() + "gone/g.txt"));
    EXPECT_EQ(read(tgt() + "a.txt"), "a");
}

TEST_F(ClonePlanTest, CopyOnlyIfNewerAndComparisonMethods)
{
    struct Row
    {
        const char* what;
        int64_t sourceTime, targetTime;
        const char* sourceText;
        const char* targetText;
        int32_t method;
        bool onlyIfNewer;
        bool copied;
    };
    const Row rows[] = {
        {"target newer, date/time", 1'600'000'000, 1'700'000'000, "a", "b", CompareMethodDateTime, true,
         false},
        {"target newer without the option", 1'600'000'000, 1'700'000'000, "a", "b", CompareMethodDateTime,
         false, true},
        {"source newer", 1'700'000'000, 1'600'000'000, "a", "b", CompareMethodDateTime, true, true},
        {"equal time, other size", 1'600'000'000, 1'600'000'000, "aa", "b", CompareMethodSize, true, false},
        {"equal time, other size, no option", 1'600'000'000, 1'600'000'000, "aa", "b", CompareMethodSize,
         false, true},
        {"same size, other time, size method", 1'700'000'000, 1'600'000'000, "a", "b", CompareMethodSize,
         false, false},
        {"same size and time, other bytes, contents", 1'600'000'000, 1'600'000'000, "a", "b",
         CompareMethodContents, false, true},
        {"same size and time, other bytes, CRC32", 1'600'000'000, 1'600'000'000, "a", "b", CompareMethodCRC32,
         false, true},
        {"same bytes, other time, contents", 1'700'000'000, 1'600'000'000, "a", "a", CompareMethodContents,
         false, false},
        // A file rewritten within the same second (or the two-second allowance) at another size.
        {"equal time, other size, date/time", 1'600'000'000, 1'600'000'000, "aa", "b", CompareMethodDateTime,
         false, true},
        {"equal time and size, date/time", 1'600'000'000, 1'600'000'000, "a", "b", CompareMethodDateTime,
         false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        file("src/f.txt", row.sourceText, row.sourceTime);
        file("tgt/f.txt", row.targetText, row.targetTime);
        compare.setCompareMethod(row.method);
        clone.setCopyOnlyIfNewer(row.onlyIfNewer);
        EXPECT_EQ(plan(),
                  row.copied ? std::vector<std::string>{copyText("f.txt")} : std::vector<std::string>{});
    }
}

TEST_F(ClonePlanTest, WithoutSubfoldersOnlyTheRootFilesTakePart)
{
    file("src/a.txt", "a");
    file("src/sub/new.txt", "n");
    file("tgt/oldsub/x.txt", "x");
    EXPECT_EQ(plan(false), std::vector<std::string>{copyText("a.txt")});
}

TEST_F(ClonePlanTest, KeptHiddenFileBlocksRemovalOfOrphanFolderAndIsReportedOnce)
{
    compare.setIgnoreHiddenFiles(true);
    file("tgt/gone/.keep", "k");
    file("tgt/gone/f.txt", "f");
    EXPECT_EQ(plan(), std::vector<std::string>{deleteText("f.txt", "gone/")});
    EXPECT_EQ(
        logCount(" - Information Only: Target File was skipped because it is a Hidden file and the Ignore "
                 "Hidden Files option is selected. - '" +
                 tgt() + "gone/.keep' "),
        1);
}

TEST_F(ClonePlanTest, NamesPairCaseSensitively)
{
    file("src/Report.txt", "r");
    file("tgt/report.txt", "r");
    const std::vector<std::string> texts = plan();
    EXPECT_EQ(texts.size(), 2u);
    indexOf(texts, copyText("Report.txt"));
    indexOf(texts, deleteText("report.txt"));
}

TEST_F(ClonePlanTest, LinksAreSameWhenTheirTextsAreEqualAndNeverMatchOtherKinds)
{
    struct Row
    {
        const char* what;
        bool sourceLink, targetLink;
        const char* sourceText;
        const char* targetText;
        bool copied;
    };
    const Row rows[] = {
        {"equal link texts", true, true, "some/where", "some/where", false},
        {"different link texts", true, true, "some/where", "else/where", true},
        {"link against file", true, false, "x", "x", true},
        {"file against link", false, true, "x", "x", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(src() + "l");
        std::filesystem::remove(tgt() + "l");
        if (row.sourceLink)
            link("src/l", row.sourceText);
        else
            file("src/l", row.sourceText);
        if (row.targetLink)
            link("tgt/l", row.targetText);
        else
            file("tgt/l", row.targetText);
        for (int32_t method : {CompareMethodDateTime, CompareMethodSize, CompareMethodContents}) {
            compare.setCompareMethod(method);
            EXPECT_EQ(plan(),
                      row.copied ? std::vector<std::string>{copyText("l")} : std::vector<std::string>{})
                << "method " << method;
        }
    }
}

TEST_F(ClonePlanTest, ALinkToAFolderIsAFileNeverEntered)
{
    file("src/real/inside.txt", "i");
    link("src/dirlink", "real");
    const std::vector<std::string> texts = plan();
    indexOf(texts, copyText("dirlink"));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), createText("dirlink/")), 0);
}

TEST_F(ClonePlanTest, DotFoldersAreHiddenFoldersFollowingTheOption)
{
    file("src/.config/app.ini", "x");
    EXPECT_EQ(plan(), (std::vector<std::string>{createText(".config/"), copyText("app.ini", ".config/")}));

    compare.setIgnoreHiddenFolders(true);
    EXPECT_TRUE(plan().empty());
    EXPECT_EQ(logCount(" - Information Only: Source folder was skipped because it is a Hidden folder and the "
                       "Ignore Hidden Folders option is selected. - '" +
                       src() + ".config/' "),
              1);
}

// ~/.config is an ordinary Source on Linux: the roots the person chose are never
// skipped by their own attributes, in any mode, while hidden entries inside are.
TEST_F(ClonePlanTest, HiddenRootsAreClonedInEveryModeAndHiddenEntriesInsideAreNot)
{
    compare.setIgnoreHiddenFiles(true);
    compare.setIgnoreHiddenFolders(true);
    const std::string source = root() + ".config/";
    const std::string target = root() + ".backup/";
    struct Row
    {
        const char* mode;
        std::function<bool()> run;
    };
    const Row rows[] = {
        {"all", [&] { return clone.CloneAll(source, target, true); }},
        {"exclusions", [&] { return clone.CloneSelected_ExclusionsOnly(source, target, true, "", "*.tmp"); }},
        {"inclusions", [&] { return clone.CloneSelected_InclusionsOnly(source, target, true, "", "*"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        std::filesystem::remove_all(source);
        std::filesystem::remove_all(target);
        file(".config/app/settings.ini", "s");
        file(".config/top.txt", "t");
        file(".config/.hidden", "h");
        file(".config/.cache/x", "x");
        folder(".backup");
        const int skippedRoots = logCount("option is selected. - '" + source + "' ") +
                                 logCount("option is selected. - '" + target + "' ");
        EXPECT_TRUE(row.run());
        EXPECT_EQ(read(target + "app/settings.ini"), "s");
        EXPECT_EQ(read(target + "top.txt"), "t");
        EXPECT_FALSE(exists(target + ".hidden"));
        EXPECT_FALSE(exists(target + ".cache"));
        EXPECT_EQ(logCount("option is selected. - '" + source + "' ") +
                      logCount("option is selected. - '" + target + "' "),
                  skippedRoots);
    }
}

TEST_F(ClonePlanTest, SystemFilesFollowTheOption)
{
    makeFifo(src() + "pipe");
    EXPECT_EQ(plan(), std::vector<std::string>{copyText("pipe")});
    compare.setIgnoreSystemFiles(true);
    EXPECT_TRUE(plan().empty());
    EXPECT_EQ(
        logCount("Source File was skipped because it is a System file and the Ignore System Files option is "
                 "selected. - '" +
                 src() + "pipe' "),
        1);
}

TEST_F(ClonePlanTest, CancelDuringTheWalkStopsItAndIsLoggedOnce)
{
    for (int i = 0; i < 20; ++i)
        file("src/d" + std::to_string(i % 4) + "/f" + std::to_string(i), "x");
    host.cancelAtPump = 5;
    EXPECT_FALSE(clone.CloneAll(src(), tgt(), true));
    EXPECT_EQ(logCount(" *User Cancelled Error: "), 1);
    EXPECT_TRUE(std::filesystem::is_empty(tgt()));
    EXPECT_EQ(clone.FileOpsCount(), 0); // the list is erased at the end of the run
}

TEST_F(ClonePlanTest, StatusTextsCountEntriesAndPercentagesRoundHalfToEven)
{
    for (int i = 0; i < 30; ++i)
        file("src/many/f" + std::to_string(i), "x");
    plan();
    EXPECT_EQ(host.panel1.front(), "Comparing folders...");
    EXPECT_EQ(host.panel2.front(), "0 files");
    EXPECT_NE(std::find(host.panel2.begin(), host.panel2.end(), "25 files"), host.panel2.end());
    EXPECT_GE(clone.FilesScannedCount, 30);

    std::filesystem::remove_all(src() + "many");
    for (int i = 0; i < 8; ++i)
        file("src/g" + std::to_string(i), "x");
    host.panel1.clear();
    host.panel2.clear();
    EXPECT_TRUE(clone.CloneAll(src(), tgt(), false));
    EXPECT_EQ(host.panel1.back(), "Cloning folder \"" + src() + "\"...");
    // 1/8 = 12.5 %, 3/8 = 37.5 %, 5/8 = 62.5 %, 7/8 = 87.5 %
    const std::vector<std::string> expected = {"0 files", "0%",  "12%", "25%", "38%",
                                               "50%",     "62%", "75%", "88%", "100%"};
    EXPECT_EQ(host.panel2, expected);
}

TEST_F(ClonePlanTest, TextFormOfRemovedEntriesAndTheirCount)
{
    file("src/a.txt", "a");
    file("tgt/b.txt", "b");
    plan();
    ASSERT_EQ(clone.FileOpsCount(), 2);
    clone.FileOpsArray[0].Removed = true;
    std::vector<std::string> texts;
    EXPECT_EQ(clone.GetSyncActionStrings(texts), 1);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "|REMOVED ACTION|");
}

TEST_F(ClonePlanTest, CreateFolderEntriesAreNotDuplicated)
{
    file("src/n/a.txt", "a");
    plan();
    EXPECT_TRUE(clone.CreateFolderFileOpAlreadyAdded(tgt() + "n/"));
    EXPECT_FALSE(clone.CreateFolderFileOpAlreadyAdded(tgt() + "N/"));
    EXPECT_FALSE(clone.AddSourceSubfolderAndFilesToFileOpsArray(src() + "n/", tgt() + "n/"));
    std::vector<std::string> texts;
    clone.GetSyncActionStrings(texts);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), createText("n/")), 1);
}

} // namespace
} // namespace kestrow::test
