// The restore window offscreen: its lazily loaded tree, the check rules, and a
// restore started with the Restore button on real folders.

#include "base/AppState.h"
#include "engine/RunControl.h"
#include "tests/support/ProgramWindowTest.h"
#include "ui/dialogs/restore/frmRestore.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace kestrow;
using namespace kestrow::test;
using kestrow::gui::frmRestore;

namespace {

class RestoreWindowTest : public ProgramWindowTest
{
protected:
    RestoreWindowTest()
    {
        target = tmp / "backup/";
        source = tmp / "docs/";
        tmp.writeFile("backup/a/x.txt", "target x");
        tmp.writeFile("backup/a/y.txt", "target y");
        tmp.writeFile("backup/b/z.txt", "target z");
        tmp.writeFile("backup/top.txt", "target top");
        tmp.writeFile("docs/extra.txt", "only in the source");
        restore.setTaskName("Docs");
        restore.setSourceFolderSpec(source);
        restore.setTargetFolderSpec(target);
        restore.setIncludeSubFolders(true);
        clone.setDeleteMethod(1);
        clone.setCopyOnlyIfNewer(true);
    }

    ~RestoreWindowTest() override { window.reset(); }

    void open()
    {
        window = std::make_unique<frmRestore>(restore);
        window->setRunWork([](const std::function<void()>& work) { runWithEventLoop(work); });
        window->show();
    }

    QTreeWidgetItem* node(const std::string& key) const { return window->node(key); }

    // The texts of a node's children, in order.
    static std::vector<std::string> children(const QTreeWidgetItem* item)
    {
        std::vector<std::string> out;
        for (int i = 0; i < item->childCount(); ++i)
            out.push_back(s(item->child(i)->text(0)));
        return out;
    }

    void clickNode(const std::string& key)
    {
        QTreeWidgetItem* item = node(key);
        ASSERT_NE(item, nullptr) << key;
        QTreeWidget* tree = window->tree();
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }

    void check(const std::string& key, bool on = true)
    {
        QTreeWidgetItem* item = node(key);
        ASSERT_NE(item, nullptr) << key;
        item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }

    // The keys of the checked nodes, relative to the Target ("Root" for the root).
    std::vector<std::string> checkedKeys() const
    {
        std::vector<std::string> out;
        std::vector<QTreeWidgetItem*> pending{window->tree()->topLevelItem(0)};
        while (!pending.empty()) {
            QTreeWidgetItem* item = pending.back();
            pending.pop_back();
            if (item->checkState(0) == Qt::Checked) {
                const std::string key = frmRestore::nodeKey(item);
                out.push_back(key.starts_with(target) ? key.substr(target.size()) : key);
            }
            for (int i = item->childCount() - 1; i >= 0; --i)
                pending.push_back(item->child(i));
        }
        return out;
    }

    void pressRestore()
    {
        auto* button = window->findChild<QPushButton*>(QStringLiteral("cmdRestore"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    std::string target;
    std::string source;
    cRestore restore;
    std::unique_ptr<frmRestore> window;
};

TEST_F(RestoreWindowTest, OpensOnTheTargetsTopLevelOnly)
{
    open();
    EXPECT_EQ(s(window->windowTitle()), "RESTORE SOURCE: Docs");
    ASSERT_EQ(window->tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = window->tree()->topLevelItem(0);
    EXPECT_EQ(frmRestore::nodeKey(root), "Root");
    EXPECT_EQ(s(root->text(0)), target);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(children(root), (std::vector<std::string>{"a", "b", "top.txt"}));
    ASSERT_NE(node(target + "a/"), nullptr);
    EXPECT_FALSE(node(target + "a/")->isExpanded());
    EXPECT_EQ(node(target + "a/")->childCount(), 0) << "a folder is listed when it is first opened";
    EXPECT_NE(node(target + "top.txt"), nullptr);
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("lblInstruct"))->text(),
              QStringLiteral("Place a checkmark next to the files/folders that you want to restore."));
}

TEST_F(RestoreWindowTest, WithoutSubfoldersOnlyTheFilesAreListed)
{
    restore.setIncludeSubFolders(false);
    open();
    EXPECT_EQ(children(window->tree()->topLevelItem(0)), std::vector<std::string>{"top.txt"});
}

TEST_F(RestoreWindowTest, ClickingAFolderListsItOnceThenTogglesIt)
{
    open();
    clickNode(target + "a/");
    QTreeWidgetItem* a = node(target + "a/");
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(children(a), (std::vector<std::string>{"x.txt", "y.txt"}));

    tmp.writeFile("backup/a/later.txt", "added after the folder was listed");
    clickNode(target + "a/");
    EXPECT_FALSE(a->isExpanded());
    clickNode(target + "a/");
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(a->childCount(), 2) << "contents are loaded only on the first opening";

    // A file is not a folder: clicking it opens nothing.
    clickNode(target + "top.txt");
    EXPECT_EQ(node(target + "top.txt")->childCount(), 0);
    // The root toggles like a folder.
    clickNode("Root");
    EXPECT_FALSE(window->tree()->topLevelItem(0)->isExpanded());
}

TEST_F(RestoreWindowTest, CheckingANodeUnchecksItsAncestorsAndAFoldersDescendants)
{
    open();
    clickNode(target + "a/");

    check(target + "a/x.txt");
    EXPECT_EQ(checkedKeys(), std::vector<std::string>{"a/x.txt"});
    // A file, then its folder: only the folder stays checked.
    check(target + "a/");
    EXPECT_EQ(checkedKeys(), std::vector<std::string>{"a/"});
    // Something below a checked folder: the folder is unchecked.
    check(target + "a/y.txt");
    EXPECT_EQ(checkedKeys(), std::vector<std::string>{"a/y.txt"});
    // The root clears everything below it.
    check(target + "b/");
    check("Root");
    EXPECT_EQ(checkedKeys(), std::vector<std::string>{"Root"});
    EXPECT_EQ(window->GetCheckedFoldersAndFilesInTVW(), "") << "a checked root gives no item list";
    // And anything below the root unchecks it.
    check(target + "top.txt");
    EXPECT_EQ(checkedKeys(), std::vector<std::string>{"top.txt"});
    // Unchecking changes nothing else.
    check(target + "b/");
    check(target + "top.txt", false);
    EXPECT_EQ(checkedKeys(), std::vector<std::string>{"b/"});
}

TEST_F(RestoreWindowTest, CheckedItemsAreListedInTheOrderTheyWereAdded)
{
    open();
    clickNode(target + "a/"); // x.txt and y.txt are added after every top-level node
    check(target + "a/x.txt");
    check(target + "b/");
    check(target + "top.txt");
    EXPECT_EQ(window->GetCheckedFoldersAndFilesInTVW(),
              target + "b/<:>" + target + "top.txt<:>" + target + "a/x.txt");
}

TEST_F(RestoreWindowTest, RestoreCopiesTheCheckedItemsAndCloses)
{
    open();
    clickNode(target + "a/");
    check(target + "a/x.txt");
    check(target + "top.txt");
    std::string statusDuringRun;
    bool buttonsEnabledDuringRun = true;
    host.onProcessEvents = [&] {
        QMetaObject::invokeMethod(
            window.get(),
            [&] {
                statusDuringRun = s(window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text());
                for (auto* button : window->findChildren<QPushButton*>())
                    buttonsEnabledDuringRun = buttonsEnabledDuringRun && button->isEnabled();
            },
            Qt::BlockingQueuedConnection);
        host.onProcessEvents = nullptr;
    };

    pressRestore();

    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(source + "a/x.txt"), "target x");
    EXPECT_FALSE(exists(source + "a/y.txt")) << "only the checked file of the folder";
    EXPECT_EQ(content(source + "top.txt"), "target top");
    EXPECT_FALSE(exists(source + "b"));
    EXPECT_EQ(content(source + "extra.txt"), "only in the source");
    EXPECT_EQ(statusDuringRun, "Restore in Progress...");
    EXPECT_FALSE(buttonsEnabledDuringRun);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Restore Source|Restore successfully completed."});
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text().isEmpty());
    EXPECT_EQ(clone.DeleteMethod(), 1);
    EXPECT_TRUE(clone.CopyOnlyIfNewer());
}

TEST_F(RestoreWindowTest, TheCheckedRootRestoresTheWholeTarget)
{
    tmp.writeFile("docs/top.txt", "edited in the source");
    open();
    check("Root");
    pressRestore();
    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(source + "a/y.txt"), "target y");
    EXPECT_EQ(content(source + "b/z.txt"), "target z");
    EXPECT_EQ(content(source + "top.txt"), "target top");
    EXPECT_EQ(content(source + "extra.txt"), "only in the source");
}

TEST_F(RestoreWindowTest, NothingCheckedWarnsAndClosesWithoutARun)
{
    open();
    pressRestore();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{
                                  "Restore Source|No files or folders have been selected to be Restored."});
    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::NoOutcome);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(content(log.LogFileSpec()), "<missing>");
    EXPECT_EQ(clone.DeleteMethod(), 1);
}

TEST_F(RestoreWindowTest, EscapeCancelsARunningRestore)
{
    open();
    check("Root");
    // Escape released in the tree while the run lets the window's events through.
    host.onProcessEvents = [&] {
        host.onProcessEvents = nullptr;
        QMetaObject::invokeMethod(
            window.get(), [&] { QTest::keyRelease(window->tree(), Qt::Key_Escape); },
            Qt::BlockingQueuedConnection);
    };
    pressRestore();
    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Cancelled);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Restore Source|Restore cancelled by user"});
    EXPECT_FALSE(exists(source + "a"));
    EXPECT_EQ(clone.DeleteMethod(), 1);
    EXPECT_TRUE(clone.CopyOnlyIfNewer());
}

TEST_F(RestoreWindowTest, EscapeWhileIdleOnlyRaisesTheCancelFlag)
{
    open();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "Escape does not close the window";
    EXPECT_TRUE(CancelRequested.load());
    // The next run starts with the flags cleared.
    check(target + "top.txt");
    pressRestore();
    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
}

TEST_F(RestoreWindowTest, CancelClosesWithoutRestoring)
{
    open();
    check("Root");
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_FALSE(exists(source + "a"));
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(RestoreWindowTest, HelpOpensTheRestorePage)
{
    const std::string saved = gstrProgramPath;
    gstrProgramPath = tmp / "program/"; // a program folder without help
    open();
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdHelp")), Qt::LeftButton);
    gstrProgramPath = saved;
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Kestrow Help|The help file " + tmp / "program/" +
                                                       "help/kestrow.html was not found."});
    EXPECT_TRUE(window->isVisible());
}

} // namespace
