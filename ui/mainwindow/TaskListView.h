#pragma once
// The widgets of the main window's task list: its rows, the view itself, and the
// label editing of the task name column.

#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace kestrow::gui {

class frmKestrow;

// The row's icon number (1 to 4) is kept under this role of the task name column.
constexpr int TaskRowIconRole = Qt::UserRole + 1;

// A row of the task list. Rows sort by the text of the sort column, letters
// compared without regard to case (the sort keys are digits, manual tasks empty).
class TaskRow : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
};

// The task list view: a tree whose background can carry a picture (imgPaused)
// behind the rows, leaving the item colours (check boxes included) alone.
class TaskListView : public QTreeWidget
{
public:
    using QTreeWidget::QTreeWidget;
    void setBackgroundPicture(const QPixmap& picture);

protected:
    void paintEvent(QPaintEvent* event) override;
    // The picture stays where it is while the rows scroll.
    void scrollContentsBy(int dx, int dy) override;
    // An empty list has nothing to scroll sideways to: no horizontal scroll bar.
    void updateGeometries() override;

private:
    QPixmap m_picture;
};

// Label editing of the task name column: the window decides whether the new name
// is taken (lvwTasks_AfterLabelEdit) before the row changes.
class LabelEditDelegate : public QStyledItemDelegate
{
public:
    explicit LabelEditDelegate(frmKestrow* window);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    frmKestrow* m_window;
};

} // namespace kestrow::gui
