#include "batchcontroller.h"

#include "common/paths.h"
#include "common/platform.h"
#include "conversionsettings.h"
#include "joblist/joblistmodel.h"
#include "process/partfiles.h"
#include "process/programfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

BatchController::BatchController(ConversionSettings &settings, JobListModel &jobs,
                                 CompletionActions *actions, QObject *parent)
    : QObject(parent), m_settings(settings), m_jobs(jobs), m_actions(actions),
      m_startTimer(new QTimer(this)), m_programFolder(QCoreApplication::applicationDirPath()),
      m_scratchFolder(QDir::tempPath()), m_clock([] { return QTime::currentTime(); }),
      m_recordClock([] { return QDateTime::currentDateTime(); })
{
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    m_monotonic = [elapsed] { return double(elapsed->nsecsElapsed()) / 1e9; };
    m_process.setWorkingDirectory(m_scratchFolder);
    // Jobs take the choices of the moment they are added.
    const auto newJobSettings = [this] { m_jobs.setSettingsForNewJobs(m_settings.jobSettings()); };
    connect(&m_settings, &ConversionSettings::changed, this, newJobSettings);
    newJobSettings();

    m_startTimer->setSingleShot(true);
    m_startTimer->setInterval(StartDelayMs);
    connect(m_startTimer, &QTimer::timeout, this, [this] {
        handle({Event::Type::NextJob, {}, m_batchNumber});
    });
    connect(&m_process, &EncoderProcess::outputReceived, this, [this](const QString &piece) {
        if (!m_job)
            return;
        const bool moved = m_report.feed(piece);
        const Report::RunReport &report = m_report.report();
        if (report.losslessAsked && !report.losslessCopied)
            refuseLossless(report.losslessWhy());
        if (moved)
            reportPosition();
    });
    // Jobs added or removed while a batch runs change what is left of it.
    connect(&m_jobs, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_job)
            updateWaiting();
    });
    connect(&m_jobs, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                if (m_state == State::Idle)
                    return;
                probeDurations(first, last);
                if (m_job)
                    updateWaiting();
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
    connect(&m_process, &EncoderProcess::finished, this, [this](const RunOutcome &outcome) {
        handle({Event::Type::PassEnded, outcome, m_batchNumber});
    });
}

BatchController::~BatchController() = default;

void BatchController::refuseLossless(const QString &why)
{
    if (!m_job || m_job->losslessRefusalShown)
        return;
    m_job->losslessRefusalShown = true;
    m_job->losslessRefusal = why;
    m_jobs.setLosslessRefusal(m_job->id, why);
    Q_EMIT losslessRefused(m_job->id, m_job->source, why);
}

void BatchController::reportPosition()
{
    const Report::RunReport &report = m_report.report();
    const PassCommand &pass = m_job->passes[m_job->pass];
    const double total = report.duration.value_or(0);
    if (pass.progressStyle == ProgressStyle::Format) {
        m_progress.formatPosition(report.position.value_or(0), total);
    } else if (!report.output.isEmpty()) {
        m_progress.rotationFinished();
    } else if (!m_progress.rotationPosition(report.position.value_or(0), total)) {
        return;
    }
    Q_EMIT progressChanged(m_progress.display);
    if (m_job->durationSeconds <= 0 && total > 0) {
        m_job->durationSeconds = total;
        m_durations.insert(m_job->id, total);
    }
    const double passFraction = std::clamp(m_progress.display.percent / 100.0, 0.0, 1.0);
    const int passes = int(m_job->passes.size());
    const double fraction = (m_job->pass + passFraction) / passes;
    m_jobs.setRunning(m_job->id, m_job->pass + 1, passes, fraction);
    m_estimate.setCurrent(m_durations.value(m_job->id, m_job->durationSeconds), fraction);
    Q_EMIT positionChanged(position());
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
    m_process.setWorkingDirectory(folder);
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
        m_process.pause();
    } else {
        m_pausedSeconds += now - m_pausedSince;
        m_process.resume();
        if (const std::optional<Event::Type> deferred = std::exchange(m_deferred, std::nullopt))
            post(*deferred);
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

void BatchController::post(Event::Type type)
{
    const quint64 batch = m_batchNumber;
    QTimer::singleShot(0, this, [this, type, batch] { handle({type, {}, batch}); });
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
        if (m_job)
            break;
        if (m_paused && m_state == State::Running) {
            m_deferred = event.type;
            break;
        }
        if (m_state == State::Running)
            startNextJob();
        else if (m_state == State::Stopping)
            endBatch(true);
        break;
    case Event::Type::NextPass:
        if (m_paused && m_job) {
            m_deferred = event.type;
            break;
        }
        if (m_job && !m_process.isRunning() &&
            (m_state == State::Running ||
             (m_state == State::Stopping && m_stopMode == StopMode::AfterCurrentJob)))
            startPass();
        break;
    case Event::Type::PassEnded:
        if (m_job)
            passEnded(event.outcome);
        break;
    case Event::Type::StopNow:
        stopNow();
        break;
    case Event::Type::StopAfterJob:
        if (m_state == State::Running) {
            if (!m_job) {
                endBatch(true);
            } else {
                m_stopMode = StopMode::AfterCurrentJob;
                setState(State::Stopping);
                updateWaiting();
                Q_EMIT positionChanged(position());
            }
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
    m_jobs.retryAll();
    if (m_jobs.nextWaitingRow() < 0)
        return StartResult::EmptyList;

    const QString folder = absoluteOutputFolder(m_settings.outputFolder(), Platform::homeFolder());
    QString problem = folder.isEmpty() ? u"没有指定输出文件夹"_qs : RawFile::makePath(folder);
    if (problem.isEmpty() && !RawFile::isWritableDirectory(folder))
        problem = QString::fromLocal8Bit(std::strerror(EACCES));
    if (!problem.isEmpty()) {
        Q_EMIT batchFailed(FailureReason::OutputFolderUnusable,
                           displayPath(folder) + u": "_qs + problem);
        return StartResult::OutputFolderUnusable;
    }
    RawFile::makePath(m_scratchFolder);
    // What an encoder killed outright (SIGKILL, the OOM killer) left unfinished.
    PartFiles::removeAbandoned(folder);

    ++m_batchNumber;
    m_outputFolder = withTrailingSeparator(folder);
    m_summary = {};
    m_started = 0;
    m_stopMode = StopMode::Now;
    m_pausedSeconds = 0;
    m_deferred.reset();
    m_durations.clear();
    m_prober.stop();
    m_prober.setProgram(withTrailingSeparator(encoderFolder()) + u"conv"_qs);
    m_prober.setWorkingDirectory(m_scratchFolder);
    probeDurations(0, m_jobs.count() - 1);
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
    return in;
}

int BatchController::batchTotal() const
{
    return m_started + m_jobs.waitingCount();
}

BatchPosition BatchController::position() const
{
    BatchPosition p;
    if (m_job) {
        p.id = m_job->id;
        p.source = m_job->source;
        p.pass = m_job->pass + 1;
        p.passes = int(m_job->passes.size());
        if (const Job *job = m_jobs.jobById(m_job->id))
            p.fraction = job->fraction;
    }
    p.number = m_started;
    p.total = batchTotal();
    p.batchFraction = m_estimate.fraction();
    p.remainingSeconds = m_estimate.remainingSeconds(nowSeconds());
    return p;
}

void BatchController::startNextJob()
{
    const int row = m_jobs.nextWaitingRow();
    if (row < 0) {
        beginFinishing();
        return;
    }
    CurrentJob job;
    job.id = m_jobs.job(row).id;
    job.source = m_jobs.job(row).source;
    // Everything the job's commands need is read now, once.
    const CommandInputs inputs = inputsNow(m_jobs.job(row), m_outputFolder);
    job.passes = jobPasses(inputs);
    job.startedSeconds = nowSeconds();
    m_job = std::move(job);
    ++m_started;
    m_jobs.setRunning(m_job->id, 1, int(m_job->passes.size()), 0);
    updateWaiting();
    m_estimate.setCurrent(m_durations.value(m_job->id), 0);
    Q_EMIT jobStarted(position());
    // A turn or format the copy cannot do: said at once, not left unsaid.
    if (const QString why = losslessRefusal(inputs); !why.isEmpty())
        refuseLossless(why);
    startPass();
}

void BatchController::startPass()
{
    const PassCommand &pass = m_job->passes[m_job->pass];
    m_report.reset();
    m_jobs.setRunning(m_job->id, m_job->pass + 1, int(m_job->passes.size()),
                      double(m_job->pass) / double(m_job->passes.size()));
    if (m_process.start(pass.command)) {
        // After the start, so a handler that stops the batch finds a pass to stop.
        Q_EMIT passStarted(m_job->id, pass);
        return;
    }
    const JobFailure failure{m_job->id,
                             m_job->source,
                             FailureReason::EncoderMissing,
                             startFailureText(m_process.startFailure()) + u": "_qs +
                                 displayPath(pass.command.program),
                             {},
                             {}};
    removeIntermediate();
    m_jobs.setFailed(failure.id, failure.reason, failure.detail);
    m_summary.failures.append(failure);
    Q_EMIT jobFailed(failure);
    record(JobRecord::Outcome::Failed, {}, failure.reason, failure.detail);
    afterJob(false);
}

void BatchController::collectOutput()
{
    if (!m_job->encoderOutput.isEmpty())
        m_job->encoderOutput += u'\n';
    m_job->encoderOutput += m_process.outputTail();
    if (m_job->encoderOutput.size() > EncoderProcess::TailLimit)
        m_job->encoderOutput = m_job->encoderOutput.right(EncoderProcess::TailLimit);
    m_jobs.setEncoderOutput(m_job->id, m_job->encoderOutput);
}

FailureReason BatchController::failureOf(const RunOutcome &outcome, QString &detail) const
{
    detail = m_process.lastLine();
    switch (outcome.status) {
    case RunOutcome::Status::Stopped:
        return FailureReason::EncoderFailed;
    case RunOutcome::Status::Crashed:
        return FailureReason::EncoderCrashed;
    case RunOutcome::Status::Exited:
        break;
    }
    const Report::RunReport &report = m_report.report();
    if (outcome.exitCode != 0) {
        // The encoder said why; one that died without a word failed all the same.
        const FailureReason reported = failureReasonOf(report.error);
        if (reported != FailureReason::None)
            return reported;
        if (detail.isEmpty())
            detail = u"exit code "_qs + QString::number(outcome.exitCode);
        return FailureReason::EncoderFailed;
    }
    const PassCommand &pass = m_job->passes[m_job->pass];
    const QString written = report.output.isEmpty() ? pass.outputPath : report.output;
    if (RawFile::size(written) <= 0) {
        detail = displayPath(written);
        return FailureReason::NoOutput;
    }
    return FailureReason::None;
}

void BatchController::removeIntermediate()
{
    for (const PassCommand &pass : std::as_const(m_job->passes)) {
        if (pass.intermediate)
            RawFile::remove(pass.outputPath);
    }
}

void BatchController::passEnded(const RunOutcome &outcome)
{
    collectOutput();
    const Report::RunReport &report = m_report.report();
    if (report.losslessAsked && !report.losslessCopied)
        refuseLossless(report.losslessWhy());

    if (m_state == State::Stopping && m_stopMode == StopMode::Now) {
        // A pass that managed to publish before it ended is undone: the job
        // waits again and would otherwise be converted twice.
        if (!report.output.isEmpty() && !m_job->passes[m_job->pass].intermediate)
            RawFile::remove(report.output);
        jobStoppedHere();
        return;
    }

    QString detail;
    const FailureReason failure = failureOf(outcome, detail);
    if (failure != FailureReason::None) {
        JobFailure failed{m_job->id, m_job->source, failure, detail, {}, {}};
        if (failure == FailureReason::OutputCheckFailed) {
            failed.checks = report.checks;
            // An intermediate file is ours and goes; only a real output is kept.
            if (!m_job->passes[m_job->pass].intermediate)
                failed.keptOutput = report.output;
        }
        removeIntermediate();
        m_jobs.setFailed(failed.id, failed.reason, failed.detail, failed.checks, failed.keptOutput);
        m_summary.failures.append(failed);
        Q_EMIT jobFailed(failed);
        record(JobRecord::Outcome::Failed, failed.keptOutput, failed.reason, failed.detail);
        afterJob(false);
        return;
    }

    const PassCommand &pass = m_job->passes[m_job->pass];
    if (m_job->pass + 1 < m_job->passes.size()) {
        ++m_job->pass;
        post(Event::Type::NextPass);
        Q_EMIT passFinished(m_job->id, m_job->pass);
        return;
    }
    const QString output = report.output.isEmpty() ? pass.outputPath : report.output;
    const quint64 id = m_job->id;
    const QString source = m_job->source;
    removeIntermediate();
    m_jobs.removeJob(id);
    ++m_summary.converted;
    Q_EMIT jobDone(id, source, output);
    record(JobRecord::Outcome::Converted, output);
    afterJob(true);
}

void BatchController::record(JobRecord::Outcome outcome, const QString &output,
                             FailureReason failure, const QString &detail)
{
    JobRecord entry;
    entry.ended = m_recordClock();
    entry.source = m_job->source;
    entry.outcome = outcome;
    entry.output = output;
    entry.outputBytes = output.isEmpty() ? -1 : RawFile::size(output);
    entry.seconds = std::max(0.0, nowSeconds() - m_job->startedSeconds);
    entry.sourceSeconds = m_durations.value(m_job->id, m_job->durationSeconds);
    entry.failure = failure;
    entry.failureDetail = detail;
    entry.losslessRefusal = m_job->losslessRefusal;
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

void BatchController::afterJob(bool converted)
{
    m_estimate.jobEnded(converted);
    m_job.reset();
    if (m_state == State::Stopping)
        endBatch(true);
    else
        post(Event::Type::NextJob);
}

void BatchController::jobStoppedHere()
{
    const quint64 id = m_job->id;
    const QString source = m_job->source;
    removeIntermediate();
    m_jobs.setStopped(id);
    ++m_summary.stoppedJobs;
    record(JobRecord::Outcome::Stopped, {});
    m_job.reset();
    Q_EMIT jobStopped(id, source);
    endBatch(true);
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
    if (!m_job) {
        endBatch(true);
        return;
    }
    if (m_state == State::Stopping && m_stopMode == StopMode::Now)
        return; // already on its way
    m_stopMode = StopMode::Now;
    setState(State::Stopping);
    if (m_process.isRunning())
        m_process.stop(); // its end arrives as PassEnded
    else
        jobStoppedHere(); // between two passes
}

void BatchController::beginFinishing()
{
    setState(State::Finishing);
    m_progress.display.percent = 0;
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
    m_deferred.reset();
    ++m_batchNumber; // whatever is still posted for this batch is dropped
    m_summary.stopped = stopped;
    m_progress.display.percent = 0;
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
