#include "ui/qt/DesktopNotifier.h"

#include "ui/qt/QtText.h"

#include <QDBusConnection>
#include <QVariantMap>

namespace kestrow::gui {

namespace {

// Only what markup would take for a tag or an entity; quotes stay readable on a
// server that shows the body as plain text.
QString escapeMarkup(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

} // namespace

DesktopNotifier::DesktopNotifier(DesktopIntegration& tray, QObject* parent, const QString& busName)
    : QObject(parent), m_tray(tray), m_busName(busName)
{
}

QDBusMessage DesktopNotifier::notifyMessage(const Notification& notification)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrow"));
    message << QStringLiteral("Kestrow") << uint(0) << QStringLiteral("kestrow") << q(notification.title)
            << escapeMarkup(q(notification.text)) << QStringList() << hints << int(-1);
    return message;
}

void DesktopNotifier::notify(const Notification& notification)
{
    const QString title = q(notification.title);
    const QString text = q(notification.text);
    const auto icon = notification.kind == NotificationKind::RunEndedWithErrors ? QSystemTrayIcon::Critical
                                                                                : QSystemTrayIcon::Warning;
    if (m_tray.showMessage(title, text, icon)) {
        m_lastRoute = Route::Tray;
    } else {
        QDBusConnection bus =
            m_busName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_busName);
        m_lastRoute = bus.isConnected() && bus.send(notifyMessage(notification)) ? Route::NotificationService
                                                                                 : Route::None;
    }
    Q_EMIT notified(title, text, m_lastRoute);
}

} // namespace kestrow::gui
