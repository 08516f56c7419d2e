#include "runner.h"

#include "backgroundprobe.h"
#include "childprocess.h"
#include "common/paths.h"
#include "console.h"
#include "ffmpegreport.h"
#include "libav.h"
#include "media.h"
#include "mediatext.h"
#include "outputcheck.h"
#include "partfile.h"
#include "phaselog.h"
#include "plan.h"
#include "remux.h"
#include "sourcefile.h"

#include "process/signalpipe.h"
#include "process/spawn.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// ffmpeg writes into the part file we opened for it, never to a name, and
// reads the source we opened, as its descriptors 3 and 4.
const QByteArray outputUrl = "file:/dev/fd/3";
constexpr int FfmpegSourceFd = 4;

// The exit code of a run whose output was written and kept under its name but
// failed its check: apart from 1 (failed), 2 (usage), 127 (no ffmpeg) and
// 128 + a signal (interrupted).
constexpr int CheckFailedExit = 3;

// A stop signal that arrived, with the pipe it woke us through emptied.
int takeStopSignal()
{
    StopSignalPipe::take();
    return StopSignalPipe::last();
}

QByteArray displayed(const QString &path)
{
    return displayPath(path).toUtf8();
}

// For a probe on this thread: a stop signal ends it at once.
bool stopAsked()
{
    return StopSignalPipe::last() != 0;
}

// What writing the output's file failed on.
Report::Error outputError(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return Report::Error::DiskFull;
    return error == ENAMETOOLONG ? Report::Error::NameTooLong : Report::Error::Output;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The configured ffmpeg, else the first in PATH; empty when there is none.
QByteArray locateFfmpeg()
{
    const QByteArray configured = qgetenv("TORVANE_FFMPEG");
    const QByteArray name = configured.isEmpty() ? QByteArray("ffmpeg") : configured;
    if (name.contains('/'))
        return name;
    for (const QByteArray &dir : qgetenv("PATH").split(':')) {
        const QByteArray candidate = (dir.isEmpty() ? QByteArray(".") : dir) + '/' + name;
        struct stat st = {};
        if (::stat(candidate.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.constData(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// "Duration: 00:01:40.00" as ffmpeg prints it: rounded to centiseconds.
QByteArray durationText(double seconds)
{
    const qint64 cs = std::llround(seconds * 100);
    return QByteArray::number(cs / 360000).rightJustified(2, '0') + ':' +
           QByteArray::number(cs / 6000 % 60).rightJustified(2, '0') + ':' +
           QByteArray::number(cs / 100 % 60).rightJustified(2, '0') + '.' +
           QByteArray::number(cs % 100).rightJustified(2, '0');
}

class ProgressReporter
{
public:
    explicit ProgressReporter(Tool tool) : m_tool(tool) {}

    // Reports wait for this, as the percentages need the seconds that will be
    // encoded (0 when unknown); a report that came before is given then.
    void begin(double duration)
    {
        m_duration = duration;
        m_begun = true;
        if (m_tool == Tool::Conv) {
            printPosition(0, 0, 0);
            reportPosition();
        }
        if (m_held)
            report();
    }
    bool begun() const { return m_begun; }

    // One line of ffmpeg's -progress output.
    void feed(const QByteArray &line)
    {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            return;
        const QByteArray key = line.left(eq).trimmed(), value = line.mid(eq + 1).trimmed();
        bool ok = false;
        if (key == "out_time_us") {
            const qint64 us = value.toLongLong(&ok);
            if (ok)
                m_seconds = std::max(0.0, double(us) / 1e6);
        } else if (key == "total_size") {
            const qint64 bytes = value.toLongLong(&ok);
            if (ok)
                m_bytes = bytes;
        } else if (key == "frame") {
            const qint64 frame = value.toLongLong(&ok);
            if (ok)
                m_frame = frame;
        } else if (key == "progress") {
            report();
        }
    }

    // Where a copy made in-process has got to.
    void position(double seconds, qint64 frames)
    {
        m_seconds = seconds;
        m_frame = frames;
        report();
    }

    // Seconds of output written, as ffmpeg's progress last said.
    double seconds() const { return m_seconds; }

    void finish()
    {
        if (m_tool == Tool::Conv)
            printPosition(m_seconds, m_frame, 100);
        console::progress("\n");
    }

private:
    void report()
    {
        m_held = !m_begun;
        if (m_held)
            return;
        reportPosition();
        if (m_tool == Tool::Conv) {
            if (m_duration > 0) {
                const int percent = std::clamp(int(m_seconds * 100 / m_duration), 0, 99);
                if (percent > m_percent)
                    printPosition(m_seconds, m_frame, percent);
            }
            return;
        }
        const double kbit = m_seconds > 0 ? double(m_bytes) * 8 / m_seconds / 1000 : 0;
        char line[128];
        std::snprintf(line, sizeof line,
                      "frame=%5lld size=%8lldkB time=%.2f bitrate=%6.1fkbits/s\r", m_frame,
                      m_bytes / 1024, m_seconds, kbit);
        console::progress(line);
    }

    // The batch reads the numbers, not the text above, which is for people.
    void reportPosition()
    {
        if (!console::quietPositions())
            console::report(Report::positionLine(m_seconds));
    }

    void printPosition(double seconds, long long frame, int percent)
    {
        m_percent = percent;
        char line[96];
        std::snprintf(line, sizeof line, "Pos: %6.1fs %6lldf (%2d%%)\r", seconds, frame, percent);
        console::progress(line);
    }

    Tool m_tool;
    double m_duration = 0;
    bool m_begun = false;
    bool m_held = false; // a report came before begin()
    double m_seconds = 0;
    long long m_bytes = 0;
    long long m_frame = 0;
    int m_percent = -1;
};

// Splits a byte stream into lines, keeping an unfinished tail for later.
template<typename Handler>
void takeLines(QByteArray &buffer, QByteArrayView incoming, Handler handle)
{
    buffer += incoming;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer[i] == '\n' || buffer[i] == '\r') {
            if (i > begin)
                handle(buffer.mid(begin, i - begin));
            begin = i + 1;
        }
    }
    buffer.remove(0, begin);
}

// Reads ffmpeg's error output: passes each line on, naming files as the caller
// wrote them rather than as the URLs ffmpeg was given, and keeps what tells
// the cause of a failure.
class ErrorReader
{
public:
    // inputUrl: the source as ffmpeg was given it.
    ErrorReader(const EncodeJob &job, const QString &inputUrl)
        : m_tool(job.tool), m_inputUrl(pathToBytes(inputUrl)), m_input(displayed(job.input)),
          m_output(displayed(job.output))
    {}

    void feed(const QByteArray &line)
    {
        if (line.trimmed().isEmpty())
            return;
        QByteArray text;
        const QByteArray level = m_log.feed(line, &text);
        // Only what ffmpeg calls an error is passed on and can say why it
        // failed; the rest is read for what it tells of the output.
        static const QList<QByteArray> errors = {"", "error", "fatal", "panic"};
        if (!errors.contains(level))
            return;
        QByteArray message = text;
        message.replace(m_inputUrl, m_input);
        message.replace(outputUrl, m_output);
        message.replace(outputUrl.mid(5), m_output);
        console::message(m_tool, message);
        if (text.contains("No space left on device") || text.contains("Disk quota exceeded"))
            m_diskFull = true;
        // ffmpeg's closing summary says nothing about the cause.
        if (text.trimmed() != "Conversion failed!") {
            m_lastLine = text;
            m_lastMessage = message.trimmed();
        }
    }

    // What ffmpeg said of the file it wrote.
    const FfmpegOutput &output() const { return m_log.output(); }

    Report::Error code() const
    {
        if (m_diskFull)
            return Report::Error::DiskFull;
        if (m_lastLine.contains(m_inputUrl))
            return Report::Error::Source;
        if (m_lastLine.contains(outputUrl.mid(5)))
            return Report::Error::Output;
        return Report::Error::Failed;
    }

    QString reason() const { return QString::fromUtf8(m_lastMessage); }

private:
    Tool m_tool;
    QByteArray m_inputUrl, m_input, m_output;
    QByteArray m_lastLine, m_lastMessage;
    bool m_diskFull = false;
    FfmpegLogReader m_log;
};

// How the work on the part file ended.
struct Outcome
{
    int stopSignal = 0;
    Report::Error error = Report::Error::None;
    QString reason; // the human last line
    int exitCode = 0;
    // The probe found a source that asks for other arguments: ffmpeg was
    // given up, to start again with them.
    bool replan = false;
    // What ffmpeg said of the file it wrote, when it ran.
    std::optional<FfmpegOutput> written = std::nullopt;
};

int failed(Tool tool, const Outcome &outcome)
{
    console::failure(tool, outcome.error, outcome.reason);
    return outcome.exitCode;
}

// How a failure's last line starts.
QString failedPrefix(const EncodeJob &job)
{
    return job.preview.isEmpty() ? u"Encoding failed: "_s : u"Preview failed: "_s;
}

// What every run checks before anything else: ffmpeg, a container for the
// output, a source that is a file, which it opens. The exit status when one is missing.
std::optional<int> refusedBeforeStart(const EncodeJob &job, QByteArray &ffmpeg, QString &muxer,
                                      SourceFile &source)
{
    ffmpeg = locateFfmpeg();
    if (ffmpeg.isEmpty()) {
        console::failure(job.tool, Report::Error::FfmpegMissing,
                         u"ffmpeg not found: install it or set TORVANE_FFMPEG"_s);
        return 127;
    }
    muxer = outputMuxer(job);
    if (muxer.isEmpty()) {
        console::failure(
            job.tool, Report::Error::Usage,
            u"no container is known for %1, name one with -f"_s.arg(displayPath(job.output)));
        return 2;
    }
    // ffmpeg and the probe would wait for ever on a pipe, and a device is no video.
    int error = 0;
    switch (source.open(job.input, &error)) {
    case SourceFile::Problem::None:
        return std::nullopt;
    case SourceFile::Problem::NotAFile:
        console::failure(job.tool, Report::Error::NotAFile,
                         failedPrefix(job) +
                             u"%1 is not a regular file"_s.arg(displayPath(job.input)));
        return 1;
    case SourceFile::Problem::Unopenable:
        break;
    }
    console::failure(job.tool, Report::Error::Source,
                     failedPrefix(job) +
                         u"%1: %2"_s.arg(displayPath(job.input), systemError(error)));
    return 1;
}

// A source libav cannot read, a photo, no sound for an output of sound alone,
// or a clip that starts past its end; no error when all is well or nothing is known.
Outcome sourceProblem(const EncodeJob &job, const MediaInfo &info)
{
    if (info.stillPicture)
        return {0, Report::Error::StillPicture,
                failedPrefix(job) +
                    u"%1 is a still picture, not a video"_s.arg(displayPath(job.input)),
                1};
    // ffmpeg would only say that its output has no stream.
    if (info.valid && !info.hasAudio && !job.video && job.preview.isEmpty())
        return {0, Report::Error::NoSound,
                failedPrefix(job) + u"%1 has no sound"_s.arg(displayPath(job.input)), 1};
    if (!info.valid && !info.libavMissing)
        return {0, Report::Error::Source,
                failedPrefix(job) + u"%1: %2"_s.arg(displayPath(job.input), info.error), 1};
    if (job.clipped() && info.duration > 0 && job.clipStart >= info.duration)
        return {0, Report::Error::ClipRange,
                failedPrefix(job) +
                    u"the clip starts at %1 s, but the source ends at %2 s"_s.arg(job.clipStart)
                        .arg(info.duration, 0, 'f', 2),
                1};
    return {};
}

// What the batch's probe found of the source, handed over in the environment,
// when it describes the very file opened, unchanged since. Read once: nothing
// started later inherits it.
std::optional<MediaInfo> sourceInfoFromBatch(const SourceFile &opened)
{
    const QByteArray text = qgetenv(Report::SourceInfoVariable);
    qunsetenv(Report::SourceInfoVariable);
    if (text.isEmpty())
        return std::nullopt;
    return mediaFromText(text, fileStamp(opened.descriptor()));
}

// Source problems that fail the job whatever ffmpeg makes of the source.
bool endsTheJob(Report::Error error)
{
    return error == Report::Error::ClipRange || error == Report::Error::StillPicture ||
           error == Report::Error::NoSound;
}

// For a failure before ffmpeg runs: the source's own problem comes first, as
// it did when every job probed before anything else.
Outcome sourceProblemFirst(const EncodeJob &job, const SourceFile &source, bool probed,
                           const Outcome &otherwise)
{
    if (!probed) {
        const Outcome problem = sourceProblem(job, probeMedia(source.path()));
        if (problem.error != Report::Error::None)
            return problem;
    }
    return otherwise;
}

// What the caller reads before any progress: how the source is taken, the
// coders' Duration line and the duration machine line. Returns the seconds
// that will be encoded, 0 when unknown.
double announceSource(const EncodeJob &job, const MediaInfo &info,
                      const LosslessChoice &lossless = {})
{
    for (const QString &note : planNotes(job, info, outputMuxer(job), lossless))
        console::message(job.tool, note);
    const double duration = encodedDuration(job, info);
    if (job.tool != Tool::Conv) {
        // The caller looks for this near the top of the output, before any time=.
        const QByteArray text = duration > 0 ? durationText(duration) : "N/A";
        console::progress("  Duration: " + text + ", start: " +
                          QByteArray::number(info.start + job.clipStart, 'f', 6) + "\n");
    }
    if (duration > 0)
        console::report(Report::durationLine(duration));
    return duration;
}

struct FfmpegRun
{
    ChildExit exit;
    int stopSignal = 0; // why we stopped it, 0 when it ended by itself
    int waitError = 0;  // the errno of a wait that failed, and ffmpeg was killed
};

// Called on the probe's answer; true gives ffmpeg up.
using ProbeAnswer = std::function<bool(const MediaInfo &)>;

// Waits for ffmpeg, and for the probe when there is one, while handing on
// ffmpeg's output; a stop signal, or a reader of our output that went away, is
// passed on to ffmpeg, which is killed when it does not end within the grace
// time, and the probe is cancelled.
FfmpegRun superviseFfmpeg(ChildProcess &child,
                          const std::function<void(const QByteArray &)> &onOutput,
                          ErrorReader &errors, BackgroundProbe *probe, const ProbeAnswer &answer)
{
    FfmpegRun run;
    QByteArray outBuffer, errBuffer;
    QElapsedTimer sinceStop;
    bool killed = false;
    bool waitingForProbe = probe != nullptr;
    pollfd fds[7] = {{child.out, POLLIN, 0},
                     {child.err, POLLIN, 0},
                     {StopSignalPipe::readDescriptor(), POLLIN, 0},
                     // No events asked: only an error or hang-up, a reader gone.
                     {STDOUT_FILENO, 0, 0},
                     {STDERR_FILENO, 0, 0},
                     {probe ? probe->readyFd() : -1, POLLIN, 0},
                     {console::reportDescriptor(), 0, 0}};
    const auto stop = [&](int sig) {
        if (run.stopSignal != 0)
            return;
        run.stopSignal = sig;
        ::kill(child.pid, sig == SIGPIPE ? SIGTERM : sig);
        sinceStop.start();
        if (probe)
            probe->cancel();
        waitingForProbe = false;
    };
    const auto drain = [&](pollfd &entry, QByteArray &buffer, auto handle) {
        char chunk[65536];
        const ssize_t n = ::read(entry.fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            return;
        if (n <= 0) {
            ::close(entry.fd);
            entry.fd = -1;
            if (!buffer.isEmpty())
                handle(std::exchange(buffer, {}));
            return;
        }
        takeLines(buffer, QByteArrayView(chunk, n), handle);
    };

    for (;;) {
        if (waitingForProbe && probe->answered()) {
            waitingForProbe = false;
            fds[5].fd = -1;
            if (answer(probe->take()) && !killed) {
                ::kill(child.pid, SIGKILL);
                killed = true;
            }
        }
        // Checked after the probe's answer is taken and before every wait, so
        // the loop never waits once nothing is left that could wake it.
        if (fds[0].fd < 0 && fds[1].fd < 0 && !waitingForProbe)
            break;
        int timeout = -1;
        if (run.stopSignal != 0 && !killed)
            timeout = int(std::max<qint64>(0, Report::FfmpegStopGraceMs - sinceStop.elapsed()));
        else if (waitingForProbe && fds[5].fd < 0)
            timeout = 10; // no descriptor tells when it answers
        const int ready = ::poll(fds, std::size(fds), timeout);
        if (ready < 0 && errno != EINTR) {
            // Nothing can be waited for any more: ffmpeg must not run on unwatched.
            run.waitError = errno;
            ::kill(child.pid, SIGKILL);
            killed = true;
            break;
        }
        if (ready > 0) {
            if (fds[2].revents & POLLIN)
                stop(takeStopSignal());
            for (pollfd *watch : {&fds[3], &fds[4], &fds[6]}) {
                if (watch->revents & (POLLERR | POLLHUP)) {
                    watch->fd = -1;
                    stop(SIGPIPE);
                }
            }
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
                drain(fds[0], outBuffer, onOutput);
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
                drain(fds[1], errBuffer, [&](const QByteArray &line) { errors.feed(line); });
        }
        if (console::readerGone())
            stop(SIGPIPE);
        if (run.stopSignal != 0 && !killed && sinceStop.elapsed() >= Report::FfmpegStopGraceMs) {
            ::kill(child.pid, SIGKILL);
            killed = true;
        }
    }
    // A stop that interrupted the last wait was not read from its pipe.
    if (run.stopSignal == 0 && StopSignalPipe::last() != 0)
        stop(takeStopSignal());
    for (const int fd : {fds[0].fd, fds[1].fd})
        if (fd >= 0)
            ::close(fd);
    run.exit = waitForExit(child.pid);
    PhaseLog::mark(PhaseLog::Mark::FfmpegEnd);
    return run;
}

// The output's file time is the source's, as a copy's would be; the
// intermediate file passes it on to the second pass.
void takeFileTime(const SourceFile &source, int fd)
{
    struct stat st = {};
    if (::fstat(source.descriptor(), &st) != 0)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ::futimens(fd, times);
}

// removed: whether an unfinished output went with the stop.
int interrupted(Tool tool, int sig, bool removed = true)
{
    QString line = sig == SIGPIPE ? u"Interrupted: nobody reads the output any more"_s
                                  : u"Interrupted by signal %1"_s.arg(sig);
    if (removed)
        line += u", output removed"_s;
    console::failure(tool, Report::Error::Interrupted, line);
    return 128 + sig;
}

Outcome copyInProcess(const EncodeJob &job, const SourceFile &source, const QString &muxer,
                      const LosslessChoice &lossless, const PartFile &part,
                      ProgressReporter &reporter)
{
    const RemuxResult result = remux(
        {source.path(), part.descriptor(), muxer, lossless.rotation, job.audio, lossless.dataTracks,
         job.keepMetadata, writesMetadataTags(muxer)},
        [&](double seconds, qint64 frames) { reporter.position(seconds, frames); },
        [] {
            const int sig = StopSignalPipe::last();
            return sig != 0 || !console::readerGone() ? sig : SIGPIPE;
        });
    // Its messages name the source as the user knows it.
    QString reason = result.reason;
    reason.replace(source.path(), displayPath(job.input));
    return {result.stopSignal, result.error, u"Encoding failed: "_s + reason,
            result.error == Report::Error::None ? 0 : 1};
}

// known: the probe's answer when it came first; without it the source is
// probed while ffmpeg runs, and the reporter begins once it answers, and
// *source gets the answer.
Outcome runFfmpeg(const QByteArray &ffmpeg, const EncodeJob &job, const SourceFile &opened,
                  const MediaInfo *known, const QString &muxer, const LosslessChoice &lossless,
                  const PartFile &part, ProgressReporter &reporter, MediaInfo *source)
{
    EncodeJob fed = job;
    fed.input = SourceFile::childPath(FfmpegSourceFd);
    const QString url = QString::fromLatin1(outputUrl);
    const QStringList arguments =
        ffmpegArguments(fed, known ? *known : MediaInfo(), muxer, lossless, url);
    QList<QByteArray> argv = {ffmpeg};
    for (const QString &arg : arguments)
        argv.append(pathToBytes(arg));
    if (const int sig = takeStopSignal())
        return {sig, {}, {}, 0};
    ChildProcess child;
    PhaseLog::mark(PhaseLog::Mark::FfmpegStart);
    if (const int error = startChild(argv, {part.descriptor(), opened.descriptor()}, &child))
        return sourceProblemFirst(
            job, opened, known != nullptr,
            {0, Report::Error::FfmpegMissing,
             u"Cannot start %1: %2"_s.arg(pathFromBytes(ffmpeg), systemError(error)), 127});

    std::optional<BackgroundProbe> probe;
    if (!known)
        probe.emplace(opened.path());
    MediaInfo probed;
    Outcome problem; // what the probe found wrong with the source
    bool replan = false;
    const auto answered = [&](const MediaInfo &info) {
        probed = info;
        problem = sourceProblem(job, info);
        if (endsTheJob(problem.error))
            return true;
        // An unreadable source says nothing more unless ffmpeg reads it after all.
        if (problem.error == Report::Error::None) {
            if (ffmpegArguments(fed, info, muxer, lossless, url) != arguments) {
                replan = true;
                return true;
            }
            reporter.begin(announceSource(job, info));
        }
        return false;
    };
    ErrorReader errors(job, ffmpegUrl(fed.input));
    const FfmpegRun run = superviseFfmpeg(
        child, [&](const QByteArray &line) { reporter.feed(line); }, errors,
        probe ? &*probe : nullptr, answered);
    if (!known)
        *source = probed;
    if (run.stopSignal != 0)
        return {run.stopSignal, {}, {}, 0};
    if (run.waitError != 0)
        return {0, Report::Error::Failed,
                u"Encoding failed: cannot wait for ffmpeg: "_s + systemError(run.waitError), 1};
    if (replan)
        return {0, {}, {}, 0, true};
    if (endsTheJob(problem.error) || (run.exit.code != 0 && problem.error != Report::Error::None))
        return problem;
    if (run.exit.code < 0)
        return {0, Report::Error::Failed, u"Encoding failed: ffmpeg crashed"_s, 1};
    if (run.exit.code != 0) {
        QString reason = errors.reason();
        if (reason.isEmpty())
            reason = u"ffmpeg failed with exit code %1"_s.arg(run.exit.code);
        return {0, run.exit.code == 127 ? Report::Error::FfmpegMissing : errors.code(),
                u"Encoding failed: "_s + reason, run.exit.code};
    }
    if (!reporter.begun())
        reporter.begin(announceSource(job, probed));
    Outcome done;
    done.written = errors.output();
    return done;
}

// ffmpeg writing the preview's picture into the part file.
// arguments read the source as SourceFile::childPath(FfmpegSourceFd).
Outcome makePreview(const QByteArray &ffmpeg, const EncodeJob &job, const SourceFile &opened,
                    const QStringList &arguments, const PartFile &part)
{
    QList<QByteArray> argv = {ffmpeg};
    for (const QString &arg : arguments)
        argv.append(pathToBytes(arg));
    if (const int sig = takeStopSignal())
        return {sig, {}, {}, 0};
    ChildProcess child;
    if (const int error = startChild(argv, {part.descriptor(), opened.descriptor()}, &child))
        return {0, Report::Error::FfmpegMissing,
                u"Cannot start %1: %2"_s.arg(pathFromBytes(ffmpeg), systemError(error)), 127};
    // Its messages name the picture, not the video the command would write.
    EncodeJob named = job;
    named.output = job.preview;
    ErrorReader errors(named, ffmpegUrl(SourceFile::childPath(FfmpegSourceFd)));
    const FfmpegRun run = superviseFfmpeg(child, [](const QByteArray &) {}, errors, nullptr, {});
    if (run.stopSignal != 0)
        return {run.stopSignal, {}, {}, 0};
    if (run.waitError != 0)
        return {0, Report::Error::Failed,
                failedPrefix(job) + u"cannot wait for ffmpeg: "_s + systemError(run.waitError), 1};
    if (run.exit.code < 0)
        return {0, Report::Error::Failed, failedPrefix(job) + u"ffmpeg crashed"_s, 1};
    if (run.exit.code != 0) {
        QString reason = errors.reason();
        if (reason.isEmpty())
            reason = u"ffmpeg failed with exit code %1"_s.arg(run.exit.code);
        return {0, run.exit.code == 127 ? Report::Error::FfmpegMissing : errors.code(),
                failedPrefix(job) + reason, run.exit.code};
    }
    return {};
}

} // namespace

int runJob(const EncodeJob &job)
{
    const Tool tool = job.tool;
    QByteArray ffmpeg;
    QString muxer;
    SourceFile opened;
    if (const std::optional<int> status = refusedBeforeStart(job, ffmpeg, muxer, opened))
        return *status;

    // What the batch's probe found of this very file serves as our own probe;
    // else most jobs start ffmpeg at once and probe the source while it runs.
    std::optional<MediaInfo> known = sourceInfoFromBatch(opened);
    if (known) {
        if (const Outcome problem = sourceProblem(job, *known);
            problem.error != Report::Error::None)
            return failed(tool, problem);
    } else if (probeFirst(job)) {
        known = probeMedia(opened.path(), stopAsked);
        if (const int sig = takeStopSignal())
            return interrupted(tool, sig);
        if (const Outcome problem = sourceProblem(job, *known);
            problem.error != Report::Error::None)
            return failed(tool, problem);
    }

    PartFile part;
    int error = 0;
    if (!part.create(job.output, &error))
        return failed(tool, sourceProblemFirst(job, opened, known.has_value(),
                                               {0, outputError(error),
                                                u"Encoding failed: cannot write %1: %2"_s.arg(
                                                    displayPath(job.output), systemError(error)),
                                                1}));

    const LosslessChoice lossless =
        job.lossless ? losslessChoice(job, *known, muxer) : LosslessChoice();
    ProgressReporter reporter(tool);
    if (known) {
        const double duration = announceSource(job, *known, lossless);
        if (job.lossless)
            console::report(lossless.copy
                                ? Report::losslessCopyLine()
                                : Report::losslessEncodeLine(lossless.refusal, lossless.codec));
        reporter.begin(duration);
    }
    MediaInfo source = known ? *known : MediaInfo();
    Outcome outcome = lossless.copy && lossless.audioCodec.isEmpty()
                          ? copyInProcess(job, opened, muxer, lossless, part, reporter)
                          : runFfmpeg(ffmpeg, job, opened, known ? &*known : nullptr, muxer,
                                      lossless, part, reporter, &source);
    if (outcome.replan) {
        // ffmpeg writes the part file afresh.
        known = source;
        reporter.begin(announceSource(job, *known, lossless));
        outcome = runFfmpeg(ffmpeg, job, opened, &*known, muxer, lossless, part, reporter, &source);
    }
    if (outcome.stopSignal != 0) {
        part.remove();
        return interrupted(tool, outcome.stopSignal);
    }
    if (outcome.error != Report::Error::None) {
        part.remove();
        return failed(tool, outcome);
    }
    if (part.size() <= 0 && !StopSignalPipe::last()) {
        console::failure(tool, Report::Error::Failed, u"Encoding failed: the output is empty"_s);
        return 1;
    }
    if (job.keepMetadata)
        takeFileTime(opened, part.descriptor());
    // Read through our own descriptor: the part file's name could be someone
    // else's by now. An encoder that never loaded libav (the batch probed for
    // it) takes ffmpeg's own word on what it wrote rather than load it now.
    // Without libav nothing is known of the source, and nothing can be read.
    QList<Report::CheckDifference> differences;
    if (!libavLoaded() && outcome.written && source.valid)
        differences = checkReported(*outcome.written, reporter.seconds(),
                                    expectedOutput(job, source, lossless));
    else if (!source.libavMissing && libav())
        differences = checkOutput(u"/proc/self/fd/%1"_s.arg(part.descriptor()),
                                  expectedOutput(job, source, lossless));
    PhaseLog::mark(PhaseLog::Mark::Checked);
    // A stop that came once the work was done still means the job is not wanted.
    if (const int sig = StopSignalPipe::last()) {
        part.remove();
        return interrupted(tool, sig);
    }
    const QByteArray written = part.publish(&error);
    PhaseLog::mark(PhaseLog::Mark::Published);
    if (written.isEmpty()) {
        console::failure(tool, outputError(error),
                         u"Encoding failed: cannot write %1: %2"_s.arg(displayPath(job.output),
                                                                       systemError(error)));
        return 1;
    }
    reporter.finish();
    console::report(Report::outputLine(written));
    PhaseLog::write();
    // Kept all the same: it may still be of use, and nothing is lost.
    if (!differences.isEmpty()) {
        QStringList words;
        for (const Report::CheckDifference &difference : std::as_const(differences)) {
            console::report(Report::checkLine(difference));
            words << describe(difference);
        }
        console::failure(tool, Report::Error::CheckFailed,
                         u"Output check failed: %1; the file is kept as %2"_s.arg(
                             words.join(u"; "_s), displayPath(pathFromBytes(written))));
        return CheckFailedExit;
    }
    return 0;
}

int runProbes(const QStringList &paths)
{
    QString why;
    if (!libav(&why))
        console::message(Tool::Conv, u"No length is known: libav cannot be loaded: %1"_s.arg(why));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        // Opened as the encoder will open it: a pipe in its place is passed over.
        SourceFile opened;
        int error = 0;
        const bool isFile = opened.open(paths[i], &error) == SourceFile::Problem::None;
        const MediaInfo info = isFile ? probeMedia(opened.path(), stopAsked) : MediaInfo();
        // A probe the stop cut short says nothing of its path.
        if (const int sig = takeStopSignal())
            return interrupted(Tool::Conv, sig, false);
        // What the encoder takes instead of probing again: only a probe that
        // found what it looked for, of a file that is still there to compare.
        const QByteArray text =
            isFile && info.valid ? mediaText(info, fileStamp(opened.descriptor())) : QByteArray();
        console::report(Report::probedLine(
            int(i), info.valid && info.duration > 0 ? std::optional(info.duration) : std::nullopt,
            text.size() <= Report::MaxSourceInfo ? text : QByteArray()));
        if (console::readerGone())
            return interrupted(Tool::Conv, SIGPIPE, false);
    }
    return 0;
}

int runPreview(const EncodeJob &job)
{
    const Tool tool = job.tool;
    // As the command would fail, so does its preview.
    QByteArray ffmpeg;
    QString muxer;
    SourceFile opened;
    if (const std::optional<int> status = refusedBeforeStart(job, ffmpeg, muxer, opened))
        return *status;

    // Where to look, the display matrix and the lossless choice all wait for
    // the probe; without libav the first picture is shown, turned as ffmpeg would.
    const MediaInfo info = probeMedia(opened.path(), stopAsked);
    if (const int sig = takeStopSignal())
        return interrupted(tool, sig, false);
    if (const Outcome problem = sourceProblem(job, info); problem.error != Report::Error::None)
        return failed(tool, problem);
    const LosslessChoice lossless =
        job.lossless ? losslessChoice(job, info, muxer) : LosslessChoice();
    const QString url = QString::fromLatin1(outputUrl);
    const double at = previewTime(job, info);
    if (info.valid && !info.hasVideo) {
        console::failure(tool, Report::Error::Failed,
                         failedPrefix(job) + u"%1 has no video"_s.arg(displayPath(job.input)));
        return 1;
    }
    EncodeJob fed = job;
    fed.input = SourceFile::childPath(FfmpegSourceFd);
    if (previewArguments(fed, info, lossless, at, url).isEmpty()) {
        console::failure(tool, Report::Error::Failed,
                         failedPrefix(job) +
                             u"%1 would have no picture"_s.arg(displayPath(job.output)));
        return 1;
    }

    PartFile part;
    int error = 0;
    if (!part.create(job.preview, &error))
        return failed(tool, {0, outputError(error),
                             failedPrefix(job) + u"cannot write %1: %2"_s.arg(
                                                     displayPath(job.preview), systemError(error)),
                             1});
    Outcome outcome =
        makePreview(ffmpeg, job, opened, previewArguments(fed, info, lossless, at, url), part);
    // A seek past the last picture (a video track shorter than the file) gives
    // none; the first picture is still worth showing.
    if (outcome.stopSignal == 0 && outcome.error == Report::Error::None && part.size() <= 0 &&
        at > job.clipStart)
        outcome = makePreview(ffmpeg, job, opened,
                              previewArguments(fed, info, lossless, job.clipStart, url), part);
    if (outcome.stopSignal == 0 && outcome.error == Report::Error::None && part.size() <= 0)
        outcome = {0, Report::Error::Failed,
                   failedPrefix(job) + u"no picture decodes from %1"_s.arg(displayPath(job.input)),
                   1};
    if (const int sig = outcome.stopSignal ? outcome.stopSignal : StopSignalPipe::last()) {
        part.remove();
        return interrupted(tool, sig);
    }
    if (outcome.error != Report::Error::None) {
        part.remove();
        return failed(tool, outcome);
    }
    const QByteArray written = part.publish(&error);
    if (written.isEmpty()) {
        console::failure(tool, outputError(error),
                         failedPrefix(job) + u"cannot write %1: %2"_s.arg(displayPath(job.preview),
                                                                          systemError(error)));
        return 1;
    }
    console::report(Report::outputLine(written));
    return 0;
}
