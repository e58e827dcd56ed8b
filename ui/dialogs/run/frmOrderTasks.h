#pragma once
// The order dialog ("Order Tasks") of a run of several tasks: the tasks on offer, in
// the order of the main task list, can be moved up and down and dropped before they
// run. "&Run Tasks" hands over the lines from top to bottom; closing the window hands
// over nothing, which the run commands take as "run nothing".

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QListWidget;

namespace kestrow::gui {

// One row of the main task list, in displayed order.
struct OrderTaskRow
{
    std::string name;
    bool checked = false;
};

// Which tasks the dialog offers (the main window's OrderWhat).
namespace orderWhat {
constexpr int32_t CheckedTasks = 0;
constexpr int32_t AllTasks = 1;
constexpr int32_t TasksInCategory = 2; // of the main window's SelectedCategoryName
} // namespace orderWhat

class frmOrderTasks : public QDialog
{
    Q_OBJECT
public:
    // Offers the names of `rows` that `OrderWhat` selects: 0 the checked rows, 1 every
    // row, 2 the rows whose task in gCloneTasks has the Category `SelectedCategoryName`
    // (ignoring case). The first line starts selected.
    frmOrderTasks(const std::vector<OrderTaskRow>& rows, int32_t OrderWhat,
                  const std::string& SelectedCategoryName, QWidget* parent = nullptr);

    // Whether any task is on offer; with none the dialog is not shown at all.
    bool HasTasks() const;

    // Set by Run Tasks: the lines from top to bottom (possibly none). Nothing while the
    // dialog is open and after it was closed any other way.
    const std::optional<std::vector<std::string>>& OrderOfTasks() const { return m_OrderOfTasks; }

    // The lines as they stand.
    std::vector<std::string> Lines() const;

    // Opens the dialog modally when it has tasks to offer and returns OrderOfTasks;
    // nothing, without showing anything, when there are none.
    static std::optional<std::vector<std::string>> ChooseOrder(const std::vector<OrderTaskRow>& rows,
                                                               int32_t OrderWhat,
                                                               const std::string& SelectedCategoryName,
                                                               QWidget* parent = nullptr);

    // The selected line one place up (down); it stays selected. At the top (bottom)
    // only the beep. No selection: "Please select a task first." ("No Task Selected").
    void cmdMoveUp_Click();
    void cmdMoveDown_Click();
    // The selected line leaves the list (the task itself is untouched). No selection:
    // "No task is selected" ("Remove Task").
    void cmdRemove_Click();
    // OrderOfTasks becomes the lines, and the dialog closes.
    void OKButton_Click();

protected:
    // Closing by the title bar (or Escape): OrderOfTasks is nothing.
    void reject() override;

private:
    void Form_Load(const std::vector<OrderTaskRow>& rows, int32_t OrderWhat,
                   const std::string& SelectedCategoryName);
    void move(int by);

    QListWidget* m_lstTasks;
    std::optional<std::vector<std::string>> m_OrderOfTasks;
};

} // namespace kestrow::gui
