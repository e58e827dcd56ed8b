// The commands on one task or all: new, duplicate, delete, rename, properties, the
// error indicator, the differences report and the restore.

#include "ui/mainwindow/frmKestrow.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/Filters.h"
#include "engine/FolderRoutines.h"
#include "engine/Report.h"
#include "tasks/TaskListCommands.h"
#include "tasks/TaskProperties.h"
#include "tasks/cRestore.h"
#include "ui/dialogs/restore/frmRestore.h"
#include "ui/dialogs/tasks/frmTaskProperties.h"
#include "ui/mainwindow/TaskListView.h"
#include "ui/mainwindow/WindowText.h"
#include "ui/qt/QtText.h"
#include "ui/qt/WorkerRun.h"
#include "util/Trim.h"

#include <QCoreApplication>
#include <QLabel>

namespace kestrow::gui {

void frmKestrow::addTaskAsNew(const CloneTaskPtr& task)
{
    QTreeWidgetItem* row = AddNewTaskToListview(*task);
    m_lvwTasks->setCurrentItem(row);
    row->setSelected(true);
    gCloneTasks->Add(task);
    gCloneTasks->SaveTaskToTaskListFile(gCloneTasks->TaskListFileSpec(), task->TaskName());
    refreshRowIcons();
}

bool frmKestrow::showTaskPropertiesDialog(const CloneTaskPtr& task)
{
    gCurrentTask = task;
    frmTaskProperties dialog(dialogParent());
    dialog.exec();
    return !gblnTaskPropertiesCancelled;
}

void frmKestrow::mnuFileNewTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileNewTask", [&] {
        const std::optional<std::string> answer =
            ui().inputBox("New Task", "Please enter a unique name for this task", "New Task Name");
        const std::string name(util::trimSpaces(answer.value_or(std::string())));
        if (CheckNewTaskName(name, *gCloneTasks) != TaskNameCheck::Ok)
            return;
        auto task = std::make_shared<cCloneTask>();
        task->setTaskName(name);
        if (!showTaskPropertiesDialog(task))
            return;
        addTaskAsNew(task);
        ui().messageBox("New Task",
                        "'" + name +
                            "' has been created successfully.\n\n"
                            "To run this task, click on the Run Task toolbar button.",
                        MsgIcon::Information, MsgButtons::Ok);
    });
}

void frmKestrow::mnuFileDuplicateTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileDuplicateTask_Click", [&] {
        const CloneTaskPtr original = selectedTask("Duplicate Selected Task", "Please select a task first.");
        if (!original)
            return;
        const std::string base = "Copy of " + original->TaskName();
        std::string name = base;
        for (int counter = 2; gCloneTasks->Item(name); ++counter)
            name = base + " (" + std::to_string(counter) + ")";
        auto task = std::make_shared<cCloneTask>();
        cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*original, *task);
        task->setTaskName(name);
        // The copy is added whether the dialog was confirmed or cancelled.
        showTaskPropertiesDialog(task);
        addTaskAsNew(task);
        ui().messageBox("Duplicate Task", "'" + name + "' has been created successfully.",
                        MsgIcon::Information, MsgButtons::Ok);
    });
}

void frmKestrow::mnuFileDeleteTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileDeleteTask_Click", [&] {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            ui().messageBox("Delete Task", "Please select a task to delete", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        const std::string name = s(row->text(ColTaskName));
        const MsgResult answer = ui().messageBox("Confirm Task Delete",
                                                 "You are about to delete the following task: \n\"" + name +
                                                     "\"\n\nDo you wish to continue?",
                                                 MsgIcon::Question, MsgButtons::YesNo);
        if (answer != MsgResult::Yes)
            return;
        RemoveListItemByText(name);
        DeleteTaskFromList(name);
        refreshRowIcons();
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuFileRenameTask_Click()
{
    if (refuseDuringRun())
        return;
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        ui().messageBox("Rename Task", "Please select a task to rename.", MsgIcon::Information,
                        MsgButtons::Ok);
        return;
    }
    m_lvwTasks->setFocus();
    m_lvwTasks->editItem(row, ColTaskName);
}

void frmKestrow::mnuFileTaskProperties_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileTaskProperties_Click", [&] {
        const CloneTaskPtr task = selectedTask("Task Properties", "Please select a task first.");
        if (!task)
            return;
        // The dialog edits the list's own task object.
        const bool confirmed = showTaskPropertiesDialog(task);
        QCoreApplication::processEvents();
        if (!confirmed || !gblnTaskPropertiesChanged)
            return;
        const std::string name = gCurrentTask->TaskName();
        if (const CloneTaskPtr stored = gCloneTasks->Item(name); stored && stored != gCurrentTask)
            cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*gCurrentTask, *stored);
        if (QTreeWidgetItem* row = findRow(name))
            fillRow(row, *gCurrentTask, rowIconIndex(row));
        gCloneTasks->SetNextScheduledTask();
        refreshRowIcons();
        gCloneTasks->SaveTaskToTaskListFile(gCloneTasks->TaskListFileSpec(), name);
    });
}

void frmKestrow::mnuRestetErrorFlagForSelectedTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRestetErrorFlagForSelectedTask_Click", [&] {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            ui().messageBox("Reset Error Flag", "Please select a task first.", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        const CloneTaskPtr task = gCloneTasks->Item(s(row->text(ColTaskName)));
        if (!task) {
            ui().messageBox("Unexpected Error - Reset Error Flag",
                            "Unable to locate the Task object in the collection.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        task->setErrorOnLastClone(false);
        setRowIcon(row, task->IsNextScheduledTask() ? 3 : 1);
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuResetErrorFlagForAllTasks_Click()
{
    // Not refused during a run (the tray offers it then); the running task itself is
    // left to its run, which sets its own flag at the end.
    Guarded("frmKestrow.mnuResetErrorFlagForAllTasks_Click", [&] {
        if (!gCloneTasks)
            return;
        for (const CloneTaskPtr& task : gCloneTasks->Tasks())
            if (task != m_runningTask)
                task->setErrorOnLastClone(false);
        for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = m_lvwTasks->topLevelItem(i);
            if (m_runningTask && row->text(ColTaskName) == q(m_runningTask->TaskName()))
                continue;
            const int icon = rowIconIndex(row);
            if (icon == 2 || icon == 4)
                setRowIcon(row, icon - 1);
        }
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuFileReport_Click()
{
    if (refuseDuringRun())
        return;
    const CloneTaskPtr task =
        selectedTask("Create a Report of Folder Differences", "Please select a task first");
    if (!task)
        return;
    setWaitCursor(true);
    Guarded("frmKestrow.mnuFileReport_Click", [&] {
        m_panel1->setText(QStringLiteral("Creating Report..."));
        QCoreApplication::processEvents();
        int32_t errorNumber = 0;
        if (ValidateFolderPath(task->SourceFolderSpec(), errorNumber) != FolderStatusOk) {
            ui().messageBox("Create Report", "Problems processing the Source folder.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        // One report per Target (the joined Targets are no folder of their own).
        const std::vector<std::string> targets = task->TargetFolders();
        for (const std::string& target : targets) {
            if (ValidateFolderPath(target, errorNumber) != FolderStatusOk) {
                ui().messageBox("Create Report", "Problems processing the Target folder.",
                                MsgIcon::Exclamation, MsgButtons::Ok);
                return;
            }
        }
        if (targets.empty())
            ui().messageBox("Create Report", "Problems processing the Target folder.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
        for (const std::string& target : targets)
            CreateHTMLReportOfFolderDiffs(WithTrailingSlash(task->SourceFolderSpec()),
                                          WithTrailingSlash(target), task->IncludeSubFolders());
    });
    m_panel1->clear();
    setWaitCursor(false);
}

void frmKestrow::mnuFileRestore_Click()
{
    if (refuseDuringRun())
        return;
    gblnRestoreRunning = true;
    Guarded("frmKestrow.mnuFileRestore_Click", [&] {
        const CloneTaskPtr task = selectedTask("Restore Source", "Please select a task first.");
        if (!task)
            return;
        std::string targets = task->TargetFolderSpec();
        const std::string first = SplitOffToken(targets, "<:>");
        const std::string target = first.ends_with("<:>") ? first.substr(0, first.size() - 3) : first;
        if (target.empty()) {
            ui().messageBox("Restore Source", "Problems determining the Target Folder.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        int32_t errorNumber = 0;
        if (ValidateFolderPath(target, errorNumber) != FolderStatusOk) {
            ui().messageBox(
                "Restore Source",
                "Make sure that the Target folder exists and that you have permission to access it.",
                MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        gRestore->setTaskName(task->TaskName());
        gRestore->setSourceFolderSpec(task->SourceFolderSpec());
        gRestore->setTargetFolderSpec(target);
        gRestore->setIncludeSubFolders(task->IncludeSubFolders());
        gRestore->setIncludeFileSpecs(task->IncludeFileSpecs());
        gRestore->setIncludeFileMasks(task->IncludeFileMasks());
        frmRestore dialog(*gRestore, this);
        // The restore's temporary task runs as any run does: on a worker, the window live.
        dialog.setRunWork([this](const std::function<void()>& work) { runOnWorkerThread(this, work); });
        dialog.exec();
    });
    gblnRestoreRunning = false;
}

} // namespace kestrow::gui
