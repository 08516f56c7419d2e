#include "runner.h"

#include "plan.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

std::atomic<qint64> childPid{0};
volatile std::sig_atomic_t caughtSignal = 0;

#ifdef Q_OS_UNIX
extern "C" void forwardSignal(int sig)
{
    caughtSignal = sig;
    const qint64 pid = childPid.load();
    if (pid > 0)
        ::kill(pid_t(pid), sig);
}
#endif

// Registers a started child for signal forwarding, also covering a signal that
// arrived while it was being started.
void trackChild(const QProcess &process)
{
    childPid.store(process.processId());
#ifdef Q_OS_UNIX
    if (caughtSignal != 0 && process.processId() > 0)
        ::kill(pid_t(process.processId()), caughtSignal);
#endif
}

QByteArray sanitized(Tool tool, QByteArray text)
{
    if (tool == Tool::Conv) {
        text.replace('(', '[');
        text.replace(')', ']');
    }
    return text;
}

void writeOut(FILE *stream, const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

QString executableName(const QString &base)
{
#ifdef Q_OS_WIN
    return base + u".exe"_s;
#else
    return base;
#endif
}

struct Tools
{
    QString ffmpeg;
    QString ffprobe;
};

Tools locateTools()
{
    Tools tools;
    tools.ffmpeg = qEnvironmentVariable("TORVANE_FFMPEG");
    if (tools.ffmpeg.isEmpty())
        tools.ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s);
    if (tools.ffmpeg.isEmpty())
        return tools;
    const QString beside =
        QFileInfo(tools.ffmpeg).absoluteDir().filePath(executableName(u"ffprobe"_s));
    tools.ffprobe =
        QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(u"ffprobe"_s);
    return tools;
}

MediaInfo probe(const QString &ffprobe, const QString &input)
{
    if (ffprobe.isEmpty())
        return {};
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(ffprobe, {u"-v"_s, u"error"_s, u"-print_format"_s, u"json"_s, u"-show_entries"_s,
                            u"format=duration,start_time:stream=codec_type,sample_rate,"
                            u"avg_frame_rate,r_frame_rate:stream_disposition=attached_pic"_s,
                            ffmpegUrl(input)});
    if (!process.waitForStarted(-1))
        return {};
    trackChild(process);
    process.waitForFinished(-1);
    childPid.store(0);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return MediaInfo::fromProbeJson(process.readAllStandardOutput());
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

// The temporary output keeps the real extension, hidden beside the final name.
QString temporaryPath(const QString &output)
{
    const QFileInfo info(output);
    QString name = u"."_s + info.completeBaseName() + u".part-"_s +
                   QString::number(QCoreApplication::applicationPid());
    if (!info.suffix().isEmpty())
        name += u'.' + info.suffix();
    return info.dir().filePath(name);
}

bool replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_UNIX
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#else
    QFile::remove(to);
    return QFile::rename(from, to);
#endif
}

class ProgressReporter
{
public:
    ProgressReporter(Tool tool, double duration) : m_tool(tool), m_duration(duration) {}

    void start()
    {
        if (m_tool == Tool::Conv)
            printPosition(0, 0);
    }

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

    void finish()
    {
        if (m_tool == Tool::Conv)
            printPosition(m_seconds, 100);
        writeOut(stdout, "\n");
    }

private:
    void report()
    {
        if (m_tool == Tool::Conv) {
            if (m_duration > 0) {
                const int percent = std::clamp(int(m_seconds * 100 / m_duration), 0, 99);
                if (percent > m_percent)
                    printPosition(m_seconds, percent);
            }
            return;
        }
        const double kbit = m_seconds > 0 ? double(m_bytes) * 8 / m_seconds / 1000 : 0;
        char line[128];
        std::snprintf(line, sizeof line,
                      "frame=%5lld size=%8lldkB time=%.2f bitrate=%6.1fkbits/s\r", m_frame,
                      m_bytes / 1024, m_seconds, kbit);
        writeOut(stdout, line);
    }

    void printPosition(double seconds, int percent)
    {
        m_percent = percent;
        char line[96];
        std::snprintf(line, sizeof line, "Pos: %6.1fs %6lldf (%2d%%)\r", seconds, m_frame, percent);
        writeOut(stdout, line);
    }

    Tool m_tool;
    double m_duration;
    double m_seconds = 0;
    long long m_bytes = 0;
    long long m_frame = 0;
    int m_percent = -1;
};

// Splits a byte stream into lines, keeping an unfinished tail for later.
template<typename Handler>
void takeLines(QByteArray &buffer, const QByteArray &incoming, Handler handle)
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

} // namespace

void installSignalForwarding()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
#endif
}

void printMessage(Tool tool, const QString &line)
{
    writeOut(stderr, sanitized(tool, line.toUtf8()) + '\n');
}

int runJob(const EncodeJob &job)
{
    const Tools tools = locateTools();
    if (tools.ffmpeg.isEmpty()) {
        printMessage(job.tool, u"ffmpeg not found: install it or set TORVANE_FFMPEG"_s);
        return 127;
    }
    const MediaInfo info = probe(tools.ffprobe, job.input);
    if (caughtSignal != 0)
        return 128 + caughtSignal;

    if (job.tool != Tool::Conv) {
        // The caller looks for this near the top of the output, before any time=.
        const QByteArray duration = info.duration > 0 ? durationText(info.duration) : "N/A";
        writeOut(stdout, "  Duration: " + duration +
                             ", start: " + QByteArray::number(info.start, 'f', 6) + "\n");
    }

    const QString tempPath = temporaryPath(job.output);
    ProgressReporter reporter(job.tool, info.duration);
    QByteArray lastError;
    QByteArray outBuffer, errBuffer;

    QProcess ffmpeg;
    QEventLoop loop;
    ffmpeg.setStandardInputFile(QProcess::nullDevice());
    const auto readProgress = [&] {
        takeLines(outBuffer, ffmpeg.readAllStandardOutput(),
                  [&](const QByteArray &line) { reporter.feed(line); });
    };
    const auto readMessages = [&] {
        takeLines(errBuffer, ffmpeg.readAllStandardError(), [&](const QByteArray &line) {
            const QByteArray text = line.trimmed();
            if (text.isEmpty())
                return;
            // Name files as the caller wrote them, not as the URLs ffmpeg was given.
            QByteArray message = text;
            message.replace(ffmpegUrl(job.input).toUtf8(), job.input.toUtf8());
            message.replace(ffmpegUrl(tempPath).toUtf8(), job.output.toUtf8());
            writeOut(stderr, sanitized(job.tool, message) + '\n');
            // ffmpeg's closing summary says nothing about the cause.
            if (text != "Conversion failed!")
                lastError = message;
        });
    };
    QObject::connect(&ffmpeg, &QProcess::readyReadStandardOutput, &loop, readProgress);
    QObject::connect(&ffmpeg, &QProcess::readyReadStandardError, &loop, readMessages);
    QObject::connect(&ffmpeg, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&ffmpeg, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });

    reporter.start();
    ffmpeg.start(tools.ffmpeg, ffmpegArguments(job, info, tempPath));
    if (ffmpeg.waitForStarted(-1)) {
        trackChild(ffmpeg);
        loop.exec();
    }
    childPid.store(0);

    if (ffmpeg.error() == QProcess::FailedToStart) {
        printMessage(job.tool, u"Cannot start %1: %2"_s.arg(tools.ffmpeg, ffmpeg.errorString()));
        return 127;
    }
    // Drain what arrived together with the exit.
    readProgress();
    readMessages();

    const bool crashed = ffmpeg.exitStatus() != QProcess::NormalExit;
    const int code = crashed ? 1 : ffmpeg.exitCode();
    if (caughtSignal != 0 || code != 0) {
        QFile::remove(tempPath);
        if (caughtSignal != 0) {
            printMessage(job.tool, u"Interrupted by signal %1, output removed"_s.arg(caughtSignal));
            return code != 0 ? code : 128 + caughtSignal;
        }
        QString reason = QString::fromUtf8(lastError);
        if (crashed)
            reason = u"ffmpeg crashed"_s;
        else if (reason.isEmpty())
            reason = u"ffmpeg failed with exit code %1"_s.arg(code);
        printMessage(job.tool, u"Encoding failed: "_s + reason);
        return code;
    }
    if (!QFileInfo::exists(tempPath) || !replaceFile(tempPath, job.output)) {
        QFile::remove(tempPath);
        printMessage(job.tool, u"Encoding failed: cannot write %1"_s.arg(job.output));
        return 1;
    }
    reporter.finish();
    return 0;
}
