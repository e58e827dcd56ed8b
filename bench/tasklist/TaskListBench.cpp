// Times a task list of 1000 tasks written and read by cCloneTasks: every save goes
// through the INI batch (one read of the file, the changes in memory, one atomic
// write), every read through one parse of the whole file.
//
//   bench_tasklist [folder] [rounds]
//
// The file goes into a fresh folder under `folder` (default: the system temporary
// folder), which is removed afterwards. Prints the best and median of `rounds`
// (default 7) for each step:
//   save all      SaveAllTasksToTaskListFile of 1000 tasks into an empty file
//   load          ReadAllTasksFromTaskListFile of that file into a new list
//   save ordered  SaveOrderedTaskListToTaskListFile (every section deleted and
//                 written again in row order), as the program does at exit
//   save one      SaveTaskToTaskListFile of one task into the 1000-task file, as
//                 after an edit
//   run fields    SaveRunFieldsToTaskListFile of one task, as after a daemon's or
//                 the desktop program's run
//   run all       SaveRunFieldsToTaskListFile of all 1000 tasks in one write, as
//                 `kestrow-cli run --all` does for the tasks run within a second

#include "tasks/cCloneTasks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kestrow;

namespace {

constexpr int Tasks = 1000;

CloneTaskPtr makeTask(int i)
{
    auto t = std::make_shared<cCloneTask>();
    const std::string n = std::to_string(i);
    t->setTaskName("Backup task " + n);
    t->setSourceFolderSpec("/home/user/Projects/project " + n + "/");
    t->setTargetFolderSpec("/media/user/USB/Backups/project " + n + "/<:>/srv/backup/project " + n + "/");
    t->setIntervalType(1 + i % 6);
    t->setIntervalIncrement(1 + i % 30);
    t->setStartTime((i % 1440) / 1440.0);
    t->setDaysOfWeek(1 + i % 127);
    t->setLastCloneDateTime(46083.0 + i / 997.0);
    t->setNextCloneDateTime(46084.0 + i / 991.0);
    t->setErrorOnLastClone(i % 7 == 0);
    if (i % 3 == 0) {
        t->setIncludeFileSpecs("/home/user/Projects/project " + n + "/src/<:>/home/user/Projects/project " +
                               n + "/docs/");
        t->setExcludeFileMasks("*.o,*.tmp,~*");
    }
    t->setCategory(i % 2 ? "Work" : "Personal");
    return t;
}

double millisecondsOf(const std::function<void()>& step)
{
    const auto start = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* name, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-14s best %8.2f ms   median %8.2f ms\n", name, times.front(), times[times.size() / 2]);
}

} // namespace

int main(int argc, char* argv[])
{
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const fs::path dir =
        base / ("kestrow-bench-tasklist-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007));
    fs::create_directories(dir);
    const std::string file = (dir / "Bench.kwt").string();

    cCloneTasks list;
    for (int i = 0; i < Tasks; ++i)
        list.Add(makeTask(i), -1, true);
    std::vector<std::string> rows;
    for (const CloneTaskPtr& t : list.Tasks())
        rows.push_back(t->TaskName());
    std::reverse(rows.begin(), rows.end());

    std::vector<double> saveAll, load, saveOrdered, saveOne, runFields, runAll;
    int loaded = 0;
    for (int r = 0; r < rounds; ++r) {
        fs::remove(file);
        saveAll.push_back(millisecondsOf([&] { list.SaveAllTasksToTaskListFile(file); }));
        load.push_back(millisecondsOf([&] {
            cCloneTasks back;
            back.ReadAllTasksFromTaskListFile(file);
            loaded = back.Count();
        }));
        saveOrdered.push_back(millisecondsOf([&] { list.SaveOrderedTaskListToTaskListFile(rows, file); }));
        saveOne.push_back(millisecondsOf([&] { list.SaveTaskToTaskListFile(file, "Backup task 500"); }));
        for (const CloneTaskPtr& t : list.Tasks())
            t->setLastCloneDateTime(46000 + r + 0.5);
        runFields.push_back(
            millisecondsOf([&] { list.SaveRunFieldsToTaskListFile(file, {"Backup task 500"}); }));
        runAll.push_back(millisecondsOf([&] { list.SaveRunFieldsToTaskListFile(file, rows); }));
    }
    std::printf("%d tasks, file %.2f MB, %d read back, %d rounds\n", Tasks,
                static_cast<double>(fs::file_size(file)) / 1e6, loaded, rounds);
    report("save all", saveAll);
    report("load", load);
    report("save ordered", saveOrdered);
    report("save one", saveOne);
    report("run fields", runFields);
    report("run all", runAll);
    fs::remove_all(dir);
    return loaded == Tasks ? 0 : 1;
}
