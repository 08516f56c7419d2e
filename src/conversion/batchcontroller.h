#pragma once

#include "batchestimate.h"
#include "commands.h"
#include "common/report.h"
#include "completionactions.h"
#include "durationprober.h"
#include "joblist/job.h"
#include "jobrecord.h"
#include "process/encoderprocess.h"
#include "progress.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTime>

#include <functional>
#include <optional>

class ConversionSettings;
class JobListModel;
class QTimer;

// The choices of the options dialog that a batch uses.
struct BatchOptions
{
    bool playSound = true;
    bool lossless = false;
    // The source's recording time, place, camera and title, and its file time.
    bool keepMetadata = true;
};

struct JobFailure
{
    quint64 id = 0;
    QString source;
    FailureReason reason = FailureReason::None;
    QString detail;
    // For OutputCheckFailed: what the check found, and the output kept all the same.
    QList<Report::CheckDifference> checks;
    QString keptOutput;
};

// How a batch ended.
struct BatchSummary
{
    int converted = 0;
    QList<JobFailure> failures;
    bool stopped = false;
    int stoppedJobs = 0;    // jobs interrupted by "stop now"
    QString unopenedFolder; // the output folder, when nothing could open it at the end
};

// Where a running batch stands, for the captions and the command line.
struct BatchPosition
{
    quint64 id = 0;
    QString source;
    int number = 0; // the running job is the number-th of this batch
    int total = 0;
    int pass = 0; // 1-based
    int passes = 0;
    double fraction = 0;      // of the job
    double batchFraction = 0; // of the batch
    std::optional<int> remainingSeconds;
};

// Converts the waiting jobs of the list one after another. Every event (a
// start, a pass that ends, a stop, the end-of-batch actions done) goes through
// one function, handle(), which alone changes the batch's state. A job's passes
// are built from the settings when the job starts; the batch never reads the
// settings again for that job and never writes them.
class BatchController : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Running, Stopping, Finishing };
    enum class StopMode { Now, AfterCurrentJob };
    enum class StartResult { Started, EmptyList, Busy, OutputFolderUnusable };

    static constexpr int StartDelayMs = 100;

    BatchController(ConversionSettings &settings, JobListModel &jobs, CompletionActions *actions,
                    QObject *parent = nullptr);
    ~BatchController() override;

    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    QString programFolder() const { return m_programFolder; }
    void setEncoderFolder(const QString &folder) { m_encoderFolder = folder; }
    QString encoderFolder() const;
    void setSoundFile(const QString &file) { m_soundFile = file; }
    // The program's own scratch folder: intermediate files, the encoders' working folder.
    void setScratchFolder(const QString &folder);
    QString scratchFolder() const { return m_scratchFolder; }
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }
    // The date and time a record says a job ended at.
    void setRecordClock(std::function<QDateTime()> clock) { m_recordClock = std::move(clock); }
    // Seconds on a clock that never goes back, for the time left.
    void setMonotonicClock(std::function<double()> clock) { m_monotonic = std::move(clock); }
    void setOptions(const BatchOptions &options) { m_options = options; }
    // How long Start waits before the first job; the window gives its events
    // a moment first, a script has no reason to wait.
    void setStartDelay(int milliseconds);
    const BatchOptions &options() const { return m_options; }

    State state() const { return m_state; }
    bool isBusy() const { return m_state != State::Idle; }
    StopMode stopMode() const { return m_stopMode; }
    const ProgressState &progress() const { return m_progress; }
    const BatchSummary &summary() const { return m_summary; }
    // The folder the running or last batch writes into.
    QString outputFolder() const { return m_outputFolder; }

    StartResult start();
    void stop(StopMode mode);
    // Holds the running job where it is and starts nothing new until resumed;
    // the time left stops counting meanwhile.
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    // The first pass of every waiting job, as the batch would start it now.
    QList<PassCommand> previewFirstPasses() const;
    // What this job's commands would be built from if it started now.
    CommandInputs inputsFor(const Job &job) const;

Q_SIGNALS:
    void stateChanged(BatchController::State state);
    void pausedChanged(bool paused);
    void batchFailed(FailureReason reason, const QString &detail);
    void jobStarted(const BatchPosition &position);
    void passStarted(quint64 id, const PassCommand &pass);
    // A pass other than the last has succeeded; the next one follows.
    void passFinished(quint64 id, int pass);
    // The captions of the encoder's own progress forms.
    void progressChanged(const ProgressDisplay &display);
    void positionChanged(const BatchPosition &position);
    void jobDone(quint64 id, const QString &source, const QString &output);
    // A lossless rotation was asked for but the job is encoded; why: the
    // source's codec name or the encoder's reason word.
    void losslessRefused(quint64 id, const QString &source, const QString &why);
    void jobFailed(const JobFailure &failure);
    void jobStopped(quint64 id, const QString &source);
    // Every job that ended, converted, failed or stopped, for the record.
    void jobRecorded(const JobRecord &record);
    void batchEnded(const BatchSummary &summary);

private:
    struct Event
    {
        enum class Type { Start, NextJob, NextPass, PassEnded, StopNow, StopAfterJob, Completed };
        Type type;
        RunOutcome outcome = {};
        quint64 token = 0;
    };

    struct CurrentJob
    {
        quint64 id = 0;
        QString source;
        QList<PassCommand> passes;
        int pass = 0; // index of the running or next pass
        double durationSeconds = 0;
        QString output;
        QString encoderOutput;
        bool losslessRefusalShown = false;
        double startedSeconds = 0; // on the batch's clock
        QString losslessRefusal;
    };

    void handle(const Event &event);
    void post(Event::Type type);
    void setState(State state);
    void setPaused(bool paused);

    StartResult startBatch();
    void startNextJob();
    void startPass();
    void passEnded(const RunOutcome &outcome);
    void stopNow();
    void beginFinishing();
    void endBatch(bool stopped);
    // converted: it was work done; a failed or passed-over job was none.
    void afterJob(bool converted);
    // The lengths of the jobs that will still run, for the time left.
    void updateWaiting();
    // Reads the lengths of these rows' waiting jobs in the background.
    void probeDurations(int firstRow, int lastRow);
    void record(JobRecord::Outcome outcome, const QString &output, FailureReason failure = {},
                const QString &detail = {});

    FailureReason failureOf(const RunOutcome &outcome, QString &detail) const;
    void reportPosition();
    // Says why a lossless rotation is not done, once per job, as soon as it is known.
    void refuseLossless(const QString &why);
    void collectOutput();
    void removeIntermediate();
    void jobStoppedHere();
    CommandInputs inputsNow(const Job &job, const QString &outputFolder) const;
    BatchPosition position() const;
    double nowSeconds() const;
    int batchTotal() const;

    ConversionSettings &m_settings;
    JobListModel &m_jobs;
    CompletionActions *m_actions;
    EncoderProcess m_process;
    QTimer *m_startTimer;
    ProgressState m_progress;
    Report::Reader m_report;
    BatchEstimate m_estimate;
    QHash<quint64, double> m_durations; // seconds to convert by job, as far as known
    DurationProber m_prober;
    BatchOptions m_options;
    QString m_programFolder;
    QString m_encoderFolder;
    QString m_soundFile;
    QString m_scratchFolder;
    std::function<QTime()> m_clock;
    std::function<QDateTime()> m_recordClock;
    std::function<double()> m_monotonic;

    State m_state = State::Idle;
    bool m_paused = false;
    double m_pausedSince = 0;
    double m_pausedSeconds = 0;            // of this batch, before the current pause
    std::optional<Event::Type> m_deferred; // what the pause held back
    StartResult m_startResult = StartResult::Busy;
    StopMode m_stopMode = StopMode::Now;
    quint64 m_batchNumber = 0; // posted events of an earlier batch are dropped
    QString m_outputFolder;
    std::optional<CurrentJob> m_job;
    int m_started = 0;
    BatchSummary m_summary;
};

Q_DECLARE_METATYPE(BatchSummary)
Q_DECLARE_METATYPE(BatchPosition)
Q_DECLARE_METATYPE(JobFailure)
