#pragma once
// The desktop program's notification sink: the tray icon's message balloon when
// the desktop has a tray and the icon shows, else a Notify call to the freedesktop
// notification service (org.freedesktop.Notifications) on the session bus, sent
// without waiting for an answer. Without either, the notification is dropped: the
// tray icon's error picture and the log still tell.

#include "app/Notifications.h"
#include "ui/qt/DesktopIntegration.h"

#include <QDBusMessage>
#include <QObject>
#include <QString>

namespace kestrow::gui {

class DesktopNotifier : public QObject, public NotificationSink
{
    Q_OBJECT
public:
    enum class Route
    {
        None,                // nothing could show it
        Tray,                // the tray's message balloon
        NotificationService, // org.freedesktop.Notifications on the bus
    };

    // `busName`: the name of the D-Bus connection the notification service is
    // called on (QDBusConnection::connectToBus); empty: the session bus, connected
    // only when a notification first needs it.
    explicit DesktopNotifier(DesktopIntegration& tray, QObject* parent = nullptr,
                             const QString& busName = {});

    void notify(const Notification& notification) override;

    // How the last notification went (None before the first).
    Route lastRoute() const { return m_lastRoute; }

    // The Notify call for `notification`: application "Kestrow", icon "kestrow",
    // the title as summary, the text as body (with &, < and > escaped, as servers
    // may read the body as markup), no actions, the hints "urgency" (1, normal)
    // and "desktop-entry" ("kestrow"), the server's default timeout.
    static QDBusMessage notifyMessage(const Notification& notification);

Q_SIGNALS:
    // After each notification, with the route it took.
    void notified(const QString& title, const QString& text, kestrow::gui::DesktopNotifier::Route route);

private:
    DesktopIntegration& m_tray;
    QString m_busName;
    Route m_lastRoute = Route::None;
};

} // namespace kestrow::gui
