// Several programs saving one task list or one options file at once, as the
// desktop program, the daemon and `kestrow-cli run` do on one data folder: every
// save reads the file, changes its own part and renames a new file over it, so
// without ordering one program writes back a copy read before another's save.

#include "tests/support/CloneTestSupport.h"
#include "tests/support/FaultSupport.h"

#include "app/ProgramObjects.h"
#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "settings/CIniFile.h"
#include "settings/IniDocument.h"
#include "tasks/TaskListFile.h"
#include "tasks/cCloneTasks.h"

#include <functional>
#include <string>
#include <vector>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrow::test {
namespace {

class ConcurrentSaveTest : public CloneTest
{
protected:
    // Runs `work(k)` in `count` child processes at once and waits for them all;
    // each child's exit status is the number of its saves that failed.
    static void inProcesses(int count, const std::function<int(int)>& work)
    {
        // The children start together, so their saves overlap for the whole run.
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        std::vector<pid_t> children;
        for (int k = 0; k < count; ++k) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(go[1]);
                char c;
                while (::read(go[0], &c, 1) > 0) {
                }
                ::_exit(std::min(work(k), 100));
            }
            ASSERT_GT(pid, 0);
            children.push_back(pid);
        }
        ::close(go[0]);
        ::close(go[1]);
        for (const pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
            if (WIFEXITED(status)) {
                EXPECT_EQ(WEXITSTATUS(status), 0) << "saves failed in a child";
            }
        }
    }

    static std::string taskName(int process, int i)
    {
        return "P" + std::to_string(process) + " task " + std::to_string(i);
    }
};

// Each process adds tasks of its own one save at a time (as New Task and a run's
// save of its times do): a section lost once is never written again, so the end
// state shows every lost update.
TEST_F(ConcurrentSaveTest, ProcessesSavingDifferentTasksOfOneListLoseNone)
{
    constexpr int kProcesses = 4, kEach = 40;
    const std::string list = tmp.writeFile("lists/Shared.kwt", "[Seed]\nSourceFolderSpec=/seed/\n");
    inProcesses(kProcesses, [&](int k) {
        cCloneTasks tasks;
        tasks.setTaskListFileSpec(list);
        int failed = 0;
        for (int i = 0; i < kEach; ++i) {
            auto task = std::make_shared<cCloneTask>();
            task->setTaskName(taskName(k, i));
            task->setSourceFolderSpec("/src/" + std::to_string(k) + "/" + std::to_string(i) + "/");
            task->setTargetFolderSpec("/tgt/" + std::to_string(k) + "/");
            tasks.Add(task, -1, true);
            if (!tasks.SaveTaskToTaskListFile(list, task->TaskName()))
                ++failed;
        }
        // A removal is a read-modify-write as well: the first task goes again.
        if (!tasks.RemoveTaskFromTaskListFile(list, taskName(k, 0)))
            ++failed;
        return failed;
    });

    const IniDocument saved(read(list));
    EXPECT_EQ(saved.value("Seed", "SourceFolderSpec").value_or(""), "/seed/");
    std::vector<std::string> lost;
    for (int k = 0; k < kProcesses; ++k) {
        EXPECT_FALSE(saved.hasSection(taskName(k, 0))) << "a removal was undone";
        for (int i = 1; i < kEach; ++i) {
            const std::string expected = "/src/" + std::to_string(k) + "/" + std::to_string(i) + "/";
            if (saved.value(taskName(k, i), "SourceFolderSpec").value_or("") != expected)
                lost.push_back(taskName(k, i));
        }
    }
    EXPECT_TRUE(lost.empty()) << lost.size() << " tasks lost, e.g. " << lost.front();
    // The file is whole: every task reads back, each section once.
    cCloneTasks reread;
    EXPECT_TRUE(reread.ReadAllTasksFromTaskListFile(list));
    EXPECT_EQ(reread.Count(), 1 + kProcesses * (kEach - 1));
    EXPECT_TRUE(scripted.prompts().empty());
}

// The options file: programs writing single values (CIniFile) while another saves
// all the program's options (as the desktop program does on closing a dialog). The
// values of each stay.
TEST_F(ConcurrentSaveTest, OptionsSavedByOneProgramWhileOthersWriteValuesLoseNothing)
{
    constexpr int kWriters = 3, kEach = 40;
    tmp.writeFile("data/kestrow.ini", "[Miscellaneous]\nCopyMethod=1\n");
    inProcesses(kWriters + 1, [&](int k) {
        if (k == kWriters) {
            ProgramObjects objects;
            ProgramOptions W;
            if (!ReadProgramOptionsFromIniFile(W))
                return 1;
            int failed = 0;
            for (int i = 0; i < kEach; ++i) {
                gClone->setMaxDeletePercent(i % 100);
                if (!SaveProgramOptionsToIniFile(W))
                    ++failed;
            }
            return failed;
        }
        for (int i = 0; i < kEach; ++i) {
            CIniFile ini;
            ini.setName("kestrow.ini");
            ini.setSection("Writer " + std::to_string(k));
            ini.setKey("Value" + std::to_string(i));
            ini.SetStringValue(std::to_string(k * 1000 + i));
        }
        return 0;
    });

    const IniDocument saved(read(tmp.dataFolder() + "kestrow.ini"));
    int lost = 0;
    for (int k = 0; k < kWriters; ++k) {
        for (int i = 0; i < kEach; ++i) {
            if (saved.value("Writer " + std::to_string(k), "Value" + std::to_string(i)) !=
                std::to_string(k * 1000 + i))
                ++lost;
        }
    }
    EXPECT_EQ(lost, 0);
    // The whole save's last values are there too.
    EXPECT_EQ(saved.value("Miscellaneous", "MaxDeletePercent").value_or(""), std::to_string(kEach - 1));
    EXPECT_EQ(saved.value("Miscellaneous", "CopyMethod").value_or(""), "1");
}

// Black box: `kestrow-cli run` processes running different tasks of one list at
// once, each saving its task's run times when it ends.
TEST_F(ConcurrentSaveTest, CliRunsOfDifferentTasksAtOnceKeepEveryRunTime)
{
    if (CliPath().empty())
        GTEST_SKIP() << "this build has no kestrow-cli";
    constexpr int kTasks = 4, kRounds = 4;
    std::string fresh;
    for (int k = 0; k < kTasks; ++k) {
        const std::string n = std::to_string(k);
        file("src" + n + "/f.txt", "data " + n);
        folder("tgt" + n);
        fresh += "[Task " + n + "]\nSourceFolderSpec=" + root() + "src" + n +
                 "/\nTargetFolderSpec=" + root() + "tgt" + n + "/\nLastCloneDateTime=0\n";
    }
    const std::string list = root() + "lists/Runs.kwt";
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        tmp.writeFile("lists/Runs.kwt", fresh);
        std::vector<int> pids;
        for (int k = 0; k < kTasks; ++k)
            pids.push_back(StartCli({"run", "Task " + std::to_string(k), "--task-list", list, "-q"}));
        for (const int pid : pids) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const IniDocument saved(read(list));
        for (int k = 0; k < kTasks; ++k) {
            const std::string section = "Task " + std::to_string(k);
            EXPECT_NE(saved.value(section, "LastCloneDateTime").value_or("0"), "0")
                << section << " lost its run";
            EXPECT_EQ(saved.value(section, "ErrorOnLastClone").value_or(""), "False") << section;
        }
    }
    for (int k = 0; k < kTasks; ++k)
        EXPECT_EQ(read(root() + "tgt" + std::to_string(k) + "/f.txt"), "data " + std::to_string(k));
}

} // namespace
} // namespace kestrow::test
