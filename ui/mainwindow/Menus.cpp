// The main window's menu bar and its File menu, the task list's own menus, the
// category entries, and the toolbar with the enabled states of both.

#include "ui/mainwindow/frmKestrow.h"

#include "app/PasswordPrompt.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "tasks/cCategories.h"
#include "ui/qt/KestrowIcons.h"
#include "ui/qt/QtText.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include <utility>

namespace kestrow::gui {

namespace {

// A caption for a menu entry that shows `text` as it is ("&" doubled).
QString menuCaption(const std::string& text)
{
    return q(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

struct ToolbarItem
{
    const char* key;
    const char* text;
};
constexpr ToolbarItem kToolbarItems[] = {
    {"NEWTASK", "New Task"}, {"DELETETASK", "Delete Task"},
    {"RUNTASK", "Run Task"}, {"TASKPROPERTIES", "Task Properties"},
    {"VIEWLOG", "View Log"}, {"HELP", "Help"},
};

} // namespace

QAction* frmKestrow::addAction(QMenu* menu, const char* name, const QString& caption,
                               void (frmKestrow::*slot)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    return action;
}

namespace {

// The desktop's own keys for a standard command; where its theme names none, the
// usual one.
QList<QKeySequence> standardKeys(QKeySequence::StandardKey key, const QKeySequence& usual)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (keys.isEmpty())
        keys.append(usual);
    return keys;
}

} // namespace

void frmKestrow::assignShortcuts()
{
    // The desktop's standard keys where one exists.
    const std::pair<const char*, QList<QKeySequence>> keys[] = {
        {"mnuFileNewTask", standardKeys(QKeySequence::New, QKeySequence(Qt::CTRL | Qt::Key_N))},
        {"mnuFileDeleteTask", standardKeys(QKeySequence::Delete, QKeySequence(Qt::Key_Delete))},
        {"mnuFileRenameTask", {QKeySequence(Qt::Key_F2)}},
        {"mnuRunSelectedTask", {QKeySequence(Qt::CTRL | Qt::Key_R)}},
        {"mnuFileReport", {QKeySequence(Qt::CTRL | Qt::Key_E)}},
        {"mnuLogView", {QKeySequence(Qt::CTRL | Qt::Key_L)}},
    };
    for (const auto& [name, sequences] : keys) {
        if (QAction* a = action(QString::fromLatin1(name)))
            a->setShortcuts(sequences);
    }
    // Shut Down Kestrow lives in the tray menu; its key works in the window too.
    auto* shutDown = new QAction(QStringLiteral("&Shut Down Kestrow"), this);
    shutDown->setObjectName(QStringLiteral("actShutDown"));
    shutDown->setShortcuts(standardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    connect(shutDown, &QAction::triggered, this, &frmKestrow::ShutDown);
    QMainWindow::addAction(shutDown);
}

QAction* frmKestrow::action(const QString& name) const
{
    return findChild<QAction*>(name);
}

void frmKestrow::buildMenus()
{
    m_mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    m_mnuFile->setObjectName(QStringLiteral("mnuFile"));
    addAction(m_mnuFile, "mnuFileNewTask", QStringLiteral("&New Clone Task"),
              &frmKestrow::mnuFileNewTask_Click);
    addAction(m_mnuFile, "mnuFileDuplicateTask", QStringLiteral("&Duplicate Selected Task"),
              &frmKestrow::mnuFileDuplicateTask_Click);
    addAction(m_mnuFile, "mnuFileDeleteTask", QStringLiteral("&Delete Task"),
              &frmKestrow::mnuFileDeleteTask_Click);
    addAction(m_mnuFile, "mnuFileRenameTask", QStringLiteral("&Rename Task"),
              &frmKestrow::mnuFileRenameTask_Click);
    addAction(m_mnuFile, "mnuFileTaskProperties", QStringLiteral("Task &Properties..."),
              &frmKestrow::mnuFileTaskProperties_Click);
    m_mnuFile->addSeparator();
    addAction(m_mnuFile, "mnuRunSelectedTask", QStringLiteral("Run Selected Tas&k"),
              &frmKestrow::mnuRunSelectedTask_Click);
    addAction(m_mnuFile, "mnuRunCheckedTasks", QStringLiteral("Run &Tasks with Checkmarks"),
              &frmKestrow::mnuRunCheckedTasks_Click);
    addAction(m_mnuFile, "mnuRunAllTasksNow", QStringLiteral("Run &All Tasks"),
              &frmKestrow::mnuRunAllTasksNow_Click);
    m_mnuFileCategoryName = m_mnuFile->addMenu(QStringLiteral("Run All Tasks in Category"));
    m_mnuFileCategoryName->setObjectName(QStringLiteral("mnuFileRunCategory"));
    m_mnuFile->addSeparator();
    addAction(m_mnuFile, "mnuFileRestore", QStringLiteral("Restore Source from Target"),
              &frmKestrow::mnuFileRestore_Click);
    m_mnuFile->addSeparator();
    QAction* pause =
        addAction(m_mnuFile, "mnuFilePauseExecution", QStringLiteral("&Pause Scheduler"), nullptr);
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
    connect(close, &QAction::triggered, this,
            [this] { m_shell->Form_QueryUnload(UnloadMode::FormControlMenu); });
    // mnuFile_Click: the category entries are rebuilt whenever the menu opens.
    connect(m_mnuFile, &QMenu::aboutToShow, this, &frmKestrow::LoadCategoriesInFileMenu);

    buildOptionsMenus();
    buildAdminLogHelpMenus();
    assignShortcuts();

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
    addAction(m_mnuChooseClonePopupMenu, "mnuChooseCloneRunCheckMarked",
              QStringLiteral("Run Tasks with Checkmarks"), &frmKestrow::mnuRunCheckedTasks_Click);
}

void frmKestrow::popUpFileMenuAt(const QPoint& globalPos)
{
    QCoreApplication::processEvents();
    LoadCategoriesInFileMenu();
    m_mnuFile->setDefaultAction(action(QStringLiteral("mnuRunSelectedTask")));
    m_mnuFile->exec(globalPos);
    m_mnuFile->setDefaultAction(nullptr);
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
    Guarded("frmKestrow.LoadCategoriesInFileMenu",
            [&] { rebuildCategoryMenu(m_mnuFileCategoryName, "mnuFileCategoryName"); });
}

void frmKestrow::LoadCategoriesInPopupMenu()
{
    Guarded("frmKestrow.LoadCategoriesInPopupMenu",
            [&] { rebuildCategoryMenu(m_mnuPopupCategoryNames, "mnuPopupCategoryNames"); });
}

// ---------------------------------------------------------------------------
// Toolbar and enabled states

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

} // namespace kestrow::gui
