// The confirmation list of a run: what it lists, what removing entries hands back,
// the cancel by closing, and the switch for later runs.

#include "base/AppState.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/run/frmConfirmChanges.h"

#include <QCheckBox>
#include <QLabel>

namespace kestrow::test {
namespace {

using gui::frmConfirmChanges;

std::vector<std::string> sevenActions()
{
    std::vector<std::string> actions;
    for (int i = 1; i <= 7; ++i)
        actions.push_back("   COPY FILE  /src/f" + std::to_string(i) + " ==> /dst/f" + std::to_string(i));
    return actions;
}

QListWidget* listOf(QWidget* dialog)
{
    return dialog->findChild<QListWidget*>(QStringLiteral("lvwSyncOperations"));
}

void selectRows(QListWidget* list, std::initializer_list<int> rows)
{
    list->clearSelection();
    for (int row : rows)
        list->item(row)->setSelected(true);
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
    dialog.LoadSyncActionsIntoList({"   COPY FILE  /a", "|removed action|", "   DELETE FILE  /b",
                                    "   CREATE FOLDER  /c/", "   REMOVE FOLDER  /d/"});
    EXPECT_EQ(listLines(listOf(&dialog)),
              (std::vector<std::string>{"   COPY FILE  /a", "   DELETE FILE  /b", "   CREATE FOLDER  /c/",
                                        "   REMOVE FOLDER  /d/"}));
    EXPECT_EQ(s(listOf(&dialog)->item(1)->data(Qt::UserRole).toString()), "3K");
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
        EXPECT_EQ(listOf(dialog)->count(), 5);
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
    dialog.LoadSyncActionsIntoList(sevenActions());
    QListWidget* list = listOf(&dialog);
    list->selectAll();
    QTest::keyRelease(list, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(dialog.removedFlags(), std::vector<bool>(7, true));
    EXPECT_FALSE(dialog.cancelled());
}

TEST_F(ConfirmChangesTest, RemoveWithNothingSelectedOnlyShowsTheMessage)
{
    frmConfirmChanges dialog(true);
    dialog.LoadSyncActionsIntoList(sevenActions());
    listOf(&dialog)->clearSelection();
    click(&dialog, "cmdRemove");
    EXPECT_EQ(listOf(&dialog)->count(), 7);
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
        EXPECT_EQ(listOf(dialog)->count(), 7);
        click(dialog, "cmdPerform");
    });
    std::vector<bool> skipped;
    bool keepConfirming = true;
    EXPECT_TRUE(gui::ShowConfirmSyncActions(nullptr, sevenActions(), skipped, keepConfirming));
    EXPECT_FALSE(keepConfirming);
    EXPECT_EQ(toggles, std::vector<bool>{false});
    EXPECT_EQ(skipped, std::vector<bool>(7, false));
}

} // namespace
} // namespace kestrow::test
