#pragma once

#include "encodercommand.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringDecoder>

class MessageSink;
class QTimer;

// How one run ended.
struct RunOutcome
{
    enum class Status { Exited, Crashed, Stopped };

    Status status = Status::Exited;
    int exitCode = 0;

    bool succeeded() const { return status == Status::Exited && exitCode == 0; }
};
Q_DECLARE_METATYPE(RunOutcome)

// Runs one console program with its output and error joined, hands the output
// on in pieces while it runs and signals the end of the run.
class DOSOutputs : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype PieceSize = 1024;
    static constexpr int StopGraceMs = 3000;

    explicit DOSOutputs(MessageSink *messages = nullptr, QObject *parent = nullptr);
    ~DOSOutputs() override;

    void setCommandLine(const EncoderCommand &command) { m_command = command; }
    QString CommandLine() const { return m_command.text; }
    const EncoderCommand &command() const { return m_command; }

    // Everything the current or last run has written, in arrival order.
    const QString &Outputs() const { return m_outputs; }
    // The last non-empty line of the last run's output: why an encoder failed.
    QString lastLine() const;

    bool isRunning() const { return m_running; }
    const RunOutcome &outcome() const { return m_outcome; }

    // Starts the command (a non-empty argument replaces the stored one) and
    // returns at once. False when nothing was started; then no event follows.
    bool start(const EncoderCommand &command = {});

    // Starts and waits for the end of the run; returns the collected output,
    // empty when the run did not start. For the command-line front end and tests.
    QString ExecuteCommand(const EncoderCommand &command = {});

    // Asks the program to end, and kills it when it has not after the grace period.
    void stop();

    // The folder the programs run in; the user's temporary folder by default.
    void setWorkingDirectory(const QString &dir) { m_workingDirectory = dir; }

Q_SIGNALS:
    void ReceiveOutputs(const QString &CommandOutputs);
    void CommandOver(const RunOutcome &outcome);

private:
    void readOutput();
    void finishRun(int exitCode, QProcess::ExitStatus status);
    void showMessage(const QString &text);

    MessageSink *m_messages;
    EncoderCommand m_command;
    QString m_outputs;
    QString m_workingDirectory;
    QProcess *m_process = nullptr;
    QTimer *m_killTimer = nullptr;
    QStringDecoder m_decoder;
    RunOutcome m_outcome;
    bool m_running = false;
    bool m_stopRequested = false;
};
