#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcInstanceLock, "velquor.app.instance")

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kDone = QByteArrayLiteral("ok\n");
} // namespace

CSingleInstance::CSingleInstance(QObject *parent)
    : QObject(parent)
{}

CSingleInstance::~CSingleInstance() = default;

bool CSingleInstance::Acquire(const QString &lockPath, const QString &name)
{
    m_name = name;
    m_lock = std::make_unique<QLockFile>(lockPath);
    // Never stale by age: a live copy may run for weeks. A dead holder is detected by PID.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        qCInfo(lcInstanceLock) << "installation already in use, lock error" << m_lock->error();
        m_lock.reset();
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    if (!m_server->listen(name))
        qCWarning(lcInstanceLock) << "cannot listen for activation:" << m_server->errorString();
    return true;
}

bool CSingleInstance::isHeld() const
{
    return m_lock && m_lock->isLocked();
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // The request may arrive with the connection or just before the peer hangs up:
        // look at the data on every occasion, once.
        auto handled = std::make_shared<bool>(false);
        auto handle = [this, socket, handled] {
            if (*handled || !socket->canReadLine())
                return;
            *handled = true;
            if (socket->readLine(64) == kActivate) {
                qCInfo(lcInstanceLock) << "activation requested by a second start";
                socket->write(kDone);
                socket->flush();
                Q_EMIT activationRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        connect(socket, &QLocalSocket::disconnected, this, [socket, handle] {
            handle();
            socket->deleteLater();
        });
        handle();
    }
}

bool CSingleInstance::RequestActivation(const QString &name, int timeoutMs)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kActivate);
    // Hang up only after the running copy has taken the request.
    bool ok = socket.waitForBytesWritten(timeoutMs);
    while (ok && !socket.canReadLine())
        ok = socket.waitForReadyRead(timeoutMs);
    ok = ok && socket.readLine(64) == kDone;
    socket.disconnectFromServer();
    return ok;
}
