// The desktop program's window, offscreen: the real start-up and shutdown logic,
// real task list files and folder trees in a temporary folder, scripted answers.

#include "app/ProgramOptions.h"
#include "app/modKestrow.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "engine/Report.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "tasks/cCloneTasks.h"
#include "tests/support/MainWindowFixture.h"
#include "ui/dialogs/log/frmLog.h"
#include "ui/dialogs/restore/frmRestore.h"
#include "ui/dialogs/run/frmConfirmChanges.h"
#include "ui/dialogs/run/frmOrderTasks.h"
#include "ui/dialogs/tasks/frmTaskProperties.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/DesktopIntegration.h"
#include "ui/qt/QtRunHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

using namespace kestrow;
using gui::frmKestrow;

namespace {

using test::contains;
using test::q;
using test::s;

// One task section of a task list file.
struct TaskSpec
{
    std::string name;
    std::string source;
    std::string target;
    int intervalType = 0;
    std::string next = "0";
    bool error = false;
    std::string category = "Unfiled";
};

class MainWindowTest : public test::MainWindowFixture
{
protected:
    MainWindowTest() : clock(dateFromParts({2026, 3, 10, 12, 0, 0})), clockScope(clock)
    {
        gblnSchedulerPaused = false;
        gblnCloneRunning = false;
        gblnScheduledRun = false;
        ResetCancelFlags();
        gCurrentTask.reset();
        // Not a first start: an options file exists. No reminder window on close.
        dir.writeFile("data/kestrow.ini", "[Reminders]\nSysTray=False\n");
    }

    ~MainWindowTest() override
    {
        closeWindow();
        gCurrentTask.reset();
        gblnSchedulerPaused = false;
        clearPendingQuit();
    }

    void writeTaskList(const std::vector<TaskSpec>& tasks)
    {
        std::string text;
        for (const TaskSpec& t : tasks) {
            text += "[" + t.name + "]\nSourceFolderSpec=" + t.source + "\nTargetFolderSpec=" + t.target +
                    "\nIntervalType=" + std::to_string(t.intervalType) +
                    "\nIntervalIncrement=5\nNextCloneDateTime=" + t.next +
                    "\nErrorOnLastClone=" + (t.error ? "True" : "False") + "\nCategory=" + t.category + "\n";
        }
        dir.writeFile("data/Default Task List.kwt", text);
    }

    // A Source with two files and an empty Target, under `name`.
    TaskSpec treeTask(const std::string& name)
    {
        dir.writeFile(name + "/src/one.txt", "one");
        dir.writeFile(name + "/src/sub/two.txt", "two");
        dir.makeDir(name + "/dst");
        return {name, dir / (name + "/src/"), dir / (name + "/dst/")};
    }

    // Runs in these tests perform their operations without the confirmation list.
    void performWithoutConfirming()
    {
        dir.writeFile("data/kestrow.ini",
                      "[Reminders]\nSysTray=False\n[Miscellaneous]\nConfirmSyncActions=False\n");
    }

    QTreeWidget* list() const { return window->taskListView(); }

    std::vector<std::string> rows() const { return window->rowTexts(); }

    void select(const std::string& name)
    {
        QTreeWidgetItem* row = window->findRow(name);
        ASSERT_NE(row, nullptr) << name;
        list()->setCurrentItem(row);
        row->setSelected(true);
    }

    std::string taskListFile() const { return dir.readFile("data/Default Task List.kwt"); }

    // Answers the next task properties dialog once it is shown: Source and Target
    // filled in (when given), then OK, or Cancel.
    void answerPropertiesDialog(const std::string& source, const std::string& target, bool ok)
    {
        dialogsAnswered = 0;
        answerWhenShown(source, target, ok, kPollTries);
    }

    // Dialogs are looked for every few milliseconds for up to half a minute: a run's
    // worker thread may still be comparing when the first looks are made.
    static constexpr int kPollTries = 6000;
    static constexpr int kPollMs = 5;

    void answerWhenShown(const std::string& source, const std::string& target, bool ok, int triesLeft)
    {
        QTimer::singleShot(triesLeft == kPollTries ? 0 : kPollMs, [this, source, target, ok, triesLeft] {
            gui::frmTaskProperties* dialog = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<gui::frmTaskProperties*>(top); d && d->isVisible())
                    dialog = d;
            if (!dialog) {
                if (triesLeft > 0)
                    answerWhenShown(source, target, ok, triesLeft - 1);
                else
                    ADD_FAILURE() << "no task properties dialog";
                return;
            }
            if (!source.empty())
                dialog->findChild<QLineEdit*>(QStringLiteral("txtSourceFolderPath"))->setText(q(source));
            if (!target.empty()) {
                auto* targets = dialog->findChild<QListWidget*>(QStringLiteral("lstTargetFolders"));
                targets->clear();
                targets->addItem(q(target));
            }
            dialog->findChild<QPushButton*>(ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"))
                ->click();
            ++dialogsAnswered;
        });
    }

    // Once a visible top-level window of type T shows up (the next modal dialog), hands
    // it to `answer`, which must close it; counts it in dialogsAnswered.
    template <typename T> void whenShown(std::function<void(T*)> answer, int triesLeft = kPollTries)
    {
        QTimer::singleShot(triesLeft == kPollTries ? 0 : kPollMs, [this, answer, triesLeft] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<T*>(top); d && d->isVisible()) {
                    ++dialogsAnswered;
                    answer(d);
                    return;
                }
            }
            if (triesLeft > 0)
                whenShown<T>(answer, triesLeft - 1);
            else
                ADD_FAILURE() << "no " << T::staticMetaObject.className() << " shown";
        });
    }

    // Types `name` into the open label editor and presses Return.
    void typeIntoLabelEditor(const QString& name)
    {
        auto* editor = list()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(name);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits through a queued call, then deletes the editor.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    ManualClock clock;
    ScopedClock clockScope;
    int dialogsAnswered = 0;
};

TEST_F(MainWindowTest, StartsWithItsCaptionAndTaskListAndClosesCleanly)
{
    writeTaskList({treeTask("A")});
    start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrow"));
    EXPECT_EQ(window->objectName(), QStringLiteral("frmKestrow"));
    EXPECT_EQ(rows(), std::vector<std::string>{"A"});
    auto* tabs = window->findChild<QTabBar*>(QStringLiteral("tbsTasks"));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Default Task List"));

    // The toolbar's six items in order, each with its picture.
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("suToolbar"));
    ASSERT_NE(toolbar, nullptr);
    QStringList keys, texts;
    for (QAction* item : toolbar->actions()) {
        keys << item->objectName();
        texts << item->text();
        EXPECT_FALSE(item->icon().isNull()) << s(item->objectName());
    }
    EXPECT_EQ(keys, QStringList({QStringLiteral("NEWTASK"), QStringLiteral("DELETETASK"),
                                 QStringLiteral("RUNTASK"), QStringLiteral("TASKPROPERTIES"),
                                 QStringLiteral("VIEWLOG"), QStringLiteral("HELP")}));
    EXPECT_EQ(texts, QStringList({QStringLiteral("New Task"), QStringLiteral("Delete Task"),
                                  QStringLiteral("Run Task"), QStringLiteral("Task Properties"),
                                  QStringLiteral("View Log"), QStringLiteral("Help")}));
    // The sort-key columns exist but are not shown.
    EXPECT_EQ(list()->columnCount(), 7);
    EXPECT_TRUE(list()->isColumnHidden(frmKestrow::ColNextRunFormatted));
    EXPECT_TRUE(list()->isColumnHidden(frmKestrow::ColLastRunFormatted));
    EXPECT_FALSE(window->cancelItemVisible());

    // A later start keeps the window out of the way; offscreen there is no tray, so
    // it is minimised rather than hidden, and the close box does the same.
    EXPECT_FALSE(window->IsMainWindowVisible());
    window->RestoreMainWindow();
    EXPECT_TRUE(window->IsMainWindowVisible());
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->unloaded());

    // "&Shut Down Kestrow" from inside the event loop saves and ends it.
    std::filesystem::remove(dir / "data/Default Task List.kwt");
    QTimer::singleShot(0, window.get(), [this] { trigger("mnuPopupShutDown"); });
    QApplication::exec();
    EXPECT_TRUE(window->unloaded());
    EXPECT_TRUE(contains(taskListFile(), "[A]"));
    EXPECT_TRUE(contains(dir.readFile("data/kestrow.ini"), "[Form Dimensions]"));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(MainWindowTest, NewDuplicateRenameAndDeleteKeepTheTaskListFileInStep)
{
    const TaskSpec a = treeTask("A");
    TaskSpec copy1 = a, copy2 = a;
    copy1.name = "Copy of A";
    copy2.name = "Copy of A (2)";
    writeTaskList({a, copy1, copy2});
    start();
    window->RestoreMainWindow();

    // New task: the name is trimmed, the dialog fills in the folders.
    ui.queueInput("  B  ");
    answerPropertiesDialog(dir / "A/src", dir / "A/dst/", true);
    trigger("mnuFileNewTask");
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_EQ(lastMessage(), "New Task|'B' has been created successfully.\n\n"
                             "To run this task, click on the Run Task toolbar button.");
    EXPECT_NE(window->findRow("B"), nullptr);
    EXPECT_TRUE(contains(taskListFile(), "[B]\nSourceFolderSpec=" + dir / "A/src/\n"));

    // Refused names: another case of an existing name, an illegal character. No dialog.
    ui.queueInput("b");
    trigger("mnuFileNewTask");
    EXPECT_EQ(lastMessage(), "Duplicate Task Name|A task with this name already exists.");
    EXPECT_EQ(ui.messages().back().icon, MsgIcon::Exclamation);
    ui.queueInput("x/y");
    trigger("mnuFileNewTask");
    EXPECT_EQ(lastMessage(), "Illegal Task Name|Task names cannot contain any of the following characters:\n"
                             "\\ / : * ? \" < > |");
    EXPECT_EQ(ui.messages().back().icon, MsgIcon::Critical);
    // A cancelled dialog adds nothing.
    ui.queueInput("Z");
    answerPropertiesDialog({}, {}, false);
    trigger("mnuFileNewTask");
    EXPECT_EQ(window->findRow("Z"), nullptr);
    EXPECT_FALSE(contains(taskListFile(), "[Z]"));

    // Duplicate: the next free "Copy of" name; added even though the dialog is cancelled.
    select("A");
    answerPropertiesDialog({}, {}, false);
    trigger("mnuFileDuplicateTask");
    EXPECT_EQ(lastMessage(), "Duplicate Task|'Copy of A (3)' has been created successfully.");
    EXPECT_TRUE(contains(taskListFile(), "[Copy of A (3)]\nSourceFolderSpec=" + a.source + "\n"));
    EXPECT_EQ(window->findRow("Copy of A (3)"), list()->currentItem());

    // Rename through the label editor: a change of case only is refused.
    select("B");
    trigger("mnuFileRenameTask");
    typeIntoLabelEditor(QStringLiteral("b"));
    EXPECT_EQ(lastMessage(), "Rename Task|Duplicate task name");
    EXPECT_NE(window->findRow("B"), nullptr);
    EXPECT_TRUE(contains(taskListFile(), "[B]"));

    select("B");
    trigger("mnuFileRenameTask");
    typeIntoLabelEditor(QStringLiteral(" C "));
    EXPECT_NE(window->findRow("C"), nullptr);
    EXPECT_EQ(window->findRow("B"), nullptr);
    EXPECT_TRUE(contains(taskListFile(), "[C]\nSourceFolderSpec=" + dir / "A/src/\n"));
    EXPECT_FALSE(contains(taskListFile(), "[B]"));

    // Delete asks first; No keeps the task, Yes removes row, task, section and the
    // task's include file, and no other task's.
    dir.writeFile("data/C.kwi", dir / "A/src/one.txt");
    dir.writeFile("data/A.kwi", dir / "A/src/one.txt");
    select("C");
    ui.queueAnswer(MsgResult::No);
    trigger("mnuFileDeleteTask");
    EXPECT_EQ(lastMessage(), "Confirm Task Delete|You are about to delete the following task: \n\"C\"\n\n"
                             "Do you wish to continue?");
    EXPECT_NE(window->findRow("C"), nullptr);
    EXPECT_TRUE(std::filesystem::exists(dir / "data/C.kwi"));
    ui.queueAnswer(MsgResult::Yes);
    trigger("mnuFileDeleteTask");
    EXPECT_EQ(window->findRow("C"), nullptr);
    EXPECT_FALSE(contains(taskListFile(), "[C]"));
    EXPECT_EQ(gCloneTasks->Item("C"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir / "data/C.kwi"));
    EXPECT_TRUE(std::filesystem::exists(dir / "data/A.kwi"));

    // The Delete key does the same for the selected task.
    select("Copy of A (3)");
    ui.queueAnswer(MsgResult::Yes);
    QTest::keyRelease(list(), Qt::Key_Delete);
    EXPECT_EQ(window->findRow("Copy of A (3)"), nullptr);
    EXPECT_FALSE(contains(taskListFile(), "[Copy of A (3)]"));

    // Without a selection each command says so.
    list()->clearSelection();
    trigger("mnuFileDeleteTask");
    EXPECT_EQ(lastMessage(), "Delete Task|Please select a task to delete");
    trigger("mnuFileRenameTask");
    EXPECT_EQ(lastMessage(), "Rename Task|Please select a task to rename.");
    trigger("mnuFileDuplicateTask");
    EXPECT_EQ(lastMessage(), "Duplicate Selected Task|Please select a task first.");
    EXPECT_TRUE(ui.allAnswersUsed());
}

TEST_F(MainWindowTest, RunFromTheMenuWritesTheLogAndSetsTheRowAndTrayIcons)
{
    performWithoutConfirming();
    TaskSpec broken{"Broken", dir / "missing/", dir / "nowhere/"};
    writeTaskList({treeTask("A"), broken});
    start();
    QSignalSpy started(&window->runHostObject(), &gui::QtRunHost::runStartedOnWindow);

    select("A");
    trigger("mnuRunSelectedTask");
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(dir.readFile("A/dst/one.txt"), "one");
    EXPECT_EQ(dir.readFile("A/dst/sub/two.txt"), "two");
    std::string log = dir.readFile("data/clone.log");
    EXPECT_TRUE(contains(log, "<Begin: A>"));
    EXPECT_TRUE(contains(log, "<End: A>"));
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("A")), 1);
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Normal);
    EXPECT_EQ(window->panelText(1), QStringLiteral("Clone Complete - A"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrow"));
    EXPECT_FALSE(window->animationActive());
    // The row shows the run time.
    EXPECT_EQ(window->findRow("A")->text(frmKestrow::ColLastRun), q(GeneralDateText(clock.now())));

    select("Broken");
    trigger("mnuRunSelectedTask");
    log = dir.readFile("data/clone.log");
    EXPECT_TRUE(contains(log, "<Begin: Broken>"));
    EXPECT_TRUE(contains(log, "Problems processing the Source folder."));
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("Broken")), 2);
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Error);
    EXPECT_EQ(window->panelText(1), QStringLiteral("Clone Complete with Errors - Broken"));

    // Resetting every error indicator brings back the normal icons.
    trigger("mnuPopupResetErrorFlag");
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("Broken")), 1);
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Normal);

    // No selection: the message instead of a run.
    list()->clearSelection();
    trigger("mnuRunSelectedTask");
    EXPECT_EQ(lastMessage(), "Run Selected Task|Please select a task to run");
    EXPECT_EQ(started.count(), 2);
}

TEST_F(MainWindowTest, CommandsThatWouldStartOrChangeARunAreRefusedWithABeepDuringOne)
{
    writeTaskList({treeTask("A"), treeTask("B")});
    start();
    window->RestoreMainWindow();
    gui::frmKestrow& w = *window;

    // The run waits for its confirmation on the window thread: that is "during a run".
    bool confirmed = false;
    w.runHostObject().setConfirmHandler(
        [&](const std::vector<std::string>& actions, std::vector<bool>& skipped, bool& keepConfirming) {
            confirmed = true;
            EXPECT_TRUE(gblnCloneRunning);
            EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrow running task: A"));
            EXPECT_EQ(w.tray().toolTip(), QStringLiteral("Kestrow running task: A"));
            EXPECT_TRUE(w.cancelItemVisible());
            EXPECT_FALSE(w.topLevelMenusEnabled());
            for (QAction* item : w.findChild<QToolBar*>(QStringLiteral("suToolbar"))->actions())
                EXPECT_EQ(item->isEnabled(), item->objectName() == QLatin1String("HELP"))
                    << s(item->objectName());

            // The tray menu during a run: only the stop command of the run commands.
            w.SysTray_RightClick();
            EXPECT_FALSE(w.findChild<QMenu*>(QStringLiteral("mnuPopupRunTask"))->menuAction()->isEnabled());
            EXPECT_FALSE(w.action(QStringLiteral("mnuPopupRunAllTasks"))->isEnabled());
            EXPECT_TRUE(w.action(QStringLiteral("mnuPopupCancelRunningTask"))->isEnabled());

            const int beepsBefore = ui.beeps();
            const std::size_t promptsBefore = ui.prompts().size();
            select("B");
            const std::vector<std::function<void()>> commands = {
                [&] { w.mnuRunSelectedTask_Click(); },
                [&] { w.mnuRunCheckedTasks_Click(); },
                [&] { w.mnuRunAllTasksNow_Click(); },
                [&] { w.RunAllTasksInCategory("Unfiled"); },
                [&] { w.mnuPopupTaskName_Click(1); },
                [&] { w.mnuFileNewTask_Click(); },
                [&] { w.mnuFileDuplicateTask_Click(); },
                [&] { w.mnuFileDeleteTask_Click(); },
                [&] { w.mnuFileRenameTask_Click(); },
                [&] { w.mnuFileTaskProperties_Click(); },
                [&] { w.mnuFileNewTaskList_Click(); },
                [&] { w.mnuFileReport_Click(); },
                [&] { w.ToolbarClick(QStringLiteral("RUNTASK")); },
                [&] { w.ShutDown(); },
            };
            for (const auto& command : commands)
                command();
            QTest::keyRelease(w.taskListView(), Qt::Key_Delete);
            EXPECT_EQ(ui.beeps() - beepsBefore, static_cast<int>(commands.size()) + 1);
            EXPECT_EQ(ui.prompts().size() - promptsBefore, commands.size() + 1) << "only beeps";
            EXPECT_FALSE(w.unloaded());

            skipped.assign(actions.size(), false);
            keepConfirming = true;
            return true;
        });

    select("A");
    trigger("mnuRunSelectedTask");
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(dir.readFile("A/dst/one.txt"), "one");
    EXPECT_FALSE(std::filesystem::exists(dir / "B/dst/one.txt")) << "B must not have run";
    EXPECT_TRUE(w.topLevelMenusEnabled());
    EXPECT_FALSE(w.cancelItemVisible());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrow"));
    EXPECT_EQ(w.tray().toolTip(), QStringLiteral("Kestrow"));
    for (QAction* item : w.findChild<QToolBar*>(QStringLiteral("suToolbar"))->actions())
        EXPECT_TRUE(item->isEnabled());
}

TEST_F(MainWindowTest, TheCancelItemCancelsTheRunAndSaysSoWhenClickedAgain)
{
    writeTaskList({treeTask("A")});
    start();
    window->runHostObject().setConfirmHandler(
        [&](const std::vector<std::string>& actions, std::vector<bool>& skipped, bool& keepConfirming) {
            window->findChild<QToolButton*>(QStringLiteral("CANCEL"))->click();
            EXPECT_TRUE(ui.messages().empty()) << "the first click cancels silently";
            window->findChild<QToolButton*>(QStringLiteral("CANCEL"))->click();
            EXPECT_EQ(lastMessage(), "Cancel Clone|The clone will be cancelled after the current file "
                                     "operation is completed.");
            skipped.assign(actions.size(), false);
            keepConfirming = true;
            return true;
        });
    select("A");
    trigger("mnuRunSelectedTask");
    EXPECT_FALSE(std::filesystem::exists(dir / "A/dst/one.txt"));
    EXPECT_EQ(window->panelText(1), QStringLiteral("Clone Cancelled By User - A"));
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("A")), 2);
    EXPECT_TRUE(contains(dir.readFile("data/clone.log"), "User Cancelled Error"));
}

TEST_F(MainWindowTest, ASessionEndDuringARunCancelsItLogsTheAbortAndSaves)
{
    writeTaskList({treeTask("A")});
    start();
    window->runHostObject().setConfirmHandler(
        [&](const std::vector<std::string>& actions, std::vector<bool>& skipped, bool& keepConfirming) {
            // The session ends while the run waits on this thread.
            window->SessionEnd();
            EXPECT_FALSE(window->unloaded()) << "not before the run has returned";
            skipped.assign(actions.size(), false);
            keepConfirming = true;
            return true;
        });
    std::filesystem::remove(dir / "data/kestrow.ini");
    select("A");
    trigger("mnuRunSelectedTask");
    EXPECT_TRUE(window->unloaded());
    EXPECT_FALSE(std::filesystem::exists(dir / "A/dst/one.txt")) << "the run was cancelled";
    const std::string log = dir.readFile("data/clone.log");
    const std::size_t end = log.find("<End: A>");
    const std::size_t abort = log.find("Application Shutdown Error: The clone task was aborted");
    const std::size_t unknown = log.find("<End: Unknown Task Name>");
    ASSERT_NE(end, std::string::npos) << log;
    ASSERT_NE(abort, std::string::npos) << log;
    ASSERT_NE(unknown, std::string::npos) << log;
    EXPECT_LT(end, abort);
    EXPECT_LT(abort, unknown);
    EXPECT_TRUE(std::filesystem::exists(dir / "data/kestrow.ini"));
    EXPECT_TRUE(contains(taskListFile(), "[A]"));
}

TEST_F(MainWindowTest, SortingByNextRunOrdersByDateWithManualTasksFirst)
{
    // "10/1/2026" sorts before "9/1/2026" as text; by date it comes after.
    auto next = [](int year, int month, int day) {
        return std::to_string(dateFromParts({year, month, day, 9, 0, 0}));
    };
    writeTaskList({
        {"Oct", dir / "s/", dir / "t/", 1, next(2026, 10, 1)},
        {"manual b", dir / "s/", dir / "t/"},
        {"Sep", dir / "s/", dir / "t/", 1, next(2026, 9, 1)},
        {"Manual a", dir / "s/", dir / "t/"},
        {"Jul", dir / "s/", dir / "t/", 1, next(2026, 7, 1)},
    });
    start();
    EXPECT_EQ(rows(), (std::vector<std::string>{"Oct", "manual b", "Sep", "Manual a", "Jul"}));
    // The next scheduled task is marked.
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("Jul")), 3);
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("Oct")), 1);

    QHeaderView* header = list()->header();
    Q_EMIT header->sectionClicked(frmKestrow::ColNextRun);
    EXPECT_EQ(rows(), (std::vector<std::string>{"manual b", "Manual a", "Jul", "Sep", "Oct"}));
    Q_EMIT header->sectionClicked(frmKestrow::ColNextRun);
    EXPECT_EQ(rows(), (std::vector<std::string>{"Oct", "Sep", "Jul", "manual b", "Manual a"}));
    // Names sort without regard to case.
    Q_EMIT header->sectionClicked(frmKestrow::ColTaskName);
    EXPECT_EQ(rows(), (std::vector<std::string>{"Jul", "Manual a", "manual b", "Oct", "Sep"}));
    // The sort-key columns are for sorting only.
    window->lvwTasks_ColumnClick(frmKestrow::ColNextRunFormatted);
    EXPECT_EQ(lastMessage(), "Invalid Column|This is not a sortable column.  It is for internal use only.");

    // The saved order is the displayed order.
    Q_EMIT header->sectionClicked(frmKestrow::ColNextRun);
    window->shell().Form_Unload();
    const std::string file = taskListFile();
    std::vector<std::size_t> at;
    for (const char* name : {"[Manual a]", "[manual b]", "[Jul]", "[Sep]", "[Oct]"})
        at.push_back(file.find(name));
    for (std::size_t i = 0; i < at.size(); ++i)
        ASSERT_NE(at[i], std::string::npos) << i;
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << file;
}

TEST_F(MainWindowTest, TrayMenuWithNoTasksAndItsWindowEntries)
{
    writeTaskList({});
    start();
    gui::DesktopIntegration& tray = window->tray();
    // A right click reaches the window through the tray object's signal.
    tray.onActivated(QSystemTrayIcon::Context);
    QMenu* runTask = window->findChild<QMenu*>(QStringLiteral("mnuPopupRunTask"));
    ASSERT_EQ(runTask->actions().size(), 1);
    EXPECT_EQ(runTask->actions().front()->text(), QStringLiteral("(no tasks in list)"));
    runTask->actions().front()->trigger();
    EXPECT_TRUE(ui.prompts().empty()) << "the placeholder runs nothing";
    EXPECT_TRUE(window->action(QStringLiteral("mnuPopupRunAllTasks"))->isEnabled());
    EXPECT_FALSE(window->action(QStringLiteral("mnuPopupCancelRunningTask"))->isEnabled());
    // The category entries: Unfiled, the sorted categories, then "Edit Categories...".
    QMenu* categories = window->findChild<QMenu*>(QStringLiteral("mnuPopupCategories"));
    QStringList captions;
    for (QAction* entry : categories->actions())
        captions << entry->text();
    EXPECT_EQ(captions,
              QStringList({QStringLiteral("Unfiled"), QStringLiteral("Documents"), QStringLiteral("E-mail"),
                           QStringLiteral("Financial"), QStringLiteral("Personal"),
                           QStringLiteral("Pictures"), QStringLiteral("Settings"), QStringLiteral("Work"),
                           QStringLiteral("Edit Categories...")}));
    categories->actions().front()->trigger();
    EXPECT_EQ(lastMessage(), "No Tasks in Category|No tasks are in this category.");

    // Minimised (the start-up state without a tray): both window entries, Show the default.
    QAction* show = window->action(QStringLiteral("mnuPopupShow"));
    QAction* toTray = window->action(QStringLiteral("mnuPopupSendToTray"));
    EXPECT_TRUE(show->isEnabled());
    EXPECT_TRUE(toTray->isEnabled());
    EXPECT_EQ(window->trayMenu()->defaultAction(), show);
    // Activation brings the window back; then "Send to Tray" is the default.
    tray.onActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->IsMainWindowVisible());
    window->SysTray_RightClick();
    EXPECT_FALSE(show->isEnabled());
    EXPECT_TRUE(toTray->isEnabled());
    EXPECT_EQ(window->trayMenu()->defaultAction(), toTray);
    toTray->trigger();
    EXPECT_FALSE(window->IsMainWindowVisible());
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Normal);
    EXPECT_TRUE(window->tray().isIconVisible());
}

TEST_F(MainWindowTest, PauseShowsThePausedIconAndBackgroundAndHoldsTheScheduler)
{
    performWithoutConfirming();
    TaskSpec due = treeTask("Due");
    due.intervalType = 1;
    due.next = std::to_string(clock.now() - 2.0 / 1440);
    due.error = true;
    writeTaskList({due});
    start();
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Error);

    trigger("mnuFilePauseExecution");
    EXPECT_TRUE(gblnSchedulerPaused);
    EXPECT_TRUE(window->action(QStringLiteral("mnuFilePauseExecution"))->isChecked());
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Paused) << "paused wins over error";
    EXPECT_TRUE(window->pausedBackgroundShown());
    window->SysTray_RightClick();
    EXPECT_TRUE(window->action(QStringLiteral("mnuPopupPause"))->isChecked());
    // The due task waits while paused.
    EXPECT_EQ(window->tmrCloneScheduler_Timer(), TickOutcome::Busy);
    EXPECT_FALSE(std::filesystem::exists(dir / "Due/dst/one.txt"));

    // The tray's own command resumes, and both check marks follow.
    window->action(QStringLiteral("mnuPopupPause"))->trigger();
    EXPECT_FALSE(gblnSchedulerPaused);
    EXPECT_FALSE(window->action(QStringLiteral("mnuFilePauseExecution"))->isChecked());
    EXPECT_FALSE(window->action(QStringLiteral("mnuPopupPause"))->isChecked());
    EXPECT_FALSE(window->pausedBackgroundShown());
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Error);
    EXPECT_EQ(window->tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(dir.readFile("Due/dst/one.txt"), "one");
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Normal);
}

TEST_F(MainWindowTest, TheSchedulerRunsADueTaskOnlyWhileTheWindowIsNotOpen)
{
    performWithoutConfirming();
    TaskSpec due = treeTask("Due");
    due.intervalType = 1;
    due.next = std::to_string(clock.now() - 1.0 / 1440);
    writeTaskList({due});
    start();
    window->RestoreMainWindow();

    EXPECT_EQ(window->tmrCloneScheduler_Timer(), TickOutcome::WindowOpen);
    EXPECT_EQ(lastMessage(),
              "Scheduled Task Not Run|The following scheduled task was not run:\nDue\n\n"
              "Scheduled tasks are run only when the\napplication window is closed or minimized.\n\n"
              "Note: This message will not appear again.");
    // Once only; afterwards the status bar says it.
    EXPECT_EQ(window->tmrCloneScheduler_Timer(), TickOutcome::WindowOpen);
    EXPECT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(window->panelText(1),
              QStringLiteral("Scheduled tasks are not run while the main Kestrow window is open."));
    EXPECT_FALSE(std::filesystem::exists(dir / "Due/dst/one.txt"));

    window->showMinimized();
    EXPECT_EQ(window->tmrCloneScheduler_Timer(), TickOutcome::Ran);
    EXPECT_EQ(dir.readFile("Due/dst/one.txt"), "one");
    const CloneTaskPtr task = gCloneTasks->Item("Due");
    ASSERT_NE(task, nullptr);
    EXPECT_GT(task->NextCloneDateTime(), clock.now());
    EXPECT_EQ(window->findRow("Due")->text(frmKestrow::ColNextRun),
              q(GeneralDateText(task->NextCloneDateTime())));
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("Due")), 3);
    // Not due again until its next minute.
    EXPECT_EQ(window->tmrCloneScheduler_Timer(), TickOutcome::NotDue);
}

TEST_F(MainWindowTest, OptionMenusShowAndChangeTheOptions)
{
    writeTaskList({});
    start();
    // The reader's defaults are the check marks.
    EXPECT_TRUE(window->action(QStringLiteral("mnuOptionsCompMethodDateTime"))->isChecked());
    EXPECT_TRUE(window->action(QStringLiteral("mnuLogSize500"))->isChecked());
    EXPECT_TRUE(window->action(QStringLiteral("mnuOptionsConfirmSyncActions"))->isChecked());

    trigger("mnuOptionsCompMethodSize");
    EXPECT_TRUE(window->action(QStringLiteral("mnuOptionsCompMethodSize"))->isChecked());
    EXPECT_FALSE(window->action(QStringLiteral("mnuOptionsCompMethodDateTime"))->isChecked());
    EXPECT_EQ(gCompare->CompareMethod(), 1);
    trigger("mnuOptionsCompMethodSize"); // already chosen: stays
    EXPECT_TRUE(window->action(QStringLiteral("mnuOptionsCompMethodSize"))->isChecked());

    trigger("mnuOptionsConfirmSyncActions");
    EXPECT_FALSE(window->action(QStringLiteral("mnuOptionsConfirmSyncActions"))->isChecked());
    EXPECT_FALSE(gClone->ConfirmSyncActions());

    // The recycle-bin warning once; No keeps the old method.
    trigger("mnuOptionsDeleteMethod(0)");
    ui.queueAnswer(MsgResult::No);
    trigger("mnuOptionsDeleteMethod(1)");
    EXPECT_EQ(ui.messages().back().title, "Send To Recycle Bin");
    EXPECT_EQ(gClone->DeleteMethod(), 0);
    EXPECT_TRUE(window->action(QStringLiteral("mnuOptionsDeleteMethod(0)"))->isChecked());
    EXPECT_FALSE(window->action(QStringLiteral("mnuOptionsDeleteMethod(1)"))->isChecked());
    trigger("mnuOptionsDeleteMethod(1)");
    EXPECT_EQ(gClone->DeleteMethod(), 1);
    EXPECT_EQ(ui.messages().size(), 1u);

    // "1 Meg" is 1024000 bytes; "Never" only after Yes.
    trigger("mnuLogSize1Meg");
    EXPECT_EQ(gCloneLog->MaxLogFileSize(), 1024000);
    ui.queueAnswer(MsgResult::No);
    trigger("mnuLogSizeNever");
    EXPECT_TRUE(gCloneLog->RestrictLogSize());
    EXPECT_TRUE(window->action(QStringLiteral("mnuLogSize1Meg"))->isChecked());
    EXPECT_FALSE(window->action(QStringLiteral("mnuLogSizeNever"))->isChecked());

    // The window's size and the column widths go to the options as they change.
    window->RestoreMainWindow();
    QCoreApplication::processEvents(); // the platform restores the window
    window->resize(700, 500);
    QCoreApplication::processEvents();
    list()->header()->resizeSection(frmKestrow::ColSource, 240);
    EXPECT_EQ(window->shell().options().widthPixels(), 700);
    EXPECT_EQ(window->shell().options().heightPixels(), 500);
    EXPECT_EQ(window->shell().options().columnWidth(frmKestrow::ColSource), 240);
    // A maximised window's size is not kept.
    window->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->shell().options().widthPixels(), 700);

    // Saved at shutdown from the same check marks.
    window->shell().Form_Unload();
    const std::string ini = dir.readFile("data/kestrow.ini");
    EXPECT_TRUE(contains(ini, "CompareType=Size")) << ini;
    EXPECT_TRUE(contains(ini, "MaxSize=1000")) << ini;
    EXPECT_TRUE(contains(ini, "ConfirmSyncActions=False")) << ini;
    EXPECT_TRUE(
        contains(ini, "Width=" + PadLeft(std::to_string(700 * ProgramOptions::TwipsPerPixel), '0', 10)))
        << ini;
    EXPECT_TRUE(contains(ini, "ColumnTwo=0000000240")) << ini;
}

TEST_F(MainWindowTest, ClosingTheWindowShowsTheTrayReminderUntilItIsTurnedOff)
{
    dir.writeFile("data/kestrow.ini", "[Reminders]\nSysTray=True\n");
    writeTaskList({});
    start();
    window->RestoreMainWindow();
    window->close();
    QWidget* reminder = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("frmSysTrayReminder") && top->isVisible())
            reminder = top;
    ASSERT_NE(reminder, nullptr);
    EXPECT_EQ(reminder->windowTitle(), QStringLiteral("Close Kestrow"));
    auto* remind = reminder->findChild<QCheckBox*>(QStringLiteral("chkSysTrayReminder"));
    ASSERT_NE(remind, nullptr);
    EXPECT_TRUE(remind->isChecked());
    remind->setChecked(false);
    reminder->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    EXPECT_FALSE(gblnShowSysTrayReminder);
    window->shell().Form_Unload();
    EXPECT_TRUE(contains(dir.readFile("data/kestrow.ini"), "SysTray=False"));
}

TEST_F(MainWindowTest, TheTrayReminderIsOneWindowAtATimeAndGoesWithTheMainWindow)
{
    dir.writeFile("data/kestrow.ini", "[Reminders]\nSysTray=True\n");
    writeTaskList({});
    start();
    // Every reminder window there is, shown or not.
    auto reminders = [] {
        std::vector<QWidget*> found;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("frmSysTrayReminder"))
                found.push_back(top);
        return found;
    };

    window->RestoreMainWindow();
    window->close();
    ASSERT_EQ(reminders().size(), 1u);
    QWidget* first = reminders().front();
    EXPECT_TRUE(first->isVisible());
    // Closed again while it is open: still that one window.
    window->RestoreMainWindow();
    window->close();
    EXPECT_EQ(reminders(), std::vector<QWidget*>{first});

    // Once dismissed, the next close shows a reminder again, and only one is left.
    first->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(gblnShowSysTrayReminder);
    window->RestoreMainWindow();
    window->close();
    ASSERT_EQ(reminders().size(), 1u);
    EXPECT_TRUE(reminders().front()->isVisible());

    closeWindow();
    EXPECT_TRUE(reminders().empty());
}

TEST_F(MainWindowTest, SaveTaskListAsWritesTheDisplayedOrderAndTheListKeepsItsOwnFile)
{
    writeTaskList({treeTask("A"), treeTask("B")});
    start();
    window->RestoreMainWindow();
    Q_EMIT list()->header()->sectionClicked(frmKestrow::ColTaskName);
    Q_EMIT list()->header()->sectionClicked(frmKestrow::ColTaskName); // descending: B, A
    ASSERT_EQ(rows(), (std::vector<std::string>{"B", "A"}));
    const std::string before = taskListFile();

    window->SaveTaskListAs(dir / "data/Copy.kwt");
    const std::string copy = dir.readFile("data/Copy.kwt");
    ASSERT_TRUE(contains(copy, "[A]")) << copy;
    EXPECT_LT(copy.find("[B]"), copy.find("[A]")) << copy;
    EXPECT_EQ(taskListFile(), before);
    EXPECT_EQ(gCloneTasks->TaskListFileSpec(), dir / "data/Default Task List.kwt");
    EXPECT_EQ(window->findChild<QTabBar*>(QStringLiteral("tbsTasks"))->tabText(0),
              QStringLiteral("Default Task List"));

    // A task added now goes to the list's own file, not to the copy.
    ui.queueInput("C");
    answerPropertiesDialog(dir / "A/src", dir / "A/dst/", true);
    trigger("mnuFileNewTask");
    EXPECT_TRUE(contains(taskListFile(), "[C]"));
    EXPECT_FALSE(contains(dir.readFile("data/Copy.kwt"), "[C]"));

    // Opening the copy reads it into a fresh list and shows that.
    window->SwitchTaskList(dir / "data/Copy.kwt", true);
    EXPECT_EQ(gCloneTasks->TaskListFileSpec(), dir / "data/Copy.kwt");
    EXPECT_EQ(gCloneTasks->Count(), 2);
    EXPECT_EQ(gCloneTasks->Item("C"), nullptr);
    EXPECT_EQ(rows(), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(window->findChild<QTabBar*>(QStringLiteral("tbsTasks"))->tabText(0), QStringLiteral("Copy"));
}

TEST_F(MainWindowTest, NewTaskListAsksAgainForATakenNameThenSwitchesAfterSavingTheOldList)
{
    writeTaskList({treeTask("A"), treeTask("B")});
    dir.writeFile("data/Taken.kwt", "[T]\nSourceFolderSpec=/x/\nTargetFolderSpec=/y/\n");
    start();
    Q_EMIT list()->header()->sectionClicked(frmKestrow::ColTaskName);
    Q_EMIT list()->header()->sectionClicked(frmKestrow::ColTaskName); // descending: B, A
    ASSERT_EQ(rows(), (std::vector<std::string>{"B", "A"}));

    ui.queueInput("Taken");
    ui.queueInput(" Fresh ");
    trigger("mnuFileNewTaskList");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(lastMessage(), "Name Already Exists|A task list with this name already exists.");
    EXPECT_TRUE(ui.allAnswersUsed());
    // The old list was saved in the displayed order before the switch.
    const std::string old = taskListFile();
    EXPECT_LT(old.find("[B]"), old.find("[A]")) << old;
    EXPECT_TRUE(std::filesystem::exists(dir / "data/Fresh.kwt"));
    EXPECT_EQ(gCloneTasks->TaskListFileSpec(), dir / "data/Fresh.kwt");
    EXPECT_EQ(window->findChild<QTabBar*>(QStringLiteral("tbsTasks"))->tabText(0), QStringLiteral("Fresh"));
    EXPECT_TRUE(rows().empty());

    // Loading another list shows its tasks.
    window->SwitchTaskList(dir / "data/Taken.kwt", true);
    EXPECT_EQ(rows(), std::vector<std::string>{"T"});
    EXPECT_EQ(window->findChild<QTabBar*>(QStringLiteral("tbsTasks"))->tabText(0), QStringLiteral("Taken"));

    // Refused list names.
    ui.queueInput("a:b");
    trigger("mnuFileNewTaskList");
    EXPECT_EQ(lastMessage(), "Illegal Task List Name|Task list names cannot contain any of the following "
                             "characters:\n\\ / : * ? \" < > |");
    ui.queueInput(std::nullopt);
    trigger("mnuFileNewTaskList");
    EXPECT_EQ(gCloneTasks->TaskListFileSpec(), dir / "data/Taken.kwt");
}

TEST_F(MainWindowTest, ReportChecksBothFoldersBeforeWritingIt)
{
    TaskSpec good = treeTask("A");
    dir.writeFile("A/dst/old.txt", "old");
    writeTaskList({good, {"NoSource", dir / "gone/", good.target}, {"NoTarget", good.source, dir / "gone/"}});
    start();
    std::vector<std::string> opened;
    ScopedHtmlFileOpener opener([&](const std::string& file) {
        opened.push_back(file);
        return platform::OpenOutcome{platform::OpenStatus::Started, "browser", 0};
    });

    struct Row
    {
        const char* task;
        const char* message; // empty: the report is shown
    };
    const Row table[] = {
        {"NoSource", "Create Report|Problems processing the Source folder."},
        {"NoTarget", "Create Report|Problems processing the Target folder."},
        {"A", ""},
    };
    for (const Row& row : table) {
        ui.clear();
        opened.clear();
        select(row.task);
        trigger("mnuFileReport");
        if (*row.message) {
            EXPECT_EQ(lastMessage(), row.message) << row.task;
            EXPECT_TRUE(opened.empty()) << row.task;
        } else {
            EXPECT_TRUE(ui.messages().empty()) << row.task;
            ASSERT_EQ(opened.size(), 1u);
            const std::string html = dir.readFile(opened.front());
            EXPECT_TRUE(contains(html, "one.txt")) << "added in the Source";
            EXPECT_TRUE(contains(html, "old.txt")) << "deleted from the Source";
        }
        EXPECT_TRUE(window->panelText(1).isEmpty()) << row.task;
    }
    list()->clearSelection();
    trigger("mnuFileReport");
    EXPECT_EQ(lastMessage(), "Create a Report of Folder Differences|Please select a task first");
}

TEST_F(MainWindowTest, DelayInputIsCheckedRowByRow)
{
    writeTaskList({});
    start();
    struct Row
    {
        const char* input;
        const char* message;
        int32_t delay; // afterwards
    };
    const Row table[] = {
        {"abc",
         "Invalid Delay Input|\"abc\" is not a valid numeric input.\n\nFor example, enter \"5\" (without the "
         "quotes)\nfor a five minute delay.",
         0},
        {"0",
         "Invalid Delay Input|\"0\" is not a valid delay input.\n\nThe delay value must be a positive "
         "number.",
         0},
        {" -3 ",
         "Invalid Delay Input|\"-3\" is not a valid delay input.\n\nThe delay value must be a positive "
         "number.",
         0},
        {"2.5", "Delay|This change will take effect the next time Kestrow is launched.", 2},
        {"3.5", "Delay|This change will take effect the next time Kestrow is launched.", 4},
        {"", "", 4},
    };
    glngDelayBeforeFirstTask = 0;
    for (const Row& row : table) {
        ui.clear();
        ui.queueInput(std::string(row.input));
        trigger("mnuOptionsDelayBeforeFirstTask");
        EXPECT_EQ(lastMessage(), row.message) << row.input;
        EXPECT_EQ(glngDelayBeforeFirstTask, row.delay) << row.input;
    }
    // The default answer is the current delay, or 1 while there is none.
    EXPECT_EQ(ui.prompts().front().defaultText, "4");
    glngDelayBeforeFirstTask = 0;
}

TEST_F(MainWindowTest, SelectedTaskCommandsSayWhatIsMissing)
{
    TaskSpec a = treeTask("A");
    a.error = true;
    writeTaskList({a, {"NoTarget", a.source, ""}, {"GoneTarget", a.source, dir / "gone/"}});
    start();

    select("NoTarget");
    trigger("mnuFileRestore");
    EXPECT_EQ(lastMessage(), "Restore Source|Problems determining the Target Folder.");
    select("GoneTarget");
    trigger("mnuFileRestore");
    EXPECT_EQ(
        lastMessage(),
        "Restore Source|Make sure that the Target folder exists and that you have permission to access it.");
    EXPECT_FALSE(gblnRestoreRunning);

    // Reset of the selected task's error indicator.
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("A")), 2);
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Error);
    select("A");
    trigger("mnuResetErrorFlagSelectedTask");
    EXPECT_EQ(frmKestrow::rowIconIndex(window->findRow("A")), 1);
    EXPECT_FALSE(gCloneTasks->Item("A")->ErrorOnLastClone());
    EXPECT_EQ(window->tray().iconKind(), gui::AppIconKind::Normal);

    list()->clearSelection();
    const std::pair<const char*, const char*> table[] = {
        {"mnuResetErrorFlagSelectedTask", "Reset Error Flag|Please select a task first."},
        {"mnuFileRestore", "Restore Source|Please select a task first."},
        {"mnuFileTaskProperties", "Task Properties|Please select a task first."},
        {"mnuRunCheckedTasks", "No Checked Tasks|No tasks have been checked off."},
    };
    for (const auto& [command, message] : table) {
        trigger(command);
        EXPECT_EQ(lastMessage(), message) << command;
    }
}

TEST_F(MainWindowTest, CheckedTasksRunInListOrder)
{
    performWithoutConfirming();
    writeTaskList({treeTask("A"), treeTask("B"), treeTask("C")});
    start();
    std::vector<QString> runs;
    QObject::connect(&window->runHostObject(), &gui::QtRunHost::runStartedOnWindow,
                     [&](const QString& name) { runs.push_back(name); });
    window->findRow("C")->setCheckState(0, Qt::Checked);
    window->findRow("A")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(window->NumCheckedTasks(), 2);
    // Two checked tasks: the order dialog offers them in list order; Run Tasks as offered.
    std::vector<std::string> offered;
    whenShown<gui::frmOrderTasks>([&](gui::frmOrderTasks* dialog) {
        offered = dialog->Lines();
        dialog->OKButton_Click();
    });
    trigger("mnuRunCheckedTasks");
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_EQ(offered, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(runs, (std::vector<QString>{QStringLiteral("A"), QStringLiteral("C")}));
    EXPECT_FALSE(std::filesystem::exists(dir / "B/dst/one.txt"));
    EXPECT_EQ(dir.readFile("C/dst/one.txt"), "one");
}

TEST_F(MainWindowTest, LogAndRestoreCommandsOpenTheirWindows)
{
    TaskSpec a = treeTask("A");
    dir.writeFile("A/dst/kept.txt", "kept");
    writeTaskList({a});
    start();

    // The log viewer shows the log file.
    {
        std::ofstream(gCloneLog->LogFileSpec()) << "<marker line>\n";
    }
    QString shownLog;
    whenShown<gui::frmLog>([&](gui::frmLog* log) {
        shownLog = log->logView()->toPlainText();
        log->reject();
    });
    trigger("mnuLogView");
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_TRUE(shownLog.contains(QStringLiteral("<marker line>"))) << s(shownLog);

    // The restore window lists the selected task's Target folder; the restore flag is
    // set while it is open and cleared after.
    select("A");
    bool restoreFlagWhileOpen = false;
    bool targetListed = false;
    whenShown<gui::frmRestore>([&](gui::frmRestore* restore) {
        restoreFlagWhileOpen = gblnRestoreRunning;
        targetListed = restore->node(dir / "A/dst/kept.txt") != nullptr;
        restore->cmdCancel_Click();
    });
    trigger("mnuFileRestore");
    EXPECT_EQ(dialogsAnswered, 2);
    EXPECT_TRUE(restoreFlagWhileOpen);
    EXPECT_TRUE(targetListed);
    EXPECT_FALSE(gblnRestoreRunning);
}

TEST_F(MainWindowTest, ARunThatConfirmsShowsTheListAndSkipsWhatWasRemoved)
{
    writeTaskList({treeTask("A")});
    start();
    QAction* confirm = window->action(QStringLiteral("mnuOptionsConfirmSyncActions"));
    if (!confirm->isChecked())
        trigger("mnuOptionsConfirmSyncActions");
    ASSERT_TRUE(gClone->ConfirmSyncActions());

    QStringList listed;
    whenShown<gui::frmConfirmChanges>([&](gui::frmConfirmChanges* dialog) {
        auto* lines = dialog->findChild<QListWidget*>(QStringLiteral("lvwSyncOperations"));
        for (int i = 0; i < lines->count(); ++i) {
            listed << lines->item(i)->text();
            lines->item(i)->setSelected(lines->item(i)->text().contains(QStringLiteral("one.txt")));
        }
        dialog->cmdRemove_Click();
        dialog->findChild<QCheckBox*>(QStringLiteral("chkConfirmSyncActions"))->setChecked(false);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdPerform"))->click();
    });
    select("A");
    trigger("mnuRunSelectedTask");
    EXPECT_EQ(dialogsAnswered, 1);
    EXPECT_TRUE(listed.filter(QStringLiteral("one.txt")).size() == 1) << s(listed.join(QLatin1Char('|')));
    // The removed operation was skipped, the rest performed.
    EXPECT_FALSE(std::filesystem::exists(dir / "A/dst/one.txt"));
    EXPECT_EQ(dir.readFile("A/dst/sub/two.txt"), "two");
    // Switching confirming off in the list switches it off for the program.
    EXPECT_FALSE(gClone->ConfirmSyncActions());
    EXPECT_FALSE(confirm->isChecked());
}

} // namespace
