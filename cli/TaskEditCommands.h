#pragma once
// kestrow-cli task add|edit|remove|show NAME [options]
//
// Creates, changes, deletes and prints saved tasks of a task list (FILE, else the
// list kestrow.ini names, else "Default Task List.kwt" in the data folder), with the
// checks and messages of the desktop program's Task Properties dialog and New Task
// command (tasks/TaskProperties.h), and through the task-list commands the desktop
// program uses. The list file's update lock is held from the reading of the list to
// the last save, so no other program's save falls in between.

namespace kestrow::cli {

// Runs `task` with argv[first] its sub-command. Exit status: 0 done; 1 refused (the
// message that says why is on stderr: a name or a value the dialog refuses, a
// folder problem, a list that could not be read to its end, a save that failed);
// 2 bad usage (an unknown option or value, a task not in the list, a missing list).
// Success prints nothing, except the section of `task show`.
int runTaskCommand(int argc, char* argv[], int first);

const char* taskUsage();

} // namespace kestrow::cli
