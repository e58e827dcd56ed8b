// The categories dialog, offscreen, on a real category list and task list.

#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/tasks/frmEditCategories.h"

#include <QScrollBar>

using namespace kestrow;
using namespace kestrow::test;
using gui::frmEditCategories;

namespace {

class CategoriesDialogTest : public ModalDialogTest
{
protected:
    CategoriesDialogTest()
    {
        for (const std::string& name : DefaultCategoryNames())
            categories.Add(name);
        addTask("Photos to NAS", "Pictures");
        addTask("Camera card", "pictures");
        addTask("Phone backup", "Pictures");
        addTask("Payroll", "Work");
        addTask("Loose ends", "Unfiled");
    }

    void addTask(const std::string& name, const std::string& category)
    {
        auto task = std::make_shared<cCloneTask>();
        task->setTaskName(name);
        task->setCategory(category);
        ASSERT_TRUE(tasks.Add(task));
    }

    std::string categoryOf(const std::string& task) const { return tasks.Item(task)->Category(); }

    std::vector<std::string> categoryNames() const
    {
        std::vector<std::string> names;
        for (const cCategory& c : categories.Categories())
            names.push_back(c.Name);
        return names;
    }

    frmEditCategories& openDialog()
    {
        dialog = std::make_unique<frmEditCategories>(categories, &tasks);
        dialog->show();
        list = dialog->findChild<QListWidget*>(QStringLiteral("lstCategories"));
        return *dialog;
    }

    cCategories categories;
    cCloneTasks tasks;
    std::unique_ptr<frmEditCategories> dialog;
    QListWidget* list = nullptr;
};

TEST_F(CategoriesDialogTest, ListsTheNamesSortedIgnoringCase)
{
    categories.Add("alpha");
    openDialog();
    EXPECT_EQ(s(dialog->windowTitle()), "Edit Task Categories");
    EXPECT_EQ(listLines(list), (std::vector<std::string>{"alpha", "Documents", "E-mail", "Financial",
                                                         "Personal", "Pictures", "Settings", "Work"}));
}

TEST_F(CategoriesDialogTest, NewNameIsAppendedToTheListAndTheCategories)
{
    openDialog();
    ui.queueInput(std::string("Holiday"));
    click(dialog.get(), "cmdNew");
    ASSERT_EQ(ui.prompts().size(), 1u);
    EXPECT_EQ(ui.prompts()[0].title, "New Category");
    EXPECT_EQ(ui.prompts()[0].text, "Enter new category name:");
    EXPECT_EQ(ui.prompts()[0].defaultText, "");
    EXPECT_EQ(listLines(list).back(), "Holiday");
    EXPECT_EQ(categoryNames().back(), "Holiday");
    EXPECT_EQ(categories.Count(), 8);
}

// Answers to "New Category" that change nothing, with the message they bring.
struct RefusedNewRow
{
    const char* name;
    std::optional<std::string> answer;
    const char* message; // "" for none
};

// Rows print as their names.
void PrintTo(const RefusedNewRow& row, std::ostream* os)
{
    *os << row.name;
}

class RefusedNewName : public CategoriesDialogTest, public ::testing::WithParamInterface<RefusedNewRow>
{
};

TEST_P(RefusedNewName, ChangesNothing)
{
    const RefusedNewRow& row = GetParam();
    openDialog();
    const std::vector<std::string> before = listLines(list);
    ui.queueInput(row.answer);
    click(dialog.get(), "cmdNew");
    const auto shown = messages();
    if (*row.message) {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].title, "New Category");
        EXPECT_EQ(shown[0].text, row.message);
        EXPECT_EQ(shown[0].icon, MsgIcon::Exclamation);
    } else {
        EXPECT_TRUE(shown.empty()) << lastMessage();
    }
    EXPECT_EQ(listLines(list), before);
    EXPECT_EQ(categories.Count(), 7);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusedNewName,
    ::testing::Values(RefusedNewRow{"Cancelled", std::nullopt, ""}, RefusedNewRow{"Empty", std::string(), ""},
                      RefusedNewRow{"BlanksOnly", std::string("   "), ""},
                      RefusedNewRow{"Comma", std::string("Home,Garden"), "Category name is not valid."},
                      RefusedNewRow{"ExistingInOtherCase", std::string("WORK"),
                                    "Category name is already in list."}),
    [](const ::testing::TestParamInfo<RefusedNewRow>& info) { return std::string(info.param.name); });

TEST_F(CategoriesDialogTest, RenameMovesTheTasksOfTheOldNameToTheNewOne)
{
    openDialog();
    selectLine(list, "Pictures");
    ui.queueInput(std::string("Photos"));
    click(dialog.get(), "cmdRename");
    ASSERT_EQ(ui.prompts().size(), 1u);
    EXPECT_EQ(ui.prompts()[0].title, "Rename Category");
    EXPECT_EQ(ui.prompts()[0].text, "Enter the new name for this category:");
    EXPECT_EQ(ui.prompts()[0].defaultText, "Pictures");
    EXPECT_EQ(listLines(list), (std::vector<std::string>{"Documents", "E-mail", "Financial", "Personal",
                                                         "Photos", "Settings", "Work"}))
        << "the line is replaced where it stands";
    EXPECT_EQ(categoryNames(), (std::vector<std::string>{"Personal", "Work", "E-mail", "Financial",
                                                         "Documents", "Settings", "Photos"}));
    EXPECT_EQ(categoryOf("Photos to NAS"), "Photos");
    EXPECT_EQ(categoryOf("Camera card"), "Photos") << "task categories match ignoring case";
    EXPECT_EQ(categoryOf("Phone backup"), "Photos");
    EXPECT_EQ(categoryOf("Payroll"), "Work");
}

TEST_F(CategoriesDialogTest, DoubleClickRenames)
{
    openDialog();
    QListWidgetItem* line = list->findItems(QStringLiteral("Work"), Qt::MatchExactly).front();
    list->setCurrentItem(line);
    ui.queueInput(std::string("Office"));
    doubleClick(list, line);
    EXPECT_EQ(categoryOf("Payroll"), "Office");
    EXPECT_EQ(list->findItems(QStringLiteral("Office"), Qt::MatchExactly).size(), 1);
}

struct RefusedRenameRow
{
    const char* name;
    std::optional<std::string> answer;
    const char* message;
};

// Rows print as their names.
void PrintTo(const RefusedRenameRow& row, std::ostream* os)
{
    *os << row.name;
}

class RefusedRename : public CategoriesDialogTest, public ::testing::WithParamInterface<RefusedRenameRow>
{
};

TEST_P(RefusedRename, ChangesNeitherTheListNorTheTasks)
{
    const RefusedRenameRow& row = GetParam();
    openDialog();
    selectLine(list, "Pictures");
    const std::vector<std::string> before = listLines(list);
    ui.queueInput(row.answer);
    click(dialog.get(), "cmdRename");
    const auto shown = messages();
    if (*row.message) {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].title, "Rename Category");
        EXPECT_EQ(shown[0].text, row.message);
        EXPECT_EQ(shown[0].icon, MsgIcon::Exclamation);
    } else {
        EXPECT_TRUE(shown.empty()) << lastMessage();
    }
    EXPECT_EQ(listLines(list), before);
    EXPECT_EQ(categories.Count(), 7);
    EXPECT_EQ(categoryOf("Photos to NAS"), "Pictures");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusedRename,
    ::testing::Values(RefusedRenameRow{"Cancelled", std::nullopt, ""},
                      RefusedRenameRow{"BlanksOnly", std::string("  "), ""},
                      RefusedRenameRow{"Comma", std::string("a,b"), "Category name is not valid."},
                      RefusedRenameRow{"ToAnExistingName", std::string("work"),
                                       "Category name is already in list."},
                      RefusedRenameRow{"ToItselfInOtherCase", std::string("PICTURES"),
                                       "Category name is already in list."}),
    [](const ::testing::TestParamInfo<RefusedRenameRow>& info) { return std::string(info.param.name); });

TEST_F(CategoriesDialogTest, DeleteMovesItsTasksToUnfiledWithoutAQuestion)
{
    openDialog();
    selectLine(list, "Pictures");
    click(dialog.get(), "cmdDelete");
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_TRUE(list->findItems(QStringLiteral("Pictures"), Qt::MatchExactly).isEmpty());
    EXPECT_EQ(categories.GetCategoryIndexBasedOnKey("Pictures"), -1);
    EXPECT_EQ(tasks.NumTasksInCategory("Unfiled"), 4);
    for (const char* task : {"Photos to NAS", "Camera card", "Phone backup"})
        EXPECT_EQ(categoryOf(task), "Unfiled") << task;
    EXPECT_EQ(categoryOf("Payroll"), "Work");
}

TEST_F(CategoriesDialogTest, RenameAndDeleteAskForASelection)
{
    openDialog();
    list->clearSelection();
    list->setCurrentItem(nullptr);
    click(dialog.get(), "cmdRename");
    click(dialog.get(), "cmdDelete");
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title + "|" + shown[0].text, "Rename Category|No category has been selected.");
    EXPECT_EQ(shown[1].title + "|" + shown[1].text, "Delete Category|No category has been selected.");
    EXPECT_EQ(shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(shown[1].icon, MsgIcon::Exclamation);
}

TEST_F(CategoriesDialogTest, AnUnfiledLineCanBeNeitherRenamedNorDeleted)
{
    // "Unfiled" is no entry of the list, but a name written that way in the options
    // file would be listed.
    categories.Add("UNFILED");
    openDialog();
    selectLine(list, "UNFILED");
    click(dialog.get(), "cmdRename");
    click(dialog.get(), "cmdDelete");
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title + "|" + shown[0].text,
              "Rename Category|The Unfiled category cannot be renamed.");
    EXPECT_EQ(shown[1].title + "|" + shown[1].text,
              "Delete Category|The Unfiled category cannot be deleted.");
    EXPECT_EQ(categories.Count(), 8);
    EXPECT_EQ(categoryOf("Loose ends"), "Unfiled");
}

TEST_F(CategoriesDialogTest, TheListScrollsSidewaysAsFarAsItsLongestLine)
{
    openDialog();
    dialog->resize(300, 250);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0) << "short names need no scrolling";

    const std::string longName(200, 'W');
    ui.queueInput(longName);
    click(dialog.get(), "cmdNew");
    QCoreApplication::processEvents();
    const int widest = list->fontMetrics().horizontalAdvance(q(longName));
    const QScrollBar* bar = list->horizontalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_GE(bar->maximum() + list->viewport()->width(), widest)
        << "the whole line can be scrolled into view";
}

TEST_F(CategoriesDialogTest, OkClosesWithTheChangesAlreadyMade)
{
    openDialog();
    ui.queueInput(std::string("Garden"));
    click(dialog.get(), "cmdNew");
    click(dialog.get(), "cmdOK");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(categories.GetCategoryIndexBasedOnKey("Garden"), 8);
}

} // namespace
