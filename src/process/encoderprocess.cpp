#include "encoderprocess.h"

#include "common/paths.h"
#include "common/report.h"
#include "spawn.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <thread>
#include <type_traits>

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

EncoderProcess::EncoderProcess(QObject *parent)
    : QObject(parent), m_workingDirectory(QDir::tempPath()), m_decoder(QStringDecoder::System)
{
    m_killTimer = new QTimer(this);
    m_killTimer->setSingleShot(true);
}

QString EncoderProcess::outputTail() const
{
    // Kept as bytes while the run goes on, decoded only when asked for: the
    // output of a chatty encoder is then copied once, not twice.
    QByteArrayView bytes(m_tail);
    if (bytes.size() > TailLimit)
        bytes = bytes.last(TailLimit);
    // A character cut at the front of the tail is dropped, not shown broken.
    while (!bytes.isEmpty() && (uchar(bytes.front()) & 0xC0) == 0x80)
        bytes = bytes.sliced(1);
    QStringDecoder decoder(QStringDecoder::System);
    return decoder.decode(bytes);
}

bool EncoderProcess::acceptCommand(const EncoderCommand &command)
{
    if (m_running) {
        m_startFailure = {StartFailure::Kind::AlreadyRunning, 0};
        return false;
    }
    m_command = command;
    if (m_command.program.isEmpty()) {
        m_startFailure = {StartFailure::Kind::EmptyCommand, 0};
        return false;
    }
    return true;
}

void EncoderProcess::resetForRun()
{
    m_running = true;
    m_stopRequested = false;
    m_paused = false;
    m_outcome = {};
    m_tail.clear();
    m_decoder.resetState();
}

QString EncoderProcess::runAndWait(const EncoderCommand &command)
{
    if (!start(command))
        return {};
    QEventLoop loop;
    connect(this, &EncoderProcess::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return outputTail();
}

void EncoderProcess::deliver(const char *data, qsizetype size)
{
    for (qsizetype offset = 0; offset < size; offset += PieceSize) {
        const QByteArrayView bytes(data + offset, std::min(PieceSize, size - offset));
        // The piece string is reused from run to run; a character cut by the
        // read waits in the decoder for its other bytes.
        m_piece.resize(bytes.size() + 1);
        QChar *end = m_decoder.appendToBuffer(m_piece.data(), bytes);
        m_piece.truncate(end - m_piece.constData());
        m_tail.append(bytes);
        if (m_tail.size() > 2 * TailLimit)
            m_tail.remove(0, m_tail.size() - TailLimit);
        if (!m_piece.isEmpty())
            Q_EMIT outputReceived(m_piece);
    }
}

void EncoderProcess::finishRun()
{
    m_killTimer->stop();
    m_running = false;
    m_paused = false;
    if (m_stopRequested) {
        m_outcome.status = RunOutcome::Status::Stopped;
        m_stopRequested = false;
    }
    // Raised last, with the runner idle, so a handler may start the next run.
    Q_EMIT finished(m_outcome);
}

namespace {

// Reads a whole read: a batch of 64 KiB reads each wakeup keeps up with any encoder.
constexpr qsizetype ReadBufferSize = 64 * 1024;
constexpr qsizetype MaxReadPerWakeup = 1024 * 1024;
constexpr int ExitPollMs = 20;
constexpr int DrainGraceMs = 500;

int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace

EncoderProcess::~EncoderProcess()
{
    if (m_running) {
        // Never leave an encoder behind when the runner goes away. It is
        // reaped elsewhere: one stuck in disk I/O must not hold up this thread.
        signalGroup(SIGKILL);
        const pid_t pid = pid_t(m_pid);
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
    closeDescriptors();
}

namespace {

// A notifier or timer may be what is running now: it goes once control is back
// in the event loop, never deleted under its own feet.
template<typename T> void retire(T *&object)
{
    if (!object)
        return;
    object->disconnect();
    if constexpr (std::is_same_v<T, QSocketNotifier>)
        object->setEnabled(false);
    else
        object->stop();
    object->deleteLater();
    object = nullptr;
}

} // namespace

void EncoderProcess::closeDescriptors()
{
    for (Channel *channel : {&m_output, &m_report}) {
        retire(channel->notifier);
        if (channel->fd >= 0)
            ::close(channel->fd);
        channel->fd = -1;
        channel->closed = true;
    }
    retire(m_exitNotifier);
    retire(m_exitPoll);
    retire(m_drainTimer);
    if (m_pidFd >= 0)
        ::close(m_pidFd);
    m_pidFd = -1;
}

void EncoderProcess::signalGroup(int sig)
{
    if (m_pid > 0)
        ::kill(-pid_t(m_pid), sig);
}

void EncoderProcess::watch(Channel &channel, int fd)
{
    channel.fd = fd;
    channel.closed = false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    channel.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(channel.notifier, &QSocketNotifier::activated, this,
            [this, &channel] { readAvailable(channel); });
}

bool EncoderProcess::start(const EncoderCommand &command)
{
    if (!acceptCommand(command))
        return false;

    int output[2], report[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        m_startFailure = {StartFailure::Kind::PipeFailed, errno};
        return false;
    }
    if (::pipe2(report, O_CLOEXEC) != 0) {
        m_startFailure = {StartFailure::Kind::PipeFailed, errno};
        for (const int fd : output)
            ::close(fd);
        return false;
    }
    SpawnRequest request;
    request.argv << pathToBytes(m_command.program);
    for (const QString &argument : std::as_const(m_command.arguments))
        request.argv << pathToBytes(argument);
    request.workingDirectory = pathToBytes(m_workingDirectory);
    request.output = output[1];
    static_assert(Report::ChannelDescriptor == 3, "the report goes as the child's first extra one");
    request.descriptors = {report[1]};
    request.environment = m_command.environment;
    request.environment << QByteArray(Report::ChannelVariable) + '=' +
                               QByteArray::number(Report::ChannelDescriptor);
    request.ownProcessGroup = true;
    // SIGTERM, not SIGKILL: the encoder then still removes its unfinished file.
    request.parentDeathSignal = SIGTERM;
    // A roomy pipe lets a chatty encoder run on while the window is busy.
    request.outputPipeSize = 1 << 20;
    const SpawnResult started = spawnProcess(request);
    ::close(output[1]);
    ::close(report[1]);
    if (started.pid < 0) {
        ::close(output[0]);
        ::close(report[0]);
        m_startFailure = {StartFailure::Kind::CannotRun, started.error};
        return false;
    }

    m_startFailure = {};
    m_pid = started.pid;
    m_exited = false;
    ++m_runNumber;
    if (m_buffer.size() != ReadBufferSize)
        m_buffer.resize(ReadBufferSize);
    resetForRun();

    watch(m_output, output[0]);
    watch(m_report, report[0]);
    m_pidFd = openPidFd(pid_t(m_pid));
    if (m_pidFd >= 0) {
        m_exitNotifier = new QSocketNotifier(m_pidFd, QSocketNotifier::Read, this);
        connect(m_exitNotifier, &QSocketNotifier::activated, this, &EncoderProcess::checkExited);
    } else {
        // Kernels before 5.3: look for the end now and then.
        m_exitPoll = new QTimer(this);
        connect(m_exitPoll, &QTimer::timeout, this, &EncoderProcess::checkExited);
        m_exitPoll->start(ExitPollMs);
    }
    return true;
}

EncoderProcess::ReadResult EncoderProcess::readAvailable(Channel &channel)
{
    const quint64 run = m_runNumber;
    qsizetype total = 0;
    while (channel.fd >= 0 && !channel.closed && total < MaxReadPerWakeup) {
        const ssize_t n = ::read(channel.fd, m_buffer.data(), size_t(m_buffer.size()));
        if (n > 0) {
            total += n;
            if (&channel == &m_report)
                Q_EMIT reportReceived(QByteArray(m_buffer.constData(), n));
            else
                deliver(m_buffer.constData(), n);
            // A handler may have ended this run and started another.
            if (run != m_runNumber)
                return ReadResult::Empty;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return ReadResult::Empty;
        // End of output (or a broken pipe, which ends it just the same).
        channel.closed = true;
        if (channel.notifier)
            channel.notifier->setEnabled(false);
        maybeFinish();
        return ReadResult::Closed;
    }
    return channel.closed ? ReadResult::Closed : ReadResult::More;
}

EncoderProcess::ReadResult EncoderProcess::readAvailable()
{
    // The report first: the output's last piece must find it complete.
    const ReadResult report = readAvailable(m_report);
    const ReadResult output = readAvailable(m_output);
    if (report == ReadResult::More || output == ReadResult::More)
        return ReadResult::More;
    return report == ReadResult::Closed && output == ReadResult::Closed ? ReadResult::Closed
                                                                        : ReadResult::Empty;
}

void EncoderProcess::checkExited()
{
    if (!m_running || m_exited)
        return;
    siginfo_t info = {};
    if (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0)
        return;
    m_exited = true;
    if (m_exitNotifier)
        m_exitNotifier->setEnabled(false);
    if (m_exitPoll)
        m_exitPoll->stop();
    // The encoder is gone but still unreaped, so its group id cannot be reused
    // yet: whatever it left running in its group goes with it.
    signalGroup(SIGKILL);
    int status = 0;
    while (::waitpid(pid_t(m_pid), &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        m_outcome.status = RunOutcome::Status::Exited;
        m_outcome.exitCode = WEXITSTATUS(status);
    } else {
        m_outcome.status = RunOutcome::Status::Crashed;
        m_outcome.exitCode = -1;
        m_outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

    // Whatever is still in the pipes comes first.
    const quint64 run = m_runNumber;
    ReadResult read;
    do {
        read = readAvailable();
    } while (read == ReadResult::More && run == m_runNumber);
    if (run != m_runNumber || !m_running)
        return;
    if (m_output.closed && m_report.closed) {
        maybeFinish();
        return;
    }
    // Something outside the group still holds a pipe open: do not wait for it long.
    m_drainTimer = new QTimer(this);
    m_drainTimer->setSingleShot(true);
    connect(m_drainTimer, &QTimer::timeout, this, [this, run] {
        readAvailable();
        if (run != m_runNumber)
            return;
        m_output.closed = m_report.closed = true;
        maybeFinish();
    });
    m_drainTimer->start(DrainGraceMs);
}

void EncoderProcess::maybeFinish()
{
    if (!m_running || !m_exited || !m_output.closed || !m_report.closed)
        return;
    closeDescriptors();
    m_pid = 0;
    finishRun();
}

void EncoderProcess::pause()
{
    if (!m_running || m_paused || m_stopRequested)
        return;
    m_paused = true;
    signalGroup(SIGSTOP);
}

void EncoderProcess::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    signalGroup(SIGCONT);
}

void EncoderProcess::stop()
{
    if (!m_running || m_stopRequested)
        return;
    m_stopRequested = true;
    signalGroup(SIGTERM);
    // A stopped group would keep the request until someone lets it go on.
    resume();
    disconnect(m_killTimer, nullptr, this, nullptr);
    connect(m_killTimer, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
    m_killTimer->start(Report::StopGraceMs);
}
