#include "ui/qt/DesktopIntegration.h"

#include <QMenu>

namespace kestrow::gui {

DesktopIntegration::DesktopIntegration(TrayMode mode, QObject* parent) : QObject(parent)
{
    if (mode == TrayMode::Auto && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setIcon(appIcon(m_kind));
        connect(m_tray, &QSystemTrayIcon::activated, this, &DesktopIntegration::onActivated);
    }
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
    if (!m_tray || !m_visible || !QSystemTrayIcon::supportsMessages())
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
        if (!m_tray)
            Q_EMIT contextMenuRequested();
        break;
    default:
        break;
    }
}

} // namespace kestrow::gui
