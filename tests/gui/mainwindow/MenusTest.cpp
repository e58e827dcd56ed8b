// The Options, Admin, Log and Help menus of the main window, the dialogs they open,
// the password before the hidden window, and the order dialog of the run commands:
// offscreen, on the real start-up and shutdown logic, with scripted answers and the
// options file in a temporary data folder.

#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/cPriorityRules.h"
#include "settings/modEncryption.h"
#include "tasks/cCategories.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/MainWindowFixture.h"
#include "ui/dialogs/password/frmEnterPassword.h"
#include "ui/dialogs/password/frmSetPassword.h"
#include "ui/dialogs/priority/frmPriorityRule.h"
#include "ui/dialogs/priority/frmPriorityRules.h"
#include "ui/dialogs/program/frmAbout.h"
#include "ui/dialogs/run/frmOrderTasks.h"
#include "ui/dialogs/tasks/frmEditCategories.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/DesktopIntegration.h"
#include "ui/qt/QtRunHost.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimeEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

using namespace kestrow;
using gui::frmKestrow;

namespace {

using test::contains;
using test::q;
using test::s;

// Takes the URLs the program hands to the desktop instead of starting a browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher()
    {
        for (const char* scheme : {"file", "https", "http", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlCatcher() override
    {
        for (const char* scheme : {"file", "https", "http", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::vector<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }
};

struct TaskSpec
{
    std::string name;
    std::string source;
    std::string target;
    std::string category = "Unfiled";
};

class MenusTest : public test::MainWindowFixture
{
protected:
    MenusTest()
    {
        gblnSchedulerPaused = false;
        gblnCloneRunning = false;
        gblnScheduledRun = false;
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        glngDelayBeforeFirstTask = 0;
        ResetCancelFlags();
        writeOptions("");
    }

    ~MenusTest() override
    {
        closeWindow();
        m_timerContext.reset();
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        gblnPasswordOK = false;
        glngDelayBeforeFirstTask = 0;
        clearPendingQuit();
    }

    // kestrow.ini: never a first start, no tray reminder, no confirmation list, and
    // `extra` (whole sections, [Reminders] and [Miscellaneous] excepted) after that.
    // `reminders` and `misc` are keys added to those two sections.
    void writeOptions(const std::string& extra, const std::string& reminders = "",
                      const std::string& misc = "")
    {
        dir.writeFile("data/kestrow.ini", "[Reminders]\nSysTray=False\n" + reminders + extra +
                                              "[Miscellaneous]\nConfirmSyncActions=False\n"
                                              "RunOnWindowsStartup=False\n" +
                                              misc);
    }

    void writeTaskList(const std::vector<TaskSpec>& tasks)
    {
        std::string text;
        for (const TaskSpec& t : tasks)
            text += "[" + t.name + "]\nSourceFolderSpec=" + t.source + "\nTargetFolderSpec=" + t.target +
                    "\nIntervalType=0\nCategory=" + t.category + "\n";
        dir.writeFile("data/Default Task List.kwt", text);
    }

    // A Source with a file and an empty Target, under `name`.
    TaskSpec treeTask(const std::string& name, const std::string& category = "Unfiled")
    {
        dir.writeFile(name + "/src/one.txt", "one");
        dir.makeDir(name + "/dst");
        return {name, dir / (name + "/src/"), dir / (name + "/dst/"), category};
    }

    void windowStarted() override
    {
        QObject::connect(&window->runHostObject(), &gui::QtRunHost::runStartedOnWindow,
                         [this](const QString& name) { runs.push_back(s(name)); });
    }

    bool checked(const char* name) const { return action(name)->isChecked(); }

    // The options file after shutdown.
    std::string iniAfterShutdown()
    {
        window->shell().Form_Unload();
        return dir.readFile("data/kestrow.ini");
    }

    // Once the modal dialog of type T is up, hands it to `act`, which must close it.
    template <typename T> void whenShown(std::function<void(T*)> act, int triesLeft = 200)
    {
        QTimer::singleShot(0, m_timerContext.get(), [this, act, triesLeft] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                ++dialogsAnswered;
                act(dialog);
                return;
            }
            if (triesLeft > 0)
                whenShown<T>(act, triesLeft - 1);
            else
                ADD_FAILURE() << "no " << T::staticMetaObject.className() << " shown";
        });
    }

    // Answers the password window with `password`, then OK; Cancel when empty.
    void answerPassword(const std::string& password)
    {
        whenShown<gui::frmEnterPassword>([password](gui::frmEnterPassword* prompt) {
            if (password.empty()) {
                prompt->cmdCancel_Click();
                return;
            }
            prompt->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(q(password));
            prompt->cmdOK_Click();
        });
    }

    std::vector<std::string> runs;
    int dialogsAnswered = 0;

private:
    std::unique_ptr<QObject> m_timerContext = std::make_unique<QObject>();
};

// ---------------------------------------------------------------------------
// Options

TEST_F(MenusTest, GroupsCheckOneItemAndTogglesInvertTheirOption)
{
    writeOptions("", "SendToRecycleBinMsg=False\n");
    writeTaskList({});
    start();

    struct Item
    {
        const char* name;
        int value; // the option's value once the item is chosen
    };
    struct Group
    {
        const char* what;
        std::vector<Item> items;
        std::function<int()> value;
    };
    const Group groups[] = {
        {"comparison",
         {{"mnuOptionsCompMethodCRC32", 3},
          {"mnuOptionsCompMethodContents", 2},
          {"mnuOptionsCompMethodSize", 1},
          {"mnuOptionsCompMethodDateTime", 0}},
         [] { return gCompare->CompareMethod(); }},
        {"copy",
         {{"mnuOptionsCopyMethod(2)", 2}, {"mnuOptionsCopyMethod(1)", 1}, {"mnuOptionsCopyMethod(0)", 0}},
         [] { return gClone->CopyMethod(); }},
        {"delete",
         {{"mnuOptionsDeleteMethod(3)", 3},
          {"mnuOptionsDeleteMethod(2)", 2},
          {"mnuOptionsDeleteMethod(1)", 1},
          {"mnuOptionsDeleteMethod(0)", 0}},
         [] { return gClone->DeleteMethod(); }},
        {"log size",
         {{"mnuLogSize100", 102400},
          {"mnuLogSize200", 204800},
          {"mnuLogSize1Meg", 1024000},
          {"mnuLogSize500", 512000}},
         [] { return gCloneLog->RestrictLogSize() ? gCloneLog->MaxLogFileSize() : -1; }},
    };
    for (const Group& group : groups) {
        for (const Item& chosen : group.items) {
            // Chosen twice: the second click of a checked item leaves it as it is.
            for (int click = 0; click < 2; ++click) {
                trigger(chosen.name);
                EXPECT_EQ(group.value(), chosen.value) << chosen.name;
                for (const Item& other : group.items)
                    EXPECT_EQ(checked(other.name), other.name == chosen.name)
                        << group.what << ": " << other.name << " after " << chosen.name;
            }
        }
    }

    struct Toggle
    {
        const char* name;
        std::function<bool()> value;
    };
    const Toggle toggles[] = {
        {"mnuOptionsFATIgnore2SecDiff", [] { return gCompare->IgnoreFAT_NTFS_TwoSecDiff(); }},
        {"mnuOptionsFATIgnoreDST", [] { return gCompare->IgnoreFAT_NTFS_DaylightSavings(); }},
        {"mnuOptionsCopyOnlyIfNewer", [] { return gClone->CopyOnlyIfNewer(); }},
        {"mnuOptionsCreateTargetFolder", [] { return gClone->CreateTargetFolder(); }},
        {"mnuOptionsConfirmSyncActions", [] { return gClone->ConfirmSyncActions(); }},
        {"mnuOptionsIgnoreSystemFiles", [] { return gCompare->IgnoreSystemFiles(); }},
        {"mnuOptionsIgnoreHiddenFiles", [] { return gCompare->IgnoreHiddenFiles(); }},
        {"mnuOptionsIgnoreSystemFolders", [] { return gCompare->IgnoreSystemFolders(); }},
        {"mnuOptionsIgnoreHiddenFolders", [] { return gCompare->IgnoreHiddenFolders(); }},
        {"mnuOptionsPromptToInsertRemovableDrive", [] { return bool(gblnPromptToInsertRemovableDrive); }},
        {"mnuOptionsProtectFromEmptySource", [] { return gClone->ProtectFromEmptySource(); }},
        {"mnuOptionsKeepHardLinks", [] { return gClone->KeepHardLinks(); }},
        {"mnuOptionsKeepVersions", [] { return gClone->KeepVersions(); }},
        {"mnuLogOnlyErrors", [] { return gCloneLog->LogOnlyErrors(); }},
    };
    gCloneLog->ResetInMemoryLog();
    for (const Toggle& toggle : toggles) {
        const bool before = checked(toggle.name);
        ASSERT_EQ(toggle.value(), before) << toggle.name << ": the check mark is the option";
        trigger(toggle.name);
        EXPECT_EQ(checked(toggle.name), !before) << toggle.name;
        EXPECT_EQ(toggle.value(), !before) << toggle.name;
        trigger(toggle.name);
        EXPECT_EQ(checked(toggle.name), before) << toggle.name;
        EXPECT_EQ(toggle.value(), before) << toggle.name;
    }
    EXPECT_TRUE(ui.prompts().empty()) << "no item here asks or warns: " << lastMessage();
}

TEST_F(MenusTest, RecycleBinWarningComesOnceAndNoKeepsTheOldMethod)
{
    writeOptions("", "", "DeleteMethod=0\n");
    writeTaskList({});
    start();
    ASSERT_TRUE(gblnShowSendToRecycleBinMsg);
    ASSERT_EQ(gClone->DeleteMethod(), 0);

    ui.queueAnswer(MsgResult::No);
    trigger("mnuOptionsDeleteMethod(1)");
    ASSERT_EQ(ui.messages().size(), 1u);
    const auto warning = ui.messages().front();
    EXPECT_EQ(warning.title, "Send To Recycle Bin");
    EXPECT_EQ(warning.text, "Files on removeable drives and network drives are not sent \n"
                            "to the Recycle Bin.  They are permanently deleted.  This is determined\n"
                            "by the operating system; Kestrow has no control over this.\n\n"
                            "Do you still wish to select this Delete Method?");
    EXPECT_EQ(warning.icon, MsgIcon::Information);
    EXPECT_EQ(warning.buttons, MsgButtons::YesNo);
    EXPECT_EQ(gClone->DeleteMethod(), 0);
    EXPECT_TRUE(checked("mnuOptionsDeleteMethod(0)"));
    EXPECT_FALSE(checked("mnuOptionsDeleteMethod(1)"));

    // The answer was No, yet the warning is spent.
    trigger("mnuOptionsDeleteMethod(1)");
    EXPECT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(gClone->DeleteMethod(), 1);
    EXPECT_TRUE(checked("mnuOptionsDeleteMethod(1)"));
    const std::string ini = iniAfterShutdown();
    EXPECT_TRUE(contains(ini, "SendToRecycleBinMsg=False")) << ini;
    EXPECT_TRUE(contains(ini, "DeleteMethod=1")) << ini;
}

TEST_F(MenusTest, RecycleBinWarningAnsweredYesChoosesTheMethodAtOnce)
{
    writeOptions("", "", "DeleteMethod=3\n");
    writeTaskList({});
    start();
    ui.queueAnswer(MsgResult::Yes);
    trigger("mnuOptionsDeleteMethod(1)");
    EXPECT_EQ(lastMessage().substr(0, 20), "Send To Recycle Bin|");
    EXPECT_EQ(gClone->DeleteMethod(), 1);
    EXPECT_TRUE(checked("mnuOptionsDeleteMethod(1)"));
    EXPECT_FALSE(checked("mnuOptionsDeleteMethod(3)"));
    EXPECT_FALSE(gblnShowSendToRecycleBinMsg);
}

TEST_F(MenusTest, NeverResetLogAsksAndOnlyYesLiftsTheLimit)
{
    writeOptions("[Log]\nMaxSize=200\n");
    writeTaskList({});
    start();
    ASSERT_TRUE(checked("mnuLogSize200"));
    const std::string question =
        "Confirm Log Size Change|The Log file can grow to be VERY LARGE.\n"
        "This can take up disk space/memory and possibly affect system performance.\n"
        "It will also take more time to display the contents of the Log.\n\n"
        "Are you certain that you want to make this change?";

    ui.queueAnswer(MsgResult::No);
    trigger("mnuLogSizeNever");
    EXPECT_EQ(lastMessage(), question);
    EXPECT_EQ(ui.messages().back().buttons, MsgButtons::YesNo);
    EXPECT_TRUE(gCloneLog->RestrictLogSize());
    EXPECT_EQ(gCloneLog->MaxLogFileSize(), 204800);
    EXPECT_TRUE(checked("mnuLogSize200"));
    EXPECT_FALSE(checked("mnuLogSizeNever"));

    trigger("mnuLogSize1Meg");
    EXPECT_EQ(gCloneLog->MaxLogFileSize(), 1024000);
    ui.queueAnswer(MsgResult::Yes);
    trigger("mnuLogSizeNever");
    EXPECT_FALSE(gCloneLog->RestrictLogSize());
    EXPECT_EQ(gCloneLog->MaxLogFileSize(), 1024000) << "the size stays for a later limit";
    EXPECT_TRUE(checked("mnuLogSizeNever"));
    EXPECT_FALSE(checked("mnuLogSize1Meg"));
    // Already chosen: no second question.
    trigger("mnuLogSizeNever");
    EXPECT_EQ(ui.messages().size(), 2u);

    const std::string ini = iniAfterShutdown();
    EXPECT_TRUE(contains(ini, "MaxSize=Never")) << ini;
    EXPECT_TRUE(contains(ini, "RestrictLogSize=False")) << ini;
}

TEST_F(MenusTest, LogOnlyErrorsNotesOnlyWhenSwitchedOnOverUnsavedEntries)
{
    writeTaskList({});
    start();
    const std::string note =
        "Log Only Errors|This change will be applied only to tasks that are run after this "
        "point.\n\nIf you wish, you can Clear your log file of previous activity.\n"
        "The Clear Log option is available in the Log menu";
    gCloneLog->ResetInMemoryLog();
    struct Row
    {
        const char* what;
        bool withEntries;
        bool noteExpected; // when switched on; switching off never notes
    };
    const Row rows[] = {{"nothing logged since the last write", false, false},
                        {"entries in memory", true, true}};
    for (const Row& row : rows) {
        ui.clear();
        if (row.withEntries)
            gCloneLog->Add(LogEntryType::Begin, "Some Task");
        ASSERT_FALSE(checked("mnuLogOnlyErrors"));
        trigger("mnuLogOnlyErrors");
        EXPECT_TRUE(gCloneLog->LogOnlyErrors());
        EXPECT_EQ(lastMessage(), row.noteExpected ? note : std::string()) << row.what;
        ui.clear();
        trigger("mnuLogOnlyErrors");
        EXPECT_FALSE(gCloneLog->LogOnlyErrors());
        EXPECT_TRUE(ui.prompts().empty()) << row.what;
    }
}

TEST_F(MenusTest, DelayInputTakesNumbersAsTheOptionsFileDoes)
{
    writeTaskList({});
    start();
    const std::string notNumeric =
        "Invalid Delay Input|\"0x10\" is not a valid numeric input.\n\nFor example, "
        "enter \"5\" (without the quotes)\nfor a five minute delay.";
    const std::string taken = "Delay|This change will take effect the next time Kestrow is launched.";
    struct Row
    {
        const char* input;
        std::string message;
        int32_t delay;
    };
    const Row rows[] = {
        {"0x10", notNumeric, 0},
        {"1e1", taken, 10},
        {"+6", taken, 6},
    };
    for (const Row& row : rows) {
        ui.clear();
        ui.queueInput(std::string(row.input));
        trigger("mnuOptionsDelayBeforeFirstTask");
        EXPECT_EQ(lastMessage(), row.message) << row.input;
        EXPECT_EQ(glngDelayBeforeFirstTask, row.delay) << row.input;
    }
    const auto prompt = ui.prompts().front();
    EXPECT_EQ(prompt.title, "Delay Duration");
    EXPECT_EQ(prompt.text,
              "How many minutes should pass after Kestrow startup before the first task is executed?"
              "\n\nEnter only numeric values.");
    EXPECT_EQ(prompt.defaultText, "10");
    // A cancelled box changes nothing.
    ui.clear();
    ui.queueInput(std::nullopt);
    trigger("mnuOptionsDelayBeforeFirstTask");
    EXPECT_EQ(ui.messages().size(), 0u);
    EXPECT_EQ(glngDelayBeforeFirstTask, 6);
    EXPECT_TRUE(contains(iniAfterShutdown(), "DelayBeforeFirstTask=6"));
}

TEST_F(MenusTest, LaunchAtLoginWritesAndRemovesTheAutostartEntries)
{
    writeTaskList({});
    start();
    const std::string own = dir / "home/.config/autostart/kestrow.desktop";
    const std::string everyone = dir / "etc/xdg/autostart/kestrow.desktop";
    const char* const items[] = {"mnuOptionsRunOnWindowsStartupCurrentUser",
                                 "mnuOptionsRunOnWindowsStartupAnyUser",
                                 "mnuOptionsRunOnWindowsStartupNoRun"};
    ASSERT_TRUE(checked("mnuOptionsRunOnWindowsStartupNoRun"));
    struct Row
    {
        const char* item;
        bool ownEntry;
        bool everyoneEntry;
    };
    const Row rows[] = {
        {"mnuOptionsRunOnWindowsStartupCurrentUser", true, false},
        {"mnuOptionsRunOnWindowsStartupAnyUser", false, true}, // the user's own entry goes first
        {"mnuOptionsRunOnWindowsStartupNoRun", false, false},
        {"mnuOptionsRunOnWindowsStartupAnyUser", false, true},
        {"mnuOptionsRunOnWindowsStartupCurrentUser", true, false},
    };
    for (const Row& row : rows) {
        trigger(row.item);
        EXPECT_EQ(std::filesystem::exists(own), row.ownEntry) << row.item;
        EXPECT_EQ(std::filesystem::exists(everyone), row.everyoneEntry) << row.item;
        for (const char* item : items)
            EXPECT_EQ(checked(item), std::string(item) == row.item) << item << " after " << row.item;
    }
    EXPECT_TRUE(contains(dir.readFile("home/.config/autostart/kestrow.desktop"), "kestrow"));
    // The item already checked does nothing: the entry removed behind its back stays away.
    std::filesystem::remove(own);
    trigger("mnuOptionsRunOnWindowsStartupCurrentUser");
    EXPECT_FALSE(std::filesystem::exists(own));
    EXPECT_TRUE(ui.prompts().empty()) << lastMessage();
    EXPECT_TRUE(contains(iniAfterShutdown(), "RunOnWindowsStartup=CurrentUser"));
}

TEST_F(MenusTest, ToolbarItemsShowAndHideTheToolbar)
{
    writeTaskList({});
    start();
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("suToolbar"));
    ASSERT_NE(toolbar, nullptr);
    EXPECT_TRUE(checked("mnuOptionsToolbarShow"));
    EXPECT_FALSE(toolbar->isHidden());
    trigger("mnuOptionsToolbarHide");
    EXPECT_TRUE(toolbar->isHidden());
    EXPECT_TRUE(checked("mnuOptionsToolbarHide"));
    EXPECT_FALSE(checked("mnuOptionsToolbarShow"));
    trigger("mnuOptionsToolbarShow");
    EXPECT_FALSE(toolbar->isHidden());
    trigger("mnuOptionsToolbarHide");
    EXPECT_TRUE(contains(iniAfterShutdown(), "ShowToolbar=Hide"));
}

// ---------------------------------------------------------------------------
// Log and Help

TEST_F(MenusTest, ClearLogDeletesItAndSaveLogAddsWhatIsInMemory)
{
    writeTaskList({});
    start();
    const std::string logFile = gCloneLog->LogFileSpec();
    dir.writeFile("data/clone.log", "old line\n");
    trigger("mnuLogClear");
    EXPECT_FALSE(std::filesystem::exists(logFile));
    EXPECT_TRUE(ui.prompts().empty()) << "cleared without a question";

    dir.writeFile("data/clone.log", "written line\n");
    gCloneLog->ResetInMemoryLog();
    gCloneLog->Add(LogEntryType::Begin, "Unsaved Task");
    const std::string saved = dir / "saved.log";
    QString title;
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        dialog->selectFile(q(saved));
        static_cast<QDialog*>(dialog)->accept();
    });
    trigger("mnuLogSaveAs");
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_EQ(title, QStringLiteral("Save Clone Log As..."));
    const std::string copy = dir.readFile("saved.log");
    EXPECT_TRUE(contains(copy, "written line\n")) << copy;
    EXPECT_TRUE(contains(copy, "<Begin: Unsaved Task>")) << copy;
    EXPECT_EQ(gCloneLog->CurrInMemoryLogSize(), 0);
}

TEST_F(MenusTest, HelpItemsOpenTheirPagesAndTheWeb)
{
    writeTaskList({});
    start();
    UrlCatcher urls;
    const std::pair<const char*, QString> rows[] = {
        {"mnuHelpContents", QStringLiteral("context-1")},
        {"mnuHelpIconLegend", QStringLiteral("context-52")},
        {"mnuHelpTroubleshooting", QStringLiteral("context-32")},
    };
    for (const auto& [item, fragment] : rows) {
        urls.opened.clear();
        trigger(item);
        ASSERT_EQ(urls.opened.size(), 1u) << item << " " << lastMessage();
        EXPECT_TRUE(urls.opened.front().isLocalFile()) << item;
        EXPECT_TRUE(urls.opened.front().path().endsWith(QStringLiteral("/help/kestrow.html"))) << item;
        EXPECT_EQ(urls.opened.front().fragment(), fragment) << item;
    }
    // The toolbar's Help button is the contents.
    urls.opened.clear();
    window->ToolbarClick(QStringLiteral("HELP"));
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened.front().fragment(), QStringLiteral("context-1"));

    urls.opened.clear();
    trigger("mnuHelpOnTheWebSite");
    trigger("mnuHelpOnTheWebContactUs");
    ASSERT_EQ(urls.opened.size(), 2u);
    EXPECT_EQ(urls.opened[0].scheme(), QStringLiteral("https"));
    EXPECT_EQ(urls.opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(urls.opened[1].path().contains(QLatin1Char('@'))) << s(urls.opened[1].toString());
    EXPECT_TRUE(ui.prompts().empty()) << lastMessage();
}

TEST_F(MenusTest, AboutBoxShowsTheVersionAndItsSystemInformation)
{
    writeTaskList({});
    start();
    QString title;
    QString version;
    QString info;
    QString infoTitle;
    whenShown<gui::frmAbout>([&](gui::frmAbout* about) {
        title = about->windowTitle();
        version = about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text();
        whenShown<gui::frmSystemInfo>([&](gui::frmSystemInfo* sysInfo) {
            infoTitle = sysInfo->windowTitle();
            info = sysInfo->text();
            sysInfo->reject();
        });
        about->findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
        about->accept();
    });
    trigger("mnuHelpAbout");
    EXPECT_EQ(dialogsAnswered, 2);
    EXPECT_EQ(title, QStringLiteral("About Kestrow"));
    EXPECT_EQ(version, QStringLiteral("Version " KESTROW_VERSION));
    EXPECT_EQ(infoTitle, QStringLiteral("System Information"));
    // What a support question needs: this program, its data, the system under it.
    for (const std::string& expected :
         std::vector<std::string>{"Kestrow " KESTROW_VERSION, "Data folder: ", gstrAppPath,
                                  gCloneLog->LogFileSpec(), "Operating system: ", "Start at login: "}) {
        EXPECT_TRUE(info.contains(q(expected))) << expected << "\n" << s(info);
    }
    EXPECT_FALSE(info.contains(QStringLiteral("(unknown)\nData"))) << s(info);
}

// ---------------------------------------------------------------------------
// Dialogs of the Options and Admin menus

TEST_F(MenusTest, PriorityRulesFromTheOptionsMenuGoToTheOptionsFile)
{
    writeTaskList({});
    start();
    ASSERT_EQ(gPriorityRules->Count(), 1);
    whenShown<gui::frmPriorityRules>([this](gui::frmPriorityRules* rules) {
        auto* list = rules->findChild<QListWidget*>(QStringLiteral("lstPriorityRules"));
        ASSERT_EQ(list->count(), 1);
        // The all-day rule goes; a working-hours "Do Not Run" rule comes.
        list->setCurrentRow(0);
        rules->cmdRemovePriorityRule_Click();
        whenShown<gui::frmPriorityRule>([](gui::frmPriorityRule* rule) {
            rule->findChild<QTimeEdit*>(QStringLiteral("dtpStartTime"))->setTime(QTime(8, 0));
            rule->findChild<QTimeEdit*>(QStringLiteral("dtpEndTime"))->setTime(QTime(17, 30));
            rule->findChild<QComboBox*>(QStringLiteral("cboPriority"))->setCurrentIndex(3);
            rule->cmdOK_Click();
        });
        rules->cmdNewPriorityRule_Click();
        rules->accept();
    });
    trigger("mnuOptionsSetPriority");
    EXPECT_EQ(dialogsAnswered, 2);
    const std::vector<cPriorityRule> now = gPriorityRules->PriorityRules();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now.front().Priority, 0);
    const std::string ini = iniAfterShutdown();
    EXPECT_TRUE(contains(ini, "NumRules=1")) << ini;
    EXPECT_TRUE(contains(ini, "PriorityRule1=8:00:00 AM,5:30:00 PM,0")) << ini;
}

TEST_F(MenusTest, EditCategoriesFromTheAdminAndFileMenusMovesTheTasks)
{
    writeTaskList({treeTask("Report", "Work"), treeTask("Photos", "Pictures")});
    start();
    // Admin menu: "Work" renamed "Office", "Pictures" deleted.
    whenShown<gui::frmEditCategories>([this](gui::frmEditCategories* dialog) {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("lstCategories"));
        list->setCurrentItem(list->findItems(QStringLiteral("Work"), Qt::MatchExactly).front());
        ui.queueInput(std::string("Office"));
        dialog->cmdRename_Click();
        list->setCurrentItem(list->findItems(QStringLiteral("Pictures"), Qt::MatchExactly).front());
        dialog->cmdDelete_Click();
        dialog->accept();
    });
    trigger("mnuOptionsEditCategories");
    ASSERT_EQ(dialogsAnswered, 1);
    EXPECT_EQ(gCloneTasks->Item("Report")->Category(), "Office");
    EXPECT_EQ(gCloneTasks->Item("Photos")->Category(), "Unfiled");

    // The File menu's category list shows the change, and its last entry opens the
    // same dialog.
    window->LoadCategoriesInFileMenu();
    auto* fileCategories = window->findChild<QMenu*>(QStringLiteral("mnuFileRunCategory"));
    QStringList captions;
    for (QAction* entry : fileCategories->actions())
        captions << entry->text();
    EXPECT_TRUE(captions.contains(QStringLiteral("Office")));
    EXPECT_FALSE(captions.contains(QStringLiteral("Pictures")));
    ASSERT_EQ(captions.back(), QStringLiteral("Edit Categories..."));
    whenShown<gui::frmEditCategories>([](gui::frmEditCategories* dialog) { dialog->accept(); });
    fileCategories->actions().back()->trigger();
    EXPECT_EQ(dialogsAnswered, 2);

    const std::string ini = iniAfterShutdown();
    EXPECT_TRUE(contains(ini, "Office")) << ini;
    EXPECT_FALSE(contains(ini, "Pictures")) << ini;
    const std::string list = dir.readFile("data/Default Task List.kwt");
    EXPECT_TRUE(contains(list, "Category=Office")) << list;
}

TEST_F(MenusTest, SetPasswordFromTheAdminMenuStoresItScrambled)
{
    writeTaskList({});
    start();
    ASSERT_FALSE(gblnPasswordSet);
    whenShown<gui::frmSetPassword>([](gui::frmSetPassword* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->setText(QStringLiteral("Falcon 9"));
        dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->setText(QStringLiteral("Falcon 9"));
        dialog->cmdOK_Click();
    });
    trigger("mnuAdminSetPassword");
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_EQ(lastMessage(),
              "Valid Password|Password has been successfully set.\n\nYou should store your password "
              "in a safe location so that you don't forget it.");
    EXPECT_TRUE(gblnPasswordSet);
    // Written at once, scrambled.
    const std::string ini = dir.readFile("data/kestrow.ini");
    const std::size_t at = ini.find("AdminPassword=");
    ASSERT_NE(at, std::string::npos) << ini;
    const std::string stored = ini.substr(at + 14, ini.find('\n', at) - at - 14);
    EXPECT_FALSE(contains(ini, "Falcon")) << ini;
    EXPECT_EQ(UnscramblePassword(stored), "Falcon 9");
}

TEST_F(MenusTest, APasswordStandsBeforeTheHiddenWindowAndTheTrayCategories)
{
    // Read through the password codec at start-up.
    writeOptions("", "", "AdminPassword=" + ScramblePassword("Falcon 9") + "\n");
    writeTaskList({});
    start();
    ASSERT_TRUE(gblnPasswordSet);
    ASSERT_EQ(gstrAdminPassword, "Falcon 9");
    ASSERT_FALSE(window->IsMainWindowVisible());
    gui::DesktopIntegration& tray = window->tray();

    // A wrong password, then Cancel: the window stays hidden.
    whenShown<gui::frmEnterPassword>([](gui::frmEnterPassword* prompt) {
        prompt->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("falcon 9"));
        prompt->cmdOK_Click();
        prompt->cmdCancel_Click();
    });
    tray.onActivated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_EQ(lastMessage(), "Invalid Password|Invalid Password.  Please try again.\n\nSee Administrator for "
                             "assistance.");
    EXPECT_FALSE(window->IsMainWindowVisible());

    // The tray's "Edit Categories..." asks too; Cancel opens nothing.
    window->SysTray_RightClick();
    QAction* trayEdit = window->findChild<QMenu*>(QStringLiteral("mnuPopupCategories"))->actions().back();
    ASSERT_EQ(trayEdit->text(), QStringLiteral("Edit Categories..."));
    answerPassword("");
    trayEdit->trigger();
    EXPECT_EQ(dialogsAnswered, 2) << "the password window only";
    // The right password opens the categories dialog.
    answerPassword("Falcon 9");
    whenShown<gui::frmEditCategories>([](gui::frmEditCategories* dialog) { dialog->accept(); });
    trayEdit->trigger();
    EXPECT_EQ(dialogsAnswered, 4);
    EXPECT_FALSE(window->IsMainWindowVisible());

    // "Show Main Window" with the right password shows it.
    answerPassword("Falcon 9");
    trigger("mnuPopupShow");
    EXPECT_EQ(dialogsAnswered, 5);
    EXPECT_TRUE(window->IsMainWindowVisible());
    // With the window open the tray's entry asks nothing.
    window->SysTray_RightClick();
    whenShown<gui::frmEditCategories>([](gui::frmEditCategories* dialog) { dialog->accept(); });
    window->findChild<QMenu*>(QStringLiteral("mnuPopupCategories"))->actions().back()->trigger();
    EXPECT_EQ(dialogsAnswered, 6);
}

// ---------------------------------------------------------------------------
// The order of a run of several tasks

TEST_F(MenusTest, RunCommandsRunTwoOrMoreTasksInTheOrderChosen)
{
    writeTaskList({treeTask("A", "Work"), treeTask("B", "Work"), treeTask("C", "Personal")});
    start();

    // All tasks: C moved to the top, B removed.
    std::vector<std::string> offered;
    whenShown<gui::frmOrderTasks>([&](gui::frmOrderTasks* dialog) {
        offered = dialog->Lines();
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("lstTasks"));
        list->setCurrentRow(2);
        dialog->cmdMoveUp_Click();
        dialog->cmdMoveUp_Click();
        list->setCurrentRow(2);
        dialog->cmdRemove_Click();
        dialog->OKButton_Click();
    });
    trigger("mnuRunAllTasksNow");
    EXPECT_EQ(offered, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(runs, (std::vector<std::string>{"C", "A"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "B/dst/one.txt"));
    EXPECT_EQ(dir.readFile("C/dst/one.txt"), "one");

    // Closed by its title bar: nothing runs.
    runs.clear();
    whenShown<gui::frmOrderTasks>([](gui::frmOrderTasks* dialog) { dialog->close(); });
    trigger("mnuRunAllTasksNow");
    EXPECT_TRUE(runs.empty());

    // A category of two: its tasks only.
    whenShown<gui::frmOrderTasks>([&](gui::frmOrderTasks* dialog) {
        offered = dialog->Lines();
        dialog->OKButton_Click();
    });
    window->RunAllTasksInCategory("work");
    EXPECT_EQ(window->SelectedCategoryName(), "work");
    EXPECT_EQ(offered, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(runs, (std::vector<std::string>{"A", "B"}));

    // One task (in a category, checked) runs without the dialog.
    const int dialogs = dialogsAnswered;
    runs.clear();
    window->RunAllTasksInCategory("Personal");
    window->findRow("B")->setCheckState(frmKestrow::ColTaskName, Qt::Checked);
    trigger("mnuRunCheckedTasks");
    EXPECT_EQ(runs, (std::vector<std::string>{"C", "B"}));
    EXPECT_EQ(dialogsAnswered, dialogs);
}

TEST_F(MenusTest, RunAllWithOneTaskRunsItWithoutAsking)
{
    writeTaskList({treeTask("Only")});
    start();
    trigger("mnuRunAllTasksNow");
    EXPECT_EQ(runs, (std::vector<std::string>{"Only"}));
    EXPECT_EQ(dir.readFile("Only/dst/one.txt"), "one");
    EXPECT_EQ(dialogsAnswered, 0);
}

} // namespace

#include "MenusTest.moc"
