// The desktop program: the main window around the start-up and shutdown logic.

#include "base/UiServices.h"
#include "platform/Signals.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/QtUiServices.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

#include <atomic>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrow"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROW_VERSION));
    // Closing the window only hides it; the program ends from the tray menu.
    QApplication::setQuitOnLastWindowClosed(false);

    kestrow::gui::QtUiServices services;
    kestrow::ScopedUiServices scope(services);

    kestrow::gui::frmKestrow window;
    services.setParent(&window);
    // The desktop session ending and SIGTERM end the program as a session end does:
    // a running task is cancelled and logged, and everything is saved. Armed before
    // the start-up, whose first-start messages already run an event loop.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.SessionEnd(); });
    static std::atomic<bool> terminateRequested{false};
    kestrow::platform::cancelOnSignals(terminateRequested);
    QTimer signalPoll;
    QObject::connect(&signalPoll, &QTimer::timeout, &window, [&window] {
        if (terminateRequested.exchange(false))
            window.SessionEnd();
    });
    signalPoll.start(250);

    kestrow::KestrowShell& shell = window.shell();
    // A second instance (its window brought up, or the message shown), or a library
    // that cannot be loaded (the message shown).
    if (!shell.Main())
        return 0;
    const bool loaded = shell.Form_Load();
    window.endIfSessionEndedDuringLoad();
    if (!loaded && !window.unloaded())
        window.RestoreMainWindow(); // keep a window that failed to load reachable
    if (window.unloaded())
        return 0;
    window.listenForLaterLaunches();

    const int rc = QApplication::exec();
    if (!window.unloaded())
        window.SessionEnd();
    return rc;
}
