#include "ui/qt/InstanceActivation.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace kestrow::gui {

namespace {

const QString kObjectPath = QStringLiteral("/org/kestrow/Desktop");
const QString kInterface = QStringLiteral("org.kestrow.Desktop");
const QByteArray kRequest = QByteArrayLiteral("Activate\n");
const QByteArray kAnswer = QByteArrayLiteral("OK\n");
// How long a second launch waits for the first one's answer. The first answers from
// its event loop, which even a run or a dialog keeps turning; one that does not
// answer in this time is as good as unreachable.
constexpr int kAnswerMs = 10000;
constexpr int kConnectMs = 3000;

QDBusConnection busFor(const QString& busName)
{
    return busName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(busName);
}

// One name per folder: the hash of its resolved path, so every spelling meets.
QString folderKey(const QString& dataFolder)
{
    QString path = QFileInfo(dataFolder).canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(QDir(dataFolder).absolutePath());
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
}

} // namespace

InstanceActivation::InstanceActivation(const QString& dataFolder, const QString& busName, QObject* parent)
    : QObject(parent), m_dataFolder(dataFolder), m_busName(busName)
{
}

InstanceActivation::~InstanceActivation()
{
    if (m_onBus) {
        QDBusConnection bus = busFor(m_busName);
        bus.unregisterService(serviceName(m_dataFolder));
        bus.unregisterObject(kObjectPath);
    }
}

QString InstanceActivation::serviceName(const QString& dataFolder)
{
    // A bus name's elements may not begin with a digit.
    return QStringLiteral("org.kestrow.Desktop.f") + folderKey(dataFolder);
}

QString InstanceActivation::socketPath(const QString& dataFolder)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    return QDir(runtime).filePath(QStringLiteral("kestrow-") + folderKey(dataFolder));
}

bool InstanceActivation::listen()
{
    QDBusConnection bus = busFor(m_busName);
    if (bus.isConnected() && bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots)) {
        m_onBus = bus.registerService(serviceName(m_dataFolder));
        if (!m_onBus)
            bus.unregisterObject(kObjectPath);
    }

    const QString path = socketPath(m_dataFolder);
    if (!path.isEmpty() && !m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        // We hold the instance lock: a socket at the name is a killed program's.
        QLocalServer::removeServer(path);
        if (m_server->listen(path)) {
            connect(m_server, &QLocalServer::newConnection, this, &InstanceActivation::onSocketConnection);
        } else {
            delete m_server;
            m_server = nullptr;
        }
    }
    return m_onBus || onSocket();
}

bool InstanceActivation::onSocket() const
{
    return m_server && m_server->isListening();
}

void InstanceActivation::Activate()
{
    QTimer::singleShot(0, this, [this] { Q_EMIT activationRequested(); });
}

void InstanceActivation::onSocketConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kRequest) {
                socket->write(kAnswer);
                socket->flush();
                Activate();
            }
            socket->disconnectFromServer();
        });
    }
}

bool InstanceActivation::activateRunning(const QString& dataFolder, const QString& busName)
{
    QDBusConnection bus = busFor(busName);
    if (bus.isConnected()) {
        const QDBusMessage call = QDBusMessage::createMethodCall(serviceName(dataFolder), kObjectPath,
                                                                 kInterface, QStringLiteral("Activate"));
        if (bus.call(call, QDBus::Block, kAnswerMs).type() == QDBusMessage::ReplyMessage)
            return true;
    }

    const QString path = socketPath(dataFolder);
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMs))
        return false;
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(kAnswerMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerMs))
            return false;
    }
    return socket.readLine() == kAnswer;
}

} // namespace kestrow::gui
