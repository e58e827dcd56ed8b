// Start-up and shutdown of the program: first and later starts, the single-instance
// lock, closing, shutting down and the end of the session, on a real data folder
// with the real libraries.

#include "app/ProgramOptions.h"
#include "app/Startup.h"
#include "base/AppState.h"
#include "engine/RunControl.h"
#include "settings/IniDocument.h"
#include "settings/StartAtLogin.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using M = OptionsMenuItem;
using test::ScriptedUiServices;
using test::TempDir;

class RecordingHost : public ShellHost
{
public:
    bool windowVisible() const override { return visible; }
    void setupToolbarAndStatusBar() override { calls.push_back("toolbar"); }
    void setTaskListCaption(const std::string& name) override { caption = name; }
    void refreshTaskList() override { calls.push_back("list"); }
    void showWindowAtStart() override
    {
        calls.push_back("show");
        visible = true;
    }
    void hideWindowToTray() override
    {
        calls.push_back("hide");
        visible = false;
    }
    void openQuickStartHelp(const std::string& file) override
    {
        calls.push_back("help");
        helpFile = file;
    }
    void showSysTrayReminder() override { calls.push_back("reminder"); }
    void armTimers() override { calls.push_back("timers"); }
    void waitForRunToEnd() override
    {
        calls.push_back("wait");
        cancelSeenWhileWaiting = CancelRequested;
        gblnCloneRunning = false; // the run's worker has ended
    }
    void releaseWindowResources() override { calls.push_back("release"); }
    std::vector<std::string> taskListRowTexts() const override
    {
        return rows.empty() ? ShellHost::taskListRowTexts() : rows;
    }

    bool called(const std::string& what) const { return std::ranges::find(calls, what) != calls.end(); }

    std::vector<std::string> calls;
    std::vector<std::string> rows;
    std::string caption;
    std::string helpFile;
    bool visible = false;
    bool cancelSeenWhileWaiting = false;
};

// Every file under a folder with its size and modification time.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> snapshot(const std::string& folder)
{
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    }
    return files;
}

const char* const kImportant = "Kestrow's purpose is to make a Target folder\n"
                               "identical to a Source folder. In order to do this, all orphan\n"
                               "files and folders in the Target folder will be DELETED.\n"
                               "\n"
                               "If you do not want orphans to be deleted, select\n"
                               "'Do Not Delete' from the Delete Methods menu.";

class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gblnShowSysTrayReminder = true;
        gblnCloneRunning = false;
        CancelRequested = false;
        glngDelayBeforeFirstTask = 0;
    }
    void TearDown() override
    {
        gblnCloneRunning = false;
        CancelRequested = false;
    }

    std::string allUsersEntry() const { return dir / "etc/xdg/autostart/kestrow.desktop"; }
    std::string userEntry() const { return dir / "home/.config/autostart/kestrow.desktop"; }
    std::string optionValue(const char* section, const char* key) const
    {
        return IniDocument(dir.readFile("data/kestrow.ini")).value(section, key).value_or("<missing>");
    }
    // A start that is not the first: an options file exists.
    void notFirstStart() const { dir.writeFile("data/kestrow.ini", "[Log]\nMaxSize=200\n"); }

    TempDir dir;
    ScriptedUiServices ui;
};

TEST_F(ShellTest, FirstStartShowsTheWindowTheHelpAndTheWarningAndStartsAtLogin)
{
    {
        RecordingHost host;
        KestrowShell shell(host);
        ASSERT_TRUE(shell.Main());
        ASSERT_TRUE(shell.Form_Load());
        EXPECT_TRUE(shell.firstStart());

        const std::vector<std::string> expected = {"toolbar", "list", "show", "help", "timers"};
        EXPECT_EQ(host.calls, expected);
        EXPECT_EQ(host.caption, "Default Task List");
        EXPECT_EQ(host.helpFile, gstrProgramPath + "help/quickstart.html");
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].title, "IMPORTANT - PLEASE READ!");
        EXPECT_EQ(ui.messages()[0].text, kImportant);
        EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Information);

        const std::string entry = dir.readFile(allUsersEntry());
        EXPECT_NE(entry.find("\nExec=" + gstrProgramPath + "kestrow\n"), std::string::npos) << entry;
        EXPECT_FALSE(fs::exists(userEntry()));
        EXPECT_TRUE(shell.options().checked(M::mnuOptionsRunOnWindowsStartupAnyUser));
        EXPECT_FALSE(fs::exists(dir / "data/kestrow.ini")) << "written at shutdown, not before";

        EXPECT_FALSE(shell.Form_QueryUnload(UnloadMode::FormCode));
        shell.Form_Unload();
        EXPECT_TRUE(host.called("release"));
    }
    EXPECT_EQ(optionValue("Miscellaneous", "RunOnWindowsStartup"), "AllUsers");
    EXPECT_TRUE(fs::exists(dir / "data/Default Task List.kwt"));

    // The next start is silent and hidden, and leaves the start entry alone.
    fs::remove(allUsersEntry());
    ui.clear();
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    EXPECT_FALSE(shell.firstStart());
    EXPECT_TRUE(host.called("hide"));
    EXPECT_FALSE(host.called("show") || host.called("help"));
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_FALSE(fs::exists(allUsersEntry()));
}

TEST_F(ShellTest, FirstStartFallsBackToTheCurrentUserSilently)
{
    dir.writeFile("etc/xdg/autostart", "a file where the all-users folder should be\n");
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());

    ASSERT_EQ(ui.messages().size(), 1u) << "only the warning";
    EXPECT_EQ(ui.messages()[0].title, "IMPORTANT - PLEASE READ!");
    EXPECT_TRUE(fs::exists(userEntry()));
    EXPECT_EQ(StartupEntryScope("kestrow"), StartupCurrentUser);
    EXPECT_TRUE(shell.options().checked(M::mnuOptionsRunOnWindowsStartupCurrentUser));
    EXPECT_FALSE(shell.options().checked(M::mnuOptionsRunOnWindowsStartupAnyUser));

    shell.Form_Unload();
    EXPECT_EQ(optionValue("Miscellaneous", "RunOnWindowsStartup"), "CurrentUser");
}

TEST_F(ShellTest, SecondInstanceIsRefusedAndTouchesNoFile)
{
    notFirstStart();
    RecordingHost host;
    KestrowShell first(host);
    ASSERT_TRUE(first.Main());
    ASSERT_TRUE(first.Form_Load());
    const auto before = snapshot(dir.path());

    RecordingHost otherHost;
    {
        KestrowShell second(otherHost);
        EXPECT_FALSE(second.Main());
    }
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Kestrow");
    EXPECT_EQ(ui.messages()[0].text, "Kestrow is already running");
    EXPECT_EQ(ui.messages()[0].icon, MsgIcon::None);
    EXPECT_EQ(ui.messages()[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(otherHost.calls.empty());
    EXPECT_EQ(snapshot(dir.path()), before);
    ASSERT_NE(gCloneTasks, nullptr) << "the refused start released nothing of the first";

    first.Form_Unload();
    ui.clear();
    KestrowShell third(otherHost);
    EXPECT_TRUE(third.Main()) << "the lock ends with the instance";
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(ShellTest, CloseBoxOnlyHidesTheWindow)
{
    notFirstStart();
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    host.visible = true;
    host.calls.clear();
    const auto before = snapshot(dir.path());

    EXPECT_TRUE(shell.Form_QueryUnload(UnloadMode::FormControlMenu));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"hide", "reminder"}));
    gblnShowSysTrayReminder = false;
    host.calls.clear();
    EXPECT_TRUE(shell.Form_QueryUnload(UnloadMode::FormControlMenu));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"hide"}));
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_NE(gCloneTasks, nullptr);
}

TEST_F(ShellTest, ShutDownDuringARunOnlyBeeps)
{
    notFirstStart();
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    gblnCloneRunning = true;
    EXPECT_TRUE(shell.Form_QueryUnload(UnloadMode::FormCode));
    EXPECT_EQ(ui.beeps(), 1);
    EXPECT_FALSE(CancelRequested);
    EXPECT_FALSE(host.called("wait"));
}

TEST_F(ShellTest, SessionEndDuringARunLogsTheAbortAndSavesEverything)
{
    notFirstStart();
    dir.writeFile("data/Default Task List.kwt", "[Alpha]\nSourceFolderSpec=/a/\nTargetFolderSpec=/b/\n"
                                                "[Beta]\nSourceFolderSpec=/c/\nTargetFolderSpec=/d/\n");
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    host.rows = {"Beta", "Alpha"}; // the list view sorted the other way

    gblnCloneRunning = true;
    EXPECT_FALSE(shell.Form_QueryUnload(UnloadMode::AppWindows));
    EXPECT_TRUE(host.called("wait"));
    EXPECT_TRUE(host.cancelSeenWhileWaiting) << "the run is cancelled before the wait";
    shell.Form_Unload();

    const std::string log = dir.readFile("data/clone.log");
    const auto shutdown = log.find(" *Application Shutdown Error: The clone task was aborted\n");
    const auto end = log.find("<End: Unknown Task Name> {All Activity Logged}\n");
    ASSERT_NE(shutdown, std::string::npos) << log;
    ASSERT_NE(end, std::string::npos) << log;
    EXPECT_LT(shutdown, end);
    EXPECT_EQ(optionValue("Log", "MaxSize"), "200");
    EXPECT_EQ(optionValue("Miscellaneous", "CopyMethod"), "0") << "the options were written";
    const auto sections = IniDocument(dir.readFile("data/Default Task List.kwt")).sectionNames();
    EXPECT_EQ(sections, (std::vector<std::string>{"Beta", "Alpha"}));
}

TEST_F(ShellTest, SessionEndWithoutARunJustUnloads)
{
    notFirstStart();
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    EXPECT_FALSE(shell.Form_QueryUnload(UnloadMode::AppTaskManager));
    EXPECT_FALSE(host.called("wait"));
    shell.Form_Unload();
    EXPECT_FALSE(fs::exists(dir / "data/clone.log")) << "nothing to log";
    EXPECT_EQ(gCloneTasks, nullptr);
}

TEST_F(ShellTest, IllegalTaskNamesAreReportedOnce)
{
    notFirstStart();
    dir.writeFile(
        "data/Default Task List.kwt",
        "a:b~!@#/s2~!@#/d2~!@#False~!@#8:00:00 PM~!@#0~!@#1~!@#12:00:00 AM~!@#12:00:00 AM~!@#True\r\n");
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Illegal Task Name");
    EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Critical);
    EXPECT_EQ(ui.messages()[0].text,
              "One or more tasks contained an illegal character in their name.\n"
              "All occurrences of the following characters have been replaced with a space:\n"
              "\\ / : * ? \" < > |\n"
              "\n"
              "Previous versions of Kestrow allowed these characters.  This\n"
              "resulted in some errors cropping up in the 'Only Selected Files' feature.\n"
              "\n"
              "Please check the properties of all of your tasks to ensure their correctness.\n"
              "You may need to reselect the files and folders in the Selected Files and Folders window.");
    EXPECT_NE(gCloneTasks->Item("a b"), nullptr);
}

TEST_F(ShellTest, OptionsNameTheTaskListAndTheDelay)
{
    dir.writeFile("data/kestrow.ini", "[TaskList]\nTaskListFileSpec=" + (dir / "lists/Office.kwt") +
                                          "\n[Miscellaneous]\nDelayBeforeFirstTask=3\n");
    dir.writeFile("lists/Office.kwt", "[Report]\nSourceFolderSpec=/a/\nTargetFolderSpec=/b/\n");
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.Form_Load());
    EXPECT_EQ(host.caption, "Office");
    EXPECT_EQ(gCloneTasks->Count(), 1);
    EXPECT_FALSE(shell.scheduler().firstTaskDelayElapsed());
}

TEST_F(ShellTest, LaunchAtLoginMovesTheEntryBetweenScopes)
{
    notFirstStart();
    RecordingHost host;
    KestrowShell shell(host);
    ASSERT_TRUE(shell.Main());
    ASSERT_TRUE(shell.launchAtLogin(true));
    EXPECT_EQ(StartupEntryScope("kestrow"), StartupAllUsers);
    ASSERT_TRUE(shell.launchAtLogin(false));
    EXPECT_FALSE(fs::exists(allUsersEntry())) << "switching removes the all-users entry first";
    EXPECT_TRUE(fs::exists(userEntry()));
    EXPECT_NE(dir.readFile(userEntry()).find("Exec=" + ProgramExecutableFileSpec() + "\n"),
              std::string::npos);
}

} // namespace
} // namespace kestrow
