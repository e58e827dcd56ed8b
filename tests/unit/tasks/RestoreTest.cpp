// The restore without its window: real Source and Target trees, the real task run,
// scripted messages.

#include "engine/RunControl.h"
#include "tasks/cRestore.h"
#include "tests/support/TaskTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrow;
using namespace kestrow::test;

namespace fs = std::filesystem;

namespace {

class RestoreTest : public TaskTest
{
protected:
    RestoreTest()
    {
        // Normal priority all day: a run on this thread leaves its priority as it was.
        cPriorityRule normal;
        normal.StartTime = 0;
        normal.EndTime = 1439.0 / 1440.0;
        normal.Priority = 32;
        rules.Add(normal);

        target = tmp / "backup/";
        source = tmp / "docs/";
        tmp.writeFile("backup/a/x.txt", "target x");
        tmp.writeFile("backup/a/y.txt", "target y");
        tmp.writeFile("backup/b/z.txt", "target z");
        tmp.writeFile("backup/top.txt", "target top");
        // The Source's copy is newer and differs: a restore still replaces it.
        tmp.writeFile("docs/top.txt", "source top, edited later");
        tmp.writeFile("docs/extra.txt", "only in the source");
        tmp.writeFile("docs/a/old.txt", "only in the source");
        fs::last_write_time(target + "top.txt", fs::file_time_type::clock::now() - std::chrono::hours(2));

        restore.setTaskName("Docs");
        restore.setSourceFolderSpec(source);
        restore.setTargetFolderSpec(target);
        restore.setIncludeSubFolders(true);

        // The user's own settings, which a restore must leave as they were.
        clone.setDeleteMethod(3);
        clone.setCopyOnlyIfNewer(true);

        frontEnd.runStateChanged = [this](bool running) { runStates.push_back(running); };
        frontEnd.runWork = [this](const std::function<void()>& work) {
            optionsDuringRun = {clone.DeleteMethod(), clone.CopyOnlyIfNewer()};
            // On a worker, as the window runs it.
            std::thread worker(work);
            worker.join();
        };
    }

    // A file's content, or "<missing>".
    static std::string content(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return "<missing>";
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static bool exists(const std::string& path)
    {
        std::error_code ec;
        return fs::exists(fs::symlink_status(path, ec));
    }

    void expectUserOptions()
    {
        EXPECT_EQ(clone.DeleteMethod(), 3);
        EXPECT_TRUE(clone.CopyOnlyIfNewer());
    }

    // What the Source must still hold after any restore: nothing is deleted.
    void expectNothingDeleted()
    {
        EXPECT_EQ(content(source + "extra.txt"), "only in the source");
        EXPECT_EQ(content(source + "a/old.txt"), "only in the source");
    }

    std::string target;
    std::string source;
    cRestore restore;
    RestoreFrontEnd frontEnd;
    std::vector<bool> runStates;
    std::pair<int, bool> optionsDuringRun{-1, true};
};

TEST_F(RestoreTest, ChosenItemsAreCopiedBackAndNothingElse)
{
    const RestoreOutcome outcome =
        RunRestore(restore, true, target + "a/" + "<:>" + target + "top.txt", frontEnd);

    EXPECT_EQ(outcome, RestoreOutcome::Succeeded);
    EXPECT_EQ(content(source + "a/x.txt"), "target x");
    EXPECT_EQ(content(source + "a/y.txt"), "target y");
    EXPECT_EQ(content(source + "top.txt"), "target top")
        << "a differing Source file is replaced even when newer";
    EXPECT_FALSE(exists(source + "b")) << "an unchecked folder is not restored";
    expectNothingDeleted();
    // The Target is only read.
    EXPECT_EQ(content(target + "b/z.txt"), "target z");

    EXPECT_EQ(optionsDuringRun, (std::pair<int, bool>{2, false}));
    expectUserOptions();
    EXPECT_EQ(runStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Restore Source|Restore successfully completed."});
    EXPECT_EQ(scripted.messages().back().icon, MsgIcon::Information);
    const std::string logText = content(log.LogFileSpec());
    EXPECT_NE(logText.find("<Begin: RESTORE SOURCE: Docs>"), std::string::npos) << logText;
}

// A folder whose path is far past the kernel's limit comes back like any other.
TEST_F(RestoreTest, AnItemDeeperThanThePathLimitIsRestored)
{
    // 30 levels of 200 bytes below backup/: made and read level by level.
    const std::string level(200, 'r');
    auto descend = [&](const std::string& base, bool make) {
        int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; fd >= 0 && i < 30; ++i) {
            if (make)
                ::mkdirat(fd, level.c_str(), 0755);
            const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        return fd;
    };
    std::string relative;
    for (int i = 0; i < 30; ++i)
        relative += level + "/";
    const int deepTarget = descend(target, true);
    ASSERT_GE(deepTarget, 0);
    const int out = ::openat(deepTarget, "deep.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(out, 0);
    ASSERT_EQ(::write(out, "deep", 4), 4);
    ::close(out);
    ::close(deepTarget);

    EXPECT_EQ(RunRestore(restore, true, target + relative, frontEnd), RestoreOutcome::Succeeded)
        << ::testing::PrintToString(messageTexts());
    const int deepSource = descend(source, false);
    ASSERT_GE(deepSource, 0) << "the deep folder was not restored";
    char text[8] = {};
    const int in = ::openat(deepSource, "deep.txt", O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(in >= 0 ? ::read(in, text, sizeof text) : -1, 4);
    EXPECT_EQ(std::string(text), "deep");
    if (in >= 0)
        ::close(in);
    ::close(deepSource);
    expectNothingDeleted();
    // Deep trees are left for the fixture's removal, which goes by path: take them down here.
    const auto quoted = [](const std::string& text) { return "'" + text + "'"; }; // temporary paths only
    EXPECT_EQ(std::system(("cd " + quoted(target) + " && rm -rf " + level + " && cd " + quoted(source) +
                           " && rm -rf " + level)
                              .c_str()),
              0);
}

TEST_F(RestoreTest, TheTargetFolderItselfRestoresEverything)
{
    EXPECT_EQ(RunRestore(restore, true, target, frontEnd), RestoreOutcome::Succeeded);

    EXPECT_EQ(content(source + "a/x.txt"), "target x");
    EXPECT_EQ(content(source + "b/z.txt"), "target z");
    EXPECT_EQ(content(source + "top.txt"), "target top");
    expectNothingDeleted();
    expectUserOptions();
}

TEST_F(RestoreTest, AMissingSourceFolderIsCreatedFirst)
{
    fs::remove_all(source);
    restore.setSourceFolderSpec(tmp / "gone/deeper/");

    EXPECT_EQ(RunRestore(restore, true, target + "top.txt", frontEnd), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(tmp / "gone/deeper/top.txt"), "target top");
}

// A dry run: the plan is made and kept, nothing is written, a missing Source is not created.
TEST_F(RestoreTest, APlanOnlyRestorePlansAndMakesNothing)
{
    for (const bool sourceExists : {true, false}) {
        SCOPED_TRACE(sourceExists ? "an existing Source" : "a missing Source");
        const std::string into = sourceExists ? source : std::string(tmp / "gone/deeper/");
        restore.setSourceFolderSpec(into);
        clone.setPlanOnly(true);
        clone.setCreateTargetFolder(false);

        EXPECT_EQ(RunRestore(restore, true, target + "top.txt", frontEnd), RestoreOutcome::Succeeded)
            << ::testing::PrintToString(messageTexts());
        std::vector<std::string> plan;
        clone.GetPlannedActionStrings(plan);
        // The missing Source's creation comes first, as a new Target's does.
        std::vector<std::string> expected;
        if (!sourceExists)
            expected.push_back("     CREATE FOLDER     " + into);
        expected.push_back("     COPY FILE     \"top.txt\"  FROM  " + target + "  TO  " + into);
        EXPECT_EQ(plan, expected);
        EXPECT_EQ(content(source + "top.txt"), "source top, edited later");
        EXPECT_FALSE(exists(tmp / "gone")) << "a dry run created the Source";
        EXPECT_FALSE(clone.CreateTargetFolder());
        expectUserOptions();
        clone.setPlanOnly(false);
    }
}

TEST_F(RestoreTest, AnItemThatCannotBeCopiedEndsWithErrors)
{
    // A folder in the Source where the Target has a file of that name.
    tmp.writeFile("backup/clash", "a file in the target");
    tmp.writeFile("docs/clash/inner.txt", "kept");

    EXPECT_EQ(RunRestore(restore, true, target, frontEnd), RestoreOutcome::CompletedWithErrors);

    EXPECT_EQ(messageTexts(),
              std::vector<std::string>{"Restore Source|Restore complete with errors.  See Log for details."});
    EXPECT_EQ(scripted.messages().back().icon, MsgIcon::Information);
    EXPECT_EQ(content(source + "clash/inner.txt"), "kept");
    EXPECT_EQ(content(source + "a/x.txt"), "target x") << "the other items are still restored";
    EXPECT_EQ(optionsDuringRun, (std::pair<int, bool>{2, false}));
    expectUserOptions();
    EXPECT_EQ(runStates, (std::vector<bool>{true, false}));
}

TEST_F(RestoreTest, ACancelledRunSaysSoAndPutsTheOptionsBack)
{
    // The cancel command arrives as soon as the run first lets events through.
    host.onProcessEvents = [] { CancelRequested = true; };

    EXPECT_EQ(RunRestore(restore, true, target, frontEnd), RestoreOutcome::Cancelled);

    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Restore Source|Restore cancelled by user"});
    EXPECT_EQ(content(source + "top.txt"), "source top, edited later");
    EXPECT_FALSE(exists(source + "b"));
    expectUserOptions();
    EXPECT_EQ(runStates, (std::vector<bool>{true, false}));
}

TEST_F(RestoreTest, AFailureInsideTheRunStillPutsTheOptionsBack)
{
    frontEnd.runWork = [](const std::function<void()>&) { throw std::runtime_error("worker failed"); };

    EXPECT_EQ(RunRestore(restore, true, target, frontEnd), RestoreOutcome::NoOutcome);

    ASSERT_EQ(scripted.messages().size(), 1u);
    EXPECT_EQ(scripted.messages()[0].title, "Unexpected Error in frmRestore.cmdRestore_Click");
    expectUserOptions();
    EXPECT_EQ(runStates, (std::vector<bool>{true, false}));
}

TEST_F(RestoreTest, WithoutAFrontEndTheTaskRunsOnTheCallingThread)
{
    EXPECT_EQ(RunRestore(restore, true, target + "b/"), RestoreOutcome::Succeeded);
    EXPECT_EQ(content(source + "b/z.txt"), "target z");
    expectUserOptions();
}

struct RefusalRow
{
    const char* name;
    enum class SourceKind
    {
        Usable,
        Empty,
        BelowAFile
    } source;
    bool treeHasNodes;
    bool emptySelection;
    std::string expected; // "<source>" stands for the Source path
};

class RestoreRefusalTest : public RestoreTest, public ::testing::WithParamInterface<RefusalRow>
{
};

TEST_P(RestoreRefusalTest, StopsBeforeTheRunAndChangesNothing)
{
    const RefusalRow& row = GetParam();
    std::string sourcePath = source;
    if (row.source == RefusalRow::SourceKind::Empty)
        sourcePath.clear();
    if (row.source == RefusalRow::SourceKind::BelowAFile)
        sourcePath = tmp.writeFile("plain-file", "x") + "/sub/";
    restore.setSourceFolderSpec(sourcePath);

    const RestoreOutcome outcome =
        RunRestore(restore, row.treeHasNodes, row.emptySelection ? std::string() : target, frontEnd);

    EXPECT_EQ(outcome, RestoreOutcome::NoOutcome);
    std::string expected = row.expected;
    if (const size_t at = expected.find("<source>"); at != std::string::npos)
        expected.replace(at, 8, sourcePath);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Restore Source|" + expected});
    EXPECT_EQ(scripted.messages().back().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(runStates.empty());
    EXPECT_EQ(optionsDuringRun.first, -1) << "the task never ran";
    expectUserOptions();
    EXPECT_EQ(content(source + "top.txt"), "source top, edited later");
    EXPECT_EQ(content(log.LogFileSpec()), "<missing>");
}

const std::string kCannotCreate = "Unable to create the missing source folder.\nMake sure that the drive is "
                                  "available and that you have permission to access it.\n\n<source>";

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreRefusalTest,
    ::testing::Values(
        RefusalRow{"SourceBelowAPlainFile", RefusalRow::SourceKind::BelowAFile, true, false, kCannotCreate},
        RefusalRow{"EmptySourcePath", RefusalRow::SourceKind::Empty, true, false, kCannotCreate},
        RefusalRow{"TreeWithoutNodes", RefusalRow::SourceKind::Usable, false, false,
                   "Source folder contains no contents."},
        RefusalRow{"NothingChecked", RefusalRow::SourceKind::Usable, true, true,
                   "No files or folders have been selected to be Restored."},
        // The Source is checked first: an unusable one wins over an empty selection.
        RefusalRow{"BadSourceAndNothingChecked", RefusalRow::SourceKind::BelowAFile, true, true,
                   kCannotCreate}),
    [](const ::testing::TestParamInfo<RefusalRow>& info) { return std::string(info.param.name); });

} // namespace
