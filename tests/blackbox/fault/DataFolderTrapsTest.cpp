// Traps laid in the data folder: symbolic links planted at the options file, a task
// list, their update locks and the single-instance lock, pointing outside, and a
// data folder that other users may write. The real saves, the real start-up and the
// built kestrow-cli run on them; nothing outside changes, and the person is told.

#include "tests/support/FaultSupport.h"

#include "app/ProgramObjects.h"
#include "app/ProgramOptions.h"
#include "app/Startup.h"
#include "base/AppState.h"
#include "platform/InstanceLock.h"
#include "platform/SystemInfo.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "zelcommon/ZelCommon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kestrow::test {
namespace {

constexpr const char* kLinkStatement =
    " is a symbolic link; Kestrow does not open files of its data folder through links.";

class DataFolderTrapsTest : public ::testing::Test
{
protected:
    DataFolderTrapsTest()
    {
        std::string failed;
        if (!zc::load(platform::executableFolder(), failed))
            ADD_FAILURE() << "cannot load " << failed;
    }

    // A link at `name` in the data folder to `outside/<name>` holding "outside text"
    // (or to nothing there when `dangling`).
    std::string plantLink(const std::string& name, bool dangling = false) const
    {
        fs::create_directories(tmp / "outside");
        const std::string target = tmp / ("outside/" + name);
        if (!dangling)
            tmp.writeFile("outside/" + name, "outside text");
        fs::create_symlink(target, tmp.dataFolder() + name);
        return target;
    }
    void expectOutsideUnchanged(const std::string& target, bool dangling) const
    {
        if (dangling) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << target << " was created through the link";
        } else {
            EXPECT_EQ(tmp.readFile(target), "outside text");
        }
    }
    // Exactly one message, titled `title`, stating that `name` is a link.
    void expectStatement(const std::string& title, const std::string& name) const
    {
        const auto messages = scripted.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, title);
        EXPECT_NE(messages[0].text.find(tmp.dataFolder() + name + kLinkStatement), std::string::npos)
            << messages[0].text;
    }

    TempDir tmp;
    ScriptedUiServices scripted;
};

TEST_F(DataFolderTrapsTest, OptionsSaveRefusesLinksAtTheFileAndAtItsLock)
{
    struct Row
    {
        const char* planted;
        bool dangling;
    };
    const Row rows[] = {
        {"kestrow.ini", false},
        {".kestrow.ini.lock", false},
        {".kestrow.ini.lock", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.planted) + (row.dangling ? " (dangling)" : ""));
        TempDir dir;
        ScriptedUiServices ui;
        ProgramObjects objects;
        if (std::string(row.planted) != "kestrow.ini")
            dir.writeFile("data/kestrow.ini", "[Log]\nMaxSize=200\n");
        fs::create_directories(dir / "outside");
        const std::string target = dir / (std::string("outside/") + row.planted);
        if (!row.dangling)
            dir.writeFile(std::string("outside/") + row.planted, "outside text");
        fs::create_symlink(target, dir.dataFolder() + row.planted);

        ProgramOptions W;
        EXPECT_FALSE(SaveProgramOptionsToIniFile(W));
        if (row.dangling) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
        } else {
            EXPECT_EQ(dir.readFile(target), "outside text");
        }
        const auto messages = ui.messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages[0].title, "Unexpected Error in modIniFile.SaveProgramOptionsToIniFile");
        EXPECT_NE(messages[0].text.find(dir.dataFolder() + row.planted + kLinkStatement), std::string::npos)
            << messages[0].text;
        EXPECT_TRUE(fs::is_symlink(dir.dataFolder() + row.planted)) << "the planted link was replaced";
        if (std::string(row.planted) != "kestrow.ini") {
            EXPECT_EQ(dir.readFile("data/kestrow.ini"), "[Log]\nMaxSize=200\n") << "saved without its lock";
        }
    }
}

TEST_F(DataFolderTrapsTest, TaskListSaveRefusesLinksAtTheFileAndAtItsLock)
{
    for (const char* planted : {"Tasks.kwt", ".Tasks.kwt.lock"}) {
        SCOPED_TRACE(planted);
        scripted.clear();
        fs::remove_all(tmp / "outside");
        for (const auto& e : fs::directory_iterator(tmp.dataFolder()))
            fs::remove(e.path());
        const std::string list = tmp.writeFile("data/Tasks.kwt", "[Backup]\nSourceFolderSpec=/srv/a/\n");
        cCloneTasks tasks;
        ASSERT_TRUE(tasks.ReadAllTasksFromTaskListFile(list));
        const std::string before = tmp.readFile(list);
        if (std::string(planted) == "Tasks.kwt") {
            fs::remove(list);
            plantLink(planted);
        } else {
            plantLink(planted, true);
        }

        EXPECT_FALSE(tasks.SaveTaskToTaskListFile(list, "Backup"));
        expectStatement("Unexpected Error in cCloneTasks.SaveTaskToTaskListFile", planted);
        expectOutsideUnchanged(tmp / (std::string("outside/") + planted),
                               std::string(planted) != "Tasks.kwt");
        if (std::string(planted) != "Tasks.kwt") {
            EXPECT_EQ(tmp.readFile(list), before);
        }
    }
}

TEST_F(DataFolderTrapsTest, StartUpWithALinkAtTheInstanceLockSaysSoAndCreatesNothing)
{
    const std::string target = plantLink(".kestrow.lock", true);
    ShellHost host;
    KestrowShell shell(host);
    EXPECT_FALSE(shell.Main());
    expectStatement("Unexpected Error in modKestrow.Main", ".kestrow.lock");
    expectOutsideUnchanged(target, true);
}

// Black box: the warning for a data folder others may write, once per start, on
// stderr and in clone.log; a folder only its owner may write gives none.
TEST_F(DataFolderTrapsTest, CliWarnsOnceAboutADataFolderOthersMayWrite)
{
    if (CliPath().empty())
        GTEST_SKIP() << "this build has no kestrow-cli";
    const std::string warning =
        "Warning: the data folder " + tmp.dataFolder() +
        " can be written by other users; files planted there could change what Kestrow does.";
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    struct Row
    {
        mode_t mode;
        int warnings;
    };
    for (const Row row : {Row{0770, 1}, Row{0702, 1}, Row{01777, 0}, Row{0755, 0}}) {
        SCOPED_TRACE(std::to_string(row.mode));
        fs::remove(tmp.dataFolder() + "clone.log");
        ASSERT_EQ(::chmod(tmp.dataFolder().c_str(), row.mode), 0);
        const CliResult r = RunCli({"list"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(count(r.err, warning), row.warnings) << r.err;
        EXPECT_EQ(count(r.out, warning), 0) << "the warning belongs on stderr";
        EXPECT_EQ(count(tmp.readFile("data/clone.log"), warning), row.warnings);
    }
}

// Black box: a clone whose Target lock folder was replaced by a link makes no lock
// file where the link points, and the clone itself still happens.
TEST_F(DataFolderTrapsTest, CliCloneMakesNoTargetLockThroughALinkedLockFolder)
{
    if (CliPath().empty())
        GTEST_SKIP() << "this build has no kestrow-cli";
    tmp.writeFile("src/a.txt", "a");
    tmp.makeDir("tgt");
    tmp.makeDir("outside/locks");
    fs::create_symlink(tmp / "outside/locks", tmp.dataFolder() + "target-locks");
    const CliResult r = RunCli({"clone", tmp / "src", tmp / "tgt", "-q"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tmp.readFile("tgt/a.txt"), "a");
    EXPECT_TRUE(fs::is_empty(tmp / "outside/locks"));
}

} // namespace
} // namespace kestrow::test
