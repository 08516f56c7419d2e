#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP, delivered through the event loop instead of at
// an arbitrary point of the program: the handler only writes to a pipe.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers; one object for the whole program.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void received(int signal);

private:
    QSocketNotifier *m_notifier = nullptr;
};
