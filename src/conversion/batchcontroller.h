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

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ConversionSettings;
class JobQueue;
class QTimer;

// The choices of the options dialog that a batch uses.
struct BatchOptions
{
    bool playSound = true;
    bool lossless = false;
    // The source's recording time, place, camera and title, and its file time.
    bool keepMetadata = true;
    // How many jobs run at once; 0: as many as the machine's cores suit.
    int parallelJobs = 0;
    // How outputs are named (commands.h outputName); empty: the usual names.
    QString nameTemplate;
    // Sources found in a folder keep their folders below the output folder.
    bool keepTree = false;
};

// The most jobs a batch runs at once, whatever is asked.
inline constexpr int MaxParallelJobs = 32;

// How many jobs of a format run at once on this many cores, and how many
// threads each gives its H.264 encoding (0: as many as the encoder likes).
struct JobShare
{
    int jobs = 1;
    int threads = 0;
};
// chosenJobs 0: automatic. A single-threaded encoder gets a core per job; the
// H.264 formats run fewer jobs on larger machines, each with its share of
// threads. jobsAtHand: how many could run together now (those running and
// those waiting); fewer share the machine among fewer.
JobShare jobShare(int chosenJobs, int format, int cores, int jobsAtHand = MaxParallelJobs);

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

// Where a running batch stands, for the captions and the command line: one
// running job's place and progress, and the batch's.
struct BatchPosition
{
    quint64 id = 0;
    QString source;
    int number = 0; // the job is the number-th of this batch to start
    int total = 0;
    int started = 0; // jobs of this batch started so far
    int running = 0; // jobs running at once now
    int slots = 1;   // jobs the batch may run at once
    int pass = 0;    // 1-based
    int passes = 0;
    QString caption;     // the encoder's progress caption of the job, its busy indicator left out
    double fraction = 0; // of the job
    double batchFraction = 0; // of the batch
    std::optional<int> remainingSeconds;
};

// Converts the waiting jobs of the list, several at once. Every event (a start,
// a pass that ends, a stop, the end-of-batch actions done) goes through one
// function, handle(), which alone changes the batch's state. A job's passes are
// built from its settings when the job starts; the batch never reads them again
// for that job and never writes them. Each running job has its own encoder and
// its own scratch folder; its passes run in order.
class BatchController : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Running, Stopping, Finishing };
    enum class StopMode { Now, AfterCurrentJob };
    // NothingWaiting: the list holds only failed jobs, which wait for a retry.
    enum class StartResult { Started, EmptyList, NothingWaiting, Busy, OutputFolderUnusable };

    static constexpr int StartDelayMs = 100;

    BatchController(ConversionSettings &settings, JobQueue &jobs, CompletionActions *actions,
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
    // The cores the pool divides; the machine's by default.
    void setCores(int cores) { m_cores = std::max(1, cores); }
    // How long Start waits before the first job; the window gives its events
    // a moment first, a script has no reason to wait.
    void setStartDelay(int milliseconds);
    const BatchOptions &options() const { return m_options; }

    State state() const { return m_state; }
    bool isBusy() const { return m_state != State::Idle; }
    StopMode stopMode() const { return m_stopMode; }
    // The encoder's own progress of the job that started first of those running.
    const ProgressState &progress() const;
    int runningCount() const { return int(m_running.size()); }
    const BatchSummary &summary() const { return m_summary; }
    // The folder the running or last batch writes into.
    QString outputFolder() const { return m_outputFolder; }

    StartResult start();
    void stop(StopMode mode);
    // Takes back a stop after the running jobs: the batch goes on.
    void cancelStop();
    // Holds the running jobs where they are and starts nothing new until
    // resumed; the time left stops counting meanwhile.
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
    // The captions of the encoder's own progress forms, of the job that
    // started first of those running.
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
        enum class Type {
            Start,
            NextJob,
            NextPass,
            PassEnded,
            StopNow,
            StopAfterJob,
            CancelStop,
            Completed
        };
        Type type;
        RunOutcome outcome = {};
        quint64 token = 0;
        quint64 job = 0; // NextPass, PassEnded
    };
    struct RunningJob;

    void handle(const Event &event);
    void post(Event::Type type, quint64 job = 0);
    void setState(State state);
    void setPaused(bool paused);

    StartResult startBatch();
    // Starts waiting jobs while the pool has room.
    void fillSlots();
    bool startJob(int row);
    void startPass(RunningJob &job);
    void reportArrived(RunningJob &job, QByteArrayView piece);
    void passEnded(RunningJob &job, const RunOutcome &outcome);
    void failJob(RunningJob &job, const JobFailure &failure);
    void stopNow();
    void beginFinishing();
    void endBatch(bool stopped);
    // The job leaves the pool. converted: it was work done; a failed or
    // stopped job was none.
    void jobEnded(quint64 id, bool converted);
    // The lengths of the jobs that will still run, for the time left.
    void updateWaiting();
    // Reads the lengths of these rows' waiting jobs in the background.
    void probeDurations(int firstRow, int lastRow);
    void record(const RunningJob &job, JobRecord::Outcome outcome, const QString &output,
                FailureReason failure = {}, const QString &detail = {});

    FailureReason failureOf(const RunningJob &job, const RunOutcome &outcome,
                            QString &detail) const;
    void reportPosition(RunningJob &job);
    // Says why a lossless rotation is not done, once per job, as soon as it is known.
    void refuseLossless(RunningJob &job, const QString &why);
    void collectOutput(RunningJob &job);
    void jobStoppedHere(RunningJob &job);
    RunningJob *runningJob(quint64 id) const;
    CommandInputs inputsNow(const Job &job, const QString &outputFolder) const;
    BatchPosition position(const RunningJob *job) const;
    double nowSeconds() const;
    int batchTotal() const;
    int slotsFor(const Job &job) const;

    ConversionSettings &m_settings;
    JobQueue &m_jobs;
    CompletionActions *m_actions;
    QTimer *m_startTimer;
    ProgressState m_idleProgress;
    BatchEstimate m_estimate;
    QHash<quint64, double> m_durations; // seconds to convert by job, as far as known
    // What the probe found of each job's source, for the encoder of its first pass.
    QHash<quint64, QByteArray> m_sourceInfo;
    // The jobs left waiting once the first ones started have been given to the prober.
    bool m_probing = false;
    DurationProber m_prober;
    BatchOptions m_options;
    QString m_programFolder;
    QString m_encoderFolder;
    QString m_soundFile;
    QString m_scratchFolder;
    std::function<QTime()> m_clock;
    std::function<QDateTime()> m_recordClock;
    std::function<double()> m_monotonic;
    int m_cores = 1;

    State m_state = State::Idle;
    bool m_paused = false;
    double m_pausedSince = 0;
    double m_pausedSeconds = 0; // of this batch, before the current pause
    StartResult m_startResult = StartResult::Busy;
    StopMode m_stopMode = StopMode::Now;
    quint64 m_batchNumber = 0; // posted events of an earlier batch are dropped
    QString m_outputFolder;
    std::vector<std::unique_ptr<RunningJob>> m_running; // in the order they started
    int m_started = 0;
    int m_slots = 1; // of the job that started last
    BatchSummary m_summary;
};

Q_DECLARE_METATYPE(BatchSummary)
Q_DECLARE_METATYPE(BatchPosition)
Q_DECLARE_METATYPE(JobFailure)
