#pragma once
// A second launch of the desktop program brings up the window of the one already
// running on the same data folder, instead of only being told that it runs. The
// running program answers on the session bus, under a name made from its data
// folder, and on a local socket in $XDG_RUNTIME_DIR for sessions without a bus; the
// second launch calls Activate on whichever it reaches first. The daemon answers
// neither: it has no window to bring up.

#include <QObject>
#include <QString>

class QLocalServer;

namespace kestrow::gui {

class InstanceActivation : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kestrow.Desktop")
public:
    // `busName`: the D-Bus connection to answer on (QDBusConnection::connectToBus);
    // empty: the session bus.
    explicit InstanceActivation(const QString& dataFolder, const QString& busName = {},
                                QObject* parent = nullptr);
    ~InstanceActivation() override;

    // Starts answering on the bus and on the socket, whichever can be had. Returns
    // whether at least one of them answers. Call while holding the instance lock:
    // a socket left behind by a program that was killed is replaced.
    bool listen();
    bool onBus() const { return m_onBus; }
    bool onSocket() const;

    // The second launch: asks the program running on `dataFolder` to bring up its
    // window. True once it has taken the request (before any password prompt).
    static bool activateRunning(const QString& dataFolder, const QString& busName = {});

    // The bus name of the program of `dataFolder`: one per folder, whatever the spelling.
    static QString serviceName(const QString& dataFolder);
    // The socket's path; empty without $XDG_RUNTIME_DIR (nowhere private to put it).
    static QString socketPath(const QString& dataFolder);

public Q_SLOTS:
    // The bus method. It answers at once; the window comes up after the reply, so
    // a password prompt never keeps the caller waiting.
    Q_SCRIPTABLE void Activate();

Q_SIGNALS:
    // A second launch asked for the window.
    void activationRequested();

private:
    void onSocketConnection();

    QString m_dataFolder;
    QString m_busName;
    QLocalServer* m_server = nullptr;
    bool m_onBus = false;
};

} // namespace kestrow::gui
