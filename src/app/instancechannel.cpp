#include "instancechannel.h"

#include "common/paths.h"
#include "process/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

namespace {

// The request is a fixed line, or "torvane open N" and N lines of paths as
// percent-encoded bytes; whatever else arrives on the socket is not ours and
// gets no answer.
constexpr char kRequest[] = "torvane come-forward\n";
constexpr char kOpen[] = "torvane open ";
constexpr char kAnswer[] = "ok\n";
constexpr qint64 kAnswerSize = sizeof(kAnswer) - 1;
// More than a request of this size is not one.
constexpr qsizetype kRequestLimit = 64 * 1024 * 1024;

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(deadline.remainingTime());
}

struct Request
{
    enum class Status { Incomplete, Invalid, Complete };
    Status status = Status::Incomplete;
    QStringList files;
};

Request parseRequest(const QByteArray &data)
{
    Request r;
    const qsizetype end = data.indexOf('\n');
    if (end < 0) {
        const bool prefix = QByteArrayView(kRequest).startsWith(data) ||
                            QByteArrayView(kOpen).startsWith(data) ||
                            (data.startsWith(kOpen) && data.size() < 64);
        r.status = prefix ? Request::Status::Incomplete : Request::Status::Invalid;
        return r;
    }
    const QByteArray first = data.left(end + 1);
    if (first == kRequest) {
        r.status = Request::Status::Complete;
        return r;
    }
    bool ok = false;
    const qsizetype count =
        first.startsWith(kOpen) ? first.mid(sizeof(kOpen) - 1).trimmed().toLongLong(&ok) : -1;
    if (!ok || count < 0 || count > kRequestLimit / 2) {
        r.status = Request::Status::Invalid;
        return r;
    }
    qsizetype at = end + 1;
    while (r.files.size() < count) {
        const qsizetype lineEnd = data.indexOf('\n', at);
        if (lineEnd < 0) {
            r.status = data.size() > kRequestLimit ? Request::Status::Invalid
                                                   : Request::Status::Incomplete;
            return r;
        }
        const QString path =
            pathFromBytes(QByteArray::fromPercentEncoding(data.mid(at, lineEnd - at)));
        if (path.isEmpty()) {
            r.status = Request::Status::Invalid;
            return r;
        }
        r.files << path;
        at = lineEnd + 1;
    }
    r.status = Request::Status::Complete;
    return r;
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
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    const Request request = parseRequest(socket->peek(socket->bytesAvailable()));
    if (request.status == Request::Status::Incomplete)
        return;
    const bool ours = request.status == Request::Status::Complete;
    socket->readAll();
    if (ours) {
        // Answered first, so the second copy can end while the window comes up.
        socket->write(kAnswer, kAnswerSize);
        socket->flush();
    }
    socket->disconnectFromServer();
    if (!ours)
        return;
    if (!request.files.isEmpty())
        Q_EMIT filesReceived(request.files);
    Q_EMIT comeForwardRequested();
}

bool InstanceChannel::askToComeForward(const QString &serverPath, int waitMs,
                                       const QStringList &files)
{
    // One deadline for the whole exchange: a copy that hangs holds nobody up longer.
    const QDeadlineTimer deadline(waitMs);
    QLocalSocket socket;
    socket.connectToServer(serverPath);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return false;
    QByteArray request = kRequest;
    if (!files.isEmpty()) {
        request = kOpen + QByteArray::number(files.size()) + '\n';
        for (const QString &file : files)
            request += pathToBytes(file).toPercentEncoding("/") + '\n';
    }
    socket.write(request);
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
