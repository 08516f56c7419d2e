#pragma once

#include "encodercommand.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringDecoder>

class QSocketNotifier;
class QTimer;

// How one run ended.
struct RunOutcome
{
    enum class Status { Exited, Crashed, Stopped };

    Status status = Status::Exited;
    int exitCode = 0;
    int signal = 0; // the signal that ended a crashed or stopped run, when known

    bool succeeded() const { return status == Status::Exited && exitCode == 0; }
};
Q_DECLARE_METATYPE(RunOutcome)

// Why a run did not start. The error number is taken where the failing call
// returned, before anything else could change it.
struct StartFailure
{
    enum class Kind { None, EmptyCommand, AlreadyRunning, PipeFailed, CannotRun };

    Kind kind = Kind::None;
    int error = 0;
};

// Runs one encoder with its output and error joined, hands the output on in
// pieces of at most PieceSize bytes while it runs and reports the end of the
// run once everything it wrote has been handed on.
//
// The encoder's report (common/report.h) comes on a pipe of its own, handed on
// as it comes and never mixed with the output, which quotes file names.
//
// The encoder gets a process group of its own, which stop() ends as a whole,
// and dies with this program even when this program is killed.
class EncoderProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype PieceSize = 1024;
    // What a finished run keeps of its output: enough for any message.
    static constexpr qsizetype TailLimit = 64 * 1024;

    explicit EncoderProcess(QObject *parent = nullptr);
    ~EncoderProcess() override;

    const EncoderCommand &command() const { return m_command; }
    QString commandText() const { return m_command.text; }

    // What the current or last run printed, its last TailLimit bytes.
    QString outputTail() const;

    bool isRunning() const { return m_running; }
    const RunOutcome &outcome() const { return m_outcome; }
    const StartFailure &startFailure() const { return m_startFailure; }
    qint64 processId() const { return m_pid; }

    // Starts the command and returns at once. False when nothing was started
    // (startFailure() says why); then no signal follows.
    bool start(const EncoderCommand &command);
    // Starts and waits for the end of the run; returns the output tail, empty
    // when the run did not start. For tests and tools.
    QString runAndWait(const EncoderCommand &command);

    // Asks the encoder's whole process group to end, and kills it when it has
    // not after the grace period.
    void stop();

    // Stops the encoder's whole group where it is (SIGSTOP) and lets it go on
    // (SIGCONT); nothing of its work is lost.
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    // The folder the encoders run in; the user's temporary folder by default.
    void setWorkingDirectory(const QString &dir) { m_workingDirectory = dir; }

Q_SIGNALS:
    // A piece of output; the tail already holds it.
    void outputReceived(const QString &piece);
    // A piece of the report channel, as it came.
    void reportReceived(const QByteArray &piece);
    // Once per started run, after the last piece, with the runner idle again.
    void finished(const RunOutcome &outcome);

private:
    // False, with the reason noted, for a command that cannot start now.
    bool acceptCommand(const EncoderCommand &command);
    void deliver(const char *data, qsizetype size);
    void finishRun();
    void resetForRun();

    EncoderCommand m_command;
    QString m_workingDirectory;
    QByteArray m_tail;
    QString m_piece;
    QStringDecoder m_decoder;
    RunOutcome m_outcome;
    StartFailure m_startFailure;
    QTimer *m_killTimer = nullptr;
    qint64 m_pid = 0;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_paused = false;

    // One pipe the encoder writes into: its output, or its report.
    struct Channel
    {
        int fd = -1;
        QSocketNotifier *notifier = nullptr;
        bool closed = true;
    };
    enum class ReadResult { More, Empty, Closed };
    ReadResult readAvailable(Channel &channel);
    ReadResult readAvailable();
    void checkExited();
    void maybeFinish();
    void signalGroup(int sig);
    void closeDescriptors();
    void watch(Channel &channel, int fd);

    QByteArray m_buffer;
    Channel m_output;
    Channel m_report;
    QSocketNotifier *m_exitNotifier = nullptr;
    QTimer *m_exitPoll = nullptr;
    QTimer *m_drainTimer = nullptr;
    int m_pidFd = -1;
    quint64 m_runNumber = 0;
    bool m_exited = false;
};
