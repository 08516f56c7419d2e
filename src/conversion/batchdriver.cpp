#include "batchdriver.h"

#include "conversionsettings.h"
#include "joblist/joblistmodel.h"
#include "process/deletefolder.h"
#include "process/messagesink.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

bool fileExists(const QString &path)
{
    // A dangling link still takes the name, so it counts as existing.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

BatchDriver::BatchDriver(ConversionSettings &settings, JobListModel &jobs, MessageSink *messages,
                         CompletionActions *actions, QObject *parent)
    : QObject(parent), m_settings(settings), m_jobs(jobs), m_messages(messages), m_actions(actions),
      m_objDOS(messages), m_objffmpeg(messages), m_timer(new QTimer(this)),
      m_programFolder(QCoreApplication::applicationDirPath()), m_tempFolder(privateTempFolder()),
      m_clock([] { return QTime::currentTime(); })
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(TimerIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &BatchDriver::RunBatch);
    connect(&m_objDOS, &DOSOutputs::ReceiveOutputs, this, [this](const QString &piece) {
        if (m_progress.firstPassPiece(piece))
            showProgress();
    });
    connect(&m_objffmpeg, &DOSOutputs::ReceiveOutputs, this, [this](const QString &piece) {
        if (m_progress.secondPassPiece(piece))
            showProgress();
    });
    connect(&m_objDOS, &DOSOutputs::CommandOver, this, &BatchDriver::objDOS_CommandOver);
    connect(&m_objffmpeg, &DOSOutputs::CommandOver, this, &BatchDriver::objffmpeg_CommandOver);
}

BatchDriver::~BatchDriver() = default;

void BatchDriver::showProgress()
{
    Q_EMIT progressChanged(m_progress.display);
}

bool BatchDriver::Start()
{
    if (isBusy())
        return false;
    if (m_jobs.isEmpty()) {
        if (m_messages)
            m_messages->showMessage(MessageSink::Icon::Warning, u"添加"_qs,
                                    u"请添加一个视频文件"_qs);
        return false;
    }
    m_phase = Phase::Armed;
    m_stopping = false;
    m_failures.clear();
    m_jobs.resetFailed();
    m_settings.setSettingsLocked(true);
    Q_EMIT batchStarted();
    m_timer->start();
    return true;
}

void BatchDriver::RunBatch()
{
    QDir().mkdir(m_settings.outputFolder());
    ensurePrivateFolder(m_tempFolder);
    m_settings.setOutputFolder(withTrailingSeparator(m_settings.outputFolder()));
    m_batchOutputFolder = m_settings.outputFolder();
    nextJob();
}

CommandInputs BatchDriver::inputsNow(const QString &source, const QString &outputFolder) const
{
    CommandInputs in = commandInputs(m_settings);
    in.source = source;
    in.outputFolder = outputFolder;
    in.programFolder = m_programFolder;
    in.tempFolder = m_tempFolder;
    in.time = m_clock();
    in.exists = fileExists;
    return in;
}

void BatchDriver::nextJob()
{
    if (m_stopping)
        return;
    const int row = m_jobs.nextWaitingRow();
    if (row < 0) {
        finishBatch();
        return;
    }
    m_currentJob = m_jobs.job(row).id;
    m_currentSource = m_jobs.job(row).path;
    QFile::remove(intermediatePath(m_tempFolder));

    const PassCommand pass = firstPassCommand(inputsNow(m_currentSource, m_batchOutputFolder));
    const bool audioOnly = m_settings.format() == ConversionSettings::Mp3;
    startPass(audioOnly ? m_objffmpeg : m_objDOS, pass, Phase::FirstPass);
}

void BatchDriver::scheduleNextJob()
{
    // Queued, so a long run of jobs whose encoder cannot start never recurses.
    QTimer::singleShot(0, this, &BatchDriver::nextJob);
}

bool BatchDriver::startPass(DOSOutputs &runner, const PassCommand &pass, Phase phase)
{
    m_strExeName = pass.encoderName;
    m_currentPass = pass;
    m_phase = phase;
    Q_EMIT passStarted(pass);
    if (runner.start(pass.command))
        return true;
    failJob(u"无法启动编码器 "_qs + pass.command.program);
    return false;
}

QString BatchDriver::failureOf(const DOSOutputs &runner, const RunOutcome &outcome) const
{
    switch (outcome.status) {
    case RunOutcome::Status::Stopped:
        return u"转换已停止"_qs;
    case RunOutcome::Status::Crashed: {
        const QString last = runner.lastLine();
        return u"编码器异常退出"_qs + (last.isEmpty() ? QString() : u"："_qs + last);
    }
    case RunOutcome::Status::Exited:
        break;
    }
    if (outcome.exitCode != 0) {
        const QString last = runner.lastLine();
        return last.isEmpty() ? u"编码器出错，退出代码 "_qs + QString::number(outcome.exitCode)
                              : last;
    }
    const QFileInfo output(m_currentPass.outputPath);
    if (!output.exists() || output.size() == 0)
        return u"编码器没有生成输出文件"_qs;
    return {};
}

void BatchDriver::objDOS_CommandOver(const RunOutcome &outcome)
{
    if (m_stopping)
        return;
    const QString failure = failureOf(m_objDOS, outcome);
    if (!failure.isEmpty()) {
        failJob(failure);
        return;
    }
    // The format is read now: a format chosen during the first pass decides.
    const int format = m_settings.format();
    if (!ConversionSettings::isTwoPass(format)) {
        completeJob();
        return;
    }
    const PassCommand pass = secondPassCommand(
        inputsNow(m_currentSource, withTrailingSeparator(m_settings.outputFolder())));
    startPass(m_objffmpeg, pass, Phase::SecondPass);
}

void BatchDriver::objffmpeg_CommandOver(const RunOutcome &outcome)
{
    if (m_stopping)
        return;
    const QString failure = failureOf(m_objffmpeg, outcome);
    if (!failure.isEmpty())
        failJob(failure);
    else
        completeJob();
}

void BatchDriver::completeJob()
{
    const QString source = m_currentSource;
    const QString output = m_currentPass.outputPath;
    m_jobs.removeJob(m_currentJob);
    m_progress.durationSeconds = 0;
    Q_EMIT jobDone(source, output);
    scheduleNextJob();
}

void BatchDriver::failJob(const QString &reason)
{
    m_jobs.markFailed(m_currentJob, reason);
    m_progress.durationSeconds = 0;
    m_failures.append({m_currentSource, reason});
    Q_EMIT jobFailed(m_currentSource, reason);
    scheduleNextJob();
}

void BatchDriver::finishBatch()
{
    m_phase = Phase::Finishing;
    m_progress.display.percent = 0;
    showProgress();
    if (m_actions)
        m_actions->openFolder(m_settings.outputFolder());

    auto rest = [this] {
        m_settings.setSettingsLocked(false);
        Q_EMIT unlockRequested();
        m_progress.finishBatch(m_failures.isEmpty()
                                   ? u"Done."_qs
                                   : u"完成，%1 个视频转换失败"_qs.arg(m_failures.size()));
        showProgress();
        m_phase = Phase::Idle;
        Q_EMIT batchFinished(m_failures);
    };
    if (m_intSoundReminder == 0 && m_actions)
        m_actions->playSound(m_programFolder + u"/sound.wav"_qs, rest);
    else
        rest();
}

void BatchDriver::stop()
{
    if (!isBusy() || m_phase == Phase::Finishing)
        return;
    m_stopping = true;
    m_timer->stop();
    DOSOutputs *running = m_objDOS.isRunning()      ? &m_objDOS
                          : m_objffmpeg.isRunning() ? &m_objffmpeg
                                                    : nullptr;
    auto end = [this] {
        // The encoder removes what it wrote when stopped; make sure of it.
        if (m_phase == Phase::FirstPass || m_phase == Phase::SecondPass)
            QFile::remove(m_currentPass.outputPath);
        m_phase = Phase::Idle;
        m_settings.setSettingsLocked(false);
        Q_EMIT batchStopped();
    };
    if (!running) {
        end();
        return;
    }
    connect(running, &DOSOutputs::CommandOver, this, end, Qt::SingleShotConnection);
    running->stop();
}

void BatchDriver::stopAndWait()
{
    DOSOutputs *running = m_objDOS.isRunning()      ? &m_objDOS
                          : m_objffmpeg.isRunning() ? &m_objffmpeg
                                                    : nullptr;
    if (!running) {
        stop();
        return;
    }
    QEventLoop loop;
    connect(running, &DOSOutputs::CommandOver, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    stop();
    loop.exec();
}

QList<PassCommand> BatchDriver::previewFirstPasses() const
{
    QList<PassCommand> passes;
    const QString folder = withTrailingSeparator(m_settings.outputFolder());
    for (int row = 0; row < m_jobs.count(); ++row)
        passes << firstPassCommand(inputsNow(m_jobs.path(row), folder));
    return passes;
}
