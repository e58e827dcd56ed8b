// The desktop program stays reachable, offscreen: a tray that starts after the
// program gets its icon, and a second launch brings up the running program's window
// over a private D-Bus bus of the test's own (dbus-daemon started by main below) or,
// without a bus, over the local socket. Clients run on a thread of their own, since
// the answering program needs this thread's event loop to answer.

#include "app/PasswordPrompt.h"
#include "base/AppState.h"
#include "settings/modEncryption.h"
#include "tests/support/MainWindowFixture.h"
#include "ui/dialogs/password/frmEnterPassword.h"
#include "ui/qt/InstanceActivation.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <filesystem>
#include <functional>
#include <future>

namespace kestrow {
namespace {

using gui::InstanceActivation;
using test::q;
using test::s;

// Watchdog only: how long an answer may take before the test fails.
constexpr int kWatchdogMs = 30000;

QString g_busAddress; // the private bus; empty when none could be started
QString g_noBusWhy;

// Runs `call` on a thread of its own while this thread's event loop turns.
bool whileEventsRun(const std::function<bool()>& call)
{
    std::future<bool> result = std::async(std::launch::async, call);
    QElapsedTimer watchdog;
    watchdog.start();
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        if (watchdog.elapsed() > kWatchdogMs) {
            ADD_FAILURE() << "no answer";
            break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return result.get();
}

class ReachTest : public test::MainWindowFixture
{
protected:
    ReachTest()
    {
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        gblnPasswordOK = false;
        writeOptions("");
    }

    ~ReachTest() override
    {
        closeWindow();
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        gblnPasswordOK = false;
        clearPendingQuit();
    }

    // Never a first start, no tray reminder.
    void writeOptions(const std::string& misc)
    {
        dir.writeFile("data/kestrow.ini", "[Reminders]\nSysTray=False\n[Miscellaneous]\n"
                                          "RunOnWindowsStartup=False\n" +
                                              misc);
    }

    // A second launch on the same data folder: its own window and shell, as main() has.
    bool secondLaunchMain()
    {
        gui::frmKestrow second(gui::DesktopIntegration::TrayMode::NoTray);
        return second.shell().Main();
    }

    // Waits (watchdog only) for the window to take a second launch's request.
    bool waitForActivation(QSignalSpy& spy) { return spy.count() > 0 || spy.wait(kWatchdogMs); }
};

// ---------------------------------------------------------------------------
// A tray that starts later

TEST_F(ReachTest, WithoutATrayTheWindowIsMinimisedAndTheIconGoesIntoALaterTray)
{
    start();
    gui::DesktopIntegration& tray = window->tray();
    ASSERT_FALSE(tray.hasSystemTray());
    EXPECT_EQ(tray.systemTrayIcon(), nullptr);
    // A later start with no tray: the minimised window is the only way back.
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    // The paused picture is chosen before the tray exists.
    trigger("mnuFilePauseExecution");
    ASSERT_EQ(tray.iconKind(), gui::AppIconKind::Paused);

    QSignalSpy appeared(&tray, &gui::DesktopIntegration::systemTrayAppeared);
    tray.onSystemTrayAvailable();
    EXPECT_EQ(appeared.count(), 1);
    ASSERT_TRUE(tray.hasSystemTray());
    QSystemTrayIcon* icon = tray.systemTrayIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_FALSE(icon->icon().isNull());
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Kestrow"));
    EXPECT_EQ(icon->contextMenu(), window->trayMenu());
    // The window stays as it was.
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());

    // Once only; the icon follows the state from now on.
    tray.onSystemTrayAvailable();
    EXPECT_EQ(appeared.count(), 1);
    EXPECT_EQ(tray.systemTrayIcon(), icon);
    trigger("mnuFilePauseExecution");
    EXPECT_EQ(tray.iconKind(), gui::AppIconKind::Normal);

    // With the tray there, "Send to Tray" hides the window for good.
    window->RestoreMainWindow();
    trigger("mnuPopupSendToTray");
    EXPECT_FALSE(window->isVisible());
    // And the tray's click brings it back.
    tray.onActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->IsMainWindowVisible());
}

// ---------------------------------------------------------------------------
// A second launch

TEST_F(ReachTest, ASecondLaunchBringsUpTheRunningWindowOverTheBus)
{
    if (g_busAddress.isEmpty())
        GTEST_SKIP() << s(g_noBusWhy);
    start();
    ASSERT_FALSE(window->IsMainWindowVisible());
    window->listenForLaterLaunches();
    ASSERT_NE(window->activation(), nullptr);
    ASSERT_TRUE(window->activation()->onBus());
    QSignalSpy asked(window->activation(), &InstanceActivation::activationRequested);

    // The second launch ends quietly: no "already running".
    EXPECT_FALSE(secondLaunchMain());
    EXPECT_TRUE(ui.messages().empty()) << lastMessage();
    ASSERT_TRUE(waitForActivation(asked));
    EXPECT_TRUE(window->IsMainWindowVisible());

    // A visible window is only brought to the front.
    EXPECT_FALSE(secondLaunchMain());
    EXPECT_TRUE(ui.messages().empty()) << lastMessage();
    EXPECT_TRUE(window->IsMainWindowVisible());
}

TEST_F(ReachTest, ASecondLaunchAsksForThePasswordFirst)
{
    if (g_busAddress.isEmpty())
        GTEST_SKIP() << s(g_noBusWhy);
    writeOptions("AdminPassword=" + ScramblePassword("Falcon 9") + "\n");
    start();
    ASSERT_TRUE(gblnPasswordSet);
    window->listenForLaterLaunches();
    QSignalSpy asked(window->activation(), &InstanceActivation::activationRequested);

    // Each prompt is answered from the event loop: first Cancel, then the password.
    int prompts = 0;
    std::string answer;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* prompt = qobject_cast<gui::frmEnterPassword*>(QApplication::activeModalWidget());
        if (!prompt)
            return;
        ++prompts;
        if (answer.empty()) {
            prompt->cmdCancel_Click();
            return;
        }
        prompt->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(q(answer));
        prompt->cmdOK_Click();
    });
    answerer.start(10);

    EXPECT_FALSE(secondLaunchMain());
    ASSERT_TRUE(waitForActivation(asked));
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(window->IsMainWindowVisible());

    answer = "Falcon 9";
    asked.clear();
    EXPECT_FALSE(secondLaunchMain());
    ASSERT_TRUE(waitForActivation(asked));
    EXPECT_EQ(prompts, 2);
    EXPECT_TRUE(window->IsMainWindowVisible());
    EXPECT_TRUE(ui.messages().empty()) << lastMessage();
}

TEST_F(ReachTest, AnInstanceThatDoesNotAnswerStillTurnsTheSecondLaunchAway)
{
    // The lock is held (as the daemon holds it), but nobody listens.
    start();
    EXPECT_FALSE(secondLaunchMain());
    EXPECT_EQ(lastMessage(), "Kestrow|Kestrow is already running");
    EXPECT_FALSE(window->IsMainWindowVisible());
}

// ---------------------------------------------------------------------------
// The two ways in

TEST_F(ReachTest, WithoutABusTheSocketCarriesTheRequest)
{
    const QString folder = q(gstrAppPath);
    const QString noBus = QStringLiteral("reach-test-no-bus"); // never connected
    InstanceActivation first(folder, noBus);
    ASSERT_TRUE(first.listen());
    EXPECT_FALSE(first.onBus());
    ASSERT_TRUE(first.onSocket());
    EXPECT_TRUE(std::filesystem::exists(InstanceActivation::socketPath(folder).toStdString()));
    QSignalSpy asked(&first, &InstanceActivation::activationRequested);

    EXPECT_TRUE(whileEventsRun([&] { return InstanceActivation::activateRunning(folder, noBus); }));
    ASSERT_TRUE(asked.count() > 0 || asked.wait(kWatchdogMs));
    EXPECT_EQ(asked.count(), 1);

    // Another folder's program is not this one.
    dir.makeDir("other");
    const QString other = q(dir / "other");
    EXPECT_FALSE(whileEventsRun([&] { return InstanceActivation::activateRunning(other, noBus); }));

    // A socket left behind by a killed program is taken over by the next one.
    const QString path = InstanceActivation::socketPath(folder);
    {
        InstanceActivation killed(folder, noBus);
        ASSERT_TRUE(killed.listen());
    }
    dir.writeFile("run/" + std::filesystem::path(path.toStdString()).filename().string(), "");
    InstanceActivation next(folder, noBus);
    EXPECT_TRUE(next.listen());
    EXPECT_TRUE(next.onSocket());
}

TEST_F(ReachTest, WithoutABusOrARuntimeFolderNothingAnswers)
{
    const QString folder = q(gstrAppPath);
    const QString noBus = QStringLiteral("reach-test-no-bus");
    ::unsetenv("XDG_RUNTIME_DIR"); // the TempDir puts it back
    EXPECT_TRUE(InstanceActivation::socketPath(folder).isEmpty());
    InstanceActivation first(folder, noBus);
    EXPECT_FALSE(first.listen());
    EXPECT_FALSE(InstanceActivation::activateRunning(folder, noBus));
}

TEST_F(ReachTest, EverySpellingOfTheFolderMeetsTheSameProgram)
{
    dir.makeDir("data/sub");
    std::filesystem::create_directory_symlink(dir / "data", dir / "link");
    const QString name = InstanceActivation::serviceName(q(dir / "data/"));
    for (const std::string& spelling : {dir / "data", dir / "link/", dir / "data/sub/..", dir / "data//"})
        EXPECT_EQ(InstanceActivation::serviceName(q(spelling)), name) << spelling;
    EXPECT_NE(InstanceActivation::serviceName(q(dir / "data/sub/")), name);
    EXPECT_EQ(InstanceActivation::socketPath(q(dir / "link")),
              InstanceActivation::socketPath(q(dir / "data")));
}

} // namespace
} // namespace kestrow

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The session bus of this process is a private one, started before anything uses it.
    QProcess daemon;
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (exe.isEmpty()) {
        kestrow::g_noBusWhy = QStringLiteral("dbus-daemon is not installed");
    } else {
        daemon.start(exe, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nosyslog"), QStringLiteral("--print-address=1")});
        if (daemon.waitForStarted(kestrow::kWatchdogMs) && daemon.waitForReadyRead(kestrow::kWatchdogMs))
            kestrow::g_busAddress = QString::fromUtf8(daemon.readLine()).trimmed();
        else
            kestrow::g_noBusWhy = QStringLiteral("dbus-daemon did not start: ") + daemon.errorString();
    }
    if (kestrow::g_busAddress.isEmpty())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", kestrow::g_busAddress.toUtf8());
    int rc = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    if (daemon.state() != QProcess::NotRunning) {
        daemon.terminate();
        daemon.waitForFinished(kestrow::kWatchdogMs);
    }
    return rc;
}
