// The window shell: construction, the ShellHost hooks of the start-up and shutdown
// logic, the window's state and status bar, the program's end, and window events.

#include "ui/mainwindow/frmKestrow.h"

#include "app/PasswordPrompt.h"
#include "app/ProgramOptions.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "engine/FolderRoutines.h"
#include "engine/RunControl.h"
#include "ui/dialogs/password/frmEnterPassword.h"
#include "ui/dialogs/program/frmSysTrayReminder.h"
#include "ui/dialogs/run/frmConfirmChanges.h"
#include "ui/mainwindow/TaskListView.h"
#include "ui/qt/DesktopNotifier.h"
#include "ui/qt/QtRunHost.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace kestrow::gui {

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
        [this](const SyncActionList& actions, std::vector<bool>& skipped, bool& keepConfirming) {
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
}

// ---------------------------------------------------------------------------
// ShellHost

void frmKestrow::setTaskListCaption(const std::string& name)
{
    m_tbsTasks->setTabText(0, q(name));
}

void frmKestrow::refreshTaskList()
{
    ShowAllTasksInListview();
}

void frmKestrow::showWindowAtStart()
{
    RestoreMainWindow();
}

void frmKestrow::hideWindowToTray()
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
    if (m_reminder && m_reminder->isVisible()) {
        m_reminder->raise();
        return;
    }
    // A closed reminder only hides: a fresh one starts from the option as it is now.
    m_reminder = std::make_unique<frmSysTrayReminder>(nullptr);
    m_reminder->show();
}

void frmKestrow::armTimers()
{
    m_animate.setInterval(500);
    m_tmrCloneScheduler.start(60000);
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
// Window state and status bar

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

QWidget* frmKestrow::dialogParent()
{
    // A dialog over a hidden or minimised window would come up hidden with it.
    return isVisible() && !isMinimized() ? this : nullptr;
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

// ---------------------------------------------------------------------------
// The program's end

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
    if (!m_unloaded && m_shell->loading()) {
        // The start-up is inside one of its message boxes, with the objects it is
        // filling in use: unloading now would free them under it. Every box it
        // still shows is closed as it comes; once it returns, the program ends.
        m_sessionEndPending = true;
        closeStartUpPrompts();
        return;
    }
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

void frmKestrow::closeStartUpPrompts()
{
    if (!m_shell->loading())
        return;
    if (QWidget* prompt = QApplication::activeModalWidget())
        prompt->close();
    QTimer::singleShot(50, this, &frmKestrow::closeStartUpPrompts);
}

void frmKestrow::endIfSessionEndedDuringLoad()
{
    if (m_sessionEndPending && !m_unloaded) {
        m_sessionEndPending = false;
        SessionEnd();
    }
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
