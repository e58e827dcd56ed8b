// The confirmation list of a run: what it lists, what removing entries hands back,
// the cancel by closing, the switch for later runs, and a list too long to make
// every line of.

#include "base/AppState.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/run/frmConfirmChanges.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QListWidget>

namespace kestrow::test {
namespace {

using gui::frmConfirmChanges;

SyncActionTexts sevenActions()
{
    std::vector<std::string> actions;
    for (int i = 1; i <= 7; ++i)
        actions.push_back("   COPY FILE  /src/f" + std::to_string(i) + " ==> /dst/f" + std::to_string(i));
    return SyncActionTexts(std::move(actions));
}

// A long list whose lines are made on demand, counting how many were asked for;
// every seventh entry is withdrawn.
class LongList : public SyncActionList
{
public:
    explicit LongList(size_t size) : m_size(size) {}
    size_t count() const override { return m_size; }
    std::string line(size_t i) const override
    {
        ++linesMade;
        return "     COPY FILE     \"f" + std::to_string(i) + "\"  FROM  /src/  TO  /dst/";
    }
    bool withdrawn(size_t i) const override { return i % 7 == 6; }

    mutable size_t linesMade = 0;

private:
    size_t m_size;
};

QListView* listOf(QWidget* dialog)
{
    return dialog->findChild<QListView*>(QStringLiteral("lvwSyncOperations"));
}

int rows(QListView* list)
{
    return list->model()->rowCount();
}

QString lineAt(QListView* list, int row, int role = Qt::DisplayRole)
{
    return list->model()->index(row, 0).data(role).toString();
}

std::vector<std::string> linesOf(QListView* list)
{
    std::vector<std::string> lines;
    for (int row = 0; row < rows(list); ++row)
        lines.push_back(s(lineAt(list, row)));
    return lines;
}

void selectRows(QListView* list, std::initializer_list<int> selected)
{
    list->clearSelection();
    for (int row : selected)
        list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::Select);
}

class ConfirmChangesTest : public ModalDialogTest
{
protected:
    ConfirmChangesTest()
    {
        CancelRequested = false;
        gClone = &m_clone;
        m_clone.setConfirmSyncActions(true);
    }
    ~ConfirmChangesTest() override
    {
        gClone = nullptr;
        CancelRequested = false;
    }

    cClone m_clone;
};

TEST_F(ConfirmChangesTest, ListsEveryActionButRemovedOnesWithTaskName)
{
    gstrCurrentTaskName = "Nightly photos";
    frmConfirmChanges dialog(true);
    const SyncActionTexts actions({"   COPY FILE  /a", "|removed action|", "   DELETE FILE  /b",
                                   "   CREATE FOLDER  /c/", "   REMOVE FOLDER  /d/"});
    dialog.LoadSyncActionsIntoList(actions);
    EXPECT_EQ(linesOf(listOf(&dialog)),
              (std::vector<std::string>{"   COPY FILE  /a", "   DELETE FILE  /b", "   CREATE FOLDER  /c/",
                                        "   REMOVE FOLDER  /d/"}));
    EXPECT_EQ(s(lineAt(listOf(&dialog), 1, Qt::UserRole)), "3K");
    EXPECT_EQ(dialog.removedFlags(), std::vector<bool>(5, false));
    EXPECT_EQ(s(dialog.findChild<QLabel*>(QStringLiteral("lblTaskName"))->text()), "Nightly photos");
    EXPECT_EQ(s(dialog.windowTitle()), "Kestrow - Confirm Synchronization Actions");
}

TEST_F(ConfirmChangesTest, RemovingItemsThreeAndFiveOfSevenSkipsExactlyThose)
{
    onModal<frmConfirmChanges>([](frmConfirmChanges* dialog) {
        selectRows(listOf(dialog), {2});
        click(dialog, "cmdRemove");
        // Rows moved up by one: operation 5 is now the fourth line.
        selectRows(listOf(dialog), {3});
        click(dialog, "cmdRemove");
        EXPECT_EQ(rows(listOf(dialog)), 5);
        click(dialog, "cmdPerform");
    });
    std::vector<bool> skipped;
    bool keepConfirming = false;
    EXPECT_TRUE(gui::ShowConfirmSyncActions(nullptr, sevenActions(), skipped, keepConfirming));
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(skipped, (std::vector<bool>{false, false, true, false, true, false, false}));
    EXPECT_TRUE(keepConfirming);
    EXPECT_FALSE(CancelRequested);
    EXPECT_TRUE(messages().empty());
}

TEST_F(ConfirmChangesTest, DeleteKeyRemovesTheSelectionAndRemovingAllPerformsNothing)
{
    frmConfirmChanges dialog(true);
    const SyncActionTexts actions = sevenActions();
    dialog.LoadSyncActionsIntoList(actions);
    QListView* list = listOf(&dialog);
    list->selectAll();
    QTest::keyRelease(list, Qt::Key_Delete);
    EXPECT_EQ(rows(list), 0);
    EXPECT_EQ(dialog.removedFlags(), std::vector<bool>(7, true));
    EXPECT_FALSE(dialog.cancelled());
}

TEST_F(ConfirmChangesTest, RemoveWithNothingSelectedOnlyShowsTheMessage)
{
    frmConfirmChanges dialog(true);
    const SyncActionTexts actions = sevenActions();
    dialog.LoadSyncActionsIntoList(actions);
    listOf(&dialog)->clearSelection();
    click(&dialog, "cmdRemove");
    EXPECT_EQ(rows(listOf(&dialog)), 7);
    EXPECT_EQ(dialog.removedFlags(), std::vector<bool>(7, false));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(lastMessage(), "Kestrow|Please select a file operation to remove from the list.");
    EXPECT_EQ(messages().front().icon, MsgIcon::Exclamation);
}

TEST_F(ConfirmChangesTest, ClosingTheWindowCancelsTheRunAndSkipsEverything)
{
    onModal<frmConfirmChanges>([](frmConfirmChanges* dialog) { dialog->close(); });
    std::vector<bool> skipped;
    bool keepConfirming = false;
    EXPECT_FALSE(gui::ShowConfirmSyncActions(nullptr, sevenActions(), skipped, keepConfirming));
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(skipped, std::vector<bool>(7, true));
    EXPECT_TRUE(CancelRequested);
}

TEST_F(ConfirmChangesTest, ClearingTheSwitchTurnsConfirmationOffAtOnceAndKeepsTheList)
{
    std::vector<bool> toggles;
    onModal<frmConfirmChanges>([&](frmConfirmChanges* dialog) {
        QObject::connect(dialog, &frmConfirmChanges::confirmSyncActionsToggled, dialog,
                         [&](bool on) { toggles.push_back(on); });
        auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("chkConfirmSyncActions"));
        ASSERT_TRUE(box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_FALSE(m_clone.ConfirmSyncActions());
        EXPECT_EQ(rows(listOf(dialog)), 7);
        click(dialog, "cmdPerform");
    });
    std::vector<bool> skipped;
    bool keepConfirming = true;
    EXPECT_TRUE(gui::ShowConfirmSyncActions(nullptr, sevenActions(), skipped, keepConfirming));
    EXPECT_FALSE(keepConfirming);
    EXPECT_EQ(toggles, std::vector<bool>{false});
    EXPECT_EQ(skipped, std::vector<bool>(7, false));
}

TEST_F(ConfirmChangesTest, ALongListMakesOnlyTheLinesItShows)
{
    const LongList actions(200'000);
    frmConfirmChanges dialog(true);
    dialog.LoadSyncActionsIntoList(actions);
    dialog.show();
    QApplication::processEvents();
    QListView* list = listOf(&dialog);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(dialog.findChild<QListWidget*>(), nullptr);
    EXPECT_EQ(rows(list), 200'000 - 200'000 / 7);
    ASSERT_GT(actions.linesMade, 0u) << "the list was painted";
    EXPECT_LT(actions.linesMade, 1000u) << "lines are made for what is painted, not for the list";
    // Row 6 is entry 8: entry 7 is withdrawn.
    EXPECT_EQ(s(lineAt(list, 6)), "     COPY FILE     \"f7\"  FROM  /src/  TO  /dst/");
    EXPECT_EQ(s(lineAt(list, 6, Qt::UserRole)), "8K");
    EXPECT_EQ(dialog.removedFlags().size(), 200'000u);
}

TEST_F(ConfirmChangesTest, RemovingManyRowsMarksExactlyTheirEntries)
{
    struct Row
    {
        const char* name;
        int step; // every step-th row of the first pass is selected; 0: blocks instead
    };
    for (const Row& row : {Row{"ScatteredRows", 3}, Row{"AFewBlocks", 0}}) {
        SCOPED_TRACE(row.name);
        const LongList actions(200'000);
        frmConfirmChanges dialog(true);
        dialog.LoadSyncActionsIntoList(actions);
        QListView* list = listOf(&dialog);
        QItemSelectionModel* selection = list->selectionModel();
        auto entryOf = [&](int at) { return lineAt(list, at, Qt::UserRole).chopped(1).toULong() - 1; };

        // Two passes: the second goes by the rows as the first left them.
        std::vector<bool> expected(actions.count(), false);
        for (int pass = 0; pass < 2; ++pass) {
            list->clearSelection();
            QItemSelection chosen;
            if (row.step > 0) {
                for (int at = pass; at < rows(list); at += row.step)
                    chosen.select(list->model()->index(at, 0), list->model()->index(at, 0));
            } else {
                for (int first : {0, 1000, 150'000}) {
                    const int last = std::min(first + 499, rows(list) - 1);
                    chosen.select(list->model()->index(first, 0), list->model()->index(last, 0));
                }
            }
            selection->select(chosen, QItemSelectionModel::Select);
            for (const QModelIndex& index : selection->selectedIndexes())
                expected[entryOf(index.row())] = true;
            click(&dialog, "cmdRemove");
        }
        EXPECT_EQ(dialog.removedFlags(), expected);
        // What is left is every entry neither withdrawn nor removed, in order.
        std::vector<size_t> left;
        for (int at = 0; at < rows(list); ++at)
            left.push_back(entryOf(at));
        std::vector<size_t> wanted;
        for (size_t i = 0; i < actions.count(); ++i)
            if (!actions.withdrawn(i) && !expected[i])
                wanted.push_back(i);
        EXPECT_EQ(left, wanted);
        EXPECT_TRUE(selection->selectedIndexes().isEmpty());
        EXPECT_TRUE(messages().empty());
    }
}

} // namespace
} // namespace kestrow::test
