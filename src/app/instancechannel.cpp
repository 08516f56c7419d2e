#include "instancechannel.h"

#include "process/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

namespace {

// Both lines are fixed: whatever else arrives on the socket is not ours and
// gets no answer.
constexpr char kRequest[] = "torvane come-forward\n";
constexpr char kAnswer[] = "ok\n";
constexpr qint64 kRequestSize = sizeof(kRequest) - 1;
constexpr qint64 kAnswerSize = sizeof(kAnswer) - 1;

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(deadline.remainingTime());
}

} // namespace

InstanceChannel::InstanceChannel(const QString &serverPath, QObject *parent)
    : QObject(parent), m_serverPath(serverPath)
{}

// The server, a child, removes its socket as it closes.
InstanceChannel::~InstanceChannel() = default;

bool InstanceChannel::listen(const SingleInstance &lock)
{
    if (m_server)
        return true;
    if (!lock.isHeld())
        return false;
    QLocalServer::removeServer(m_serverPath);
    auto *server = new QLocalServer(this);
    // The runtime folder is the user's alone, the temp folder it falls back on is not.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_serverPath)) {
        delete server;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, &InstanceChannel::takeConnections);
    m_server = server;
    return true;
}

bool InstanceChannel::isListening() const
{
    return m_server && m_server->isListening();
}

void InstanceChannel::takeConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A peer that never finishes its line does not keep the socket open.
        QTimer::singleShot(AnswerWait, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        readRequest(socket);
    }
}

void InstanceChannel::readRequest(QLocalSocket *socket)
{
    if (socket->state() != QLocalSocket::ConnectedState || socket->bytesAvailable() < kRequestSize)
        return;
    const bool ours = socket->read(kRequestSize) == QByteArrayView(kRequest, kRequestSize);
    if (ours) {
        // Answered first, so the second copy can end while the window comes up.
        socket->write(kAnswer, kAnswerSize);
        socket->flush();
    }
    socket->disconnectFromServer();
    if (ours)
        Q_EMIT comeForwardRequested();
}

bool InstanceChannel::askToComeForward(const QString &serverPath, int waitMs)
{
    // One deadline for the whole exchange: a copy that hangs holds nobody up longer.
    const QDeadlineTimer deadline(waitMs);
    QLocalSocket socket;
    socket.connectToServer(serverPath);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return false;
    socket.write(kRequest, kRequestSize);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
    }
    QByteArray answer;
    while (answer.size() < kAnswerSize && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(remainingMs(deadline)))
            break;
        answer += socket.read(kAnswerSize - answer.size());
    }
    socket.abort();
    return answer == QByteArrayView(kAnswer, kAnswerSize);
}

QString InstanceChannel::defaultServerPath()
{
    const QFileInfo lock(SingleInstance::defaultLockPath());
    return lock.dir().filePath(lock.completeBaseName() + u".sock"_qs);
}

void bringToFront(QWidget *window)
{
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}
