#include "ui/frmKestrow.h"

#include "platform/TextFile.h"

#include "app/PasswordPrompt.h"
#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/Filters.h"
#include "engine/FolderRoutines.h"
#include "engine/Report.h"
#include "engine/RunControl.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "settings/StartAtLogin.h"
#include "settings/cPriorityRules.h"
#include "tasks/TaskListFile.h"
#include "tasks/cCategories.h"
#include "tasks/cRestore.h"
#include "ui/DesktopNotifier.h"
#include "ui/HelpLink.h"
#include "ui/QtRunHost.h"
#include "ui/QtText.h"
#include "ui/WorkerRun.h"
#include "ui/frmAbout.h"
#include "ui/frmConfirmChanges.h"
#include "ui/frmEditCategories.h"
#include "ui/frmEnterPassword.h"
#include "ui/frmLog.h"
#include "ui/frmOrderTasks.h"
#include "ui/frmPriorityRules.h"
#include "ui/frmRestore.h"
#include "ui/frmSetPassword.h"
#include "ui/frmSysTrayReminder.h"
#include "ui/frmTaskProperties.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QCursor>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kestrow::gui {

namespace {

// Blanks off both ends (the names the user types are trimmed of blanks only).
std::string trimBlanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string asciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A caption for a menu entry that shows `text` as it is ("&" doubled).
QString menuCaption(const std::string& text)
{
    return q(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void illegalTaskNameMessage()
{
    ui().messageBox("Illegal Task Name",
                    "Task names cannot contain any of the following characters:\n\\ / : * ? \" < > |",
                    MsgIcon::Critical, MsgButtons::Ok);
}

// A row of the task list. Rows sort by the text of the sort column, letters
// compared without regard to case (the sort keys are digits, manual tasks empty).
class TaskRow : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return QString::compare(text(column), other.text(column), Qt::CaseInsensitive) < 0;
    }
};

constexpr int IconRole = Qt::UserRole + 1;

// The task list view: a tree whose background can carry a picture (imgPaused)
// behind the rows, leaving the item colours (check boxes included) alone.
class TaskListView : public QTreeWidget
{
public:
    using QTreeWidget::QTreeWidget;
    void setBackgroundPicture(const QPixmap& picture)
    {
        m_picture = picture;
        viewport()->update();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_picture.isNull()) {
            QPainter painter(viewport());
            painter.drawPixmap(0, 0, m_picture);
        }
        QTreeWidget::paintEvent(event);
    }

private:
    QPixmap m_picture;
};

// Label editing of the task name column: the window decides whether the new name
// is taken (lvwTasks_AfterLabelEdit) before the row changes.
class LabelEditDelegate : public QStyledItemDelegate
{
public:
    explicit LabelEditDelegate(frmKestrow* window) : QStyledItemDelegate(window), m_window(window) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        if (index.column() != frmKestrow::ColTaskName)
            return nullptr;
        if (gblnCloneRunning) {
            ui().beep();
            return nullptr;
        }
        QTreeWidget* view = m_window->taskListView();
        m_window->lvwTasks_BeforeLabelEdit(view->topLevelItem(index.row()));
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line)
            return;
        const std::string typed = s(line->text());
        if (m_window->lvwTasks_AfterLabelEdit(typed))
            return;
        model->setData(index, q(trimBlanks(typed)), Qt::EditRole);
    }

private:
    frmKestrow* m_window;
};

struct ToolbarItem
{
    const char* key;
    const char* text;
};
constexpr ToolbarItem kToolbarItems[] = {
    {"NEWTASK", "New Task"},
    {"DELETETASK", "Delete Task"},
    {"RUNTASK", "Run Task"},
    {"TASKPROPERTIES", "Task Properties"},
    {"VIEWLOG", "View Log"},
    {"HELP", "Help"},
};

// Where "Kestrow on the Web" leads.
constexpr const char* ProductWebSite = "https://kestrow.invalid/";
constexpr const char* SupportEmail = "dev@kestrow.invalid";

constexpr OptionsMenuItem kCompareItems[] = {
    OptionsMenuItem::mnuOptionsCompMethodDateTime, OptionsMenuItem::mnuOptionsCompMethodSize,
    OptionsMenuItem::mnuOptionsCompMethodContents, OptionsMenuItem::mnuOptionsCompMethodCRC32};

} // namespace

// ---------------------------------------------------------------------------
// Construction

frmKestrow::frmKestrow(DesktopIntegration::TrayMode trayMode, QWidget* parent)
    : QMainWindow(parent), m_shell(std::make_unique<KestrowShell>(*this)),
      m_tray(new DesktopIntegration(trayMode, this)), m_runHost(new QtRunHost(this)),
      m_runHostScope(std::make_unique<ScopedRunHost>(*m_runHost))
{
    setObjectName(QStringLiteral("frmKestrow"));
    setWindowTitle(QStringLiteral("Kestrow"));
    setWindowIcon(appIcon(AppIconKind::Normal));
    // The options reader (Form_Load) must find the stored password's codec, and the
    // tray's way back to this window asks through the password window.
    InstallPasswordCodec();
    frmEnterPassword::InstallAsPasswordWindow();

    buildMenus();
    buildCentralWidget();
    buildTrayMenu();

    m_suToolbar = addToolBar(QStringLiteral("Toolbar"));
    m_suToolbar->setObjectName(QStringLiteral("suToolbar"));
    m_suToolbar->setMovable(false);
    m_suToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_suToolbar->setIconSize(QSize(24, 24));

    m_statusPanels = new QWidget(this);
    m_statusPanels->setObjectName(QStringLiteral("suStatusBar"));
    m_statusLayout = new QHBoxLayout(m_statusPanels);
    m_statusLayout->setContentsMargins(2, 0, 2, 0);
    m_panel1 = new QLabel(m_statusPanels);
    m_panel1->setObjectName(QStringLiteral("PANEL1"));
    m_cancel = new QToolButton(m_statusPanels);
    m_cancel->setObjectName(QStringLiteral("CANCEL"));
    m_cancel->setAutoRaise(true);
    m_cancel->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_panel2 = new QLabel(m_statusPanels);
    m_panel2->setObjectName(QStringLiteral("PANEL2"));
    for (QWidget* panel : {static_cast<QWidget*>(m_panel1), static_cast<QWidget*>(m_cancel),
                           static_cast<QWidget*>(m_panel2)}) {
        // The panels take their share of the width whatever their text.
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        m_statusLayout->addWidget(panel);
    }
    m_panel1->setFrameShape(QFrame::StyledPanel);
    m_panel2->setFrameShape(QFrame::StyledPanel);
    m_cancel->hide();
    statusBar()->addWidget(m_statusPanels, 1);
    statusBar()->setSizeGripEnabled(true);
    applyStatusBarShares();
    connect(m_cancel, &QToolButton::clicked, this, &frmKestrow::StatusBarCancel_Click);

    connect(m_runHost, &QtRunHost::statusTextChanged, this, &frmKestrow::onStatusText);
    connect(m_runHost, &QtRunHost::animationEnabledChanged, this, [this](bool enabled) {
        if (enabled) {
            m_animationPhase = false;
            m_animate.start();
        } else {
            m_animate.stop();
        }
    });
    connect(m_runHost, &QtRunHost::runStartedOnWindow, this, &frmKestrow::onRunStarted);
    connect(m_runHost, &QtRunHost::runFinishedOnWindow, this, &frmKestrow::onRunFinished);
    m_runHost->setConfirmHandler(
        [this](const std::vector<std::string>& actions, std::vector<bool>& skipped, bool& keepConfirming) {
            const bool perform = ShowConfirmSyncActions(this, actions, skipped, keepConfirming);
            // The dialog's check box may have switched confirming off (or back on).
            m_shell->options().setChecked(OptionsMenuItem::mnuOptionsConfirmSyncActions, keepConfirming);
            syncOptionActions();
            return perform;
        });

    m_tmrCloneScheduler.setInterval(60000);
    connect(&m_tmrCloneScheduler, &QTimer::timeout, this, [this] { tmrCloneScheduler_Timer(); });
    m_animate.setInterval(500);
    connect(&m_animate, &QTimer::timeout, this, &frmKestrow::mtmrAnimate_Timer);

    m_tray->setContextMenu(m_mnuPopup);
    m_tray->setToolTip(QStringLiteral("Kestrow"));
    connect(m_tray, &DesktopIntegration::contextMenuRequested, this, &frmKestrow::SysTray_RightClick);
    connect(m_tray, &DesktopIntegration::activationRequested, this, &frmKestrow::ShowFromTray);
    // A child of the window: it outlives the shell, which is a member.
    m_shell->scheduler().notifier().setSink(new DesktopNotifier(*m_tray, this));

    bindOptionsModel();
    applyGeometryFromOptions();
}

frmKestrow::~frmKestrow()
{
    m_shell->options().removeListener(m_optionsListener);
    m_shell->options().removeListener(m_geometryListener);
    if (m_reminder)
        delete m_reminder;
}

QAction* frmKestrow::addAction(QMenu* menu, const char* name, const QString& caption, void (frmKestrow::*slot)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    return action;
}

QAction* frmKestrow::action(const QString& name) const
{
    return findChild<QAction*>(name);
}

void frmKestrow::buildMenus()
{
    m_mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    m_mnuFile->setObjectName(QStringLiteral("mnuFile"));
    addAction(m_mnuFile, "mnuFileNewTask", QStringLiteral("&New Clone Task"), &frmKestrow::mnuFileNewTask_Click);
    addAction(m_mnuFile, "mnuFileDuplicateTask", QStringLiteral("&Duplicate Selected Task"),
              &frmKestrow::mnuFileDuplicateTask_Click);
    addAction(m_mnuFile, "mnuFileDeleteTask", QStringLiteral("&Delete Task"), &frmKestrow::mnuFileDeleteTask_Click);
    addAction(m_mnuFile, "mnuFileRenameTask", QStringLiteral("&Rename Task"), &frmKestrow::mnuFileRenameTask_Click);
    addAction(m_mnuFile, "mnuFileTaskProperties", QStringLiteral("Task &Properties..."),
              &frmKestrow::mnuFileTaskProperties_Click);
    m_mnuFile->addSeparator();
    addAction(m_mnuFile, "mnuRunSelectedTask", QStringLiteral("Run Selected Tas&k"),
              &frmKestrow::mnuRunSelectedTask_Click);
    addAction(m_mnuFile, "mnuRunCheckedTasks", QStringLiteral("Run &Tasks with Checkmarks"),
              &frmKestrow::mnuRunCheckedTasks_Click);
    addAction(m_mnuFile, "mnuRunAllTasksNow", QStringLiteral("Run &All Tasks"), &frmKestrow::mnuRunAllTasksNow_Click);
    m_mnuFileCategoryName = m_mnuFile->addMenu(QStringLiteral("Run All Tasks in Category"));
    m_mnuFileCategoryName->setObjectName(QStringLiteral("mnuFileRunCategory"));
    m_mnuFile->addSeparator();
    addAction(m_mnuFile, "mnuFileRestore", QStringLiteral("Restore Source from Target"),
              &frmKestrow::mnuFileRestore_Click);
    m_mnuFile->addSeparator();
    QAction* pause = addAction(m_mnuFile, "mnuFilePauseExecution", QStringLiteral("&Pause Scheduler"), nullptr);
    pause->setCheckable(true);
    connect(pause, &QAction::triggered, this, [this] { mnuFilePauseExecution_Click(); });
    addAction(m_mnuFile, "mnuFileReport", QStringLiteral("Cr&eate a Report of Folder Differences"),
              &frmKestrow::mnuFileReport_Click);
    m_mnuFile->addSeparator();
    addAction(m_mnuFile, "mnuFileNewTaskList", QStringLiteral("Ne&w Task List..."),
              &frmKestrow::mnuFileNewTaskList_Click);
    addAction(m_mnuFile, "mnuFileLoadTaskList", QStringLiteral("L&oad Task List..."),
              &frmKestrow::mnuFileLoadTaskList_Click);
    addAction(m_mnuFile, "mnuFileSaveTaskListAs", QStringLiteral("&Save Task List As..."),
              &frmKestrow::mnuFileSaveTaskListAs_Click);
    m_mnuFile->addSeparator();
    QAction* close = addAction(m_mnuFile, "mnuFileClose", QStringLiteral("C&lose"), nullptr);
    connect(close, &QAction::triggered, this, [this] { m_shell->Form_QueryUnload(UnloadMode::FormControlMenu); });
    // mnuFile_Click: the category entries are rebuilt whenever the menu opens.
    connect(m_mnuFile, &QMenu::aboutToShow, this, &frmKestrow::LoadCategoriesInFileMenu);

    buildOptionsMenus();

    m_mnuTaskListPopup = new QMenu(this);
    m_mnuTaskListPopup->setObjectName(QStringLiteral("mnuTaskListPopup"));
    QAction* newList = m_mnuTaskListPopup->addAction(QStringLiteral("New Task List..."));
    newList->setObjectName(QStringLiteral("mnuTaskListPopupNew"));
    QAction* loadList = m_mnuTaskListPopup->addAction(QStringLiteral("Load Task List..."));
    loadList->setObjectName(QStringLiteral("mnuTaskListPopupLoad"));
    QAction* saveList = m_mnuTaskListPopup->addAction(QStringLiteral("Save Task List..."));
    saveList->setObjectName(QStringLiteral("mnuTaskListPopupSave"));
    connect(newList, &QAction::triggered, this, [this] {
        if (m_TopLevelMenusEnabled)
            mnuFileNewTaskList_Click();
    });
    connect(loadList, &QAction::triggered, this, [this] {
        if (m_TopLevelMenusEnabled)
            mnuFileLoadTaskList_Click();
    });
    connect(saveList, &QAction::triggered, this, [this] {
        if (m_TopLevelMenusEnabled)
            mnuFileSaveTaskListAs_Click();
    });

    m_mnuChooseClonePopupMenu = new QMenu(this);
    m_mnuChooseClonePopupMenu->setObjectName(QStringLiteral("mnuChooseClonePopupMenu"));
    addAction(m_mnuChooseClonePopupMenu, "mnuChooseCloneRunSelected", QStringLiteral("Run Selected Task"),
              &frmKestrow::mnuRunSelectedTask_Click);
    addAction(m_mnuChooseClonePopupMenu, "mnuChooseCloneRunCheckMarked", QStringLiteral("Run Tasks with Checkmarks"),
              &frmKestrow::mnuRunCheckedTasks_Click);
}

QAction* frmKestrow::optionAction(QMenu* menu, OptionsMenuItem item, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(controlName(item)));
    action->setCheckable(true);
    m_optionActions[item] = action;
    return action;
}

void frmKestrow::buildOptionsMenus()
{
    using I = OptionsMenuItem;
    m_mnuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    m_mnuOptions->setObjectName(QStringLiteral("mnuOptions"));

    QMenu* compare = m_mnuOptions->addMenu(QStringLiteral("File &Comparison Method"));
    compare->setObjectName(QStringLiteral("mnuComparisonMethod"));
    const char* const compareCaptions[] = {"&Date/Time", "&Size", "&Contents", "C&RC32"};
    for (int i = 0; i < 4; ++i)
        connect(optionAction(compare, kCompareItems[i], QString::fromLatin1(compareCaptions[i])), &QAction::triggered,
                this, [this, i] { chooseCompareMethod(i); });

    QMenu* fat = m_mnuOptions->addMenu(QStringLiteral("FAT/NTFS Issues"));
    fat->setObjectName(QStringLiteral("mnuOptionsFATNTFS"));
    for (auto [item, caption] : {std::pair{I::mnuOptionsFATIgnore2SecDiff, "Ignore up to 2 Seconds Diff"},
                                 std::pair{I::mnuOptionsFATIgnoreDST, "Ignore Daylight Savings Time Diff"}}) {
        connect(optionAction(fat, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { toggleOption(item); });
    }
    addAction(m_mnuOptions, "mnuOptionsSetPriority", QStringLiteral("Priority Rules..."),
              &frmKestrow::mnuOptionsSetPriority_Click);
    m_mnuOptions->addSeparator();

    QMenu* del = m_mnuOptions->addMenu(QStringLiteral("Delete Methods"));
    del->setObjectName(QStringLiteral("mnuOptionsDelete"));
    const char* const deleteCaptions[] = {"Regular Delete", "Send To Recycle Bin", "Do Not Delete", "Secure Delete"};
    for (int i = 0; i < 4; ++i)
        connect(optionAction(del, mnuOptionsDeleteMethod(i), QString::fromLatin1(deleteCaptions[i])),
                &QAction::triggered, this, [this, i] { chooseDeleteMethod(i); });
    QMenu* copy = m_mnuOptions->addMenu(QStringLiteral("Copy Methods"));
    copy->setObjectName(QStringLiteral("mnuOptionsCopy"));
    const char* const copyCaptions[] = {"Regular Copy", "Safe Copy", "Retain Source Files Create Timestamp"};
    for (int i = 0; i < 3; ++i)
        connect(optionAction(copy, mnuOptionsCopyMethod(i), QString::fromLatin1(copyCaptions[i])),
                &QAction::triggered, this, [this, i] { chooseCopyMethod(i); });

    for (auto [item, caption] :
         {std::pair{I::mnuOptionsCopyOnlyIfNewer, "Copy Only if Source is Newer than Target"},
          std::pair{I::mnuOptionsCreateTargetFolder, "Create Target Folder if it Does Not Exist"},
          std::pair{I::mnuOptionsConfirmSyncActions, "Confirm Synchronization Actions"},
          std::pair{I::mnuOptionsIgnoreSystemFiles, "Ignore System Files"},
          std::pair{I::mnuOptionsIgnoreHiddenFiles, "Ignore Hidden Files"},
          std::pair{I::mnuOptionsIgnoreSystemFolders, "Ignore System Folders"},
          std::pair{I::mnuOptionsIgnoreHiddenFolders, "Ignore Hidden Folders"}}) {
        connect(optionAction(m_mnuOptions, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { toggleOption(item); });
    }
    m_mnuOptions->addSeparator();
    addAction(m_mnuOptions, "mnuOptionsDelayBeforeFirstTask", QStringLiteral("Delay Before First Task Execution..."),
              &frmKestrow::mnuOptionsDelayBeforeFirstTask_Click);
    QMenu* login = m_mnuOptions->addMenu(QStringLiteral("Launch Kestrow at &Login"));
    login->setObjectName(QStringLiteral("mnuOptionsRunOnWindowsStartup"));
    for (auto [item, caption] :
         {std::pair{I::mnuOptionsRunOnWindowsStartupCurrentUser, "When Current User is Logged On"},
          std::pair{I::mnuOptionsRunOnWindowsStartupAnyUser, "When Any User is Logged On"},
          std::pair{I::mnuOptionsRunOnWindowsStartupNoRun, "Do Not Launch Kestrow at Login"}}) {
        connect(optionAction(login, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { chooseLaunchAtLogin(item); });
    }
    connect(optionAction(m_mnuOptions, I::mnuOptionsPromptToInsertRemovableDrive,
                         QStringLiteral("Prompt Me to Insert Removable Drives")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsPromptToInsertRemovableDrive); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsNotifications, QStringLiteral("&Notifications")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsNotifications); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsProtectFromEmptySource,
                         QStringLiteral("Protect Targets From an Empty Source")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsProtectFromEmptySource); });
    connect(optionAction(m_mnuOptions, I::mnuOptionsKeepHardLinks, QStringLiteral("Keep &Hard Links")),
            &QAction::triggered, this, [this] { toggleOption(OptionsMenuItem::mnuOptionsKeepHardLinks); });
    QMenu* reset = m_mnuOptions->addMenu(QStringLiteral("Reset &Error Indicator"));
    reset->setObjectName(QStringLiteral("mnuFileResetErrorFlag"));
    addAction(reset, "mnuResetErrorFlagSelectedTask", QStringLiteral("&Selected Task"),
              &frmKestrow::mnuRestetErrorFlagForSelectedTask_Click);
    addAction(reset, "mnuResetErrorFlagAllTasks", QStringLiteral("&All Tasks"),
              &frmKestrow::mnuResetErrorFlagForAllTasks_Click);
    QMenu* toolbar = m_mnuOptions->addMenu(QStringLiteral("&Toolbar"));
    toolbar->setObjectName(QStringLiteral("mnuOptionsToolbar"));
    for (auto [item, caption] : {std::pair{I::mnuOptionsToolbarShow, "&Show Toolbar"},
                                 std::pair{I::mnuOptionsToolbarHide, "&Hide Toolbar"}}) {
        connect(optionAction(toolbar, item, QString::fromLatin1(caption)), &QAction::triggered, this, [this, item] {
            m_shell->options().checkOnly(item);
            syncOptionActions();
        });
    }

    m_mnuAdmin = menuBar()->addMenu(QStringLiteral("&Admin"));
    m_mnuAdmin->setObjectName(QStringLiteral("mnuAdmin"));
    QMenu* categories = m_mnuAdmin->addMenu(QStringLiteral("&Categories"));
    categories->setObjectName(QStringLiteral("mnuCategories"));
    addAction(categories, "mnuShowCategoryTasks", QStringLiteral("Show Only Tasks From Category"), nullptr);
    addAction(categories, "mnuOptionsEditCategories", QStringLiteral("Edit Categories..."),
              &frmKestrow::mnuOptionsEditCategories_Click);
    addAction(m_mnuAdmin, "mnuAdminSetPassword", QStringLiteral("Set/Change Password..."),
              &frmKestrow::mnuAdminSetPassword_Click);

    m_mnuLog = menuBar()->addMenu(QStringLiteral("&Log"));
    m_mnuLog->setObjectName(QStringLiteral("mnuLog"));
    addAction(m_mnuLog, "mnuLogView", QStringLiteral("View &Log"), &frmKestrow::mnuViewLog_Click);
    QMenu* sizes = m_mnuLog->addMenu(QStringLiteral("&Reset Log At Size"));
    sizes->setObjectName(QStringLiteral("mnuLogReset"));
    for (auto [item, caption] : {std::pair{I::mnuLogSize100, "&100 kb"}, std::pair{I::mnuLogSize200, "&200 kb"},
                                 std::pair{I::mnuLogSize500, "&500 kb"}, std::pair{I::mnuLogSize1Meg, "1 &Meg"},
                                 std::pair{I::mnuLogSizeNever, "Never Reset Log"}}) {
        connect(optionAction(sizes, item, QString::fromLatin1(caption)), &QAction::triggered, this,
                [this, item] { chooseLogSize(item); });
    }
    connect(optionAction(m_mnuLog, I::mnuLogOnlyErrors, QStringLiteral("Log Only &Errors")), &QAction::triggered,
            this, [this] { toggleOption(OptionsMenuItem::mnuLogOnlyErrors); });
    addAction(m_mnuLog, "mnuLogClear", QStringLiteral("&Clear Log"), &frmKestrow::mnuLogClear_Click);
    addAction(m_mnuLog, "mnuLogSaveAs", QStringLiteral("&Save Log As..."), &frmKestrow::SaveLog);

    m_mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    m_mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* contents = addAction(m_mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), nullptr);
    connect(contents, &QAction::triggered, this, [this] { openHelp(1); });
    QAction* legend = addAction(m_mnuHelp, "mnuHelpIconLegend", QStringLiteral("&Icon Legend"), nullptr);
    connect(legend, &QAction::triggered, this, [this] { openHelp(52); });
    QAction* trouble = addAction(m_mnuHelp, "mnuHelpTroubleshooting", QStringLiteral("&Troubleshooting"), nullptr);
    connect(trouble, &QAction::triggered, this, [this] { openHelp(32); });
    QMenu* web = m_mnuHelp->addMenu(QStringLiteral("Kestrow on the &Web"));
    web->setObjectName(QStringLiteral("mnuHelpOneTheWeb"));
    addAction(web, "mnuHelpOnTheWebSite", QStringLiteral("&Web Site"), &frmKestrow::mnuHelpOnTheWebSite_Click);
    addAction(web, "mnuHelpOnTheWebContactUs", QStringLiteral("&Contact Us"),
              &frmKestrow::mnuHelpOnTheWebContactUs_Click);
    m_mnuHelp->addSeparator();
    addAction(m_mnuHelp, "mnuHelpAbout", QStringLiteral("&About..."), &frmKestrow::mnuHelpAbout_Click);
}

void frmKestrow::buildCentralWidget()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_tbsTasks = new QTabBar(central);
    m_tbsTasks->setObjectName(QStringLiteral("tbsTasks"));
    m_tbsTasks->addTab(QString());
    m_tbsTasks->setExpanding(false);
    m_tbsTasks->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tbsTasks, &QTabBar::customContextMenuRequested, this, [this](const QPoint& pos) {
        // tbsTasks_MouseUp: the task list menu, only while the menus are enabled.
        if (m_TopLevelMenusEnabled)
            m_mnuTaskListPopup->exec(m_tbsTasks->mapToGlobal(pos));
    });
    layout->addWidget(m_tbsTasks);

    m_lvwTasks = new TaskListView(central);
    m_lvwTasks->setObjectName(QStringLiteral("lvwTasks"));
    m_lvwTasks->setColumnCount(ColumnCount);
    m_lvwTasks->setHeaderLabels({QStringLiteral("Task Name"), QStringLiteral("Source"), QStringLiteral("Target"),
                                 QStringLiteral("Next Run"), QStringLiteral("Last Run"),
                                 QStringLiteral("Next Run Formatted"), QStringLiteral("Last Run Formatted")});
    m_lvwTasks->setColumnHidden(ColNextRunFormatted, true);
    m_lvwTasks->setColumnHidden(ColLastRunFormatted, true);
    m_lvwTasks->setRootIsDecorated(false);
    m_lvwTasks->setUniformRowHeights(true);
    m_lvwTasks->setAllColumnsShowFocus(true);
    m_lvwTasks->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lvwTasks->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_lvwTasks->setItemDelegate(new LabelEditDelegate(this));
    m_lvwTasks->header()->setSectionsClickable(true);
    m_lvwTasks->header()->setSortIndicatorShown(true);
    m_lvwTasks->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_lvwTasks->installEventFilter(this);
    m_lvwTasks->viewport()->installEventFilter(this);
    m_baseColor = m_lvwTasks->palette().color(QPalette::Base);
    connect(m_lvwTasks->header(), &QHeaderView::sectionClicked, this, &frmKestrow::lvwTasks_ColumnClick);
    connect(m_lvwTasks->header(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (!m_applyingGeometry && column < ProgramOptions::ColumnCount)
            m_shell->options().setColumnWidth(column, static_cast<int16_t>(std::min(size, 32767)));
    });
    connect(m_lvwTasks, &QTreeWidget::itemDoubleClicked, this, [this] { mnuFileTaskProperties_Click(); });
    layout->addWidget(m_lvwTasks);
    setCentralWidget(central);
}

void frmKestrow::buildTrayMenu()
{
    m_mnuPopup = new QMenu(this);
    m_mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    addAction(m_mnuPopup, "mnuPopupClose", QStringLiteral("Close This Menu"), nullptr);
    m_mnuPopup->addSeparator();
    m_mnuPopupRunTask = m_mnuPopup->addMenu(QStringLiteral("Run Task"));
    m_mnuPopupRunTask->setObjectName(QStringLiteral("mnuPopupRunTask"));
    m_mnuPopupRunTask->menuAction()->setObjectName(QStringLiteral("mnuPopupRunTaskMenu"));
    addAction(m_mnuPopup, "mnuPopupRunAllTasks", QStringLiteral("&Run All Tasks"),
              &frmKestrow::mnuRunAllTasksNow_Click);
    m_mnuPopupCategoryNames = m_mnuPopup->addMenu(QStringLiteral("Run All Tasks In Category"));
    m_mnuPopupCategoryNames->setObjectName(QStringLiteral("mnuPopupCategories"));
    addAction(m_mnuPopup, "mnuPopupCancelRunningTask", QStringLiteral("&Stop the Running Task"),
              &frmKestrow::mnuPopupCancelRunningTask_Click);
    m_mnuPopup->addSeparator();
    addAction(m_mnuPopup, "mnuPopupResetErrorFlag", QStringLiteral("Reset &Error Indicator"),
              &frmKestrow::mnuResetErrorFlagForAllTasks_Click);
    QAction* pause = addAction(m_mnuPopup, "mnuPopupPause", QStringLiteral("&Pause Scheduler"), nullptr);
    pause->setCheckable(true);
    connect(pause, &QAction::triggered, this, [this] { mnuPopupPause_Click(); });
    m_mnuPopup->addSeparator();
    addAction(m_mnuPopup, "mnuPopupShow", QStringLiteral("&Show Main Window"), &frmKestrow::ShowFromTray);
    QAction* toTray = addAction(m_mnuPopup, "mnuPopupSendToTray", QStringLiteral("Send to &Tray"), nullptr);
    connect(toTray, &QAction::triggered, this, [this] { m_shell->Form_QueryUnload(UnloadMode::FormControlMenu); });
    m_mnuPopup->addSeparator();
    addAction(m_mnuPopup, "mnuPopupShutDown", QStringLiteral("&Shut Down Kestrow"), &frmKestrow::ShutDown);
}

// ---------------------------------------------------------------------------
// The options model: the menus show its check marks, the window its geometry.

void frmKestrow::bindOptionsModel()
{
    ProgramOptions& options = m_shell->options();
    m_optionsListener = options.addCheckListener([this](OptionsMenuItem item, bool checked) {
        auto it = m_optionActions.find(item);
        if (it != m_optionActions.end())
            it->second->setChecked(checked);
        if (item == OptionsMenuItem::mnuOptionsToolbarHide || item == OptionsMenuItem::mnuOptionsToolbarShow)
            m_suToolbar->setVisible(!m_shell->options().checked(OptionsMenuItem::mnuOptionsToolbarHide));
    });
    m_geometryListener = options.addGeometryListener([this] { applyGeometryFromOptions(); });
    syncOptionActions();
}

void frmKestrow::syncOptionActions()
{
    const ProgramOptions& options = m_shell->options();
    for (auto& [item, action] : m_optionActions)
        action->setChecked(options.checked(item));
    if (m_suToolbar)
        m_suToolbar->setVisible(!options.checked(OptionsMenuItem::mnuOptionsToolbarHide));
}

void frmKestrow::applyGeometryFromOptions()
{
    if (m_applyingGeometry)
        return;
    m_applyingGeometry = true;
    const ProgramOptions& options = m_shell->options();
    // Only what the options changed: a column's new width must not undo the window's size.
    const QSize size(options.widthPixels(), options.heightPixels());
    if (size != m_knownSize && !isMaximized() && !isMinimized()) {
        m_knownSize = size;
        resize(size);
    }
    for (int c = 0; c < ProgramOptions::ColumnCount; ++c)
        if (m_lvwTasks->columnWidth(c) != options.columnWidth(c))
            m_lvwTasks->setColumnWidth(c, options.columnWidth(c));
    m_applyingGeometry = false;
}

void frmKestrow::toggleOption(OptionsMenuItem item)
{
    Guarded("frmKestrow.mnuOptions_Click", [&] {
        using I = OptionsMenuItem;
        ProgramOptions& options = m_shell->options();
        const bool on = !options.checked(item);
        options.setChecked(item, on);
        switch (item) {
        case I::mnuOptionsFATIgnore2SecDiff: gCompare->setIgnoreFAT_NTFS_TwoSecDiff(on); break;
        case I::mnuOptionsFATIgnoreDST: gCompare->setIgnoreFAT_NTFS_DaylightSavings(on); break;
        case I::mnuOptionsIgnoreSystemFiles: gCompare->setIgnoreSystemFiles(on); break;
        case I::mnuOptionsIgnoreHiddenFiles: gCompare->setIgnoreHiddenFiles(on); break;
        case I::mnuOptionsIgnoreSystemFolders: gCompare->setIgnoreSystemFolders(on); break;
        case I::mnuOptionsIgnoreHiddenFolders: gCompare->setIgnoreHiddenFolders(on); break;
        case I::mnuOptionsCopyOnlyIfNewer: gClone->setCopyOnlyIfNewer(on); break;
        case I::mnuOptionsCreateTargetFolder: gClone->setCreateTargetFolder(on); break;
        case I::mnuOptionsConfirmSyncActions: gClone->setConfirmSyncActions(on); break;
        case I::mnuOptionsPromptToInsertRemovableDrive: gblnPromptToInsertRemovableDrive = on; break;
        case I::mnuOptionsNotifications: gblnNotifications = on; break;
        case I::mnuOptionsProtectFromEmptySource: gClone->setProtectFromEmptySource(on); break;
        case I::mnuOptionsKeepHardLinks: gClone->setKeepHardLinks(on); break;
        case I::mnuLogOnlyErrors:
            gCloneLog->setLogOnlyErrors(on);
            if (on && gCloneLog->CurrInMemoryLogSize() != 0)
                ui().messageBox("Log Only Errors",
                                "This change will be applied only to tasks that are run after this point.\n\n"
                                "If you wish, you can Clear your log file of previous activity.\n"
                                "The Clear Log option is available in the Log menu",
                                MsgIcon::Information, MsgButtons::Ok);
            break;
        default: break;
        }
    });
    syncOptionActions();
}

void frmKestrow::chooseCompareMethod(int method)
{
    ProgramOptions& options = m_shell->options();
    if (!options.checked(kCompareItems[method])) {
        options.checkOnly(kCompareItems[method]);
        gCompare->setCompareMethod(method);
    }
    syncOptionActions();
}

void frmKestrow::chooseDeleteMethod(int index)
{
    Guarded("frmKestrow.mnuOptionsDeleteMethod_Click", [&] {
        if (index == 1 && gblnShowSendToRecycleBinMsg) {
            // Shown once per options file, whatever the answer.
            gblnShowSendToRecycleBinMsg = false;
            const MsgResult answer = ui().messageBox(
                "Send To Recycle Bin",
                "Files on removeable drives and network drives are not sent \n"
                "to the Recycle Bin.  They are permanently deleted.  This is determined\n"
                "by the operating system; Kestrow has no control over this.\n\n"
                "Do you still wish to select this Delete Method?",
                MsgIcon::Information, MsgButtons::YesNo);
            if (answer == MsgResult::No)
                return;
        }
        m_shell->options().checkOnly(mnuOptionsDeleteMethod(index));
        gClone->setDeleteMethod(index);
    });
    syncOptionActions();
}

void frmKestrow::chooseCopyMethod(int index)
{
    m_shell->options().checkOnly(mnuOptionsCopyMethod(index));
    gClone->setCopyMethod(index);
    syncOptionActions();
}

void frmKestrow::chooseLaunchAtLogin(OptionsMenuItem item)
{
    Guarded("frmKestrow.mnuOptionsRunOnWindowsStartup_Click", [&] {
        ProgramOptions& options = m_shell->options();
        if (options.checked(item))
            return;
        options.checkOnly(item);
        if (item == OptionsMenuItem::mnuOptionsRunOnWindowsStartupNoRun)
            DontShowAtStartup(ExecutableName);
        else
            m_shell->launchAtLogin(item == OptionsMenuItem::mnuOptionsRunOnWindowsStartupAnyUser);
    });
    syncOptionActions();
}

void frmKestrow::chooseLogSize(OptionsMenuItem item)
{
    Guarded("frmKestrow.mnuLogSize_Click", [&] {
        using I = OptionsMenuItem;
        ProgramOptions& options = m_shell->options();
        if (options.checked(item))
            return;
        if (item == I::mnuLogSizeNever) {
            const MsgResult answer = ui().messageBox(
                "Confirm Log Size Change",
                "The Log file can grow to be VERY LARGE.\n"
                "This can take up disk space/memory and possibly affect system performance.\n"
                "It will also take more time to display the contents of the Log.\n\n"
                "Are you certain that you want to make this change?",
                MsgIcon::Information, MsgButtons::YesNo);
            if (answer != MsgResult::Yes)
                return;
            gCloneLog->setRestrictLogSize(false);
        } else {
            const int32_t bytes = item == I::mnuLogSize100   ? 102400
                                  : item == I::mnuLogSize200 ? 204800
                                  : item == I::mnuLogSize500 ? 512000
                                                             : 1024000;
            gCloneLog->setRestrictLogSize(true);
            gCloneLog->setMaxLogFileSize(bytes);
        }
        options.checkOnly(item);
    });
    syncOptionActions();
}

void frmKestrow::mnuOptionsDelayBeforeFirstTask_Click()
{
    Guarded("mnuOptionsDelayBeforeFirstTask_Click", [&] {
        const int32_t current = glngDelayBeforeFirstTask;
        const std::optional<std::string> answer =
            ui().inputBox("Delay Duration",
                          "How many minutes should pass after Kestrow startup before the first task is executed?"
                          "\n\nEnter only numeric values.",
                          std::to_string(current == 0 ? 1 : current));
        const std::string text = trimBlanks(answer.value_or(std::string()));
        if (text.empty())
            return;
        if (!IsNumericText(text)) {
            ui().messageBox("Invalid Delay Input",
                            "\"" + text + "\" is not a valid numeric input.\n\nFor example, enter \"5\" "
                                          "(without the quotes)\nfor a five minute delay.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        // To a whole number, halves to even; out of range is the overflow error.
        const int32_t whole = Integer32FromText(text);
        if (whole > 0) {
            glngDelayBeforeFirstTask = whole;
            ui().messageBox("Delay", "This change will take effect the next time Kestrow is launched.",
                            MsgIcon::Information, MsgButtons::Ok);
        } else {
            ui().messageBox("Invalid Delay Input",
                            "\"" + text + "\" is not a valid delay input.\n\nThe delay value must be a positive "
                                          "number.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
        }
    });
}

void frmKestrow::mnuLogClear_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuLogClear_Click", [] { gCloneLog->DeleteLogFile(); });
}

void frmKestrow::SaveLog()
{
    gui::SaveLog(this);
}

void frmKestrow::mnuViewLog_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuLogView_Click", [&] {
        frmLog log(this);
        log.exec();
    });
}

void frmKestrow::openHelp(int context)
{
    ShowHelp(HelpUrl(context), "frmKestrow.mnuHelp_Click");
}

void frmKestrow::mnuHelpAbout_Click()
{
    Guarded("frmKestrow.mnuHelpAbout_Click", [&] {
        frmAbout about(dialogParent());
        about.exec();
    });
}

void frmKestrow::mnuHelpOnTheWebSite_Click()
{
    Guarded("frmKestrow.mnuHelpOnTheWebSite_Click", [] {
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(ProductWebSite)));
        QCoreApplication::processEvents();
    });
}

void frmKestrow::mnuHelpOnTheWebContactUs_Click()
{
    Guarded("frmKestrow.mnuHelpOnTheWebContactUs_Click", [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(SupportEmail)));
        QCoreApplication::processEvents();
    });
}

void frmKestrow::mnuOptionsSetPriority_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuOptionsSetPriority_Click", [&] {
        frmPriorityRules dialog(*gPriorityRules, dialogParent());
        dialog.exec();
    });
}

void frmKestrow::mnuOptionsEditCategories_Click()
{
    // Also reached from the tray menu, which stays open during a run: the dialog
    // moves tasks between categories, which a running task must not see change.
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuOptionsEditCategories_Click", [&] {
        frmEditCategories dialog(*gCategories, gCloneTasks, dialogParent());
        dialog.exec();
    });
}

void frmKestrow::mnuAdminSetPassword_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuAdminSetPassword_Click", [&] {
        frmSetPassword dialog(dialogParent());
        dialog.exec();
    });
}

// ---------------------------------------------------------------------------
// ShellHost

void frmKestrow::setupToolbarAndStatusBar()
{
    // SetupSmartUIToolbar
    Guarded("frmKestrow.SetupSmartUIToolbar", [&] {
        m_suToolbar->clear();
        for (const ToolbarItem& item : kToolbarItems) {
            const QString key = QString::fromLatin1(item.key);
            QAction* button = m_suToolbar->addAction(toolbarIcon(key), QString::fromLatin1(item.text));
            button->setObjectName(key);
            button->setData(key);
            connect(button, &QAction::triggered, this, [this, key] { ToolbarClick(key); });
        }
    });
    // SetupSmartUIStatusBar
    Guarded("frmKestrow.SetupSmartUIStatusBar", [&] {
        m_panel1->clear();
        m_panel2->clear();
        m_cancel->setIcon(stopSignIcon());
        m_cancel->setText(QStringLiteral("Click Here to Cancel"));
        m_cancel->hide();
        m_statusPanels->show();
        applyStatusBarShares();
    });
}

void frmKestrow::setTaskListCaption(const std::string& name)
{
    m_tbsTasks->setTabText(0, q(name));
}

void frmKestrow::refreshTaskList()
{
    ShowAllTasksInListview();
}

void frmKestrow::showMainWindow()
{
    RestoreMainWindow();
}

void frmKestrow::hideMainWindow()
{
    HideMainWindow();
}

void frmKestrow::processEvents()
{
    QCoreApplication::processEvents();
}

void frmKestrow::openQuickStartHelp(const std::string& file)
{
    if (FileExists(file))
        QDesktopServices::openUrl(QUrl::fromLocalFile(q(file)));
}

void frmKestrow::showSysTrayReminder()
{
    if (m_reminder) {
        m_reminder->raise();
        return;
    }
    auto* reminder = new frmSysTrayReminder(nullptr);
    m_reminder = reminder;
    reminder->show();
}

void frmKestrow::armTimers()
{
    m_animate.setInterval(500);
    m_tmrCloneScheduler.start(60000);
}

std::vector<std::string> frmKestrow::taskListRowTexts() const
{
    std::vector<std::string> names;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
        names.push_back(s(m_lvwTasks->topLevelItem(i)->text(ColTaskName)));
    return names;
}

void frmKestrow::waitForRunToEnd()
{
    // The run's worker posts to this thread when it ends (and for its prompts).
    while (m_workerRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void frmKestrow::releaseWindowResources()
{
    m_animate.stop();
    m_tmrCloneScheduler.stop();
    m_suToolbar->clear();
    m_panel1->clear();
    m_panel2->clear();
    m_cancel->hide();
}

void frmKestrow::setWaitCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmKestrow::runScheduledTask(const CloneTaskPtr& task)
{
    runTask(task);
}

void frmKestrow::setPanel1Text(const std::string& text)
{
    m_panel1->setText(q(text));
}

// ---------------------------------------------------------------------------
// The task list view

void frmKestrow::fillRow(QTreeWidgetItem* row, const cCloneTask& task, int icon)
{
    const std::array<std::string, 7> texts = ModifyTaskInListview(task);
    for (int c = 0; c < ColumnCount; ++c)
        row->setText(c, q(texts[static_cast<std::size_t>(c)]));
    setRowIcon(row, icon);
}

void frmKestrow::setRowIcon(QTreeWidgetItem* row, int icon)
{
    row->setData(ColTaskName, IconRole, icon);
    row->setIcon(ColTaskName, rowIcon(static_cast<RowIcon>(icon)));
}

int frmKestrow::rowIconIndex(const QTreeWidgetItem* row)
{
    return row ? row->data(ColTaskName, IconRole).toInt() : 0;
}

void frmKestrow::ShowAllTasksInListview()
{
    Guarded("frmKestrow.ShowAllTasksInListview", [&] {
        m_lvwTasks->setUpdatesEnabled(false);
        m_lvwTasks->clear();
        if (gCloneTasks) {
            for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
                auto* row = new TaskRow(m_lvwTasks);
                row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
                row->setCheckState(ColTaskName, Qt::Unchecked);
                fillRow(row, *task, task->ErrorOnLastClone() ? 2 : 1);
            }
            gCloneTasks->SetNextScheduledTask();
            refreshRowIcons();
        }
        resortIfSorted();
        m_lvwTasks->setUpdatesEnabled(true);
    });
}

QTreeWidgetItem* frmKestrow::AddNewTaskToListview(const cCloneTask& task)
{
    auto* row = new TaskRow(m_lvwTasks);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    row->setCheckState(ColTaskName, Qt::Unchecked);
    fillRow(row, task, 1);
    resortIfSorted();
    return row;
}

void frmKestrow::RemoveListItemByText(const std::string& name)
{
    delete findRow(name);
}

QTreeWidgetItem* frmKestrow::findRow(const std::string& name) const
{
    const QString text = q(name);
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
        if (m_lvwTasks->topLevelItem(i)->text(ColTaskName) == text)
            return m_lvwTasks->topLevelItem(i);
    return nullptr;
}

int32_t frmKestrow::NumCheckedTasks() const
{
    int32_t count = 0;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
        if (m_lvwTasks->topLevelItem(i)->checkState(ColTaskName) == Qt::Checked)
            ++count;
    return count;
}

void frmKestrow::refreshRowIcons()
{
    if (!gCloneTasks)
        return;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_lvwTasks->topLevelItem(i);
        const CloneTaskPtr task = gCloneTasks->Item(s(row->text(ColTaskName)));
        if (!task)
            continue;
        setRowIcon(row, 1 + (task->ErrorOnLastClone() ? 1 : 0) + (task->IsNextScheduledTask() ? 2 : 0));
    }
}

void frmKestrow::refreshRowOf(const std::string& taskName)
{
    QTreeWidgetItem* row = findRow(taskName);
    const CloneTaskPtr task = gCloneTasks ? gCloneTasks->Item(taskName) : nullptr;
    if (row && task)
        fillRow(row, *task, rowIconIndex(row));
}

void frmKestrow::resortIfSorted()
{
    if (m_sorted)
        m_lvwTasks->sortItems(m_sortKey, m_sortOrder);
}

QTreeWidgetItem* frmKestrow::selectedRow() const
{
    QTreeWidgetItem* current = m_lvwTasks->currentItem();
    if (current && current->isSelected())
        return current;
    const QList<QTreeWidgetItem*> selected = m_lvwTasks->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

CloneTaskPtr frmKestrow::selectedTask(const char* title, const char* text)
{
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        ui().messageBox(title, text, MsgIcon::Information, MsgButtons::Ok);
        return nullptr;
    }
    return gCloneTasks ? gCloneTasks->Item(s(row->text(ColTaskName))) : nullptr;
}

bool frmKestrow::refuseDuringRun()
{
    if (!gblnCloneRunning)
        return false;
    ui().beep();
    return true;
}

void frmKestrow::rebuildCategoryMenu(QMenu* menu, const char* objectPrefix)
{
    menu->clear();
    std::vector<std::string> entries{UnfiledCategoryName};
    std::vector<std::string> sorted;
    if (gCategories)
        gCategories->GetSortedCategoryListArray(sorted);
    for (const std::string& name : sorted)
        if (!name.empty())
            entries.push_back(name);
    int index = 0;
    for (const std::string& name : entries) {
        QAction* entry = menu->addAction(menuCaption(name));
        entry->setObjectName(QString::fromLatin1(objectPrefix) + QString::number(index++));
        entry->setData(q(name));
        connect(entry, &QAction::triggered, this, [this, name] { RunAllTasksInCategory(name); });
    }
    QAction* edit = menu->addAction(QStringLiteral("Edit Categories..."));
    edit->setObjectName(QString::fromLatin1(objectPrefix) + QString::number(index));
    const bool fromTray = menu == m_mnuPopupCategoryNames;
    connect(edit, &QAction::triggered, this, [this, fromTray] {
        if (refuseDuringRun())
            return;
        // From the tray the dialog stands behind the password, as the window does.
        if (fromTray && !IsMainWindowVisible() && !PasswordPrompt())
            return;
        mnuOptionsEditCategories_Click();
    });
}

void frmKestrow::LoadCategoriesInFileMenu()
{
    Guarded("frmKestrow.LoadCategoriesInFileMenu", [&] { rebuildCategoryMenu(m_mnuFileCategoryName, "mnuFileCategoryName"); });
}

void frmKestrow::LoadCategoriesInPopupMenu()
{
    Guarded("frmKestrow.LoadCategoriesInPopupMenu",
            [&] { rebuildCategoryMenu(m_mnuPopupCategoryNames, "mnuPopupCategoryNames"); });
}

void frmKestrow::lvwTasks_ColumnClick(int column)
{
    Guarded("frmKestrow.lvwTasks_ColumnClick", [&] {
        m_sorted = true;
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        if (column >= ColNextRunFormatted) {
            ui().messageBox("Invalid Column", "This is not a sortable column.  It is for internal use only.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        // "Next Run" and "Last Run" sort by their hidden sort keys.
        m_sortKey = column == ColNextRun ? ColNextRunFormatted : column == ColLastRun ? ColLastRunFormatted : column;
        m_lvwTasks->sortItems(m_sortKey, m_sortOrder);
        m_lvwTasks->header()->setSortIndicator(column, m_sortOrder);
    });
}

void frmKestrow::lvwTasks_BeforeLabelEdit(QTreeWidgetItem* row)
{
    m_oldLabel = row ? s(row->text(ColTaskName)) : std::string();
}

bool frmKestrow::lvwTasks_AfterLabelEdit(const std::string& newString)
{
    return Guarded("frmKestrow.lvwTasks_AfterLabelEdit", true, [&] {
        const std::string name = trimBlanks(newString);
        if (name.empty())
            return true;
        if (StringContainsIllegalFileNameCharacter(name)) {
            illegalTaskNameMessage();
            return true;
        }
        // A change of letter case alone finds the old task itself: refused too.
        const bool otherName = asciiLower(name) != asciiLower(m_oldLabel);
        if (gCloneTasks->Item(otherName ? name : m_oldLabel)) {
            ui().messageBox("Rename Task", "Duplicate task name", MsgIcon::Exclamation, MsgButtons::Ok);
            return true;
        }
        const CloneTaskPtr old = gCloneTasks->Item(m_oldLabel);
        QTreeWidgetItem* row = findRow(m_oldLabel);
        if (!old || !row)
            return true;
        gCloneTasks->Rename(*old, name, m_lvwTasks->indexOfTopLevelItem(row) + 1);
        // The row carries the new name from now on (the editor sets the same text).
        row->setText(ColTaskName, q(name));
        gCloneTasks->SetNextScheduledTask();
        refreshRowIcons();
        return false;
    });
}

// ---------------------------------------------------------------------------
// Task commands

void frmKestrow::addTaskAsNew(const CloneTaskPtr& task)
{
    QTreeWidgetItem* row = AddNewTaskToListview(*task);
    m_lvwTasks->setCurrentItem(row);
    row->setSelected(true);
    gCloneTasks->Add(task);
    gCloneTasks->SaveTaskToTaskListFile(gCloneTasks->TaskListFileSpec(), task->TaskName());
    refreshRowIcons();
}

bool frmKestrow::showTaskPropertiesDialog(const CloneTaskPtr& task)
{
    gCurrentTask = task;
    frmTaskProperties dialog(dialogParent());
    dialog.exec();
    return !gblnTaskPropertiesCancelled;
}

void frmKestrow::mnuFileNewTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileNewTask", [&] {
        const std::optional<std::string> answer =
            ui().inputBox("New Task", "Please enter a unique name for this task", "New Task Name");
        const std::string name = trimBlanks(answer.value_or(std::string()));
        if (name.empty())
            return;
        if (StringContainsIllegalFileNameCharacter(name)) {
            illegalTaskNameMessage();
            return;
        }
        if (gCloneTasks->Item(name)) {
            ui().messageBox("Duplicate Task Name", "A task with this name already exists.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        auto task = std::make_shared<cCloneTask>();
        task->setTaskName(name);
        if (!showTaskPropertiesDialog(task))
            return;
        addTaskAsNew(task);
        ui().messageBox("New Task",
                        "'" + name + "' has been created successfully.\n\n"
                                     "To run this task, click on the Run Task toolbar button.",
                        MsgIcon::Information, MsgButtons::Ok);
    });
}

void frmKestrow::mnuFileDuplicateTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileDuplicateTask_Click", [&] {
        const CloneTaskPtr original = selectedTask("Duplicate Selected Task", "Please select a task first.");
        if (!original)
            return;
        const std::string base = "Copy of " + original->TaskName();
        std::string name = base;
        for (int counter = 2; gCloneTasks->Item(name); ++counter)
            name = base + " (" + std::to_string(counter) + ")";
        auto task = std::make_shared<cCloneTask>();
        cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*original, *task);
        task->setTaskName(name);
        // The copy is added whether the dialog was confirmed or cancelled.
        showTaskPropertiesDialog(task);
        addTaskAsNew(task);
        ui().messageBox("Duplicate Task", "'" + name + "' has been created successfully.", MsgIcon::Information,
                        MsgButtons::Ok);
    });
}

void frmKestrow::mnuFileDeleteTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileDeleteTask_Click", [&] {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            ui().messageBox("Delete Task", "Please select a task to delete", MsgIcon::Information, MsgButtons::Ok);
            return;
        }
        const std::string name = s(row->text(ColTaskName));
        const MsgResult answer = ui().messageBox("Confirm Task Delete",
                                                 "You are about to delete the following task: \n\"" + name +
                                                     "\"\n\nDo you wish to continue?",
                                                 MsgIcon::Question, MsgButtons::YesNo);
        if (answer != MsgResult::Yes)
            return;
        RemoveListItemByText(name);
        if (const CloneTaskPtr task = gCloneTasks->Item(name))
            gCloneTasks->Remove(*task);
        gCloneTasks->RemoveTaskFromTaskListFile(gCloneTasks->TaskListFileSpec(), name);
        const std::string includeFile = gstrAppPath + name + ".kwi";
        if (FileExists(includeFile)) {
            std::error_code ec;
            std::filesystem::remove(includeFile, ec);
        }
        refreshRowIcons();
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuFileRenameTask_Click()
{
    if (refuseDuringRun())
        return;
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        ui().messageBox("Rename Task", "Please select a task to rename.", MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    m_lvwTasks->setFocus();
    m_lvwTasks->editItem(row, ColTaskName);
}

void frmKestrow::mnuFileTaskProperties_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileTaskProperties_Click", [&] {
        const CloneTaskPtr task = selectedTask("Task Properties", "Please select a task first.");
        if (!task)
            return;
        // The dialog edits the list's own task object.
        const bool confirmed = showTaskPropertiesDialog(task);
        QCoreApplication::processEvents();
        if (!confirmed || !gblnTaskPropertiesChanged)
            return;
        const std::string name = gCurrentTask->TaskName();
        if (const CloneTaskPtr stored = gCloneTasks->Item(name); stored && stored != gCurrentTask)
            cCloneTasks::CopyTaskPropertiesFromObj1ToObj2(*gCurrentTask, *stored);
        if (QTreeWidgetItem* row = findRow(name))
            fillRow(row, *gCurrentTask, rowIconIndex(row));
        gCloneTasks->SetNextScheduledTask();
        refreshRowIcons();
        gCloneTasks->SaveTaskToTaskListFile(gCloneTasks->TaskListFileSpec(), name);
    });
}

void frmKestrow::mnuRestetErrorFlagForSelectedTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRestetErrorFlagForSelectedTask_Click", [&] {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            ui().messageBox("Reset Error Flag", "Please select a task first.", MsgIcon::Information, MsgButtons::Ok);
            return;
        }
        const CloneTaskPtr task = gCloneTasks->Item(s(row->text(ColTaskName)));
        if (!task) {
            ui().messageBox("Unexpected Error - Reset Error Flag", "Unable to locate the Task object in the collection.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        task->setErrorOnLastClone(false);
        setRowIcon(row, task->IsNextScheduledTask() ? 3 : 1);
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuResetErrorFlagForAllTasks_Click()
{
    // Not refused during a run (the tray offers it then); the running task itself is
    // left to its run, which sets its own flag at the end.
    Guarded("frmKestrow.mnuResetErrorFlagForAllTasks_Click", [&] {
        if (!gCloneTasks)
            return;
        for (const CloneTaskPtr& task : gCloneTasks->Tasks())
            if (task != m_runningTask)
                task->setErrorOnLastClone(false);
        for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = m_lvwTasks->topLevelItem(i);
            if (m_runningTask && row->text(ColTaskName) == q(m_runningTask->TaskName()))
                continue;
            const int icon = rowIconIndex(row);
            if (icon == 2 || icon == 4)
                setRowIcon(row, icon - 1);
        }
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuFileReport_Click()
{
    if (refuseDuringRun())
        return;
    const CloneTaskPtr task = selectedTask("Create a Report of Folder Differences", "Please select a task first");
    if (!task)
        return;
    setWaitCursor(true);
    Guarded("frmKestrow.mnuFileReport_Click", [&] {
        m_panel1->setText(QStringLiteral("Creating Report..."));
        QCoreApplication::processEvents();
        int32_t errorNumber = 0;
        if (ValidateFolderPath(task->SourceFolderSpec(), errorNumber) != FolderStatusOk) {
            ui().messageBox("Create Report", "Problems processing the Source folder.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
        } else if (ValidateFolderPath(task->TargetFolderSpec(), errorNumber) != FolderStatusOk) {
            ui().messageBox("Create Report", "Problems processing the Target folder.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
        } else {
            CreateHTMLReportOfFolderDiffs(WithTrailingSlash(task->SourceFolderSpec()),
                                          WithTrailingSlash(task->TargetFolderSpec()), task->IncludeSubFolders());
        }
    });
    m_panel1->clear();
    setWaitCursor(false);
}

void frmKestrow::mnuFileRestore_Click()
{
    if (refuseDuringRun())
        return;
    gblnRestoreRunning = true;
    Guarded("frmKestrow.mnuFileRestore_Click", [&] {
        const CloneTaskPtr task = selectedTask("Restore Source", "Please select a task first.");
        if (!task)
            return;
        std::string targets = task->TargetFolderSpec();
        const std::string first = SplitOffToken(targets, "<:>");
        const std::string target = first.ends_with("<:>") ? first.substr(0, first.size() - 3) : first;
        if (target.empty()) {
            ui().messageBox("Restore Source", "Problems determining the Target Folder.", MsgIcon::Exclamation,
                            MsgButtons::Ok);
            return;
        }
        int32_t errorNumber = 0;
        if (ValidateFolderPath(target, errorNumber) != FolderStatusOk) {
            ui().messageBox("Restore Source",
                            "Make sure that the Target folder exists and that you have permission to access it.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return;
        }
        gRestore->setTaskName(task->TaskName());
        gRestore->setSourceFolderSpec(task->SourceFolderSpec());
        gRestore->setTargetFolderSpec(target);
        gRestore->setIncludeSubFolders(task->IncludeSubFolders());
        gRestore->setIncludeFileSpecs(task->IncludeFileSpecs());
        gRestore->setIncludeFileMasks(task->IncludeFileMasks());
        frmRestore dialog(*gRestore, this);
        // The restore's temporary task runs as any run does: on a worker, the window live.
        dialog.setRunWork([this](const std::function<void()>& work) { runOnWorkerThread(this, work); });
        dialog.exec();
    });
    gblnRestoreRunning = false;
}

// ---------------------------------------------------------------------------
// Task lists

void frmKestrow::mnuFileNewTaskList_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileNewTaskList_Click", [&] {
        for (;;) {
            const std::optional<std::string> answer =
                ui().inputBox("New Task List", "Enter a name for the New Task List", "New Task List");
            const std::string name = trimBlanks(answer.value_or(std::string()));
            if (name.empty())
                return;
            if (StringContainsIllegalFileNameCharacter(name)) {
                ui().messageBox("Illegal Task List Name",
                                "Task list names cannot contain any of the following characters:\n"
                                "\\ / : * ? \" < > |",
                                MsgIcon::Critical, MsgButtons::Ok);
                return;
            }
            const std::string file = gstrAppPath + name + ".kwt";
            if (FileExists(file)) {
                ui().messageBox("Name Already Exists", "A task list with this name already exists.",
                                MsgIcon::Exclamation, MsgButtons::Ok);
                QCoreApplication::processEvents();
                continue;
            }
            // Never through a link planted under that name meanwhile.
            if (platform::writeWholeFile(file, {}) != 0)
                throw RuntimeError(errnum::PathNotFound, "Unable to create " + file);
            SwitchTaskList(file, false);
            return;
        }
    });
}

void frmKestrow::mnuFileLoadTaskList_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileLoadTaskList_Click", [&] {
        QFileDialog dialog(this, QStringLiteral("Load Task List"), q(gstrAppPath),
                           QStringLiteral("Kestrow Task List (*.kwt)"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        SwitchTaskList(s(dialog.selectedFiles().constFirst()), true);
    });
}

void frmKestrow::mnuFileSaveTaskListAs_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuFileSaveTaskListAs_Click", [&] {
        QFileDialog dialog(this, QStringLiteral("Save Task List As..."), q(gstrAppPath),
                           QStringLiteral("Kestrow Task List (*.kwt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("kwt"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        SaveTaskListAs(s(dialog.selectedFiles().constFirst()));
    });
}

void frmKestrow::SwitchTaskList(const std::string& fileSpec, bool afterLoad)
{
    Guarded("frmKestrow.SwitchTaskList", [&] {
        if (gCloneTasks)
            gCloneTasks->SaveOrderedTaskListToTaskListFile(taskListRowTexts(), gCloneTasks->TaskListFileSpec());
        // The program-wide objects own the list through this pointer.
        delete gCloneTasks;
        gCloneTasks = new cCloneTasks;
        gCloneTasks->setTaskListFileSpec(fileSpec);
        gCloneTasks->ReadAllTasksFromTaskListFile(fileSpec);
        setTaskListCaption(gCloneTasks->TaskListName());
        ShowAllTasksInListview();
        if (afterLoad)
            UpdateTrayIcon();
    });
}

void frmKestrow::SaveTaskListAs(const std::string& fileSpec)
{
    Guarded("frmKestrow.mnuFileSaveTaskListAs_Click",
            [&] { gCloneTasks->SaveOrderedTaskListToTaskListFile(taskListRowTexts(), fileSpec); });
}

// ---------------------------------------------------------------------------
// Runs

void frmKestrow::runTask(const CloneTaskPtr& task)
{
    if (!task || m_unloaded)
        return;
    if (refuseDuringRun())
        return;
    m_runActive = true;
    m_runningTask = task;
    // Set here as well as by Execute, so no command slips in before the worker starts.
    gblnCloneRunning = true;
    m_workerRunning = true;
    runOnWorkerThread(this, [this, task] {
        task->Execute(false);
        m_workerRunning = false;
    });
    m_workerRunning = false;
    gblnCloneRunning = false;
    m_runActive = false;
    m_runningTask.reset();
    if (m_sessionEndPending && !m_unloaded) {
        // The session ended during this run: what the shutdown logs for an aborted
        // run is written as it would have been while the run was still active.
        m_sessionEndPending = false;
        gblnCloneRunning = true;
        m_shell->Form_QueryUnload(UnloadMode::AppWindows);
        gblnCloneRunning = false;
        m_shell->Form_Unload();
        m_unloaded = true;
        QCoreApplication::exit(0);
    }
    if (m_unloaded)
        return;
    Guarded("frmKestrow.RunTask", [&] {
        refreshRowOf(task->TaskName());
        refreshRowIcons();
        UpdateTrayIcon();
    });
}

void frmKestrow::runTasksInOrder(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (m_unloaded)
            return;
        // A name that no longer names a task is passed over.
        if (const CloneTaskPtr task = gCloneTasks ? gCloneTasks->Item(name) : nullptr)
            runTask(task);
    }
}

void frmKestrow::mnuRunSelectedTask_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRunSelectedTask_Click", [&] {
        QTreeWidgetItem* row = selectedRow();
        if (!row) {
            ui().messageBox("Run Selected Task", "Please select a task to run", MsgIcon::Information, MsgButtons::Ok);
            return;
        }
        runTask(gCloneTasks->Item(s(row->text(ColTaskName))));
    });
}

void frmKestrow::mnuRunCheckedTasks_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRunCheckedTasks_Click", [&] {
        if (NumCheckedTasks() == 0) {
            ui().messageBox("No Checked Tasks", "No tasks have been checked off.", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        if (NumCheckedTasks() == 1) {
            for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i)
                if (m_lvwTasks->topLevelItem(i)->checkState(ColTaskName) == Qt::Checked)
                    runTask(gCloneTasks->Item(s(m_lvwTasks->topLevelItem(i)->text(ColTaskName))));
            return;
        }
        runChosenOrder(orderWhat::CheckedTasks);
    });
}

void frmKestrow::mnuRunAllTasksNow_Click()
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.mnuRunAllTasksNow_Click", [&] {
        const int count = m_lvwTasks->topLevelItemCount();
        if (count == 0)
            return;
        if (count == 1) {
            runTask(gCloneTasks->Item(s(m_lvwTasks->topLevelItem(0)->text(ColTaskName))));
            return;
        }
        runChosenOrder(orderWhat::AllTasks);
    });
}

std::vector<OrderTaskRow> frmKestrow::orderRows() const
{
    std::vector<OrderTaskRow> rows;
    for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_lvwTasks->topLevelItem(i);
        rows.push_back({s(row->text(ColTaskName)), row->checkState(ColTaskName) == Qt::Checked});
    }
    return rows;
}

void frmKestrow::runChosenOrder(int32_t OrderWhat)
{
    // The dialog hands back nothing when it was closed, or had nothing to offer.
    const std::optional<std::vector<std::string>> order =
        frmOrderTasks::ChooseOrder(orderRows(), OrderWhat, m_SelectedCategoryName, dialogParent());
    if (order)
        runTasksInOrder(*order);
}

QWidget* frmKestrow::dialogParent()
{
    // A dialog over a hidden or minimised window would come up hidden with it.
    return isVisible() && !isMinimized() ? this : nullptr;
}

void frmKestrow::RunAllTasksInCategory(const std::string& categoryName)
{
    if (refuseDuringRun())
        return;
    Guarded("frmKestrow.RunAllTasksInCategory", [&] {
        m_SelectedCategoryName = categoryName;
        const int32_t count = gCloneTasks->NumTasksInCategory(categoryName);
        if (count == 0) {
            ui().messageBox("No Tasks in Category", "No tasks are in this category.", MsgIcon::Information,
                            MsgButtons::Ok);
            return;
        }
        const std::string wanted = asciiLower(categoryName);
        if (count == 1) {
            for (const CloneTaskPtr& task : gCloneTasks->Tasks()) {
                if (asciiLower(task->Category()) == wanted) {
                    runTask(task);
                    return;
                }
            }
            return;
        }
        runChosenOrder(orderWhat::TasksInCategory);
    });
}

void frmKestrow::mnuPopupTaskName_Click(int index)
{
    // With no tasks the one entry "(no tasks in list)" does nothing.
    if (index < 0 || index >= m_lvwTasks->topLevelItemCount())
        return;
    if (refuseDuringRun())
        return;
    QTreeWidgetItem* row = m_lvwTasks->topLevelItem(index);
    m_lvwTasks->setCurrentItem(row);
    row->setSelected(true);
    mnuRunSelectedTask_Click();
}

void frmKestrow::mnuFilePauseExecution_Click()
{
    Guarded("frmKestrow.mnuFilePauseExecution_Click", [&] {
        const bool paused = !gblnSchedulerPaused;
        action(QStringLiteral("mnuFilePauseExecution"))->setChecked(paused);
        gblnSchedulerPaused = paused;
        setPausedBackground(paused);
        UpdateTrayIcon();
    });
}

void frmKestrow::mnuPopupPause_Click()
{
    mnuFilePauseExecution_Click();
    action(QStringLiteral("mnuPopupPause"))->setChecked(gblnSchedulerPaused);
}

void frmKestrow::mnuPopupCancelRunningTask_Click()
{
    CancelRequested = true;
}

void frmKestrow::StatusBarCancel_Click()
{
    if (!CancelRequested) {
        CancelRequested = true;
        return;
    }
    ui().messageBox("Cancel Clone", "The clone will be cancelled after the current file operation is completed.",
                    MsgIcon::Information, MsgButtons::Ok);
}

TickOutcome frmKestrow::tmrCloneScheduler_Timer()
{
    if (m_unloaded)
        return TickOutcome::Busy;
    return m_shell->scheduler().tmrCloneScheduler_Timer(m_shell->unloading());
}

void frmKestrow::onRunStarted(const QString& taskName)
{
    // SetFormStateAtCloneBegin, the window's part.
    DisableToolbar();
    DisableTopLevelMenus();
    setWindowTitle(QStringLiteral("Kestrow running task: ") + taskName);
    m_tray->setToolTip(windowTitle());
    m_cancel->show();
    applyStatusBarShares();
}

void frmKestrow::onRunFinished(const QString&)
{
    // SetFormStateAtCloneEnd, the window's part.
    EnableTopLevelMenus();
    EnableToolbar();
    setWindowTitle(QStringLiteral("Kestrow"));
    m_tray->setToolTip(windowTitle());
    m_cancel->hide();
    applyStatusBarShares();
}

void frmKestrow::onStatusText(int panel, const QString& text)
{
    (panel == 1 ? m_panel1 : m_panel2)->setText(text);
}

void frmKestrow::mtmrAnimate_Timer()
{
    m_tray->setIconKind(m_animationPhase ? AppIconKind::Animate : AppIconKind::Normal);
    m_animationPhase = !m_animationPhase;
}

// ---------------------------------------------------------------------------
// Window state, tray, toolbar, status bar

bool frmKestrow::IsMainWindowVisible() const
{
    return isVisible() && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
}

void frmKestrow::HideMainWindow()
{
    Guarded("frmKestrow.HideMainWindow", [&] {
        showMinimized();
        // Without a tray the minimised window is the way back to the program.
        if (m_tray->hasSystemTray())
            hide();
    });
}

void frmKestrow::RestoreMainWindow()
{
    Guarded("frmKestrow.RestoreMainWindow", [&] {
        showNormal();
        raise();
        activateWindow();
        statusBar()->setFocus();
    });
}

void frmKestrow::ShowFromTray()
{
    // A minimised window counts as not shown: the command brings it back too.
    if (isVisible() && !isMinimized())
        return;
    if (frmEnterPassword::IsEnterPasswordWindowOpen())
        return;
    if (!PasswordPrompt())
        return;
    RestoreMainWindow();
}

void frmKestrow::UpdateTrayIcon()
{
    AppIconKind kind = AppIconKind::Normal;
    if (gblnSchedulerPaused)
        kind = AppIconKind::Paused;
    else if (gCloneTasks && gCloneTasks->AnyErrorTasks())
        kind = AppIconKind::Error;
    m_tray->setIconKind(kind);
    m_tray->setIconVisible(true);
}

void frmKestrow::DisableToolbar()
{
    for (QAction* item : m_suToolbar->actions())
        item->setEnabled(item->objectName() == QLatin1String("HELP"));
}

void frmKestrow::EnableToolbar()
{
    for (QAction* item : m_suToolbar->actions())
        item->setEnabled(true);
}

void frmKestrow::DisableTopLevelMenus()
{
    m_TopLevelMenusEnabled = false;
    for (QMenu* menu : {m_mnuFile, m_mnuOptions, m_mnuAdmin, m_mnuLog})
        menu->menuAction()->setEnabled(false);
}

void frmKestrow::EnableTopLevelMenus()
{
    m_TopLevelMenusEnabled = true;
    for (QMenu* menu : {m_mnuFile, m_mnuOptions, m_mnuAdmin, m_mnuLog})
        menu->menuAction()->setEnabled(true);
}

bool frmKestrow::cancelItemVisible() const
{
    return !m_cancel->isHidden();
}

QString frmKestrow::panelText(int panel) const
{
    return panel == 1 ? m_panel1->text() : m_panel2->text();
}

void frmKestrow::applyStatusBarShares()
{
    const bool cancel = !m_cancel->isHidden();
    m_statusLayout->setStretch(0, cancel ? 60 : 85);
    m_statusLayout->setStretch(1, cancel ? 25 : 0);
    m_statusLayout->setStretch(2, 15);
}

void frmKestrow::setPausedBackground(bool paused)
{
    m_pausedBackground = paused;
    const QSize size = m_lvwTasks->viewport()->size();
    static_cast<TaskListView*>(m_lvwTasks)
        ->setBackgroundPicture(paused ? pausedBackground(size.width(), size.height(), m_baseColor) : QPixmap());
}

void frmKestrow::SysTray_RightClick()
{
    Guarded("frmKestrow.SysTray_RightClick", [&] {
        LoadCategoriesInPopupMenu();

        m_mnuPopupRunTask->clear();
        QAction* first = m_mnuPopupRunTask->addAction(QStringLiteral("(no tasks in list)"));
        first->setObjectName(QStringLiteral("mnuPopupTaskName0"));
        connect(first, &QAction::triggered, this, [this] { mnuPopupTaskName_Click(0); });
        for (int i = 0; i < m_lvwTasks->topLevelItemCount(); ++i) {
            const QString caption = m_lvwTasks->topLevelItem(i)->text(ColTaskName);
            QAction* entry = first;
            if (i > 0) {
                entry = m_mnuPopupRunTask->addAction(QString());
                entry->setObjectName(QStringLiteral("mnuPopupTaskName%1").arg(i));
                connect(entry, &QAction::triggered, this, [this, i] { mnuPopupTaskName_Click(i); });
            }
            entry->setText(QString(caption).replace(QLatin1Char('&'), QStringLiteral("&&")));
        }

        action(QStringLiteral("mnuPopupPause"))
            ->setChecked(action(QStringLiteral("mnuFilePauseExecution"))->isChecked());

        const bool running = gblnCloneRunning;
        m_mnuPopupRunTask->menuAction()->setEnabled(!running);
        action(QStringLiteral("mnuPopupRunAllTasks"))->setEnabled(!running);
        action(QStringLiteral("mnuPopupCancelRunningTask"))->setEnabled(running);

        QAction* show = action(QStringLiteral("mnuPopupShow"));
        QAction* toTray = action(QStringLiteral("mnuPopupSendToTray"));
        if (isVisible() && isMinimized()) {
            toTray->setEnabled(true);
            show->setEnabled(true);
            m_mnuPopup->setDefaultAction(show);
        } else if (isVisible()) {
            toTray->setEnabled(true);
            show->setEnabled(false);
            m_mnuPopup->setDefaultAction(toTray);
        } else {
            toTray->setEnabled(false);
            show->setEnabled(true);
            m_mnuPopup->setDefaultAction(show);
        }
    });
}

void frmKestrow::ShutDown()
{
    if (m_unloaded)
        return;
    if (m_shell->Form_QueryUnload(UnloadMode::FormCode))
        return;
    m_shell->Form_Unload();
    m_unloaded = true;
    if (m_reminder)
        m_reminder->close();
    // Ends the event loop at once; nothing is left queued to end a later one.
    QCoreApplication::exit(0);
}

void frmKestrow::SessionEnd()
{
    if (!m_unloaded && m_workerRunning) {
        // A run is active, and this may be called from inside one of its prompts,
        // which the run's thread is waiting on: waiting here for the run would never
        // end. Cancel it, close the prompt, and end once the run has returned.
        CancelRequested = true;
        m_sessionEndPending = true;
        if (QWidget* prompt = QApplication::activeModalWidget())
            prompt->close();
        return;
    }
    if (!m_unloaded) {
        m_shell->Form_QueryUnload(UnloadMode::AppWindows);
        m_shell->Form_Unload();
        m_unloaded = true;
    }
    QCoreApplication::exit(0);
}

void frmKestrow::ToolbarClick(const QString& key)
{
    if (!m_TopLevelMenusEnabled) {
        ui().beep();
        return;
    }
    if (key == QLatin1String("NEWTASK")) {
        mnuFileNewTask_Click();
    } else if (key == QLatin1String("DELETETASK")) {
        mnuFileDeleteTask_Click();
    } else if (key == QLatin1String("RUNTASK")) {
        if (NumCheckedTasks() > 0) {
            QWidget* button = m_suToolbar->widgetForAction(action(key));
            const QPoint at = button ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos();
            m_mnuChooseClonePopupMenu->popup(at);
        } else {
            mnuRunSelectedTask_Click();
        }
    } else if (key == QLatin1String("TASKPROPERTIES")) {
        mnuFileTaskProperties_Click();
    } else if (key == QLatin1String("VIEWLOG")) {
        mnuViewLog_Click();
    } else if (key == QLatin1String("HELP")) {
        openHelp(1);
    } else {
        ui().messageBox("Kestrow", "Oops!  There is no toolbar image with the Key " + s(key), MsgIcon::None,
                        MsgButtons::Ok);
    }
}

void frmKestrow::popUpFileMenuAt(const QPoint& globalPos)
{
    QCoreApplication::processEvents();
    LoadCategoriesInFileMenu();
    m_mnuFile->setDefaultAction(action(QStringLiteral("mnuRunSelectedTask")));
    m_mnuFile->exec(globalPos);
    m_mnuFile->setDefaultAction(nullptr);
}

// ---------------------------------------------------------------------------
// Events

void frmKestrow::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // The close box only hides the window; the program lives on in the tray.
    event->ignore();
    m_shell->Form_QueryUnload(UnloadMode::FormControlMenu);
}

void frmKestrow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Form_Resize: the size of the open window is kept (not while maximised).
    if (IsMainWindowVisible() && !m_applyingGeometry) {
        m_applyingGeometry = true;
        m_knownSize = event->size();
        m_shell->options().setSizePixels(event->size().width(), event->size().height());
        m_applyingGeometry = false;
    }
    applyStatusBarShares();
}

void frmKestrow::keyReleaseEvent(QKeyEvent* event)
{
    // Form_KeyUp: the Delete key deletes the selected task, unless a text field has it.
    if (event->key() == Qt::Key_Delete && !qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
        if (!m_TopLevelMenusEnabled)
            ui().beep();
        else
            mnuFileDeleteTask_Click();
        event->accept();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}

bool frmKestrow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lvwTasks && event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && !qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
            // lvwTasks_KeyUp
            if (!m_TopLevelMenusEnabled)
                ui().beep();
            else
                mnuFileDeleteTask_Click();
            return true;
        }
    }
    if (watched == m_lvwTasks->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            // lvwTasks_MouseUp: the File menu as the list's context menu.
            popUpFileMenuAt(mouse->globalPosition().toPoint());
            return true;
        }
    }
    // Form_Resize: the paused picture is drawn again for the list's new size.
    if (watched == m_lvwTasks->viewport() && event->type() == QEvent::Resize && m_pausedBackground)
        setPausedBackground(true);
    return QMainWindow::eventFilter(watched, event);
}

} // namespace kestrow::gui
