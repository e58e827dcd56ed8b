// The order dialog of a run of several tasks, offscreen.

#include "tasks/cCloneTasks.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/run/frmOrderTasks.h"

#include <QLabel>

using namespace kestrow;
using namespace kestrow::test;
using gui::frmOrderTasks;
using gui::OrderTaskRow;
namespace orderWhat = gui::orderWhat;

namespace {

using Names = std::vector<std::string>;

class OrderTasksDialogTest : public ModalDialogTest
{
protected:
    OrderTasksDialogTest()
    {
        for (const auto& [name, category] :
             std::vector<std::pair<std::string, std::string>>{{"Alpha", "Work"},
                                                              {"Bravo", "Personal"},
                                                              {"Charlie", "WORK"},
                                                              {"Delta", "Work"},
                                                              {"Echo", ""}}) {
            auto task = std::make_shared<cCloneTask>();
            task->setTaskName(name);
            task->setCategory(category);
            tasks.Add(task);
        }
        previousTasks = gCloneTasks;
        gCloneTasks = &tasks;
        // The main list as displayed: not in the task list's order, two rows checked.
        rows = {{"Delta", true}, {"Alpha", false}, {"Echo", false}, {"Charlie", true}, {"Bravo", false}};
    }
    ~OrderTasksDialogTest() override { gCloneTasks = previousTasks; }

    frmOrderTasks& openDialog(int32_t what, const std::string& category = {})
    {
        dialog = std::make_unique<frmOrderTasks>(rows, what, category);
        dialog->show();
        list = dialog->findChild<QListWidget*>(QStringLiteral("lstTasks"));
        return *dialog;
    }

    cCloneTasks tasks;
    cCloneTasks* previousTasks = nullptr;
    std::vector<OrderTaskRow> rows;
    std::unique_ptr<frmOrderTasks> dialog;
    QListWidget* list = nullptr;
};

struct OfferRow
{
    const char* name;
    int32_t what;
    const char* category;
    Names offered;
};

// Rows print as their names.
void PrintTo(const OfferRow& row, std::ostream* os)
{
    *os << row.name;
}

class Offer : public OrderTasksDialogTest, public ::testing::WithParamInterface<OfferRow>
{
};

TEST_P(Offer, FollowsOrderWhatInTheMainListsOrderWithTheFirstLineSelected)
{
    const OfferRow& row = GetParam();
    openDialog(row.what, row.category);
    EXPECT_EQ(listLines(list), row.offered);
    EXPECT_EQ(selectedLine(list), row.offered.front());
}

INSTANTIATE_TEST_SUITE_P(
    OrderWhat, Offer,
    ::testing::Values(
        OfferRow{"CheckedTasks", orderWhat::CheckedTasks, "", {"Delta", "Charlie"}},
        OfferRow{"AllTasks", orderWhat::AllTasks, "", {"Delta", "Alpha", "Echo", "Charlie", "Bravo"}},
        OfferRow{"CategoryIgnoringCase", orderWhat::TasksInCategory, "work", {"Delta", "Alpha", "Charlie"}},
        OfferRow{"Unfiled", orderWhat::TasksInCategory, "Unfiled", {"Echo"}}),
    [](const ::testing::TestParamInfo<OfferRow>& info) { return std::string(info.param.name); });

TEST_F(OrderTasksDialogTest, CaptionsAreTheProgramsOwn)
{
    openDialog(orderWhat::AllTasks);
    EXPECT_EQ(s(dialog->windowTitle()), "Order Tasks");
    EXPECT_EQ(s(dialog->findChild<QLabel*>(QStringLiteral("lblInstruct"))->text()),
              "Specify the order that the tasks should be executed in.");
    EXPECT_EQ(s(dialog->findChild<QPushButton*>(QStringLiteral("cmdMoveUp"))->text()), "Move &Up");
    EXPECT_EQ(s(dialog->findChild<QPushButton*>(QStringLiteral("cmdMoveDown"))->text()), "Move &Down");
    EXPECT_EQ(s(dialog->findChild<QPushButton*>(QStringLiteral("cmdRemove"))->text()), "R&emove");
    EXPECT_EQ(s(dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->text()), "&Run Tasks");
}

TEST_F(OrderTasksDialogTest, WithNothingToOfferTheDialogNeverShows)
{
    for (OrderTaskRow& row : rows)
        row.checked = false;
    // Should a dialog come up after all, it is closed and counted rather than left waiting.
    onModal<frmOrderTasks>([](frmOrderTasks* d) { d->close(); });
    EXPECT_FALSE(frmOrderTasks::ChooseOrder(rows, orderWhat::CheckedTasks, {}).has_value());
    EXPECT_FALSE(frmOrderTasks::ChooseOrder(rows, orderWhat::TasksInCategory, "Financial").has_value());
    EXPECT_EQ(modalsHandled, 0);
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(OrderTasksDialogTest, MovingUpAndDownKeepsTheLineSelected)
{
    openDialog(orderWhat::AllTasks);
    selectLine(list, "Echo");
    click(dialog.get(), "cmdMoveUp");
    EXPECT_EQ(listLines(list), (Names{"Delta", "Echo", "Alpha", "Charlie", "Bravo"}));
    EXPECT_EQ(selectedLine(list), "Echo");
    click(dialog.get(), "cmdMoveUp");
    click(dialog.get(), "cmdMoveDown");
    click(dialog.get(), "cmdMoveDown");
    click(dialog.get(), "cmdMoveDown");
    EXPECT_EQ(listLines(list), (Names{"Delta", "Alpha", "Charlie", "Echo", "Bravo"}));
    EXPECT_EQ(selectedLine(list), "Echo");
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(OrderTasksDialogTest, AtTheEndsMovingOnlyBeeps)
{
    openDialog(orderWhat::AllTasks);
    const Names before = listLines(list);
    selectLine(list, "Delta");
    click(dialog.get(), "cmdMoveUp");
    EXPECT_EQ(ui.beeps(), 1);
    selectLine(list, "Bravo");
    click(dialog.get(), "cmdMoveDown");
    EXPECT_EQ(ui.beeps(), 2);
    EXPECT_EQ(listLines(list), before);
    EXPECT_EQ(selectedLine(list), "Bravo");
    EXPECT_TRUE(messages().empty());
}

TEST_F(OrderTasksDialogTest, MovingOrRemovingWithoutASelectionAsksForOne)
{
    openDialog(orderWhat::AllTasks);
    list->clearSelection();
    list->setCurrentItem(nullptr);
    click(dialog.get(), "cmdMoveUp");
    click(dialog.get(), "cmdMoveDown");
    click(dialog.get(), "cmdRemove");
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(shown[i].title, "No Task Selected");
        EXPECT_EQ(shown[i].text, "Please select a task first.");
        EXPECT_EQ(shown[i].icon, MsgIcon::Information);
    }
    EXPECT_EQ(shown[2].title, "Remove Task");
    EXPECT_EQ(shown[2].text, "No task is selected");
    EXPECT_EQ(shown[2].icon, MsgIcon::Exclamation);
    EXPECT_EQ(list->count(), 5);
    EXPECT_EQ(ui.beeps(), 0);
}

TEST_F(OrderTasksDialogTest, RemoveDropsTheLineButNotTheTask)
{
    openDialog(orderWhat::AllTasks);
    selectLine(list, "Alpha");
    click(dialog.get(), "cmdRemove");
    EXPECT_EQ(listLines(list), (Names{"Delta", "Echo", "Charlie", "Bravo"}));
    EXPECT_EQ(selectedLine(list), "") << "nothing is selected after a removal";
    EXPECT_NE(tasks.Item("Alpha"), nullptr);
    EXPECT_EQ(tasks.Count(), 5);
}

TEST_F(OrderTasksDialogTest, RunTasksHandsOverTheLinesTopToBottom)
{
    std::optional<Names> order;
    onModal<frmOrderTasks>([](frmOrderTasks* d) {
        auto* lines = d->findChild<QListWidget*>(QStringLiteral("lstTasks"));
        selectLine(lines, "Charlie");
        click(d, "cmdMoveUp");
        click(d, "OKButton");
    });
    order = frmOrderTasks::ChooseOrder(rows, orderWhat::CheckedTasks, {});
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_EQ(order, (Names{"Charlie", "Delta"}));
}

TEST_F(OrderTasksDialogTest, RemovingEveryLineAndRunningHandsOverAnEmptyOrder)
{
    onModal<frmOrderTasks>([](frmOrderTasks* d) {
        auto* lines = d->findChild<QListWidget*>(QStringLiteral("lstTasks"));
        while (lines->count() > 0) {
            lines->setCurrentRow(0);
            click(d, "cmdRemove");
        }
        click(d, "OKButton");
    });
    const std::optional<Names> order = frmOrderTasks::ChooseOrder(rows, orderWhat::AllTasks, {});
    ASSERT_TRUE(order.has_value());
    EXPECT_TRUE(order->empty());
}

TEST_F(OrderTasksDialogTest, ClosingTheWindowHandsOverNothing)
{
    onModal<frmOrderTasks>([](frmOrderTasks* d) {
        auto* lines = d->findChild<QListWidget*>(QStringLiteral("lstTasks"));
        selectLine(lines, "Bravo");
        click(d, "cmdMoveUp");
        d->close();
    });
    EXPECT_FALSE(frmOrderTasks::ChooseOrder(rows, orderWhat::AllTasks, {}).has_value());
    EXPECT_EQ(modalsHandled, 1);

    onModal<frmOrderTasks>([](frmOrderTasks* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_FALSE(frmOrderTasks::ChooseOrder(rows, orderWhat::AllTasks, {}).has_value());
    EXPECT_EQ(modalsHandled, 2);
}

} // namespace
