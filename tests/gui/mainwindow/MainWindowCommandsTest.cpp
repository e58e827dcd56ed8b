// The main window's option menus, tray reminder, task list files, report, delay input,
// task commands and the confirmation list, offscreen.

#include "tests/gui/mainwindow/MainWindowTestSupport.h"

#include "settings/IniDocument.h"
#include "tasks/TaskListFile.h"

#include <QItemSelectionModel>
#include <QListView>

#include <map>

namespace {

using namespace kestrow::test::mainwindow;

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
    EXPECT_FALSE(reminder->windowIcon().isNull()) << "the program's icon, not a blank one";
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
    dir.makeDir("B/dst");
    writeTaskList({good,
                   {"NoSource", dir / "gone/", good.target},
                   {"NoTarget", good.source, dir / "gone/"},
                   {"Two", good.source, good.target + "<:>" + (dir / "B/dst/")},
                   {"SecondGone", good.source, good.target + "<:>" + (dir / "gone/")}});
    start();
    std::vector<std::string> opened;
    ScopedHtmlFileOpener opener([&](const std::string& file) {
        opened.push_back(file);
        return platform::OpenOutcome{platform::OpenStatus::Started, "browser", 0};
    });

    struct Row
    {
        const char* task;
        const char* message; // empty: the reports are shown
        std::size_t reports = 1;
    };
    const Row table[] = {
        {"NoSource", "Create Report|Problems processing the Source folder."},
        {"NoTarget", "Create Report|Problems processing the Target folder."},
        {"SecondGone", "Create Report|Problems processing the Target folder."},
        {"A", ""},
        {"Two", "", 2},
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
            ASSERT_EQ(opened.size(), row.reports) << row.task;
            if (row.reports == 2) {
                EXPECT_NE(opened[0], opened[1]) << "each Target its own report";
            }
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
        {"99999999999",
         "Invalid Delay Input|\"99999999999\" is not a valid delay input.\n\nThe delay value must be a "
         "positive number.",
         4},
        {"1e300",
         "Invalid Delay Input|\"1e300\" is not a valid delay input.\n\nThe delay value must be a positive "
         "number.",
         4},
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
    // Meanwhile another program changes B and removes C from the file.
    std::string file = taskListFile();
    file.replace(file.find("Category=Unfiled", file.find("[B]")), 16, "Category=Elsewhere");
    file.erase(file.find("[C]"));
    dir.writeFile("data/Default Task List.kwt", file);
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
    // Each run is on record at once, merged into the file as it now is.
    const IniDocument after(taskListFile());
    EXPECT_EQ(after.getString("A", "LastCloneDateTime", "0"), DayNumberText(clock.now()));
    EXPECT_EQ(after.getString("B", "Category", ""), "Elsewhere");
    EXPECT_EQ(after.getString("B", "LastCloneDateTime", "none"), "none");
    EXPECT_FALSE(after.hasSection("C"));
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
        auto* lines = dialog->findChild<QListView*>(QStringLiteral("lvwSyncOperations"));
        for (int i = 0; i < lines->model()->rowCount(); ++i) {
            const QModelIndex line = lines->model()->index(i, 0);
            listed << line.data().toString();
            if (line.data().toString().contains(QStringLiteral("one.txt")))
                lines->selectionModel()->select(line, QItemSelectionModel::Select);
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

namespace {

using namespace kestrow::test::mainwindow;

TEST_F(MainWindowTest, StandardKeysReachTheirCommandsAndNoKeyIsTakenTwice)
{
    writeTaskList({treeTask("A")});
    start();
    window->RestoreMainWindow();
    QApplication::setActiveWindow(window.get());
    list()->setFocus();

    // Every key of the window leads to one command only.
    std::map<QString, QString> owners;
    for (QAction* a : window->findChildren<QAction*>()) {
        for (const QKeySequence& key : a->shortcuts()) {
            const auto [at, fresh] = owners.emplace(key.toString(), a->objectName());
            EXPECT_TRUE(fresh) << s(key.toString()) << " of " << s(a->objectName()) << " and "
                               << s(at->second);
        }
    }
    EXPECT_EQ(owners[QStringLiteral("Ctrl+N")], QStringLiteral("mnuFileNewTask"));
    EXPECT_EQ(owners[QStringLiteral("Ctrl+Q")], QStringLiteral("actShutDown"));
    EXPECT_EQ(owners[QStringLiteral("F2")], QStringLiteral("mnuFileRenameTask"));
    EXPECT_EQ(owners[QStringLiteral("Del")], QStringLiteral("mnuFileDeleteTask"));

    // Pressed, they do what the menu does: Ctrl+N asks for the new task's name.
    ui.queueInput(std::nullopt);
    QTest::keyClick(list(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_FALSE(ui.prompts().empty());
    EXPECT_EQ(ui.prompts().back().title, "New Task");

    // Enter on a selected row opens its properties.
    select("A");
    bool opened = false;
    whenShown<gui::frmTaskProperties>([&](gui::frmTaskProperties* dialog) {
        opened = true;
        dialog->reject();
    });
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_TRUE(opened);
}

} // namespace
