#include "ui/qt/DesktopIntegration.h"

#include <QMenu>
#include <QTimer>

namespace kestrow::gui {

namespace {
// How often the program looks for a tray while it has none. Cheap to ask; a user who
// just started a panel should not wait long for the icon.
constexpr int kTrayPollMs = 2000;
} // namespace

DesktopIntegration::DesktopIntegration(TrayMode mode, QObject* parent) : QObject(parent)
{
    if (mode != TrayMode::Auto)
        return;
    // Made even without a tray: Qt's tray icon moves into a tray that starts later.
    createTrayIcon();
    m_hasTray = QSystemTrayIcon::isSystemTrayAvailable();
    if (!m_hasTray) {
        m_trayPoll = new QTimer(this);
        m_trayPoll->setInterval(kTrayPollMs);
        connect(m_trayPoll, &QTimer::timeout, this, &DesktopIntegration::pollForSystemTray);
        m_trayPoll->start();
    }
}

void DesktopIntegration::createTrayIcon()
{
    m_tray = new QSystemTrayIcon(this);
    m_tray->setIcon(appIcon(m_kind));
    m_tray->setToolTip(m_toolTip);
    if (m_menu)
        m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, &DesktopIntegration::onActivated);
    m_tray->setVisible(m_visible);
}

void DesktopIntegration::pollForSystemTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        onSystemTrayAvailable();
}

void DesktopIntegration::onSystemTrayAvailable()
{
    if (m_hasTray)
        return;
    m_hasTray = true;
    if (m_trayPoll)
        m_trayPoll->stop();
    if (!m_tray) {
        createTrayIcon();
    } else if (m_visible) {
        // Shown again, so a backend that gave up on the missing tray tries once more.
        m_tray->hide();
        m_tray->show();
    }
    Q_EMIT systemTrayAppeared();
}

DesktopIntegration::~DesktopIntegration()
{
    if (m_tray)
        m_tray->hide();
}

void DesktopIntegration::setIconKind(AppIconKind kind)
{
    m_kind = kind;
    if (m_tray)
        m_tray->setIcon(appIcon(kind));
}

void DesktopIntegration::setToolTip(const QString& text)
{
    m_toolTip = text;
    if (m_tray)
        m_tray->setToolTip(text);
}

void DesktopIntegration::setIconVisible(bool visible)
{
    m_visible = visible;
    if (m_tray)
        m_tray->setVisible(visible);
}

void DesktopIntegration::setContextMenu(QMenu* menu)
{
    if (m_menu)
        disconnect(m_menu, &QMenu::aboutToShow, this, &DesktopIntegration::contextMenuRequested);
    m_menu = menu;
    if (menu)
        connect(menu, &QMenu::aboutToShow, this, &DesktopIntegration::contextMenuRequested);
    if (m_tray)
        m_tray->setContextMenu(menu);
}

bool DesktopIntegration::showMessage(const QString& title, const QString& text,
                                     QSystemTrayIcon::MessageIcon icon)
{
    if (!m_hasTray || !m_visible || !QSystemTrayIcon::supportsMessages())
        return false;
    m_tray->showMessage(title, text, icon);
    return true;
}

void DesktopIntegration::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        Q_EMIT activationRequested();
        break;
    case QSystemTrayIcon::Context:
        // The tray shows the menu itself; its aboutToShow asks for the rebuild. Without
        // a tray (a caller simulating the click) the request goes out directly.
        if (!m_hasTray)
            Q_EMIT contextMenuRequested();
        break;
    default:
        break;
    }
}

} // namespace kestrow::gui
