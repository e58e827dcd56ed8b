#pragma once
// kestrow-cli list [--task-list FILE]
// kestrow-cli run NAME... | --all | --category C [--task-list FILE] [-q]
//
// Both work on a saved task list: FILE, else the list kestrow.ini names, else
// "Default Task List.kwt" in the data folder. A FILE given that does not exist is
// bad usage; the default list is created empty when missing, as the desktop
// program does.

#include <optional>
#include <string>

namespace kestrow::cli {

enum class ListRead
{
    Complete,
    Incomplete,
    Failed
};

// Reads the options and the task list (`taskList`, else the default) into
// gCloneTasks; the ProgramObjects must exist. Failed: nothing can be done, and
// it was said (`usageExit` ExitUsage for a `taskList` that does not exist, else 0).
ListRead openTaskList(const std::optional<std::string>& taskList, const char* command, int& usageExit);

// Prints each task of the list: name, category, Source, Targets, next run, last
// run and error flag. Returns 0, 1 when the file could not be read to its end
// (the tasks read are still printed), or 2 for bad usage.
int runListCommand(int argc, char* argv[], int first);

// Runs the chosen tasks in list order, each through its Execute on a thread of
// its own (so each run's priority starts afresh), and saves each task's section
// (run times, error flag, next run) right after its run. Returns 0 when every
// task ran without error, 1 when one had errors (or the file could not be read to
// its end, or a save failed), 2 for bad usage (including a name not in the list),
// 3 when cancelled by SIGINT or SIGTERM (the tasks after it are not started).
int runRunCommand(int argc, char* argv[], int first);

const char* listUsage();
const char* runUsage();

} // namespace kestrow::cli
