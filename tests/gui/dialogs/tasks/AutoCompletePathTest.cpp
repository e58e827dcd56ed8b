// Folder-name completion of the Source box, on real folders.

#include "tests/gui/dialogs/tasks/TaskDialogTest.h"
#include "ui/dialogs/tasks/modAutoCompletePath.h"

#include <QLineEdit>

namespace kestrow::test {
namespace {

using gui::CompletionSuffix;
using gui::FindPathCompletion;

class AutoCompletePathTest : public TaskDialogTest
{
protected:
    AutoCompletePathTest()
    {
        dir.makeDir("t/projects");
        dir.makeDir("t/Music");
        dir.writeFile("t/project.txt", "p");
        dir.writeFile("t/notes.txt", "n");
        dir.makeDir("t/notes-old");
        dir.makeDir("t/zeta/inner");
        root = dir.path() + "/t/";
    }
    std::string root;
};

struct CompletionRow
{
    const char* name;
    const char* typed;    // after the test folder
    const char* expected; // after the test folder; "" for none
};

class CompletionTest : public AutoCompletePathTest, public ::testing::WithParamInterface<CompletionRow>
{
};

TEST_P(CompletionTest, Finds)
{
    const CompletionRow& row = GetParam();
    const std::string completion = FindPathCompletion(root + row.typed, [] { return true; });
    EXPECT_EQ(completion, *row.expected ? root + row.expected : std::string());
}

INSTANTIATE_TEST_SUITE_P(Rows, CompletionTest,
                         ::testing::Values(CompletionRow{"ExistingFolderGetsItsSlash", "zeta", "zeta/"},
                                           CompletionRow{"PrefixOfAFolder", "ze", "zeta/"},
                                           CompletionRow{"FileBeforeFolderCompletesNothing", "proj", ""},
                                           CompletionRow{"OnlyAFileMatches", "notes.t", ""},
                                           CompletionRow{"FolderBeforeFile", "notes-", "notes-old/"},
                                           CompletionRow{"NameOrderIgnoresCase", "M", "Music/"},
                                           CompletionRow{"CaseMustMatch", "mus", ""},
                                           CompletionRow{"NothingMatches", "qq", ""},
                                           CompletionRow{"ParentMissing", "none/x", ""},
                                           CompletionRow{"DeeperLevel", "zeta/in", "zeta/inner/"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AutoCompletePathTest, SearchStopsWhenAskedAndSuffixEndsAtTheNextSlash)
{
    int asked = 0;
    EXPECT_EQ(FindPathCompletion(root + "ze", [&] { return ++asked < 2; }), "") << "stopped before zeta";
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(FindPathCompletion("", [] { return true; }), "");
    EXPECT_EQ(FindPathCompletion("relative-without-parent", [] { return true; }), "");

    EXPECT_EQ(CompletionSuffix("/a/b", "/a/bcd/efg/"), "cd/");
    EXPECT_EQ(CompletionSuffix("/a/b", "/a/b/"), "/");
    EXPECT_EQ(CompletionSuffix("/a/bcd", "/a/bcd"), "");
    EXPECT_EQ(CompletionSuffix("/a/b", ""), "");
}

TEST_F(AutoCompletePathTest, TypingCompletesAndSelectsTheAddedPart)
{
    QLineEdit edit;
    new gui::modAutoCompletePath(&edit);
    edit.show();

    edit.setText(q(root + "z"));
    EXPECT_EQ(s(edit.text()), root + "z") << "a change by the program completes nothing";

    QTest::keyClick(&edit, Qt::Key_E);
    EXPECT_EQ(s(edit.text()), root + "zeta/");
    EXPECT_EQ(s(edit.selectedText()), "ta/");

    // Typing on replaces the completion.
    QTest::keyClick(&edit, Qt::Key_X);
    EXPECT_EQ(s(edit.text()), root + "zex");
    EXPECT_FALSE(edit.hasSelectedText());

    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(s(edit.text()), root + "ze") << "Backspace completes nothing";

    // A text ending in "/" is left alone; the next level completes from there.
    edit.setText(q(root + "zeta/"));
    edit.end(false);
    QTest::keyClicks(&edit, QStringLiteral("i"));
    EXPECT_EQ(s(edit.text()), root + "zeta/inner/");
    EXPECT_EQ(s(edit.selectedText()), "nner/");
    EXPECT_FALSE(gblnAutoCompleteInProgress);
}

TEST_F(AutoCompletePathTest, SourceBoxOfTheDialogCompletes)
{
    gui::frmTaskProperties dialog;
    dialog.show();
    auto* source = child<QLineEdit>(&dialog, "txtSourceFolderPath");
    source->setText(q(root + "Mu"));
    source->end(false);
    QTest::keyClick(source, Qt::Key_S);
    EXPECT_EQ(s(source->text()), root + "Music/");
    EXPECT_TRUE(gblnTaskPropertiesChanged);
}

} // namespace
} // namespace kestrow::test
