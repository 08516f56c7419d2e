#pragma once

#include "commands.h"
#include "process/dosoutputs.h"
#include "progress.h"

#include <QObject>
#include <QTime>

#include <functional>

class ConversionSettings;
class JobListModel;
class MessageSink;
class QTimer;

// The end-of-batch actions that reach outside the program.
class CompletionActions
{
public:
    virtual ~CompletionActions() = default;
    virtual void openFolder(const QString &folder) = 0;
    // Plays the file and calls done once it has played (or could not be played).
    virtual void playSound(const QString &file, std::function<void()> done) = 0;
};

struct JobFailure
{
    QString source;
    QString reason;
};

// Converts the job list, one job after another: the first pass on objDOS (or
// objffmpeg for the audio-only format), the second pass of two-pass formats on
// objffmpeg, then the next waiting job, then the end-of-batch actions.
class BatchDriver : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimerIntervalMs = 100;

    BatchDriver(ConversionSettings &settings, JobListModel &jobs, MessageSink *messages,
                CompletionActions *actions, QObject *parent = nullptr);
    ~BatchDriver() override;

    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    QString programFolder() const { return m_programFolder; }
    void setTempFolder(const QString &folder) { m_tempFolder = folder; }
    QString tempFolder() const { return m_tempFolder; }
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }
    // 0: the completion sound plays; anything else: it does not.
    void setSoundReminder(int value) { m_intSoundReminder = value; }

    DOSOutputs &objDOS() { return m_objDOS; }
    DOSOutputs &objffmpeg() { return m_objffmpeg; }
    const ProgressState &progress() const { return m_progress; }
    QString strExeName() const { return m_strExeName; }
    bool isBusy() const { return m_phase != Phase::Idle; }

    // Refuses an empty list with a message; otherwise locks and arms the timer.
    bool Start();
    // Stops the running encoder, removes its unfinished output and ends the
    // batch without the end-of-batch actions.
    void stop();
    // stop(), returning only once the encoder has ended (for shutdown).
    void stopAndWait();

    // The first pass of every waiting job, as the batch would start it now.
    QList<PassCommand> previewFirstPasses() const;

Q_SIGNALS:
    void batchStarted();
    void passStarted(const PassCommand &pass);
    void progressChanged(const ProgressDisplay &display);
    void jobDone(const QString &source, const QString &output);
    void jobFailed(const QString &source, const QString &reason);
    // Steps where the window enables what Start locked.
    void unlockRequested();
    void batchFinished(const QList<JobFailure> &failures);
    void batchStopped();

private:
    enum class Phase { Idle, Armed, FirstPass, SecondPass, Finishing };

    void RunBatch();
    void nextJob();
    void scheduleNextJob();
    void objDOS_CommandOver(const RunOutcome &outcome);
    void objffmpeg_CommandOver(const RunOutcome &outcome);
    bool startPass(DOSOutputs &runner, const PassCommand &pass, Phase phase);
    // The reason a finished pass failed, or empty when it succeeded.
    QString failureOf(const DOSOutputs &runner, const RunOutcome &outcome) const;
    void completeJob();
    void failJob(const QString &reason);
    void finishBatch();
    CommandInputs inputsNow(const QString &source, const QString &outputFolder) const;
    void showProgress();

    ConversionSettings &m_settings;
    JobListModel &m_jobs;
    MessageSink *m_messages;
    CompletionActions *m_actions;
    DOSOutputs m_objDOS;
    DOSOutputs m_objffmpeg;
    QTimer *m_timer;
    ProgressState m_progress;
    QString m_programFolder;
    QString m_tempFolder;
    std::function<QTime()> m_clock;
    int m_intSoundReminder = 0;

    Phase m_phase = Phase::Idle;
    bool m_stopping = false;
    QString m_strExeName;
    QString m_batchOutputFolder;
    quint64 m_currentJob = 0;
    QString m_currentSource;
    PassCommand m_currentPass;
    QList<JobFailure> m_failures;
};
