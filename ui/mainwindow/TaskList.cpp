// The main window's task list: the view and its tab, its rows and their icons, the
// selection, sorting by a column and the label edit of a task's name.

#include "ui/mainwindow/frmKestrow.h"

#include "app/ProgramOptions.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/Filters.h"
#include "tasks/TaskProperties.h"
#include "tasks/cCloneTask.h"
#include "ui/mainwindow/TaskListView.h"
#include "ui/mainwindow/WindowText.h"
#include "ui/qt/KestrowIcons.h"
#include "ui/qt/QtText.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <QHeaderView>
#include <QMenu>
#include <QShortcut>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrow::gui {

void frmKestrow::buildCentralWidget()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_tbsTasks = new QTabBar(central);
    m_tbsTasks->setObjectName(QStringLiteral("tbsTasks"));
    m_tbsTasks->addTab(QString());
    m_tbsTasks->setExpanding(false);
    m_tbsTasks->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tbsTasks, &QTabBar::customContextMenuRequested, this, [this](const QPoint& pos) {
        // tbsTasks_MouseUp: the task list menu, only while the menus are enabled.
        if (m_TopLevelMenusEnabled)
            m_mnuTaskListPopup->exec(m_tbsTasks->mapToGlobal(pos));
    });
    layout->addWidget(m_tbsTasks);

    m_lvwTasks = new TaskListView(central);
    m_lvwTasks->setObjectName(QStringLiteral("lvwTasks"));
    m_lvwTasks->setColumnCount(ColumnCount);
    m_lvwTasks->setHeaderLabels({QStringLiteral("Task Name"), QStringLiteral("Source"),
                                 QStringLiteral("Target"), QStringLiteral("Next Run"),
                                 QStringLiteral("Last Run"), QStringLiteral("Next Run Formatted"),
                                 QStringLiteral("Last Run Formatted")});
    m_lvwTasks->setColumnHidden(ColNextRunFormatted, true);
    m_lvwTasks->setColumnHidden(ColLastRunFormatted, true);
    m_lvwTasks->setRootIsDecorated(false);
    m_lvwTasks->setUniformRowHeights(true);
    m_lvwTasks->setAllColumnsShowFocus(true);
    m_lvwTasks->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lvwTasks->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_lvwTasks->setItemDelegate(new LabelEditDelegate(this));
    m_lvwTasks->header()->setSectionsClickable(true);
    m_lvwTasks->header()->setSortIndicatorShown(true);
    m_lvwTasks->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_lvwTasks->installEventFilter(this);
    m_lvwTasks->viewport()->installEventFilter(this);
    m_baseColor = m_lvwTasks->palette().color(QPalette::Base);
    connect(m_lvwTasks->header(), &QHeaderView::sectionClicked, this, &frmKestrow::lvwTasks_ColumnClick);
    connect(m_lvwTasks->header(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (!m_applyingGeometry && column < ProgramOptions::ColumnCount)
            m_shell->options().setColumnWidth(column, static_cast<int16_t>(std::min(size, 32767)));
    });
    connect(m_lvwTasks, &QTreeWidget::itemDoubleClicked, this, [this] { mnuFileTaskProperties_Click(); });
    // Enter on the list opens the selected task's properties, as a double click does;
    // only while the list itself has the focus, never while a name is being edited.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), m_lvwTasks);
        enter->setObjectName(QStringLiteral("scTaskProperties"));
        enter->setContext(Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] { mnuFileTaskProperties_Click(); });
    }
    layout->addWidget(m_lvwTasks);
    setCentralWidget(central);
}

QTreeWidget* frmKestrow::taskListView() const
{
    return m_lvwTasks;
}

std::vector<std::string> frmKestrow::taskListRowTexts() const
{
    std::vector<std::string> names;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
        names.push_back(s(m_lvwTasks->topLevelItem(i)->text(ColTaskName)));
    return names;
}

std::vector<OrderTaskRow> frmKestrow::orderRows() const
{
    std::vector<OrderTaskRow> rows;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_lvwTasks->topLevelItem(i);
        rows.push_back({s(row->text(ColTaskName)), row->checkState(ColTaskName) == Qt::Checked});
    }
    return rows;
}

void frmKestrow::fillRow(QTreeWidgetItem* row, const cCloneTask& task, int icon)
{
    const std::array<std::string, 7> texts = ModifyTaskInListview(task);
    for (int c = 0; c < ColumnCount; ++c)
        row->setText(c, q(texts[static_cast<std::size_t>(c)]));
    setRowIcon(row, icon);
}

void frmKestrow::setRowIcon(QTreeWidgetItem* row, int icon)
{
    row->setData(ColTaskName, TaskRowIconRole, icon);
    row->setIcon(ColTaskName, rowIcon(static_cast<RowIcon>(icon)));
}

int frmKestrow::rowIconIndex(const QTreeWidgetItem* row)
{
    return row ? row->data(ColTaskName, TaskRowIconRole).toInt() : 0;
}

void frmKestrow::ShowAllTasksInListview()
{
    Guarded("frmKestrow.ShowAllTasksInListview", [&] {
        m_lvwTasks->setUpdatesEnabled(false);
        m_lvwTasks->clear();
        if (gCloneTasks) {
            for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
                auto* row = new TaskRow(m_lvwTasks);
                row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
                row->setCheckState(ColTaskName, Qt::Unchecked);
                fillRow(row, *task, task->ErrorOnLastClone() ? 2 : 1);
            }
            gCloneTasks->SetNextScheduledTask();
            refreshRowIcons();
        }
        resortIfSorted();
        m_lvwTasks->setUpdatesEnabled(true);
    });
}

QTreeWidgetItem* frmKestrow::AddNewTaskToListview(const cCloneTask& task)
{
    auto* row = new TaskRow(m_lvwTasks);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    row->setCheckState(ColTaskName, Qt::Unchecked);
    fillRow(row, task, 1);
    resortIfSorted();
    return row;
}

void frmKestrow::RemoveListItemByText(const std::string& name)
{
    delete findRow(name);
}

QTreeWidgetItem* frmKestrow::findRow(const std::string& name) const
{
    const QString text = q(name);
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
        if (m_lvwTasks->topLevelItem(i)->text(ColTaskName) == text)
            return m_lvwTasks->topLevelItem(i);
    return nullptr;
}

int32_t frmKestrow::NumCheckedTasks() const
{
    int32_t count = 0;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
        if (m_lvwTasks->topLevelItem(i)->checkState(ColTaskName) == Qt::Checked)
            ++count;
    return count;
}

void frmKestrow::refreshRowIcons()
{
    if (!gCloneTasks)
        return;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_lvwTasks->topLevelItem(i);
        const CloneTaskPtr task = gCloneTasks->Item(s(row->text(ColTaskName)));
        if (!task)
            continue;
        setRowIcon(row, 1 + (task->ErrorOnLastClone() ? 1 : 0) + (task->IsNextScheduledTask() ? 2 : 0));
    }
}

void frmKestrow::refreshRowOf(const std::string& taskName)
{
    QTreeWidgetItem* row = findRow(taskName);
    const CloneTaskPtr task = gCloneTasks ? gCloneTasks->Item(taskName) : nullptr;
    if (row && task)
        fillRow(row, *task, rowIconIndex(row));
}

void frmKestrow::resortIfSorted()
{
    if (m_sorted)
        m_lvwTasks->sortItems(m_sortKey, m_sortOrder);
}

QTreeWidgetItem* frmKestrow::selectedRow() const
{
    QTreeWidgetItem* current = m_lvwTasks->currentItem();
    if (current && current->isSelected())
        return current;
    const QList<QTreeWidgetItem*> selected = m_lvwTasks->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

CloneTaskPtr frmKestrow::selectedTask(const char* title, const char* text)
{
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        ui().messageBox(title, text, MsgIcon::Information, MsgButtons::Ok);
        return nullptr;
    }
    return gCloneTasks ? gCloneTasks->Item(s(row->text(ColTaskName))) : nullptr;
}

void frmKestrow::setPausedBackground(bool paused)
{
    m_pausedBackground = paused;
    const QSize size = m_lvwTasks->viewport()->size();
    m_lvwTasks->setBackgroundPicture(paused ? pausedBackground(size.width(), size.height(), m_baseColor)
                                            : QPixmap());
}

void frmKestrow::lvwTasks_ColumnClick(int column)
{
    Guarded("frmKestrow.lvwTasks_ColumnClick", [&] {
        m_sorted = true;
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        if (column >= ColNextRunFormatted) {
            ui().messageBox("Invalid Column", "This is not a sortable column.  It is for internal use only.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        // "Next Run" and "Last Run" sort by their hidden sort keys.
        m_sortKey = column == ColNextRun   ? ColNextRunFormatted
                    : column == ColLastRun ? ColLastRunFormatted
                                           : column;
        m_lvwTasks->sortItems(m_sortKey, m_sortOrder);
        m_lvwTasks->header()->setSortIndicator(column, m_sortOrder);
    });
}

void frmKestrow::lvwTasks_BeforeLabelEdit(QTreeWidgetItem* row)
{
    m_oldLabel = row ? s(row->text(ColTaskName)) : std::string();
}

bool frmKestrow::lvwTasks_AfterLabelEdit(const std::string& newString)
{
    return Guarded("frmKestrow.lvwTasks_AfterLabelEdit", true, [&] {
        const std::string name(util::trimSpaces(newString));
        if (CheckRenamedTaskName(name, m_oldLabel, *gCloneTasks) != TaskNameCheck::Ok)
            return true;
        const CloneTaskPtr old = gCloneTasks->Item(m_oldLabel);
        QTreeWidgetItem* row = findRow(m_oldLabel);
        if (!old || !row)
            return true;
        gCloneTasks->Rename(*old, name, m_lvwTasks->indexOfTopLevelItem(row) + 1);
        // The row carries the new name from now on (the editor sets the same text).
        row->setText(ColTaskName, q(name));
        gCloneTasks->SetNextScheduledTask();
        refreshRowIcons();
        return false;
    });
}

} // namespace kestrow::gui
