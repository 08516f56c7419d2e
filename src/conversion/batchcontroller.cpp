#include "batchcontroller.h"

#include "common/paths.h"
#include "common/platform.h"
#include "conversionsettings.h"
#include "joblist/jobqueue.h"
#include "process/partfiles.h"
#include "process/programfiles.h"
#include "texts/statustexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace {

// Describes a start failure in the runner's own words.
QString startFailureText(const StartFailure &failure)
{
    switch (failure.kind) {
    case StartFailure::Kind::EmptyCommand:
        return u"Command Line empty"_qs;
    case StartFailure::Kind::PipeFailed:
        return u"CreatePipe failed. Error: "_qs + QString::number(failure.error);
    case StartFailure::Kind::AlreadyRunning:
    case StartFailure::Kind::CannotRun:
    case StartFailure::Kind::None:
        break;
    }
    return u"File or command not found"_qs;
}

} // namespace

JobShare jobShare(int chosenJobs, int format, int cores, int jobsAtHand)
{
    cores = std::max(1, cores);
    const FirstPass pass = Formats::at(format).firstPass;
    const bool h264 = pass == FirstPass::X264 || pass == FirstPass::X264Avi;
    int jobs = chosenJobs;
    if (jobs <= 0)
        jobs = h264 && cores > 2 ? cores / 2 : cores;
    jobs = std::clamp(jobs, 1, MaxParallelJobs);
    // A job with the machine to itself (one video, or the last ones of a
    // batch) leaves the count to the encoder.
    const int together = std::clamp(jobsAtHand, 1, jobs);
    return {jobs, together == 1 ? 0 : std::max(1, cores / together)};
}

// One job of the pool: its commands, its encoder and what the encoder said.
struct BatchController::RunningJob
{
    RunningJob() = default;
    RunningJob(const RunningJob &) = delete;
    RunningJob &operator=(const RunningJob &) = delete;
    ~RunningJob()
    {
        // A job often ends inside its encoder's own signal.
        if (process) {
            process->disconnect();
            process->deleteLater();
        }
    }

    quint64 id = 0;
    QString source;
    int number = 0; // the number-th job of the batch to start
    QList<PassCommand> passes;
    int pass = 0; // index of the running or next pass
    double durationSeconds = 0;
    QString encoderOutput;
    bool losslessRefusalShown = false;
    QString losslessRefusal;
    double startedSeconds = 0; // on the batch's clock
    // Its intermediate file and whatever else the encoders leave in their
    // working folder; removed with everything in it when the job ends.
    std::unique_ptr<QTemporaryDir> scratch;
    EncoderProcess *process = nullptr;
    Report::Reader report;
    ProgressState progress;

    // The file the running pass reported it wrote, when that is one of the
    // names the batch chose for it; anything else is not believed, never
    // named as an output and never removed.
    QString written() const
    {
        const QString &reported = report.report().output;
        return isNameOf(passes[pass].outputPath, reported) ? reported : QString();
    }
};

BatchController::BatchController(ConversionSettings &settings, JobQueue &jobs,
                                 CompletionActions *actions, QObject *parent)
    : QObject(parent), m_settings(settings), m_jobs(jobs), m_actions(actions),
      m_startTimer(new QTimer(this)), m_programFolder(QCoreApplication::applicationDirPath()),
      m_scratchFolder(QDir::tempPath()), m_clock([] { return QTime::currentTime(); }),
      m_recordClock([] { return QDateTime::currentDateTime(); }),
      m_cores(int(std::max(1u, std::thread::hardware_concurrency())))
{
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    m_monotonic = [elapsed] { return double(elapsed->nsecsElapsed()) / 1e9; };
    // Jobs take the choices of the moment they are added.
    const auto newJobSettings = [this] { m_jobs.setSettingsForNewJobs(m_settings.jobSettings()); };
    connect(&m_settings, &ConversionSettings::changed, this, newJobSettings);
    newJobSettings();

    m_startTimer->setSingleShot(true);
    m_startTimer->setInterval(StartDelayMs);
    connect(m_startTimer, &QTimer::timeout, this, [this] {
        handle({Event::Type::NextJob, {}, m_batchNumber});
    });
    // Jobs added or removed while a batch runs change what is left of it.
    const auto jobsGone = [this] {
        if (m_state != State::Idle)
            updateWaiting();
    };
    connect(&m_jobs, &JobQueue::removed, this, jobsGone);
    connect(&m_jobs, &JobQueue::cleared, this, jobsGone);
    connect(&m_jobs, &JobQueue::inserted, this, [this](int first, int last) {
        if (m_state == State::Idle)
            return;
        if (m_probing)
            probeDurations(first, last);
        updateWaiting();
        // A pool with room takes them at once.
        post(Event::Type::NextJob);
    });
    connect(&m_prober, &DurationProber::sourceRead, this,
            [this](quint64 id, const QByteArray &info) {
                if (m_state != State::Idle && info.size() <= Report::MaxSourceInfo)
                    m_sourceInfo.insert(id, info);
            });
    connect(&m_prober, &DurationProber::durationRead, this, [this](quint64 id, double seconds) {
        const Job *job = m_jobs.jobById(id);
        // The encoder's own word on a running job stands.
        if (m_state == State::Idle || !job || m_durations.contains(id))
            return;
        // A clip converts only its range.
        if (job->settings.clip) {
            seconds = std::max(0.0, seconds - job->settings.clip->startSeconds);
            if (job->settings.clip->lengthSeconds > 0)
                seconds = std::min<double>(seconds, job->settings.clip->lengthSeconds);
        }
        m_durations.insert(id, seconds);
        updateWaiting();
    });
}

BatchController::~BatchController()
{
    // Not left to deleteLater: there may be no event loop to run it.
    for (const std::unique_ptr<RunningJob> &job : m_running)
        delete std::exchange(job->process, nullptr);
}

const ProgressState &BatchController::progress() const
{
    return m_running.empty() ? m_idleProgress : m_running.front()->progress;
}

BatchController::RunningJob *BatchController::runningJob(quint64 id) const
{
    for (const std::unique_ptr<RunningJob> &job : m_running) {
        if (job->id == id)
            return job.get();
    }
    return nullptr;
}

void BatchController::refuseLossless(RunningJob &job, const QString &why)
{
    if (job.losslessRefusalShown)
        return;
    job.losslessRefusalShown = true;
    job.losslessRefusal = why;
    m_jobs.setLosslessRefusal(job.id, why);
    Q_EMIT losslessRefused(job.id, job.source, why);
}

void BatchController::reportArrived(RunningJob &job, QByteArrayView piece)
{
    const bool moved = job.report.feed(piece);
    const Report::RunReport &report = job.report.report();
    if (report.losslessAsked && !report.losslessCopied)
        refuseLossless(job, report.losslessWhy());
    if (moved)
        reportPosition(job);
}

void BatchController::reportPosition(RunningJob &job)
{
    const Report::RunReport &report = job.report.report();
    const PassCommand &pass = job.passes[job.pass];
    const double total = report.duration.value_or(0);
    if (pass.progressStyle == ProgressStyle::Format) {
        job.progress.formatPosition(report.position.value_or(0), total);
    } else if (!job.written().isEmpty()) {
        job.progress.rotationFinished();
    } else if (!job.progress.rotationPosition(report.position.value_or(0), total)) {
        return;
    }
    // The captions follow one job, the one that started first.
    if (&job == m_running.front().get())
        Q_EMIT progressChanged(job.progress.display);
    if (job.durationSeconds <= 0 && total > 0) {
        job.durationSeconds = total;
        m_durations.insert(job.id, total);
    }
    const double passFraction = std::clamp(job.progress.display.percent / 100.0, 0.0, 1.0);
    const int passes = int(job.passes.size());
    const double fraction = (job.pass + passFraction) / passes;
    m_jobs.setRunning(job.id, job.pass + 1, passes, fraction);
    m_estimate.setRunning(job.id, m_durations.value(job.id, job.durationSeconds), fraction);
    Q_EMIT positionChanged(position(&job));
}

QString BatchController::encoderFolder() const
{
    return m_encoderFolder.isEmpty() ? ::encoderFolder(m_programFolder) : m_encoderFolder;
}

void BatchController::setStartDelay(int milliseconds)
{
    m_startTimer->setInterval(milliseconds);
}

void BatchController::setScratchFolder(const QString &folder)
{
    m_scratchFolder = folder;
}

double BatchController::nowSeconds() const
{
    // The batch's own clock, which stands still while it is paused.
    const double now = m_monotonic();
    return now - m_pausedSeconds - (m_paused ? now - m_pausedSince : 0);
}

void BatchController::pause()
{
    if (m_state == State::Running || m_state == State::Stopping)
        setPaused(true);
}

void BatchController::resume()
{
    setPaused(false);
}

void BatchController::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    const double now = m_monotonic();
    if (paused) {
        m_pausedSince = now;
        for (const std::unique_ptr<RunningJob> &job : m_running)
            job->process->pause();
    } else {
        m_pausedSeconds += now - m_pausedSince;
        for (const std::unique_ptr<RunningJob> &job : m_running) {
            job->process->resume();
            // A pass the pause held back.
            if (!job->process->isRunning())
                post(Event::Type::NextPass, job->id);
        }
        post(Event::Type::NextJob);
    }
    m_paused = paused;
    Q_EMIT pausedChanged(paused);
}

BatchController::StartResult BatchController::start()
{
    m_startResult = StartResult::Busy;
    handle({Event::Type::Start, {}, 0});
    return m_startResult;
}

void BatchController::stop(StopMode mode)
{
    handle({mode == StopMode::Now ? Event::Type::StopNow : Event::Type::StopAfterJob,
            {},
            m_batchNumber});
}

void BatchController::cancelStop()
{
    handle({Event::Type::CancelStop, {}, m_batchNumber});
}

void BatchController::post(Event::Type type, quint64 job)
{
    const quint64 batch = m_batchNumber;
    QTimer::singleShot(0, this, [this, type, batch, job] { handle({type, {}, batch, job}); });
}

void BatchController::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

// The one place where the batch's state changes.
void BatchController::handle(const Event &event)
{
    if (event.type != Event::Type::Start && event.token != m_batchNumber)
        return; // left over from an earlier batch

    switch (event.type) {
    case Event::Type::Start:
        if (m_state == State::Idle)
            m_startResult = startBatch();
        break;
    case Event::Type::NextJob:
        // While paused, nothing new starts; resuming asks again.
        if (m_state == State::Running && !m_paused) {
            fillSlots();
            // The jobs that start at once probe their sources themselves; the
            // rest are probed beside them, once, so that their encoders need not.
            if (!m_probing && m_state == State::Running) {
                m_probing = true;
                probeDurations(0, m_jobs.count() - 1);
            }
        } else if (m_state == State::Stopping && m_running.empty())
            endBatch(true);
        break;
    case Event::Type::NextPass:
        if (RunningJob *job = runningJob(event.job);
            job && !m_paused && !job->process->isRunning() &&
            (m_state == State::Running ||
             (m_state == State::Stopping && m_stopMode == StopMode::AfterCurrentJob)))
            startPass(*job);
        break;
    case Event::Type::PassEnded:
        if (RunningJob *job = runningJob(event.job))
            passEnded(*job, event.outcome);
        break;
    case Event::Type::StopNow:
        stopNow();
        break;
    case Event::Type::StopAfterJob:
        if (m_state == State::Running) {
            if (m_running.empty()) {
                endBatch(true);
            } else {
                m_stopMode = StopMode::AfterCurrentJob;
                setState(State::Stopping);
                updateWaiting();
                Q_EMIT positionChanged(position(m_running.front().get()));
            }
        }
        break;
    case Event::Type::CancelStop:
        if (m_state == State::Stopping && m_stopMode == StopMode::AfterCurrentJob) {
            m_stopMode = StopMode::Now;
            setState(State::Running);
            updateWaiting();
            post(Event::Type::NextJob);
        }
        break;
    case Event::Type::Completed:
        if (m_state == State::Finishing)
            endBatch(false);
        break;
    }
}

BatchController::StartResult BatchController::startBatch()
{
    // Failed jobs wait for a retry; stopped ones convert again.
    if (m_jobs.waitingCount() + m_jobs.countIn(JobState::Stopped) == 0)
        return m_jobs.isEmpty() ? StartResult::EmptyList : StartResult::NothingWaiting;

    // Refused before any row changes.
    const QString folder = absoluteOutputFolder(m_settings.outputFolder(), Platform::homeFolder());
    int error = folder.isEmpty() ? ENOENT : RawFile::makeFolders(folder);
    if (error == 0 && !RawFile::isWritableDirectory(folder))
        error = EACCES;
    if (error != 0) {
        Q_EMIT batchFailed(FailureReason::OutputFolderUnusable,
                           folder.isEmpty()
                               ? u"没有指定输出文件夹"_qs
                               : displayPath(folder) + u"："_qs + StatusTexts::fileError(error));
        return StartResult::OutputFolderUnusable;
    }
    m_jobs.resumeStopped();
    RawFile::makePath(m_scratchFolder);
    // What an encoder killed outright (SIGKILL, the OOM killer) left unfinished.
    PartFiles::removeAbandoned(folder);

    ++m_batchNumber;
    m_outputFolder = withTrailingSeparator(folder);
    m_summary = {};
    m_started = 0;
    m_stopMode = StopMode::Now;
    m_pausedSeconds = 0;
    m_durations.clear();
    m_sourceInfo.clear();
    m_probing = false;
    m_prober.stop();
    m_prober.setProgram(withTrailingSeparator(encoderFolder()) + u"conv"_qs);
    m_prober.setWorkingDirectory(m_scratchFolder);
    m_estimate.start(nowSeconds());
    setState(State::Running);
    m_startTimer->start();
    return StartResult::Started;
}

CommandInputs BatchController::inputsNow(const Job &job, const QString &outputFolder) const
{
    CommandInputs in;
    in.job = job.settings;
    in.source = job.source;
    in.outputFolder = outputFolder;
    in.encoderFolder = encoderFolder();
    in.tempFolder = m_scratchFolder;
    in.time = m_clock();
    in.exists = RawFile::exists;
    in.lossless = m_options.lossless;
    in.keepMetadata = m_options.keepMetadata;
    in.nameTemplate = m_options.nameTemplate;
    if (m_options.keepTree && isSafeSubfolder(job.subfolder))
        in.subfolder = job.subfolder;
    return in;
}

int BatchController::batchTotal() const
{
    return m_started + m_jobs.waitingCount();
}

BatchPosition BatchController::position(const RunningJob *job) const
{
    BatchPosition p;
    if (job) {
        p.id = job->id;
        p.source = job->source;
        p.number = job->number;
        p.pass = job->pass + 1;
        p.passes = int(job->passes.size());
        if (const Job *listed = m_jobs.jobById(job->id))
            p.fraction = listed->fraction;
        p.caption = job->progress.display.caption;
        p.caption.replace(job->progress.spinner + u' ', QString());
    }
    p.total = batchTotal();
    p.started = m_started;
    p.running = runningCount();
    p.slots = m_slots;
    p.batchFraction = m_estimate.fraction();
    p.remainingSeconds = m_estimate.remainingSeconds(nowSeconds());
    return p;
}

int BatchController::slotsFor(const Job &job) const
{
    return jobShare(m_options.parallelJobs, job.settings.format, m_cores).jobs;
}

void BatchController::fillSlots()
{
    while (m_state == State::Running && !m_paused) {
        const int row = m_jobs.nextWaitingRow();
        if (row < 0) {
            if (m_running.empty())
                beginFinishing();
            return;
        }
        if (runningCount() >= slotsFor(m_jobs.job(row)))
            return;
        startJob(row);
    }
}

bool BatchController::startJob(int row)
{
    const Job &listed = m_jobs.job(row);
    auto owned = std::make_unique<RunningJob>();
    RunningJob &job = *owned;
    job.id = listed.id;
    job.source = listed.source;
    job.number = ++m_started;
    // Everything the job's commands need is read now, once.
    CommandInputs inputs = inputsNow(listed, m_outputFolder);
    // Two jobs of one name started in the same second get two names.
    inputs.exists = [this](const QString &path) {
        for (const std::unique_ptr<RunningJob> &other : m_running) {
            for (const PassCommand &pass : std::as_const(other->passes)) {
                if (pass.outputPath == path)
                    return true;
            }
        }
        return RawFile::exists(path);
    };
    // This job is still among the waiting ones.
    const JobShare share = jobShare(m_options.parallelJobs, listed.settings.format, m_cores,
                                    runningCount() + m_jobs.waitingCount());
    m_slots = share.jobs;
    inputs.threads = share.threads;
    // Jobs side by side each have their own intermediate file.
    job.scratch =
        std::make_unique<QTemporaryDir>(withTrailingSeparator(m_scratchFolder) + u"job-XXXXXX"_qs);
    inputs.tempFolder = job.scratch->path();
    job.passes = jobPasses(inputs);
    job.startedSeconds = nowSeconds();
    job.process = new EncoderProcess;
    job.process->setWorkingDirectory(job.scratch->path());
    const quint64 id = job.id;
    connect(job.process, &EncoderProcess::reportReceived, this,
            [this, id](const QByteArray &piece) {
                if (RunningJob *running = runningJob(id))
                    reportArrived(*running, piece);
            });
    connect(job.process, &EncoderProcess::finished, this, [this, id](const RunOutcome &outcome) {
        handle({Event::Type::PassEnded, outcome, m_batchNumber, id});
    });
    m_running.push_back(std::move(owned));
    m_jobs.setRunning(id, 1, int(job.passes.size()), 0);
    updateWaiting();
    m_estimate.setRunning(id, m_durations.value(id), 0);
    Q_EMIT jobStarted(position(&job));
    if (!job.scratch->isValid()) {
        failJob(job, {id,
                      job.source,
                      FailureReason::EncoderFailed,
                      u"无法创建临时文件夹："_qs + displayPath(m_scratchFolder) + u": "_qs +
                          job.scratch->errorString(),
                      {},
                      {}});
        return false;
    }
    // The folders a source keeps below the output folder are made before its
    // encoder writes there.
    for (const PassCommand &pass : std::as_const(job.passes)) {
        if (pass.intermediate || folderOf(pass.outputPath) == m_outputFolder)
            continue;
        if (const QString problem = RawFile::makePath(folderOf(pass.outputPath));
            !problem.isEmpty()) {
            failJob(job, {id,
                          job.source,
                          FailureReason::OutputNotWritable,
                          displayPath(folderOf(pass.outputPath)) + u": "_qs + problem,
                          {},
                          {}});
            return false;
        }
    }
    // A turn or format the copy cannot do: said at once, not left unsaid.
    if (const QString why = losslessRefusal(inputs); !why.isEmpty())
        refuseLossless(job, why);
    startPass(job);
    return true;
}

void BatchController::startPass(RunningJob &job)
{
    PassCommand &pass = job.passes[job.pass];
    // The first pass reads the job's source, which the batch may have probed already.
    if (job.pass == 0 && m_sourceInfo.contains(job.id))
        pass.command.environment << QByteArray(Report::SourceInfoVariable) + '=' +
                                        m_sourceInfo.take(job.id);
    job.report.reset();
    job.progress = {};
    m_jobs.setRunning(job.id, job.pass + 1, int(job.passes.size()),
                      double(job.pass) / double(job.passes.size()));
    if (job.process->start(pass.command)) {
        // After the start, so a handler that stops the batch finds a pass to stop.
        Q_EMIT passStarted(job.id, pass);
        return;
    }
    failJob(job, {job.id,
                  job.source,
                  FailureReason::EncoderMissing,
                  startFailureText(job.process->startFailure()) + u": "_qs +
                      displayPath(pass.command.program),
                  {},
                  {}});
}

void BatchController::failJob(RunningJob &job, const JobFailure &failure)
{
    m_jobs.setFailed(failure.id, failure.reason, failure.detail, failure.checks,
                     failure.keptOutput);
    m_summary.failures.append(failure);
    Q_EMIT jobFailed(failure);
    record(job, JobRecord::Outcome::Failed, failure.keptOutput, failure.reason, failure.detail);
    jobEnded(job.id, false);
}

void BatchController::collectOutput(RunningJob &job)
{
    if (!job.encoderOutput.isEmpty())
        job.encoderOutput += u'\n';
    job.encoderOutput += job.process->outputTail();
    if (job.encoderOutput.size() > EncoderProcess::TailLimit)
        job.encoderOutput = job.encoderOutput.right(EncoderProcess::TailLimit);
    m_jobs.setEncoderOutput(job.id, job.encoderOutput);
}

FailureReason BatchController::failureOf(const RunningJob &job, const RunOutcome &outcome,
                                         QString &detail) const
{
    // Only the report says why, in the encoder's words: its output for people
    // quotes file names, which may hold anything.
    const Report::RunReport &report = job.report.report();
    detail = report.detail;
    switch (outcome.status) {
    case RunOutcome::Status::Stopped:
        return FailureReason::EncoderFailed;
    case RunOutcome::Status::Crashed:
        if (detail.isEmpty())
            detail = u"signal "_qs + QString::number(outcome.signal);
        return FailureReason::EncoderCrashed;
    case RunOutcome::Status::Exited:
        break;
    }
    if (outcome.exitCode != 0) {
        // The encoder said why; one that died without a word failed all the same.
        const FailureReason reported = failureReasonOf(report.error);
        if (detail.isEmpty())
            detail = u"exit code "_qs + QString::number(outcome.exitCode);
        return reported != FailureReason::None ? reported : FailureReason::EncoderFailed;
    }
    const PassCommand &pass = job.passes[job.pass];
    const QString written = job.written().isEmpty() ? pass.outputPath : job.written();
    if (RawFile::size(written) <= 0) {
        detail = displayPath(written);
        return FailureReason::NoOutput;
    }
    return FailureReason::None;
}

void BatchController::passEnded(RunningJob &job, const RunOutcome &outcome)
{
    collectOutput(job);
    const Report::RunReport &report = job.report.report();
    if (report.losslessAsked && !report.losslessCopied)
        refuseLossless(job, report.losslessWhy());

    if (m_state == State::Stopping && m_stopMode == StopMode::Now) {
        // A pass that managed to publish before it ended is undone: the job
        // waits again and would otherwise be converted twice.
        if (!job.written().isEmpty() && !job.passes[job.pass].intermediate)
            RawFile::remove(job.written());
        jobStoppedHere(job);
        return;
    }

    QString detail;
    const FailureReason failure = failureOf(job, outcome, detail);
    if (failure != FailureReason::None) {
        JobFailure failed{job.id, job.source, failure, detail, {}, {}};
        if (failure == FailureReason::OutputCheckFailed) {
            failed.checks = report.checks;
            // An intermediate file is ours and goes with the job; only a real output is kept.
            if (!job.passes[job.pass].intermediate)
                failed.keptOutput = job.written();
        }
        failJob(job, failed);
        return;
    }

    const PassCommand &pass = job.passes[job.pass];
    if (job.pass + 1 < job.passes.size()) {
        ++job.pass;
        post(Event::Type::NextPass, job.id);
        Q_EMIT passFinished(job.id, job.pass);
        return;
    }
    const QString output = job.written().isEmpty() ? pass.outputPath : job.written();
    const quint64 id = job.id;
    const QString source = job.source;
    record(job, JobRecord::Outcome::Converted, output);
    m_jobs.removeJob(id);
    ++m_summary.converted;
    Q_EMIT jobDone(id, source, output);
    jobEnded(id, true);
}

void BatchController::record(const RunningJob &job, JobRecord::Outcome outcome,
                             const QString &output, FailureReason failure, const QString &detail)
{
    JobRecord entry;
    entry.ended = m_recordClock();
    entry.source = job.source;
    entry.outcome = outcome;
    entry.output = output;
    entry.outputBytes = output.isEmpty() ? -1 : RawFile::size(output);
    entry.seconds = std::max(0.0, nowSeconds() - job.startedSeconds);
    entry.sourceSeconds = m_durations.value(job.id, job.durationSeconds);
    entry.failure = failure;
    entry.failureDetail = detail;
    entry.losslessRefusal = job.losslessRefusal;
    Q_EMIT jobRecorded(entry);
}

void BatchController::updateWaiting()
{
    int known = 0, unknown = 0;
    double seconds = 0;
    // After "stop after this video" nothing else will run.
    if (!(m_state == State::Stopping && m_stopMode == StopMode::AfterCurrentJob)) {
        for (int row = 0; row < m_jobs.count(); ++row) {
            const Job &job = m_jobs.job(row);
            if (job.state != JobState::Waiting)
                continue;
            const double duration = m_durations.value(job.id);
            known += duration > 0;
            unknown += duration > 0 ? 0 : 1;
            seconds += duration;
        }
    }
    m_estimate.setWaiting(known, seconds, unknown);
}

void BatchController::probeDurations(int firstRow, int lastRow)
{
    QList<DurationProber::Source> sources;
    for (int row = std::max(0, firstRow); row <= lastRow && row < m_jobs.count(); ++row) {
        const Job &job = m_jobs.job(row);
        if (job.state == JobState::Waiting)
            sources.append({job.id, job.source});
    }
    if (!sources.isEmpty())
        m_prober.add(sources);
}

void BatchController::jobEnded(quint64 id, bool converted)
{
    m_estimate.jobEnded(id, converted);
    // Its scratch folder goes with it, the intermediate file in it too.
    std::erase_if(m_running,
                  [id](const std::unique_ptr<RunningJob> &job) { return job->id == id; });
    if (m_state == State::Stopping) {
        if (m_running.empty())
            endBatch(true);
    } else if (m_state == State::Running) {
        post(Event::Type::NextJob);
    }
}

void BatchController::jobStoppedHere(RunningJob &job)
{
    const quint64 id = job.id;
    const QString source = job.source;
    m_jobs.setStopped(id);
    ++m_summary.stoppedJobs;
    record(job, JobRecord::Outcome::Stopped, {});
    Q_EMIT jobStopped(id, source);
    jobEnded(id, false);
}

void BatchController::stopNow()
{
    switch (m_state) {
    case State::Idle:
        return;
    case State::Finishing:
        // The folder has opened; only the sound is cut short.
        endBatch(false);
        return;
    case State::Running:
    case State::Stopping:
        break;
    }
    // A paused encoder must run again to hear that it is to stop.
    setPaused(false);
    if (m_running.empty()) {
        endBatch(true);
        return;
    }
    if (m_state == State::Stopping && m_stopMode == StopMode::Now)
        return; // already on its way
    m_stopMode = StopMode::Now;
    setState(State::Stopping);
    // Each running pass ends as PassEnded; a job between two passes ends here.
    QList<quint64> betweenPasses;
    for (const std::unique_ptr<RunningJob> &job : m_running) {
        if (job->process->isRunning())
            job->process->stop();
        else
            betweenPasses << job->id;
    }
    for (const quint64 id : std::as_const(betweenPasses)) {
        if (RunningJob *job = runningJob(id))
            jobStoppedHere(*job);
    }
}

void BatchController::beginFinishing()
{
    setState(State::Finishing);
    if (m_actions)
        if (!m_actions->openFolder(m_outputFolder))
            m_summary.unopenedFolder = m_outputFolder;
    if (m_options.playSound && m_actions) {
        const quint64 batch = m_batchNumber;
        const QPointer<BatchController> self(this);
        m_actions->playSound(
            m_soundFile.isEmpty() ? programDataFile(m_programFolder, u"sound.wav"_qs) : m_soundFile,
            [self, batch] {
                // Queued: the sound may end inside the call.
                if (self)
                    QTimer::singleShot(0, self, [self, batch] {
                        self->handle({Event::Type::Completed, {}, batch});
                    });
            });
    } else {
        post(Event::Type::Completed);
    }
}

void BatchController::endBatch(bool stopped)
{
    m_startTimer->stop();
    m_prober.stop();
    setPaused(false);
    ++m_batchNumber; // whatever is still posted for this batch is dropped
    m_summary.stopped = stopped;
    setState(State::Idle);
    Q_EMIT batchEnded(m_summary);
}

QList<PassCommand> BatchController::previewFirstPasses() const
{
    QList<PassCommand> passes;
    for (int row = 0; row < m_jobs.count(); ++row)
        passes << firstPassCommand(inputsFor(m_jobs.job(row)));
    return passes;
}

CommandInputs BatchController::inputsFor(const Job &job) const
{
    return inputsNow(job, withTrailingSeparator(absoluteOutputFolder(m_settings.outputFolder(),
                                                                     Platform::homeFolder())));
}
