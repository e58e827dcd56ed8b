#include "tasks/TaskListCommands.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/Filters.h"
#include "engine/FolderRoutines.h"
#include "platform/TextFile.h"
#include "tasks/cCloneTasks.h"
#include "util/Trim.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kestrow {

NewTaskList CreateNewTaskListFile(const std::string& typedName)
{
    const std::string name(util::trimSpaces(typedName));
    if (name.empty())
        return {NewTaskListOutcome::NoName, {}};
    if (StringContainsIllegalFileNameCharacter(name)) {
        ui().messageBox("Illegal Task List Name",
                        "Task list names cannot contain any of the following characters:\n"
                        "\\ / : * ? \" < > |",
                        MsgIcon::Critical, MsgButtons::Ok);
        return {NewTaskListOutcome::IllegalName, {}};
    }
    const std::string file = gstrAppPath + name + ".kwt";
    if (FileExists(file)) {
        ui().messageBox("Name Already Exists", "A task list with this name already exists.",
                        MsgIcon::Exclamation, MsgButtons::Ok);
        return {NewTaskListOutcome::NameTaken, {}};
    }
    // Never through a link planted under that name meanwhile.
    if (platform::writeWholeFile(file, {}) != 0)
        throw RuntimeError(errnum::PathNotFound, "Unable to create " + file);
    return {NewTaskListOutcome::Created, file};
}

cCloneTasks& SwitchTaskList(const std::vector<std::string>& rowOrder, const std::string& fileSpec,
                            const FreshTaskList& freshList)
{
    if (gCloneTasks)
        gCloneTasks->SaveOrderedTaskListToTaskListFile(rowOrder, gCloneTasks->TaskListFileSpec());
    cCloneTasks& list = freshList();
    list.setTaskListFileSpec(fileSpec);
    list.ReadAllTasksFromTaskListFile(fileSpec);
    return list;
}

void SaveTaskListAs(const std::vector<std::string>& rowOrder, const std::string& fileSpec)
{
    if (gCloneTasks)
        gCloneTasks->SaveOrderedTaskListToTaskListFile(rowOrder, fileSpec);
}

void DeleteTaskFromList(const std::string& name)
{
    if (const CloneTaskPtr task = gCloneTasks->Item(name))
        gCloneTasks->Remove(*task);
    gCloneTasks->RemoveTaskFromTaskListFile(gCloneTasks->TaskListFileSpec(), name);
    const std::string includeFile = gstrAppPath + name + ".kwi";
    if (FileExists(includeFile)) {
        std::error_code ec;
        std::filesystem::remove(includeFile, ec);
    }
}

bool RenameTaskInList(const std::string& oldName, const std::string& newName)
{
    const CloneTaskPtr task = gCloneTasks->Item(oldName);
    if (!task)
        return false;
    const auto& tasks = gCloneTasks->Tasks();
    const auto at = std::find(tasks.begin(), tasks.end(), task);
    const std::string stored = task->TaskName();
    gCloneTasks->Rename(*task, newName, static_cast<int32_t>(at - tasks.begin()) + 1);
    if (!gCloneTasks->Item(newName) || gCloneTasks->Item(stored))
        return false;
    const std::string oldInclude = gstrAppPath + stored + ".kwi";
    const std::string newInclude = gstrAppPath + newName + ".kwi";
    if (FileExists(oldInclude) && !FileExists(newInclude)) {
        std::error_code ec;
        std::filesystem::rename(oldInclude, newInclude, ec);
    }
    return true;
}

} // namespace kestrow
