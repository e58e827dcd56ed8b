#pragma once
// cCloneTasks: the open task list and its file. Tasks are kept in an ordered
// collection keyed by TaskName as it was when the task was added; keys compare
// ignoring letter case (ASCII), so two tasks whose names differ only in case cannot
// coexist. Lookups by name are hashed.
//
// The file is an INI text with one section per task (see TaskListFile.h). Every
// save loads the file once, changes it in memory and writes it back atomically
// (a temporary file renamed over it), so a failed save leaves the file as it was.
// Each of these read-modify-writes holds the file's update lock (platform::UpdateLock),
// so programs saving different tasks of one list at once never lose each other's
// sections. A whole-list save still writes this list's own view of every task it holds.
// A file of the older one-line-per-task format ("~!@#" between fields) is
// converted when first read.

#include "platform/DataFile.h"
#include "tasks/cCloneTask.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrow {

using CloneTaskPtr = std::shared_ptr<cCloneTask>;

class cCloneTasks
{
public:
    cCloneTasks() = default;
    cCloneTasks(const cCloneTasks&) = delete;
    cCloneTasks& operator=(const cCloneTasks&) = delete;

    // Set when a task name read from an older-format file held a character illegal
    // in file names (\ / : * ? " < > |), which was replaced by a blank.
    bool TaskNameContainedIllegalChar() const { return m_TaskNameContainedIllegalChar; }
    void setTaskNameContainedIllegalChar(bool value) { m_TaskNameContainedIllegalChar = value; }

    // Full path of the task list file.
    const std::string& TaskListFileSpec() const { return m_TaskListFileSpec; }
    void setTaskListFileSpec(const std::string& value) { m_TaskListFileSpec = value; }

    // The file name of TaskListFileSpec without folder and extension.
    std::string TaskListName() const;

    // Whether any task has ErrorOnLastClone set. Errors: "cCloneTasks.ATaskContainsError".
    bool ATaskContainsError() const;
    // The same answer (errors: "cCloneTasks.AnyErrorTasks").
    bool AnyErrorTasks() const;

    int32_t Count() const { return static_cast<int32_t>(m_tasks.size()); }

    // The tasks in list order.
    const std::vector<CloneTaskPtr>& Tasks() const { return m_tasks; }

    // The first task in list order marked IsNextScheduledTask, or null.
    CloneTaskPtr NextScheduledTask() const;

    // Gives `pTaskObject`'s copy the name `pstrNewName`, adds it at
    // `plngPositionInList` (the Add rule, without choosing the next task), saves it
    // to the file, removes the old task and deletes its section. Stops silently at
    // the first step that fails.
    void Rename(const cCloneTask& pTaskObject, const std::string& pstrNewName, int32_t plngPositionInList);

    // Removes the task named like `pItem` (ignoring case), then chooses the next
    // task. False, silently, when there is none.
    bool Remove(const cCloneTask& pItem);

    // Inserts `pItem` under its TaskName. Position -1: at the end. Otherwise, with n
    // the number of tasks before: position 1 with n = 1 goes to the end; when
    // position + 1 <= n, it goes right after the task at position + 1; else right
    // after the task at position - 1. A position naming no task fails, as does a
    // name already in the list (ignoring case). Unless `pbolSkipSetNext`, the next
    // task is chosen again afterwards. Reports nothing.
    bool Add(const CloneTaskPtr& pItem, int32_t plngInThisPosition = -1, bool pbolSkipSetNext = false);

    // The task at 1-based position `index`, or null.
    CloneTaskPtr Item(int32_t index) const;
    // The task of that name (ignoring case), or null.
    CloneTaskPtr Item(const std::string& key) const;

    // Tasks whose Category equals the trimmed argument ignoring case; 0 for a blank
    // argument. Errors: "cCloneTasks.NumTasksInCategory", 0.
    int32_t NumTasksInCategory(const std::string& pstrCategory) const;

    // Reads the tasks of an older-format file, one line each, adding them at the
    // end; stops at the first line that cannot be read (reported). Returns whether
    // every line was read. A missing file is created empty.
    bool ReadAllTasksFromKWTFile(const std::string& pstrTaskListFileSpec);

    // Reads a task list file of either format into this (normally empty) list,
    // adding the tasks at the end without choosing the next task. A missing file is
    // created empty. Reading stops at the first error (a value that cannot be
    // converted, two sections whose names differ only in case, an unreadable
    // file), which is reported as "cCloneTasks.ReadAllTasksFromTaskListFile"; the
    // tasks read before it stay, and the file is not changed.
    //
    // A task whose schedule could never be met (a weekly task without days, an
    // increment below 1, a start time with a date part) is refused: the message
    // "Task Not Loaded" names it and says why, and reading goes on. The file keeps
    // its section.
    //
    // An older-format file is read with ReadAllTasksFromKWTFile, moved to the
    // trash, and only when that succeeded written anew in the INI format from the
    // tasks read, those the schedule check refused included (with their fields as
    // read). Its support folder stays in place.
    //
    // Returns whether the whole file was read without a reported error.
    bool ReadAllTasksFromTaskListFile(const std::string& pstrTaskListFileSpec);

    // Deletes the section named `pstrTaskName`. Errors:
    // "cCloneTasks.RemoveTaskFromTaskListFile". Returns whether the file was written.
    bool RemoveTaskFromTaskListFile(const std::string& pstrTaskListFileSpec, const std::string& pstrTaskName);

    // When the list is not empty: deletes the section of every task of the list,
    // then writes the sections of the tasks named by `rowTexts` (the task list
    // view's rows, in row order; rows without a task are skipped). Sections of
    // names not in the list stay. Errors: "cCloneTasks.SaveOrderedTaskListToTaskListFile".
    bool SaveOrderedTaskListToTaskListFile(const std::vector<std::string>& rowTexts,
                                           const std::string& pstrTaskListFileSpec);

    // When the list is not empty: writes every task's section in list order,
    // updating existing sections in place. Sections of names not in the list stay.
    // Errors: "cCloneTasks.SaveAllTasksToTaskListFile".
    bool SaveAllTasksToTaskListFile(const std::string& pstrTaskListFileSpec);

    // When the list is not empty: writes the section of the task of that name (a
    // name not in the list is an error). Errors: "cCloneTasks.SaveTaskToTaskListFile".
    bool SaveTaskToTaskListFile(const std::string& pstrTaskListFileSpec, const std::string& pstrTaskName);

    // Writes the run fields (last and next run time, error flag) of the named tasks
    // into the file as it is now, under its update lock, in one read and one write:
    // every other key and every other section stay as the file has them, so edits
    // made meanwhile by hand or by another program are kept. A task whose section
    // is no longer in the file (removed meanwhile) is not written back, nor is a
    // name not in this list. `versions` (optional) receives the file's version as
    // the lock was taken and right after the write, while the lock is still held.
    // Errors: "cCloneTasks.SaveRunFieldsToTaskListFile".
    struct FileVersions
    {
        platform::FileVersion before;
        platform::FileVersion after;
    };
    bool SaveRunFieldsToTaskListFile(const std::string& pstrTaskListFileSpec,
                                     const std::vector<std::string>& taskNames,
                                     FileVersions* versions = nullptr);

    // Every task whose Category equals the original (ignoring case) gets the new
    // name. Memory only. Errors: "cCloneTasks.ChangeCategoryName".
    void ChangeCategoryName(const std::string& pstrOriginalCategory, const std::string& pstrNewCategory);

    // Marks the task that runs next: clears every mark, then among the scheduled
    // tasks (IntervalType not 0) in list order takes the first, replaced by a later
    // one only when that one's NextCloneDateTime is at least one whole second
    // earlier (ties go to the earlier task). A task that has run (LastCloneDateTime
    // set) without a next run (NextCloneDateTime 0: it could not be computed) is
    // passed over. No scheduled task: none is marked.
    // Errors: "cCloneTasks.SetNextScheduledTask"; the marks set so far stay.
    // (Defined with the schedule computation, in Schedule.cpp.)
    void SetNextScheduledTask();

    // Copies every property of the first task into the second through the writers.
    static void CopyTaskPropertiesFromObj1ToObj2(const cCloneTask& pobjCloneTask1,
                                                 cCloneTask& pobjCloneTask2);

private:
    // One line of the older format as a task; throws on a line that cannot be read.
    CloneTaskPtr CreateCloneTasksObjFromString(const std::string& line);
    // Adds a task read from a file, unless its schedule can never be met.
    void AddReadTask(const CloneTaskPtr& task);

    std::vector<CloneTaskPtr> m_tasks;
    // Each task under the key it was added with (its name then, letters folded to
    // lower case): a task renamed afterwards keeps its key until it is removed.
    std::unordered_map<std::string, CloneTaskPtr> m_byKey;
    std::string m_TaskListFileSpec;
    bool m_TaskNameContainedIllegalChar = false;
    // While an older-format file is converted: every task read, refused or not, in
    // line order, for the new file.
    bool m_converting = false;
    std::vector<CloneTaskPtr> m_converted;
    bool m_supportFolderLookedUp = false;
    bool m_supportFolderExists = false;
};

// The program-wide task list, created at start-up and replaced when another list
// is opened; null before.
extern cCloneTasks* gCloneTasks;

} // namespace kestrow
