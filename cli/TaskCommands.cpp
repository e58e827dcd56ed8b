#include "cli/TaskCommands.h"

#include "app/ProgramObjects.h"
#include "base/DateTime.h"
#include "cli/Arguments.h"
#include "cli/CloneCommand.h"
#include "cli/ConsoleRunHost.h"
#include "cli/VersionsFlags.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "log/CloneLog.h"
#include "platform/Signals.h"
#include "tasks/cCloneTasks.h"
#include "util/AsciiCase.h"
#include "util/FreshThread.h"
#include "util/Trim.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kestrow::cli {

namespace {

struct TaskArgs
{
    std::optional<std::string> taskList;
    std::vector<std::string> names;
    bool all = false;
    std::optional<std::string> category;
    bool quiet = false;
    ProgressChoice progress = ProgressChoice::Auto;
    VersionsFlags versions;
};

// The command whose arguments are read: list takes only --task-list.
enum class ArgsFor
{
    List,
    Run,
};

TaskArgs parse(int argc, char* argv[], int first, ArgsFor command)
{
    const bool forRun = command == ArgsFor::Run;
    TaskArgs a;
    for (int i = first; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&] { return optionValue(argc, argv, i); };
        if (arg == "--task-list")
            a.taskList = value();
        else if (forRun && arg == "--all")
            a.all = true;
        else if (forRun && arg == "--category")
            a.category = value();
        else if (forRun && (arg == "--quiet" || arg == "-q"))
            a.quiet = true;
        else if (forRun && (arg == "--progress" || arg == "--no-progress"))
            a.progress = arg == "--progress" ? ProgressChoice::On : ProgressChoice::Off;
        else if (forRun && a.versions.take(arg, value))
            continue;
        else if (forRun && arg == "--")
            for (++i; i < argc; ++i)
                a.names.emplace_back(argv[i]);
        else if (isOption(arg))
            throwUnknownOption(arg);
        else if (forRun)
            a.names.emplace_back(arg);
        else
            throwUnexpectedArgument(arg);
    }
    if (forRun) {
        const int ways = (a.names.empty() ? 0 : 1) + (a.all ? 1 : 0) + (a.category ? 1 : 0);
        if (ways != 1)
            throw UsageError{"run needs task names, --all or --category (one of them)"};
    }
    if (a.taskList && a.taskList->empty())
        throw UsageError{"--task-list needs a file name"};
    return a;
}

} // namespace

ListRead openTaskList(const std::optional<std::string>& taskList, const char* command, int& usageExit)
{
    usageExit = 0;
    if (!ReadProgramOptionsFromIniFile())
        return ListRead::Failed;
    if (taskList) {
        if (!FileExists(*taskList)) {
            std::cerr << "kestrow-cli " << command << ": task list " << *taskList << " does not exist\n";
            usageExit = ExitUsage;
            return ListRead::Failed;
        }
        gCloneTasks->setTaskListFileSpec(*taskList);
    }
    const bool complete = gCloneTasks->ReadAllTasksFromTaskListFile(gCloneTasks->TaskListFileSpec());
    gCloneTasks->SetNextScheduledTask();
    return complete ? ListRead::Complete : ListRead::Incomplete;
}

const char* listUsage()
{
    return "Usage: kestrow-cli list [--task-list FILE]\n"
           "\n"
           "Prints each task of a task list: its name, category, Source, Targets, next\n"
           "run, last run and whether the last run had errors.\n"
           "\n"
           "  --task-list FILE   the task list to read (default: the one kestrow.ini names,\n"
           "                     else \"Default Task List.kwt\" in the data folder)\n";
}

const char* runUsage()
{
    static const std::string text =
        std::string("Usage: kestrow-cli run NAME... | --all | --category CATEGORY [options]\n"
                    "\n"
                    "Runs saved tasks, in the order of the task list, exactly as the desktop\n"
                    "program runs them (priority rules, folder checks, every Target), and saves\n"
                    "each task's run time, next run and error flag to the task list file (only\n"
                    "those fields: edits made to the file meanwhile are kept).\n"
                    "\n"
                    "  NAME...              the tasks to run (names ignore letter case)\n"
                    "  --all                every task of the list\n"
                    "  --category CATEGORY  every task of that category\n"
                    "  --task-list FILE     the task list (default: the one kestrow.ini names,\n"
                    "                       else \"Default Task List.kwt\" in the data folder)\n"
                    "  -q, --quiet          no status texts on stderr\n"
                    "  --progress           a progress line on stderr while a task runs and a\n"
                    "                       summary after each (the default when stderr is a\n"
                    "                       terminal and without -q; elsewhere a plain line at most\n"
                    "                       once a second; with -q these alone)\n"
                    "  --no-progress        neither\n") +
        versionsFlagsUsage() +
        std::string("\n"
                    "The runs' log lines go to stdout and are appended to clone.log.\n"
                    "Exit status: 0 success, 1 a run had errors, 2 bad usage, 3 cancelled.\n");
    return text.c_str();
}

int runListCommand(int argc, char* argv[], int first)
{
    TaskArgs args;
    if (!parsedOrExplained("list", listUsage(), [&] { args = parse(argc, argv, first, ArgsFor::List); }))
        return ExitUsage;
    ProgramObjects objects;
    int usageExit = 0;
    const ListRead read = openTaskList(args.taskList, "list", usageExit);
    if (read == ListRead::Failed)
        return usageExit ? usageExit : ExitRunErrors;

    const auto& tasks = gCloneTasks->Tasks();
    std::cout << "Task list: " << gCloneTasks->TaskListFileSpec() << " (" << tasks.size()
              << (tasks.size() == 1 ? " task)\n" : " tasks)\n");
    for (const CloneTaskPtr& task : tasks) {
        const auto columns = ModifyTaskInListview(*task);
        std::cout << '\n' << task->TaskName() << '\n';
        std::cout << "    Category:  " << task->Category() << '\n';
        std::cout << "    Source:    " << task->SourceFolderSpec() << '\n';
        std::cout << "    Targets:   " << columns[2] << '\n';
        std::cout << "    Next run:  " << columns[3] << (task->IsNextScheduledTask() ? "  (runs next)" : "")
                  << '\n';
        std::cout << "    Last run:  " << (task->LastCloneDateTime() == 0 ? std::string("never") : columns[4])
                  << '\n';
        std::cout << "    Errors:    " << (task->ErrorOnLastClone() ? "yes" : "no") << '\n';
    }
    return read == ListRead::Complete ? ExitOk : ExitRunErrors;
}

int runRunCommand(int argc, char* argv[], int first)
{
    TaskArgs args;
    if (!parsedOrExplained("run", runUsage(), [&] { args = parse(argc, argv, first, ArgsFor::Run); }))
        return ExitUsage;
    ProgramObjects objects;
    int usageExit = 0;
    const ListRead read = openTaskList(args.taskList, "run", usageExit);
    if (read == ListRead::Failed)
        return usageExit ? usageExit : ExitRunErrors;
    const std::string spec = gCloneTasks->TaskListFileSpec();

    // The chosen tasks, in list order.
    std::vector<CloneTaskPtr> chosen;
    if (!args.names.empty()) {
        std::unordered_set<std::string> wanted;
        for (const std::string& name : args.names) {
            if (!gCloneTasks->Item(name)) {
                std::cerr << "kestrow-cli run: no task named '" << name << "' in " << spec << '\n';
                return ExitUsage;
            }
            wanted.insert(util::asciiLower(name));
        }
        for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
            if (wanted.contains(util::asciiLower(task->TaskName())))
                chosen.push_back(task);
        }
    } else if (args.category) {
        const std::string category = util::asciiLower(util::trimSpaces(*args.category));
        for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
            if (!category.empty() && util::asciiLower(task->Category()) == category)
                chosen.push_back(task);
        }
        if (chosen.empty())
            std::cerr << "kestrow-cli run: No tasks are in this category.\n";
    } else {
        chosen = gCloneTasks->Tasks();
    }

    // Nobody is there to confirm: the CLI performs what it planned.
    gClone->setConfirmSyncActions(false);
    args.versions.apply();
    ConsoleRunHost host(args.quiet, args.progress, true);
    ScopedRunHost hostScope(host);
    gCloneLog->setLineObserver([&host](const std::string& line) { host.echoLogLine(line); });
    platform::cancelOnSignals(CancelRequested, platform::HangUp::Cancels);

    bool errors = read != ListRead::Complete;
    bool cancelled = false;
    // Run fields are written for the tasks run since the last write, at most once a
    // second and at the end: a list of short tasks is not rewritten once per task,
    // and a long task is on record as soon as it ends.
    std::vector<std::string> unsaved;
    auto lastSave = std::chrono::steady_clock::now();
    auto save = [&] {
        if (unsaved.empty())
            return;
        if (!gCloneTasks->SaveRunFieldsToTaskListFile(spec, unsaved)) {
            for (const std::string& name : unsaved)
                std::cerr << "kestrow-cli run: could not save task '" << name << "' to " << spec << '\n';
            errors = true;
        }
        unsaved.clear();
        lastSave = std::chrono::steady_clock::now();
    };
    for (const CloneTaskPtr& task : chosen) {
        if (platform::signalCount() > 0) {
            cancelled = true;
            break;
        }
        // A fresh thread per run: the priority the rules set ends with it.
        util::runOnFreshThread([&task] { task->Execute(cCloneTask::kCloneRun); });
        if (task->ErrorOnLastClone())
            errors = true;
        unsaved.push_back(task->TaskName());
        if (std::chrono::steady_clock::now() - lastSave >= std::chrono::seconds(1))
            save();
        if (platform::signalCount() > 0 || CancelRequested) {
            cancelled = true;
            break;
        }
    }
    save();
    gCloneLog->setLineObserver({});
    if (cancelled)
        return ExitCancelled;
    return errors ? ExitRunErrors : ExitOk;
}

} // namespace kestrow::cli
