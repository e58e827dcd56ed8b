// The desktop program's window, offscreen: the real start-up and shutdown logic,
// real task list files and folder trees in a temporary folder, scripted answers.

#include "tests/gui/mainwindow/MainWindowTestSupport.h"

#include <QScrollBar>

namespace {

using namespace kestrow::test::mainwindow;

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
        [&](const SyncActionList& actions, std::vector<bool>& skipped, bool& keepConfirming) {
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

            skipped.assign(actions.count(), false);
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
        [&](const SyncActionList& actions, std::vector<bool>& skipped, bool& keepConfirming) {
            window->findChild<QToolButton*>(QStringLiteral("CANCEL"))->click();
            EXPECT_TRUE(ui.messages().empty()) << "the first click cancels silently";
            window->findChild<QToolButton*>(QStringLiteral("CANCEL"))->click();
            EXPECT_EQ(lastMessage(), "Cancel Clone|The clone will be cancelled after the current file "
                                     "operation is completed.");
            skipped.assign(actions.count(), false);
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
        [&](const SyncActionList& actions, std::vector<bool>& skipped, bool& keepConfirming) {
            // The session ends while the run waits on this thread.
            window->SessionEnd();
            EXPECT_FALSE(window->unloaded()) << "not before the run has returned";
            skipped.assign(actions.count(), false);
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

TEST_F(MainWindowTest, ASessionEndDuringAStartUpMessageBoxSavesAndEndsTheProgram)
{
    struct Row
    {
        const char* name;
        const char* options;
        const char* taskList;
        const char* boxTitle;
    };
    const Row rows[] = {
        {"a bad delete method", "[Reminders]\nSysTray=False\n[Miscellaneous]\nDeleteMethod=9\n",
         "[A]\nSourceFolderSpec=/s\n", "Unexpected Error in modIniFile.ReadProgramOptionsFromIniFile"},
        {"a task not loaded", "[Reminders]\nSysTray=False\n",
         "[A]\nSourceFolderSpec=/s\n[Weekly]\nIntervalType=4\nDaysOfWeek=0\n", "Task Not Loaded"},
        {"an unreadable task list", "[Reminders]\nSysTray=False\n",
         "[A]\nSourceFolderSpec=/s\n[B]\nIntervalType=x\n",
         "Unexpected Error in cCloneTasks.ReadAllTasksFromTaskListFile"},
    };
    // Real, modal message boxes, each waiting in its own event loop when the session ends.
    gui::QtUiServices real;
    ScopedUiServices scope(real);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.writeFile("data/kestrow.ini", row.options);
        dir.writeFile("data/Default Task List.kwt", row.taskList);
        window = std::make_unique<gui::frmKestrow>(gui::DesktopIntegration::TrayMode::NoTray);
        ASSERT_TRUE(window->shell().Main());
        std::vector<std::string> titles;
        std::function<void()> endWhenShown = [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                titles.push_back(s(box->windowTitle()));
                window->SessionEnd();
                EXPECT_FALSE(window->unloaded()) << "not while the start-up is still reading";
            } else {
                QTimer::singleShot(10, endWhenShown);
            }
        };
        QTimer::singleShot(0, endWhenShown);
        window->shell().Form_Load();
        window->endIfSessionEndedDuringLoad();

        EXPECT_TRUE(window->unloaded());
        ASSERT_FALSE(titles.empty());
        EXPECT_EQ(titles.front(), row.boxTitle);
        EXPECT_TRUE(contains(dir.readFile("data/kestrow.ini"), "[Miscellaneous]"))
            << "the options were saved";
        EXPECT_TRUE(contains(taskListFile(), "[A]"));
        window.reset();
        clearPendingQuit();
    }
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

TEST_F(MainWindowTest, AnEmptyListHasNoHorizontalScrollBarAndAFullOneMayHaveOne)
{
    writeTaskList({});
    start();
    window->RestoreMainWindow();
    window->resize(400, 300); // narrower than the columns
    QCoreApplication::processEvents();
    EXPECT_FALSE(list()->horizontalScrollBar()->isVisible());

    ui.queueInput(std::string("Wide"));
    answerPropertiesDialog(dir.makeDir("w/src") + "/", dir.makeDir("w/dst") + "/", true);
    trigger("mnuFileNewTask");
    QCoreApplication::processEvents();
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_TRUE(list()->horizontalScrollBar()->isVisible()) << "columns wider than the window";
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

} // namespace
