// The task list commands of the File menu and of the list's tab: the window asks for
// the name or the file, the task list commands (tasks/TaskListCommands.h) do the work,
// and the window shows the list that results.

#include "ui/mainwindow/frmKestrow.h"

#include "app/ProgramObjects.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "tasks/TaskListCommands.h"
#include "ui/qt/QtText.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace kestrow::gui {

void frmKestrow::mnuFileNewTaskList_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileNewTaskList_Click", [&] {
        for (;;) {
            const std::optional<std::string> answer =
                ui().inputBox("New Task List", "Enter a name for the New Task List", "New Task List");
            const NewTaskList made = CreateNewTaskListFile(answer.value_or(std::string()));
            if (made.outcome == NewTaskListOutcome::NameTaken) {
                QCoreApplication::processEvents();
                continue;
            }
            if (made.outcome == NewTaskListOutcome::Created)
                SwitchTaskList(made.fileSpec, false);
            return;
        }
    });
}

void frmKestrow::mnuFileLoadTaskList_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileLoadTaskList_Click", [&] {
        QFileDialog dialog(this, QStringLiteral("Load Task List"), q(gstrAppPath),
                           QStringLiteral("Kestrow Task List (*.kwt)"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        SwitchTaskList(s(dialog.selectedFiles().constFirst()), true);
    });
}

void frmKestrow::mnuFileSaveTaskListAs_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileSaveTaskListAs_Click", [&] {
        QFileDialog dialog(this, QStringLiteral("Save Task List As..."), q(gstrAppPath),
                           QStringLiteral("Kestrow Task List (*.kwt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("kwt"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        SaveTaskListAs(s(dialog.selectedFiles().constFirst()));
    });
}

void frmKestrow::SwitchTaskList(const std::string& fileSpec, bool afterLoad)
{
    Guarded("frmKestrow.SwitchTaskList", [&] {
        const cCloneTasks& list =
            kestrow::SwitchTaskList(taskListRowTexts(), fileSpec, ProgramObjects::ReplaceTaskList);
        setTaskListCaption(list.TaskListName());
        ShowAllTasksInListview();
        if (afterLoad)
            UpdateTrayIcon();
    });
}

void frmKestrow::SaveTaskListAs(const std::string& fileSpec)
{
    Guarded("frmKestrow.mnuFileSaveTaskListAs_Click",
            [&] { kestrow::SaveTaskListAs(taskListRowTexts(), fileSpec); });
}

} // namespace kestrow::gui
