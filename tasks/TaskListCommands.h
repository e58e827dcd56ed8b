#pragma once
// The commands on task lists and their files in the data folder, for any front end:
// a new list, opening another list, saving a copy, deleting a task with its files.
// Refusals go through the UI services with the texts the desktop program shows; the
// caller asks for names and files its own way and refreshes its own view afterwards.
// Errors are thrown for the caller's Guarded.

#include <functional>
#include <string>
#include <vector>

namespace kestrow {

class cCloneTasks;

enum class NewTaskListOutcome
{
    NoName,      // nothing but blanks was given: nothing said, nothing made
    IllegalName, // "Illegal Task List Name" was shown
    NameTaken,   // "Name Already Exists" was shown; the caller may ask again
    Created,
};

struct NewTaskList
{
    NewTaskListOutcome outcome = NewTaskListOutcome::NoName;
    std::string fileSpec; // gstrAppPath + name + ".kwt" once Created
};

// Makes the empty file of a new task list called `typedName` (blanks around it
// dropped) in the data folder, unless the name is empty, holds a character illegal
// in file names, or names a list file that exists. The list itself is not opened.
// RuntimeError 76 when the file cannot be made.
NewTaskList CreateNewTaskListFile(const std::string& typedName);

// Hands back the program-wide list emptied: a fresh list without a file in place of
// gCloneTasks. The owner of the program's objects supplies it.
using FreshTaskList = std::function<cCloneTasks&()>;

// Saves the open list (when there is one) to its own file in `rowOrder`, then makes
// `fileSpec` the task list: a fresh list bound to that file and read from it, which
// is returned. Reading reports its own errors; the tasks read before one stay.
cCloneTasks& SwitchTaskList(const std::vector<std::string>& rowOrder, const std::string& fileSpec,
                            const FreshTaskList& freshList);

// Saves the open list in `rowOrder` to `fileSpec`; the list stays bound to its own file.
void SaveTaskListAs(const std::vector<std::string>& rowOrder, const std::string& fileSpec);

// Deletes the task `name` from the open list, its section from the list's file, and
// its include file (gstrAppPath + name + ".kwi") when there is one.
void DeleteTaskFromList(const std::string& name);

// Gives the task `oldName` of the open list the name `newName` through
// cCloneTasks::Rename (at the task's place in the list; the new section saved, the
// old one deleted), and moves its include file (gstrAppPath + name + ".kwi") along
// when there is one and no file of the new name is in its way. False when the list
// does not hold the task under its new name alone afterwards.
bool RenameTaskInList(const std::string& oldName, const std::string& newName);

} // namespace kestrow
