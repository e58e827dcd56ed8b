#pragma once
// The tray icon as one object. It owns the system tray icon when the desktop has
// a tray, keeps the icon state, tooltip and visibility itself either way, and turns
// tray activations into its own signals, so the main window and the tests never
// depend on whether a tray exists (offscreen there is none: call the slots).
// A tray may start after the program (an autostart entry run before the panel):
// the icon then goes into it, and systemTrayAppeared says so.

#include "ui/qt/KestrowIcons.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QTimer;

namespace kestrow::gui {

class DesktopIntegration : public QObject
{
    Q_OBJECT
public:
    enum class TrayMode
    {
        Auto,   // use the system tray, now or as soon as the desktop offers one
        NoTray, // start without one and never look for one; a tray only comes
                // through onSystemTrayAvailable (tests)
    };

    explicit DesktopIntegration(TrayMode mode = TrayMode::Auto, QObject* parent = nullptr);
    ~DesktopIntegration() override;

    // Whether the icon is in a tray. Without one the program must keep its window
    // reachable (the window minimises instead of hiding).
    bool hasSystemTray() const { return m_hasTray; }
    // The system tray icon; null in NoTray mode until a tray came. In Auto mode it
    // exists from the start, even without a tray, so that a tray that starts later
    // shows it.
    QSystemTrayIcon* systemTrayIcon() const { return m_tray; }

    // The picture shown (Icon): one of the four app icon pictures.
    void setIconKind(AppIconKind kind);
    AppIconKind iconKind() const { return m_kind; }

    // ToolTipText.
    void setToolTip(const QString& text);
    QString toolTip() const { return m_toolTip; }

    // IconVisible.
    void setIconVisible(bool visible);
    bool isIconVisible() const { return m_visible; }

    // The context menu shown on a right click. Its aboutToShow emits
    // contextMenuRequested first, so the owner can rebuild it. Not owned.
    void setContextMenu(QMenu* menu);
    QMenu* contextMenu() const { return m_menu; }

    // Shows a message balloon from the tray icon. Returns false, showing nothing,
    // when there is no tray, the icon is hidden or the tray cannot show messages.
    bool showMessage(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon);

public Q_SLOTS:
    // What the tray reports: a click or double click asks for the window, a right
    // click (Context) for the menu.
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    // A tray is there now (Auto mode polls for it while there is none): the icon
    // goes into it with its picture, tooltip, menu and visibility. Once only.
    void onSystemTrayAvailable();

Q_SIGNALS:
    // The icon has just gone into a tray that started after the program.
    void systemTrayAppeared();
    // The user activated the icon (left click or double click).
    void activationRequested();
    // The context menu is about to show: rebuild it now.
    void contextMenuRequested();

private:
    void createTrayIcon();
    void pollForSystemTray();

    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_trayPoll = nullptr;
    bool m_hasTray = false;
    QPointer<QMenu> m_menu;
    AppIconKind m_kind = AppIconKind::Normal;
    QString m_toolTip;
    bool m_visible = false;
};

} // namespace kestrow::gui
