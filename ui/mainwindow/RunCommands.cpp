// The run commands: one task, the checked tasks, all tasks, a category, the tray's
// task entries; the scheduler's tick and its pause; cancelling; the window's state
// while a run works.

#include "ui/mainwindow/frmKestrow.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/RunControl.h"
#include "ui/mainwindow/TaskListView.h"
#include "ui/mainwindow/WindowText.h"
#include "ui/qt/QtText.h"
#include "ui/qt/WorkerRun.h"
#include "util/AsciiCase.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QToolButton>

namespace kestrow::gui {

bool frmKestrow::refuseDuringRun()
{
    if (!gblnCloneRunning)
        return false;
    ui().beep();
    return true;
}

void frmKestrow::runTask(const CloneTaskPtr& task)
{
    if (!task || m_unloaded)
        return;
    if (refuseDuringRun())
        return;
    m_runActive = true;
    m_runningTask = task;
    // Set here as well as by Execute, so no command slips in before the worker starts.
    gblnCloneRunning = true;
    m_workerRunning = true;
    runOnWorkerThread(this, [this, task] {
        task->Execute(false);
        m_workerRunning = false;
    });
    m_workerRunning = false;
    gblnCloneRunning = false;
    m_runActive = false;
    m_runningTask.reset();
    if (m_sessionEndPending && !m_unloaded) {
        // The session ended during this run: what the shutdown logs for an aborted
        // run is written as it would have been while the run was still active.
        m_sessionEndPending = false;
        gblnCloneRunning = true;
        m_shell->Form_QueryUnload(UnloadMode::AppWindows);
        gblnCloneRunning = false;
        m_shell->Form_Unload();
        m_unloaded = true;
        QCoreApplication::exit(0);
    }
    if (m_unloaded)
        return;
    // The run is on record at once, merged into the file as it is now: a task
    // changed or removed there by another program keeps that change.
    if (gCloneTasks)
        gCloneTasks->SaveRunFieldsToTaskListFile(gCloneTasks->TaskListFileSpec(), {task->TaskName()});
    Guarded("frmKestrow.RunTask", [&] {
        refreshRowOf(task->TaskName());
        refreshRowIcons();
        UpdateTrayIcon();
    });
}

void frmKestrow::runTasksInOrder(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (m_unloaded)
            return;
        // A name that no longer names a task is passed over.
        if (const CloneTaskPtr task = gCloneTasks ? gCloneTasks->Item(name) : nullptr)
            runTask(task);
    }
}

void frmKestrow::mnuRunSelectedTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRunSelectedTask_Click", [&] {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            ui().messageBox("Run Selected Task", "Please select a task to run", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        runTask(gCloneTasks->Item(s(row->text(ColTaskName))));
    });
}

void frmKestrow::mnuRunCheckedTasks_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRunCheckedTasks_Click", [&] {
        if (NumCheckedTasks() == 0) {
            ui().messageBox("No Checked Tasks", "No tasks have been checked off.", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        if (NumCheckedTasks() == 1) {
            for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
                if (m_lvwTasks->topLevelItem(i)->checkState(ColTaskName) == Qt::Checked)
                    runTask(gCloneTasks->Item(s(m_lvwTasks->topLevelItem(i)->text(ColTaskName))));
            return;
        }
        runChosenOrder(orderWhat::CheckedTasks);
    });
}

void frmKestrow::mnuRunAllTasksNow_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRunAllTasksNow_Click", [&] {
        const int count = m_lvwTasks->topLevelItemCount();
        if (count == 0)
            return;
        if (count == 1) {
            runTask(gCloneTasks->Item(s(m_lvwTasks->topLevelItem(0)->text(ColTaskName))));
            return;
        }
        runChosenOrder(orderWhat::AllTasks);
    });
}

void frmKestrow::runChosenOrder(int32_t OrderWhat)
{
    // The dialog hands back nothing when it was closed, or had nothing to offer.
    const std::optional<std::vector<std::string>> order =
        frmOrderTasks::ChooseOrder(orderRows(), OrderWhat, m_SelectedCategoryName, dialogParent());
    if (order)
        runTasksInOrder(*order);
}

void frmKestrow::RunAllTasksInCategory(const std::string& categoryName)
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.RunAllTasksInCategory", [&] {
        m_SelectedCategoryName = categoryName;
        const int32_t count = gCloneTasks->NumTasksInCategory(categoryName);
        if (count == 0) {
            ui().messageBox("No Tasks in Category", "No tasks are in this category.", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        const std::string& wanted = categoryName;
        if (count == 1) {
            for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
                if (util::equalsIgnoringCase(task->Category(), wanted)) {
                    runTask(task);
                    return;
                }
            }
            return;
        }
        runChosenOrder(orderWhat::TasksInCategory);
    });
}

void frmKestrow::mnuPopupTaskName_Click(int index)
{
    // With no tasks the one entry "(no tasks in list)" does nothing.
    if (index < 0 || index >= m_lvwTasks->topLevelItemCount())
        return;
    if (refuseDuringRun())
        return;
    QTreeWidgetItem* row = m_lvwTasks->topLevelItem(index);
    m_lvwTasks->setCurrentItem(row);
    row->setSelected(true);
    mnuRunSelectedTask_Click();
}

void frmKestrow::mnuFilePauseExecution_Click()
{
    Guarded("frmKestrow.mnuFilePauseExecution_Click", [&] {
        const bool paused = !gblnSchedulerPaused;
        action(QStringLiteral("mnuFilePauseExecution"))->setChecked(paused);
        gblnSchedulerPaused = paused;
        setPausedBackground(paused);
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuPopupPause_Click()
{
    mnuFilePauseExecution_Click();
    action(QStringLiteral("mnuPopupPause"))->setChecked(gblnSchedulerPaused);
}

void frmKestrow::mnuPopupCancelRunningTask_Click()
{
    CancelRequested = true;
}

void frmKestrow::StatusBarCancel_Click()
{
    if (!CancelRequested) {
        CancelRequested = true;
        return;
    }
    ui().messageBox("Cancel Clone",
                    "The clone will be cancelled after the current file operation is completed.",
                    MsgIcon::Information, MsgButtons::Ok);
}

TickOutcome frmKestrow::tmrCloneScheduler_Timer()
{
    if (m_unloaded)
        return TickOutcome::Busy;
    return m_shell->scheduler().tmrCloneScheduler_Timer(m_shell->unloading());
}

void frmKestrow::onRunStarted(const QString& taskName)
{
    // SetFormStateAtCloneBegin, the window's part.
    DisableToolbar();
    DisableTopLevelMenus();
    setWindowTitle(QStringLiteral("Kestrow running task: ") + taskName);
    m_tray->setToolTip(windowTitle());
    m_cancel->show();
    applyStatusBarShares();
}

void frmKestrow::onRunFinished(const QString&)
{
    // SetFormStateAtCloneEnd, the window's part.
    EnableTopLevelMenus();
    EnableToolbar();
    setWindowTitle(QStringLiteral("Kestrow"));
    m_tray->setToolTip(windowTitle());
    m_cancel->hide();
    applyStatusBarShares();
}

void frmKestrow::onStatusText(int panel, const QString& text)
{
    (panel == 1 ? m_panel1 : m_panel2)->setText(text);
}

} // namespace kestrow::gui
