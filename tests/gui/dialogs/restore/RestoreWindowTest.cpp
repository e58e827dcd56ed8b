// The restore window offscreen: its lazily loaded tree, the check rules, a restore
// started with the Restore button on real folders, the earlier versions of the
// Target it can restore from, and the folder it restores into.

#include "base/AppState.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/Versions.h"
#include "tasks/cCloneTask.h"
#include "tests/support/ProgramWindowTest.h"
#include "ui/dialogs/restore/frmRestore.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>

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

// Earlier versions: moments built by hand in the Target's versions folder, as a run
// with KeepVersions on leaves them.

class RestoreVersionsTest : public RestoreWindowTest
{
protected:
    // The Target's own versions folder, ending "/".
    std::string versions() const { return target + ".kestrow-versions/"; }

    // Writes `relative` into moment `moment` of the Target's versions folder.
    std::string keep(const std::string& moment, const std::string& relative, const std::string& text) const
    {
        return tmp.writeFile("backup/.kestrow-versions/" + moment + "/" + relative, text);
    }

    std::string momentFolder(const std::string& moment) const { return versions() + moment + "/"; }

    // The moment list's lines as "date|items|size".
    std::vector<std::string> momentLines() const
    {
        std::vector<std::string> out;
        QTreeWidget* list = window->momentList();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* line = list->topLevelItem(i);
            out.push_back(s(line->text(0)) + "|" + s(line->text(1)) + "|" + s(line->text(2)));
        }
        return out;
    }

    template <typename T> T* child(const char* name) const
    {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void clickWidget(QWidget* widget)
    {
        ASSERT_NE(widget, nullptr);
        ASSERT_TRUE(widget->isEnabled());
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    // On its circle: a radio button that a layout made wider than its text takes
    // clicks only on the circle and the text.
    void clickRadio(const char* name)
    {
        auto* radio = child<QRadioButton>(name);
        ASSERT_NE(radio, nullptr);
        ASSERT_TRUE(radio->isEnabled()) << name;
        QStyleOptionButton option;
        option.initFrom(radio);
        const QRect circle = radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio);
        QTest::mouseClick(radio, Qt::LeftButton, {}, circle.center());
    }

    void chooseEarlierVersion() { clickRadio("optFromVersion"); }

    // Clicks the moment list's line `row` (0: the newest).
    void clickMoment(int row)
    {
        QTreeWidget* list = window->momentList();
        ASSERT_TRUE(list->isEnabled());
        QTreeWidgetItem* line = list->topLevelItem(row);
        ASSERT_NE(line, nullptr) << row;
        list->scrollToItem(line);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(line).center());
    }

    // Runs `act` on the modal dialog of type T once its own event loop runs.
    template <typename T, typename Fn> void onModal(Fn act, int triesLeft = 100)
    {
        QTimer::singleShot(0, window.get(), [this, act, triesLeft] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                ++modalsHandled;
                act(dialog);
                return;
            }
            if (triesLeft > 0)
                onModal<T>(act, triesLeft - 1);
            else
                ADD_FAILURE() << "the expected dialog never came up";
        });
    }

    static struct stat statOf(const std::string& path)
    {
        struct stat st = {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return st;
    }

    // Gives `path` a mode and a modification time with nanoseconds.
    static void stamp(const std::string& path, mode_t mode, time_t seconds, long nanoseconds)
    {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }

    static void expectSameFile(const std::string& copy, const std::string& original)
    {
        EXPECT_EQ(content(copy), content(original)) << copy;
        const struct stat a = statOf(copy);
        const struct stat b = statOf(original);
        EXPECT_EQ(a.st_mode & 07777, b.st_mode & 07777) << copy;
        EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << copy;
        EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << copy;
    }

    int modalsHandled = 0;
};

TEST_F(RestoreVersionsTest, TheMomentsAreListedNewestFirstWithTheirItemsAndSize)
{
    keep("2026-03-01 090000", "a/x.txt", "old x");
    keep("2026-03-01 090000", "top.txt", "old top");
    tmp.makeDir("backup/.kestrow-versions/2026-03-01 090000/b/empty"); // a recorded empty folder
    keep("2026-03-02 081500", "big.bin", std::string(1536, 'b'));
    keep("2026-03-02 081500 2", "a/y.txt", "y");
    // Neither is a moment: passed over.
    tmp.makeDir("backup/.kestrow-versions/notes");
    tmp.makeDir("backup/.kestrow-versions/2026-02-31 120000");
    tmp.writeFile("backup/.kestrow-versions/2026-02-28 235959", "a file named like a moment");
    open();

    EXPECT_EQ(momentLines(),
              (std::vector<std::string>{"3/2/2026 8:15:00 AM (2)|1|1 byte", "3/2/2026 8:15:00 AM|1|1.5 KB",
                                        "3/1/2026 9:00:00 AM|3|12 bytes"}));
    EXPECT_TRUE(child<QRadioButton>("optFromTarget")->isChecked()) << "today's Target by default";
    EXPECT_TRUE(child<QRadioButton>("optFromVersion")->isEnabled());
    EXPECT_FALSE(window->momentList()->isEnabled()) << "the list waits for the earlier-version choice";
    EXPECT_FALSE(child<QLabel>("lblNoVersions")->isVisible());
    EXPECT_EQ(window->rootFolder(), target);
}

TEST_F(RestoreVersionsTest, AChosenVersionsFolderIsWhereTheMomentsAreFound)
{
    const std::string chosen = tmp / "versions/";
    clone.setVersionsFolder(chosen);
    const std::string root = VersionsRootFor(CanonicalFolderSpec(target), chosen);
    tmp.writeFile(root.substr(tmp.path().size() + 1) + "2026-03-01 120000/top.txt", "kept elsewhere");
    keep("2026-02-01 120000", "top.txt", "in the Target's own folder, not in use");
    open();

    EXPECT_EQ(momentLines(), std::vector<std::string>{"3/1/2026 12:00:00 PM|1|14 bytes"});
    chooseEarlierVersion();
    EXPECT_EQ(window->rootFolder(), root + "2026-03-01 120000/");
    EXPECT_EQ(children(window->tree()->topLevelItem(0)), std::vector<std::string>{"top.txt"});
}

struct NoMomentsRow
{
    const char* name;
    std::vector<std::string> versionsEntries; // folders made in the versions folder ("" for none at all)
};

void PrintTo(const NoMomentsRow& row, std::ostream* os)
{
    *os << row.name;
}

class RestoreNoMomentsTest : public RestoreVersionsTest, public ::testing::WithParamInterface<NoMomentsRow>
{
};

TEST_P(RestoreNoMomentsTest, TheEarlierVersionChoiceIsDisabledAndSaysWhy)
{
    for (const std::string& folder : GetParam().versionsEntries)
        tmp.makeDir("backup/.kestrow-versions/" + folder);
    open();

    auto* choice = child<QRadioButton>("optFromVersion");
    EXPECT_FALSE(choice->isEnabled());
    EXPECT_EQ(s(choice->toolTip()), "No earlier versions of this Target.");
    EXPECT_TRUE(child<QLabel>("lblNoVersions")->isVisible());
    EXPECT_EQ(s(child<QLabel>("lblNoVersions")->text()), "No earlier versions of this Target.");
    EXPECT_EQ(window->momentList()->topLevelItemCount(), 0);
    QStyleOptionButton option;
    option.initFrom(choice);
    QTest::mouseClick(
        choice, Qt::LeftButton, {},
        choice->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, choice).center());
    EXPECT_TRUE(child<QRadioButton>("optFromTarget")->isChecked()) << "a disabled choice cannot be taken";
    EXPECT_EQ(window->rootFolder(), target);
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreNoMomentsTest,
                         ::testing::Values(NoMomentsRow{"NoVersionsFolder", {}},
                                           NoMomentsRow{"AnEmptyVersionsFolder", {""}},
                                           NoMomentsRow{"OnlyFoldersThatAreNoMoments",
                                                        {"old", "2026-13-01 000000", "2026-03-01 0900"}}),
                         [](const ::testing::TestParamInfo<NoMomentsRow>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RestoreVersionsTest, ChoosingAMomentShowsItsItemsInTheTree)
{
    keep("2026-03-01 090000", "a/x.txt", "old x");
    keep("2026-03-01 090000", "top.txt", "old top");
    keep("2026-03-02 090000", "b/z.txt", "newer z");
    open();

    chooseEarlierVersion();
    // The newest moment until another is chosen.
    EXPECT_EQ(window->rootFolder(), momentFolder("2026-03-02 090000"));
    QTreeWidgetItem* root = window->tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(s(root->text(0)), momentFolder("2026-03-02 090000"));
    EXPECT_EQ(children(root), std::vector<std::string>{"b"});

    clickMoment(1);
    EXPECT_EQ(window->rootFolder(), momentFolder("2026-03-01 090000"));
    ASSERT_EQ(window->tree()->topLevelItemCount(), 1);
    EXPECT_EQ(children(window->tree()->topLevelItem(0)), (std::vector<std::string>{"a", "top.txt"}));
    // The same lazy tree: a folder of the moment is listed when first opened.
    const std::string a = momentFolder("2026-03-01 090000") + "a/";
    EXPECT_EQ(node(a)->childCount(), 0);
    clickNode(a);
    EXPECT_EQ(children(node(a)), std::vector<std::string>{"x.txt"});
    check(a + "x.txt");
    EXPECT_EQ(window->GetCheckedFoldersAndFilesInTVW(), a + "x.txt");

    // Back to today's Target.
    clickRadio("optFromTarget");
    EXPECT_EQ(window->rootFolder(), target);
    EXPECT_EQ(children(window->tree()->topLevelItem(0)), (std::vector<std::string>{"a", "b", "top.txt"}));
    EXPECT_FALSE(window->momentList()->isEnabled());
}

TEST_F(RestoreVersionsTest, CheckedItemsOfAMomentComeBackIntoTheSourceExactly)
{
    const std::string moment = "2026-03-01 090000";
    stamp(keep(moment, "a/x.txt", "old x, as it was"), 0640, 1700000000, 123456789);
    stamp(keep(moment, "run.sh", "#!/bin/sh\necho old\n"), 0750, 1600000000, 5);
    keep(moment, "top.txt", "old top, not checked");
    tmp.writeFile("docs/a/x.txt", "edited since");
    tmp.writeFile("docs/top.txt", "the Source's top");
    // The user keeps old versions; the restore's own run must keep none of the Source's.
    clone.setKeepVersions(true);
    bool keepVersionsDuringRun = true;
    host.onProcessEvents = [&] { keepVersionsDuringRun = clone.KeepVersions(); };
    open();
    chooseEarlierVersion();
    clickNode(momentFolder(moment) + "a/");
    check(momentFolder(moment) + "a/x.txt");
    check(momentFolder(moment) + "run.sh");

    pressRestore();

    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Restore Source|Restore successfully completed."});
    expectSameFile(source + "a/x.txt", momentFolder(moment) + "a/x.txt");
    expectSameFile(source + "run.sh", momentFolder(moment) + "run.sh");
    EXPECT_EQ(content(source + "top.txt"), "the Source's top") << "not checked";
    EXPECT_EQ(content(source + "extra.txt"), "only in the source");
    EXPECT_EQ(content(target + "a/x.txt"), "target x") << "the Target is only read";
    EXPECT_EQ(content(momentFolder(moment) + "a/x.txt"), "old x, as it was") << "the moment stays";
    EXPECT_FALSE(keepVersionsDuringRun);
    EXPECT_FALSE(exists(source + ".kestrow-versions")) << "the replaced Source file is not kept";
    EXPECT_TRUE(clone.KeepVersions()) << "the user's option comes back";
    EXPECT_EQ(clone.DeleteMethod(), 1);
    EXPECT_TRUE(clone.CopyOnlyIfNewer());
}

TEST_F(RestoreVersionsTest, AFailedRunStillPutsKeepVersionsBack)
{
    keep("2026-03-01 090000", "top.txt", "old top");
    clone.setKeepVersions(true);
    bool keepVersionsDuringRun = true;
    open();
    window->setRunWork([&](const std::function<void()>&) {
        keepVersionsDuringRun = clone.KeepVersions();
        throw std::runtime_error("worker failed");
    });
    chooseEarlierVersion();
    check("Root");
    pressRestore();
    ASSERT_EQ(scripted.messages().size(), 1u);
    EXPECT_EQ(scripted.messages()[0].title, "Unexpected Error in frmRestore.cmdRestore_Click");
    EXPECT_FALSE(keepVersionsDuringRun);
    EXPECT_TRUE(clone.KeepVersions());
}

TEST_F(RestoreVersionsTest, WhatARunReplacedComesBackFromItsMoment)
{
    // The Target as the run finds it: the file the run will replace, with its own mode and time.
    stamp(target + "top.txt", 0604, 1650000000, 987654321);
    const struct stat before = statOf(target + "top.txt");
    tmp.writeFile("docs/top.txt", "the Source's newer top");
    for (const char* name : {"a/x.txt", "a/y.txt", "b/z.txt"})
        tmp.writeFile(std::string("docs/") + name, "the Source's own");
    clone.setKeepVersions(true);
    clone.setVersionsKeepDays(0);
    cCloneTask task;
    task.setTaskName("Docs");
    task.setSourceFolderSpec(source);
    task.setTargetFolderSpec(target);
    task.setIncludeSubFolders(true);
    runWithEventLoop([&] { task.Execute(cCloneTask::kCloneRun); });
    ASSERT_FALSE(task.ErrorOnLastClone());
    ASSERT_EQ(content(target + "top.txt"), "the Source's newer top");
    scripted.clear();

    open();
    // The run replaced four files; the clock stands still at the run's start.
    EXPECT_EQ(momentLines(), std::vector<std::string>{"3/2/2026 10:00:00 AM|4|34 bytes"});
    chooseEarlierVersion();
    const std::string moment = VersionsRootFor(CanonicalFolderSpec(target), {}) + "2026-03-02 100000/";
    EXPECT_EQ(window->rootFolder(), moment);
    check(moment + "top.txt");
    pressRestore();

    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(source + "top.txt"), "target top");
    const struct stat after = statOf(source + "top.txt");
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(content(source + "a/x.txt"), "the Source's own") << "only what was checked";
    EXPECT_FALSE(exists(source + ".kestrow-versions"))
        << "the restore replaced a Source file and kept nothing";
    EXPECT_TRUE(clone.KeepVersions());
}

// Another folder than the Source.

TEST_F(RestoreVersionsTest, AWholeMomentGoesIntoAFolderChosenWithBrowse)
{
    const std::string moment = "2026-03-01 090000";
    keep(moment, "a/x.txt", "old x");
    keep(moment, "top.txt", "old top");
    keep(moment, ".config/.hidden.txt", "old hidden");
    tmp.makeDir("backup/.kestrow-versions/" + moment + "/b/empty");
    const std::string elsewhere = tmp.makeDir("elsewhere") + "/";
    // A moment comes back whole whatever the skip options (on by default) say.
    gCompare->setIgnoreHiddenFiles(true);
    gCompare->setIgnoreHiddenFolders(true);
    open();
    chooseEarlierVersion();
    check("Root");
    EXPECT_TRUE(child<QRadioButton>("optIntoSource")->isChecked()) << "the Source by default";
    onModal<QFileDialog>([&](QFileDialog* browse) {
        EXPECT_EQ(s(browse->windowTitle()), "Browse For Folder");
        EXPECT_EQ(s(browse->labelText(QFileDialog::LookIn)), "Specify the folder to restore into.");
        EXPECT_EQ(s(browse->directory().absolutePath()) + "/", source) << "starts at the Source";
        browse->setDirectory(q(tmp.path()));
        browse->selectFile(q(tmp / "elsewhere"));
        static_cast<QDialog*>(browse)->accept();
    });
    clickWidget(child<QPushButton>("cmdBrowse"));
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(s(child<QLineEdit>("txtIntoFolder")->text()), elsewhere);
    EXPECT_TRUE(child<QRadioButton>("optIntoFolder")->isChecked());
    EXPECT_EQ(window->restoreInto(), elsewhere);

    pressRestore();

    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(elsewhere + "a/x.txt"), "old x");
    EXPECT_EQ(content(elsewhere + "top.txt"), "old top");
    EXPECT_TRUE(exists(elsewhere + "b/empty")) << "the recorded empty folder too";
    EXPECT_EQ(content(elsewhere + ".config/.hidden.txt"), "old hidden");
    EXPECT_TRUE(gCompare->IgnoreHiddenFiles() && gCompare->IgnoreHiddenFolders()) << "the options come back";
    gCompare->setIgnoreHiddenFiles(false);
    gCompare->setIgnoreHiddenFolders(false);
    EXPECT_FALSE(exists(source + "top.txt")) << "nothing goes into the Source";
    EXPECT_FALSE(exists(source + "a"));
}

TEST_F(RestoreVersionsTest, TodaysTargetGoesIntoATypedFolderThatIsCreated)
{
    open();
    check(target + "b/");
    QLineEdit* line = child<QLineEdit>("txtIntoFolder");
    line->setFocus();
    QTest::keyClicks(line, q(tmp / "new/place"));
    EXPECT_TRUE(child<QRadioButton>("optIntoFolder")->isChecked()) << "typing a folder chooses it";

    pressRestore();

    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(tmp / "new/place/b/z.txt"), "target z");
    EXPECT_FALSE(exists(source + "b"));
}

TEST_F(RestoreVersionsTest, TheSourceChosenAgainAfterTypingIsWhereItGoes)
{
    open();
    check(target + "top.txt");
    QTest::keyClicks(child<QLineEdit>("txtIntoFolder"), q(tmp / "unused"));
    clickRadio("optIntoSource");
    pressRestore();
    EXPECT_EQ(content(source + "top.txt"), "target top");
    EXPECT_FALSE(exists(tmp / "unused"));
}

// The versions folder is no part of today's Target.

TEST_F(RestoreVersionsTest, TheVersionsFolderIsNeitherShownNorRestored)
{
    keep("2026-03-01 090000", "top.txt", "old top");
    // Only the one at the top of the Target is the versions folder.
    tmp.writeFile("backup/a/.kestrow-versions/note.txt", "an ordinary folder of the Target");
    open();
    EXPECT_EQ(children(window->tree()->topLevelItem(0)), (std::vector<std::string>{"a", "b", "top.txt"}));
    clickNode(target + "a/");
    EXPECT_EQ(children(node(target + "a/")),
              (std::vector<std::string>{".kestrow-versions", "x.txt", "y.txt"}));

    check("Root");
    pressRestore();

    EXPECT_EQ(window->lastOutcome(), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(source + "top.txt"), "target top");
    EXPECT_EQ(content(source + "a/.kestrow-versions/note.txt"), "an ordinary folder of the Target");
    EXPECT_FALSE(exists(source + ".kestrow-versions"));
}

} // namespace
