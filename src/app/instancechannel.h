#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;
class QWidget;
class SingleInstance;

// How a second start reaches the copy already running: the running copy
// listens on a socket beside its single-copy lock, the second one connects,
// says one fixed line, or that line and the files it was given, and ends; the
// running window comes forward and takes the files.
class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    // The longest a second copy waits for the running one, in milliseconds.
    static constexpr int AnswerWait = 1000;

    explicit InstanceChannel(const QString &serverPath = defaultServerPath(),
                             QObject *parent = nullptr);
    ~InstanceChannel() override;

    // Only the holder of the lock listens: whatever else lies at the path was
    // left by a copy that is gone, and is removed. False when the lock is not
    // held here or the socket cannot be made; the program runs on without it.
    bool listen(const SingleInstance &lock);
    bool isListening() const;

    // The second copy's side: true once the running copy has answered. Gives
    // up after waitMs in every case, also when the peer is hung.
    static bool askToComeForward(const QString &serverPath = defaultServerPath(),
                                 int waitMs = AnswerWait, const QStringList &files = {});

    // Per user, in the folder of the single-copy lock.
    static QString defaultServerPath();

Q_SIGNALS:
    // A second start asked for the window.
    void comeForwardRequested();
    // ... and gave these files, in this order.
    void filesReceived(const QStringList &paths);

private:
    void takeConnections();
    void readRequest(QLocalSocket *socket);

    QString m_serverPath;
    QLocalServer *m_server = nullptr;
};

// Shows the window un-minimized, on top and active, as far as the window
// system lets a program do that itself.
void bringToFront(QWidget *window);
