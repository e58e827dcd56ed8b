#pragma once
// The main window: the task list and its commands, the run commands and the
// scheduler timer, the tray icon, the toolbar and the status bar, and the Options,
// Admin, Log and Help menus.
//
// The window is the ShellHost of the start-up and shutdown logic (app/Startup.h):
// it owns the KestrowShell, whose Main and Form_Load the entry point calls. Every
// run goes through runTask: the task's Execute runs on a fresh worker thread while
// this thread waits in a local event loop (ui/qt/WorkerRun.h), so the window, the tray
// menu and the cancel item stay live. Every command that would start or change a
// run is refused with the beep while gblnCloneRunning is set.
//
// The implementation is spread over this folder, one file per job: the window shell
// (frmKestrow.cpp), the task list view (TaskList.cpp, TaskListView.h), the File menu
// and the toolbar (Menus.cpp), the Options menu (OptionsMenu.cpp), the Admin, Log and
// Help menus (AdminLogHelpMenus.cpp), the tray (TrayMenu.cpp), the runs
// (RunCommands.cpp), the task commands (TaskCommands.cpp) and the task list files
// (TaskListFileCommands.cpp).

#include "app/Startup.h"
#include "base/RunHost.h"
#include "tasks/cCloneTasks.h"
#include "ui/dialogs/run/frmOrderTasks.h"
#include "ui/qt/DesktopIntegration.h"
#include "ui/qt/KestrowIcons.h"

#include <QColor>
#include <QMainWindow>
#include <QTimer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QHBoxLayout;
class QLabel;
class QMenu;
class QTabBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrow::gui {

class InstanceActivation;
class QtRunHost;
class TaskListView;
class frmSysTrayReminder;

class frmKestrow : public QMainWindow, public ShellHost
{
    Q_OBJECT
public:
    // Columns of lvwTasks.
    enum Column
    {
        ColTaskName = 0,
        ColSource,
        ColTarget,
        ColNextRun,
        ColLastRun,
        ColNextRunFormatted,
        ColLastRunFormatted,
        ColumnCount
    };

    explicit frmKestrow(DesktopIntegration::TrayMode trayMode = DesktopIntegration::TrayMode::Auto,
                        QWidget* parent = nullptr);
    ~frmKestrow() override;

    KestrowShell& shell() { return *m_shell; }
    DesktopIntegration& tray() { return *m_tray; }
    QtRunHost& runHostObject() { return *m_runHost; }
    QTreeWidget* taskListView() const;

    // --- ShellHost ---------------------------------------------------------
    void setupToolbarAndStatusBar() override;
    void setTaskListCaption(const std::string& name) override;
    void refreshTaskList() override;
    void showWindowAtStart() override;
    void hideWindowToTray() override;
    void processEvents() override;
    void openQuickStartHelp(const std::string& file) override;
    void showSysTrayReminder() override;
    void armTimers() override;
    std::vector<std::string> taskListRowTexts() const override;
    void waitForRunToEnd() override;
    void releaseWindowResources() override;
    void setWaitCursor(bool on) override;
    // Asks the program that holds the data folder to bring up its window.
    bool activateRunningInstance() override;
    // SchedulerHost
    bool windowVisible() const override { return IsMainWindowVisible(); }
    void runScheduledTask(const CloneTaskPtr& task) override;
    void refreshTrayIcon() override { UpdateTrayIcon(); }
    void setPanel1Text(const std::string& text) override;

    // --- The task list view --------------------------------------------------
    // Rebuilds the view from gCloneTasks, then marks the next scheduled task.
    void ShowAllTasksInListview();
    // Appends a row for `task` (icon 1) and returns it.
    QTreeWidgetItem* AddNewTaskToListview(const cCloneTask& task);
    // Removes the first row whose text equals `name` exactly.
    void RemoveListItemByText(const std::string& name);
    int32_t NumCheckedTasks() const;
    // The row whose text equals `name` exactly, or null.
    QTreeWidgetItem* findRow(const std::string& name) const;
    // The row's icon number: 1 LVWTask, 2 LVWErrorTask, 3 LVWNextTask, 4 LVWErrorNextTask.
    static int rowIconIndex(const QTreeWidgetItem* row);
    // The task names in row order.
    std::vector<std::string> rowTexts() const { return taskListRowTexts(); }
    // Rebuilds the category entries of the File menu and of the tray menu.
    void LoadCategoriesInFileMenu();
    void LoadCategoriesInPopupMenu();

    // --- Window state ----------------------------------------------------------
    // Visible and in the normal state (neither minimised nor maximised).
    bool IsMainWindowVisible() const;
    // Minimises and hides the window; where the desktop has no tray it only
    // minimises, so the program stays reachable.
    void HideMainWindow();
    void RestoreMainWindow();
    void UpdateTrayIcon();
    void DisableToolbar();
    void EnableToolbar();
    void DisableTopLevelMenus();
    void EnableTopLevelMenus();
    bool topLevelMenusEnabled() const { return m_TopLevelMenusEnabled; }
    bool animationActive() const { return m_animate.isActive(); }
    bool pausedBackgroundShown() const { return m_pausedBackground; }
    bool cancelItemVisible() const;
    QString panelText(int panel) const;

    // --- Runs ------------------------------------------------------------------
    // Runs `task` (Execute(false)) on a worker thread and returns when it is over;
    // then refreshes its row, the row icons and the tray icon.
    void runTask(const CloneTaskPtr& task);
    // The run commands. A run of two or more tasks first asks for their order
    // (frmOrderTasks); closing that dialog runs nothing.
    void mnuRunSelectedTask_Click();
    void mnuRunCheckedTasks_Click();
    void mnuRunAllTasksNow_Click();
    void RunAllTasksInCategory(const std::string& categoryName);
    // The category the last RunAllTasksInCategory was given.
    const std::string& SelectedCategoryName() const { return m_SelectedCategoryName; }
    void mnuPopupTaskName_Click(int index);
    void mnuFilePauseExecution_Click();
    void mnuPopupPause_Click();
    void mnuPopupCancelRunningTask_Click();
    // A click on the status bar item "CANCEL".
    void StatusBarCancel_Click();
    // The scheduler timer's tick.
    TickOutcome tmrCloneScheduler_Timer();

    // --- Task and task list commands -------------------------------------------------
    void mnuFileNewTask_Click();
    void mnuFileDuplicateTask_Click();
    void mnuFileDeleteTask_Click();
    void mnuFileRenameTask_Click();
    void mnuFileTaskProperties_Click();
    void mnuFileNewTaskList_Click();
    void mnuFileLoadTaskList_Click();
    void mnuFileSaveTaskListAs_Click();
    void mnuRestetErrorFlagForSelectedTask_Click();
    void mnuResetErrorFlagForAllTasks_Click();
    void mnuFileReport_Click();
    void mnuFileRestore_Click();
    // Saves the current list in row order, then opens `fileSpec` as the task list.
    void SwitchTaskList(const std::string& fileSpec, bool afterLoad);
    // Saves the current list in row order to `fileSpec`; the list stays bound to its file.
    void SaveTaskListAs(const std::string& fileSpec);
    // The label-edit handlers: Before remembers the old name; After returns true when
    // the edit is to be cancelled (and the name kept).
    void lvwTasks_BeforeLabelEdit(QTreeWidgetItem* row);
    bool lvwTasks_AfterLabelEdit(const std::string& newString);
    // A click on a column header (0-based column index).
    void lvwTasks_ColumnClick(int column);

    // --- Tray -----------------------------------------------------------------
    // Rebuilds the tray menu (categories, task entries, check mark, enabled states,
    // default item). Connected to the menu's aboutToShow.
    void SysTray_RightClick();
    QMenu* trayMenu() const { return m_mnuPopup; }
    // The tray icon's activation, and "&Show Main Window".
    void ShowFromTray();
    // From now on a second launch on this data folder brings up this window (through
    // ActivateFromSecondLaunch) instead of being turned away. Once the start-up is over.
    void listenForLaterLaunches();
    InstanceActivation* activation() const { return m_activation; }
    // A second launch asked for the window: as the tray's way back (the password
    // first), or to the front when it is shown already.
    void ActivateFromSecondLaunch();
    // "&Shut Down Kestrow": unloads unless a run is active (then the beep).
    void ShutDown();
    // The desktop session ends (or SIGTERM): the logic of the session end, then the
    // event loop ends. During a run the run is cancelled first and the shutdown
    // follows as soon as it has returned; during Form_Load its message boxes are
    // closed and the shutdown follows once it has returned.
    void SessionEnd();
    // After Form_Load: a session end that came while it ran ends the program now.
    void endIfSessionEndedDuringLoad();

    // Form_Unload has run (the program is ending).
    bool unloaded() const { return m_unloaded; }

    // The toolbar's item click by key.
    void ToolbarClick(const QString& key);

    // A menu action by control name (object name), or null.
    QAction* action(const QString& name) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    // The standard keys of the menu commands, and Ctrl+Q for shutting down.
    void assignShortcuts();
    void buildOptionsMenus();
    void buildAdminLogHelpMenus();
    void buildTrayMenu();
    void buildCentralWidget();
    void bindOptionsModel();
    QAction* addAction(QMenu* menu, const char* name, const QString& caption, void (frmKestrow::*slot)());
    QAction* optionAction(QMenu* menu, OptionsMenuItem item, const QString& caption);
    void syncOptionActions();

    // Commands share their guard: beep and false while a run is active.
    bool refuseDuringRun();
    // The selected task, or null after the "select a task" message of `title`/`text`.
    CloneTaskPtr selectedTask(const char* title, const char* text);
    QTreeWidgetItem* selectedRow() const;
    void fillRow(QTreeWidgetItem* row, const cCloneTask& task, int icon);
    void setRowIcon(QTreeWidgetItem* row, int icon);
    // Every row's icon from its task's error flag and next-task mark.
    void refreshRowIcons();
    void refreshRowOf(const std::string& taskName);
    void addTaskAsNew(const CloneTaskPtr& task);
    bool showTaskPropertiesDialog(const CloneTaskPtr& task);
    void runTasksInOrder(const std::vector<std::string>& names);
    void resortIfSorted();
    void setPausedBackground(bool paused);
    void applyStatusBarShares();
    void onRunStarted(const QString& taskName);
    void onRunFinished(const QString& taskName);
    void onStatusText(int panel, const QString& text);
    void mtmrAnimate_Timer();
    void rebuildCategoryMenu(QMenu* menu, const char* objectPrefix);
    void popUpFileMenuAt(const QPoint& globalPos);
    void openHelp(int context);
    void applyGeometryFromOptions();
    void mnuViewLog_Click();
    void mnuHelpAbout_Click();
    void mnuHelpOnTheWebSite_Click();
    void mnuHelpOnTheWebContactUs_Click();
    void mnuOptionsSetPriority_Click();
    void mnuOptionsEditCategories_Click();
    void mnuAdminSetPassword_Click();
    // The rows of lvwTasks as the order dialog takes them.
    std::vector<OrderTaskRow> orderRows() const;
    // The order dialog for `OrderWhat`, then the run of what it hands back.
    void runChosenOrder(int32_t OrderWhat);
    // The parent of a dialog: this window while it is shown, else none.
    QWidget* dialogParent();

    // Options menu handlers.
    void toggleOption(OptionsMenuItem item);
    void chooseCompareMethod(int method);
    void chooseDeleteMethod(int index);
    void chooseCopyMethod(int index);
    void chooseLaunchAtLogin(OptionsMenuItem item);
    void chooseLogSize(OptionsMenuItem item);
    void mnuOptionsDelayBeforeFirstTask_Click();
    void mnuLogClear_Click();
    void SaveLog();

    std::unique_ptr<KestrowShell> m_shell;
    DesktopIntegration* m_tray;
    InstanceActivation* m_activation = nullptr;
    QtRunHost* m_runHost;
    std::unique_ptr<ScopedRunHost> m_runHostScope;

    QMenu* m_mnuFile = nullptr;
    QMenu* m_mnuOptions = nullptr;
    QMenu* m_mnuAdmin = nullptr;
    QMenu* m_mnuLog = nullptr;
    QMenu* m_mnuHelp = nullptr;
    QMenu* m_mnuFileCategoryName = nullptr;
    QMenu* m_mnuTaskListPopup = nullptr;
    QMenu* m_mnuChooseClonePopupMenu = nullptr;
    QMenu* m_mnuPopup = nullptr;
    QMenu* m_mnuPopupRunTask = nullptr;
    QMenu* m_mnuPopupCategoryNames = nullptr;
    std::map<OptionsMenuItem, QAction*> m_optionActions;
    int m_optionsListener = 0;
    int m_geometryListener = 0;

    QToolBar* m_suToolbar = nullptr;
    QWidget* m_statusPanels = nullptr;
    QHBoxLayout* m_statusLayout = nullptr;
    QLabel* m_panel1 = nullptr;
    QToolButton* m_cancel = nullptr;
    QLabel* m_panel2 = nullptr;
    QTabBar* m_tbsTasks = nullptr;
    TaskListView* m_lvwTasks = nullptr;

    QTimer m_tmrCloneScheduler;
    QTimer m_animate;
    bool m_animationPhase = false;
    bool m_TopLevelMenusEnabled = true;
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    bool m_pausedBackground = false;
    bool m_runActive = false;
    std::atomic<bool> m_workerRunning{false};
    CloneTaskPtr m_runningTask;
    bool m_unloaded = false;
    bool m_sessionEndPending = false;
    // Closes the start-up's message box now and every one after it, until Form_Load returns.
    void closeStartUpPrompts();
    bool m_applyingGeometry = false;
    QSize m_knownSize;
    QColor m_baseColor;
    std::string m_oldLabel;
    std::string m_SelectedCategoryName;
    // Parentless, so it shows while the window is hidden; the window owns it.
    std::unique_ptr<frmSysTrayReminder> m_reminder;
};

} // namespace kestrow::gui
