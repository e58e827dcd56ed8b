// The desktop program's notifications, offscreen (no tray there): the Notify call
// it builds, and its delivery to a notification service on a private D-Bus bus of
// the test's own (a dbus-daemon started for the test; skipped when there is none).

#include "ui/qt/DesktopNotifier.h"
#include "app/Notifications.h"
#include "app/ProgramOptions.h"
#include "base/AppState.h"
#include "base/DateTime.h"
#include "engine/RunControl.h"
#include "tasks/TaskListFile.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/DesktopIntegration.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace kestrow {
namespace {

using gui::DesktopIntegration;
using gui::DesktopNotifier;

// Watchdog only: how long a message on the private bus may take before the test fails.
constexpr int kWatchdogMs = 30000;

// What a notification server receives: the arguments of each Notify call.
class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QVariantList> calls;

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        calls.append({appName, replacesId, appIcon, summary, body, actions, hints, timeout});
        Q_EMIT received();
        return uint(calls.size());
    }

Q_SIGNALS:
    void received();
};

// A dbus-daemon of the test's own with the fake server on it.
class PrivateBus
{
public:
    // Empty when the bus could not be started (the reason in `why`).
    QString start(QString& why)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            why = QStringLiteral("dbus-daemon is not installed");
            return {};
        }
        m_daemon.setProgram(daemon);
        m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--nosyslog"), QStringLiteral("--print-address=1")});
        m_daemon.start();
        if (!m_daemon.waitForStarted(kWatchdogMs) || !m_daemon.waitForReadyRead(kWatchdogMs)) {
            why = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
            return {};
        }
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("notify-server"));
        if (!server.isConnected() ||
            !server.registerService(QStringLiteral("org.freedesktop.Notifications")) ||
            !server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_server,
                                   QDBusConnection::ExportAllSlots)) {
            why = QStringLiteral("the private bus refused the fake notification server");
            return {};
        }
        return address;
    }

    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("notify-server"));
        QDBusConnection::disconnectFromBus(QStringLiteral("notify-client"));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished(kWatchdogMs);
        }
    }

    FakeNotificationServer& server() { return m_server; }

    // Waits (watchdog only) until the server has `count` calls.
    bool waitForCalls(int count)
    {
        QSignalSpy spy(&m_server, &FakeNotificationServer::received);
        while (m_server.calls.size() < count) {
            if (!spy.wait(kWatchdogMs))
                return false;
        }
        return true;
    }

private:
    QProcess m_daemon;
    FakeNotificationServer m_server;
};

Notification sample()
{
    return NotRunForTooLongNotification("Music & <Films>", dateFromParts({2026, 12, 7, 9, 30, 0}));
}

TEST(DesktopNotifierTest, NotifyCallCarriesTheNotification)
{
    const QDBusMessage m = DesktopNotifier::notifyMessage(sample());
    EXPECT_EQ(m.type(), QDBusMessage::MethodCallMessage);
    EXPECT_EQ(m.service(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(m.path(), QStringLiteral("/org/freedesktop/Notifications"));
    EXPECT_EQ(m.interface(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(m.member(), QStringLiteral("Notify"));
    const QVariantList a = m.arguments();
    ASSERT_EQ(a.size(), 8);
    // The types of the call's signature "susssasa{sv}i": a server refuses any other.
    const QMetaType types[] = {QMetaType::fromType<QString>(),     QMetaType::fromType<uint>(),
                               QMetaType::fromType<QString>(),     QMetaType::fromType<QString>(),
                               QMetaType::fromType<QString>(),     QMetaType::fromType<QStringList>(),
                               QMetaType::fromType<QVariantMap>(), QMetaType::fromType<int>()};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(a[i].metaType(), types[i]) << "argument " << i;
    EXPECT_EQ(a[0].toString(), QStringLiteral("Kestrow"));
    EXPECT_EQ(a[1].toUInt(), 0u) << "a new notification, replacing none";
    EXPECT_EQ(a[2].toString(), QStringLiteral("kestrow"));
    EXPECT_EQ(a[3].toString(), QStringLiteral("Kestrow: task not run"));
    EXPECT_EQ(a[4].toString(),
              QStringLiteral("The scheduled task \"Music &amp; &lt;Films&gt;\" has not been able "
                             "to run since it was due at 12/7/2026 9:30:00 AM."));
    EXPECT_TRUE(a[5].toStringList().isEmpty());
    const QVariantMap hints = a[6].toMap();
    EXPECT_EQ(hints.value(QStringLiteral("urgency")).metaType(), QMetaType::fromType<uchar>()) << "a byte";
    EXPECT_EQ(hints.value(QStringLiteral("urgency")).value<uchar>(), 1);
    EXPECT_EQ(hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("kestrow"));
    EXPECT_EQ(a[7].toInt(), -1);
}

TEST(DesktopNotifierTest, WithoutTrayOrServiceNothingIsShown)
{
    DesktopIntegration tray(DesktopIntegration::TrayMode::NoTray);
    tray.setIconVisible(true);
    EXPECT_FALSE(tray.showMessage(QStringLiteral("t"), QStringLiteral("x"), QSystemTrayIcon::Warning));
    DesktopNotifier notifier(tray, nullptr, QStringLiteral("never-connected"));
    QSignalSpy spy(&notifier, &DesktopNotifier::notified);
    notifier.notify(sample());
    EXPECT_EQ(notifier.lastRoute(), DesktopNotifier::Route::None);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toString(), QStringLiteral("Kestrow: task not run"));
}

TEST(DesktopNotifierTest, WithoutTrayTheNotificationServiceShowsIt)
{
    PrivateBus bus;
    QString why;
    const QString address = bus.start(why);
    if (address.isEmpty())
        GTEST_SKIP() << why.toStdString();
    ASSERT_TRUE(QDBusConnection::connectToBus(address, QStringLiteral("notify-client")).isConnected());

    DesktopIntegration tray(DesktopIntegration::TrayMode::NoTray);
    DesktopNotifier notifier(tray, nullptr, QStringLiteral("notify-client"));
    notifier.notify(RunEndedWithErrorsNotification("Photos"));
    EXPECT_EQ(notifier.lastRoute(), DesktopNotifier::Route::NotificationService);
    ASSERT_TRUE(bus.waitForCalls(1));
    const QVariantList& call = bus.server().calls[0];
    EXPECT_EQ(call[3].toString(), QStringLiteral("Kestrow: task ended with errors"));
    EXPECT_EQ(call[4].toString(),
              QStringLiteral("The scheduled task \"Photos\" ended with errors. The log has the details."));
}

// The whole way in the desktop program: a scheduled run that fails while the window
// is hidden reaches the session's notification service; the Options menu's switch
// stops the next one.
TEST(DesktopNotifierTest, MainWindowTellsAFailedScheduledRunUnlessSwitchedOff)
{
    test::TempDir dir;
    test::ScriptedUiServices ui;
    PrivateBus bus;
    QString why;
    const QString address = bus.start(why);
    if (address.isEmpty())
        GTEST_SKIP() << why.toStdString();
    // Read once, when the session bus is first asked for: this test's process is its own.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

    ManualClock clock(dateFromParts({2026, 12, 7, 12, 0, 0}));
    ScopedClock clockScope(clock);
    gblnSchedulerPaused = gblnCloneRunning = gblnScheduledRun = false;
    ResetCancelFlags();
    dir.writeFile("data/kestrow.ini",
                  "[Reminders]\nSysTray=False\n[Miscellaneous]\nConfirmSyncActions=False\n");
    dir.writeFile(
        "data/Default Task List.kwt",
        "[Nightly]\nSourceFolderSpec=" + (dir / "missing/") + "\nTargetFolderSpec=" + (dir / "dst/") +
            "\nIntervalType=1\nIntervalIncrement=60\nNextCloneDateTime=" + DayNumberText(clock.now()) + "\n");
    dir.makeDir("dst");
    {
        gui::frmKestrow window(DesktopIntegration::TrayMode::NoTray);
        ASSERT_TRUE(window.shell().Main());
        ASSERT_TRUE(window.shell().Form_Load());
        QAction* item = window.findChild<QAction*>(QStringLiteral("mnuOptionsNotifications"));
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->isCheckable());
        EXPECT_TRUE(item->isChecked()) << "on by default";
        EXPECT_TRUE(gblnNotifications);

        EXPECT_EQ(window.tmrCloneScheduler_Timer(), TickOutcome::Ran);
        ASSERT_TRUE(bus.waitForCalls(1));
        EXPECT_EQ(
            bus.server().calls[0][4].toString(),
            QStringLiteral("The scheduled task \"Nightly\" ended with errors. The log has the details."));

        item->trigger();
        EXPECT_FALSE(item->isChecked());
        EXPECT_FALSE(gblnNotifications);
        clock.advanceMinutes(61);
        EXPECT_EQ(window.tmrCloneScheduler_Timer(), TickOutcome::Ran);
        window.shell().Form_Unload();
    }
    // The shutdown asked the application's event loop to end; let that request pass
    // before waiting on the bus below.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QApplication::exec();
    EXPECT_NE(dir.readFile("data/kestrow.ini").find("Notifications=False"), std::string::npos);
    // Nothing more arrived: a message sent after the switch went off would be ahead of
    // this one on the same connection.
    DesktopIntegration tray(DesktopIntegration::TrayMode::NoTray);
    DesktopNotifier probe(tray);
    probe.notify(sample());
    ASSERT_TRUE(bus.waitForCalls(2));
    EXPECT_EQ(bus.server().calls[1][3].toString(), QStringLiteral("Kestrow: task not run"));
    gblnNotifications = true;
}

} // namespace
} // namespace kestrow

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "DesktopNotifierTest.moc"
