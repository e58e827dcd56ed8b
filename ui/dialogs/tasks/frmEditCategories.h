#pragma once
// The categories dialog ("Edit Task Categories"): the category names sorted, with
// new, rename and delete. It changes the category list directly, and on rename or
// delete moves the tasks of the task list to the new name or to "Unfiled"; OK only
// closes. "Unfiled" can be neither renamed nor deleted. The list box scrolls
// sideways as far as its longest line needs.

#include <QDialog>

class QListWidget;
class QListWidgetItem;

namespace kestrow {
class cCategories;
class cCloneTasks;
} // namespace kestrow

namespace kestrow::gui {

class frmEditCategories : public QDialog
{
    Q_OBJECT
public:
    // `tasks` may be null (no task list open): then no task is moved.
    frmEditCategories(cCategories& categories, cCloneTasks* tasks, QWidget* parent = nullptr);

    // New: asks for a name ("New Category"); a valid, unique one is appended to the
    // list and to the categories. A blank answer or a cancel does nothing.
    void cmdNew_Click();
    // Rename (also a double click): asks for the selected category's new name
    // ("Rename Category"); the tasks of the old name move to the new one.
    void cmdRename_Click();
    // Delete: removes the selected category without a question; its tasks move to
    // "Unfiled".
    void cmdDelete_Click();

private:
    void LoadCategories();
    // The selected line, or null after the "No category has been selected." message.
    QListWidgetItem* selectedLine(const char* title);

    cCategories& m_categories;
    cCloneTasks* m_tasks;
    QListWidget* m_lstCategories;
};

} // namespace kestrow::gui
