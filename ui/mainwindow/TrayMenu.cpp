// The tray: its menu, rebuilt each time it opens, the way back to the window, and
// the icon that shows paused, error and running states.

#include "ui/mainwindow/frmKestrow.h"

#include "app/PasswordPrompt.h"
#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "ui/dialogs/password/frmEnterPassword.h"
#include "ui/mainwindow/TaskListView.h"
#include "ui/qt/InstanceActivation.h"
#include "ui/qt/KestrowIcons.h"
#include "ui/qt/QtText.h"

#include <QAction>
#include <QMenu>

namespace kestrow::gui {

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
    connect(toTray, &QAction::triggered, this,
            [this] { m_shell->Form_QueryUnload(UnloadMode::FormControlMenu); });
    m_mnuPopup->addSeparator();
    addAction(m_mnuPopup, "mnuPopupShutDown", QStringLiteral("&Shut Down Kestrow"), &frmKestrow::ShutDown);
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

bool frmKestrow::activateRunningInstance()
{
    return InstanceActivation::activateRunning(q(gstrAppPath));
}

void frmKestrow::listenForLaterLaunches()
{
    if (m_activation)
        return;
    m_activation = new InstanceActivation(q(gstrAppPath), {}, this);
    connect(m_activation, &InstanceActivation::activationRequested, this,
            &frmKestrow::ActivateFromSecondLaunch);
    m_activation->listen();
}

void frmKestrow::ActivateFromSecondLaunch()
{
    if (m_unloaded)
        return;
    if (isVisible() && !isMinimized()) {
        raise();
        activateWindow();
        return;
    }
    ShowFromTray();
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

void frmKestrow::mtmrAnimate_Timer()
{
    m_tray->setIconKind(m_animationPhase ? AppIconKind::Animate : AppIconKind::Normal);
    m_animationPhase = !m_animationPhase;
}

} // namespace kestrow::gui
