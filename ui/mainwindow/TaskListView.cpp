#include "ui/mainwindow/TaskListView.h"

#include "base/AppState.h"
#include "base/UiServices.h"
#include "ui/mainwindow/WindowText.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/QtText.h"
#include "util/Trim.h"

#include <QLineEdit>
#include <QPainter>

namespace kestrow::gui {

bool TaskRow::operator<(const QTreeWidgetItem& other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    return QString::compare(text(column), other.text(column), Qt::CaseInsensitive) < 0;
}

void TaskListView::setBackgroundPicture(const QPixmap& picture)
{
    m_picture = picture;
    viewport()->update();
}

void TaskListView::paintEvent(QPaintEvent* event)
{
    if (!m_picture.isNull()) {
        QPainter painter(viewport());
        painter.drawPixmap(0, 0, m_picture);
    }
    QTreeWidget::paintEvent(event);
}

void TaskListView::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
    // Scrolling moves the viewport's pixels, the picture with them: paint it anew.
    if (!m_picture.isNull())
        viewport()->update();
}

void TaskListView::updateGeometries()
{
    QTreeWidget::updateGeometries();
    const Qt::ScrollBarPolicy policy =
        topLevelItemCount() == 0 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    if (horizontalScrollBarPolicy() != policy)
        setHorizontalScrollBarPolicy(policy);
}

LabelEditDelegate::LabelEditDelegate(frmKestrow* window) : QStyledItemDelegate(window), m_window(window) {}

QWidget* LabelEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    if (index.column() != frmKestrow::ColTaskName)
        return nullptr;
    if (gblnCloneRunning) {
        ui().beep();
        return nullptr;
    }
    QTreeWidget* view = m_window->taskListView();
    m_window->lvwTasks_BeforeLabelEdit(view->topLevelItem(index.row()));
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void LabelEditDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line)
        return;
    const std::string typed = s(line->text());
    if (m_window->lvwTasks_AfterLabelEdit(typed))
        return;
    model->setData(index, q(std::string(util::trimSpaces(typed))), Qt::EditRole);
}

} // namespace kestrow::gui
