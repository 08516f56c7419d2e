// What a job costs through torvane-cli beside what a user would run without
// Torvane: the very ffmpeg commands our encoder runs, run directly.
//
// First one 4 s clip turned a quarter turn clockwise into MP3, 3GP and MP4, in
// paired runs (torvane-cli, then the bare commands, taking turns going first),
// with the median wall and CPU time of each side and where the job's time went,
// phase by phase (the encoder's own marks, TORVANE_PHASE_LOG). Then twelve such
// clips with --jobs 1 and --jobs auto, beside GNU parallel starting one
// torvane-cli per file, the bare commands one after another and under
// parallel, and HandBrakeCLI.
#include "../batch_overhead/benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <optional>
#include <thread>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int Clips = 12;
constexpr int ClipSeconds = 4;
constexpr int WantedRounds = 3;
constexpr int SingleRuns = 8;
// The whole bench should end within about ten minutes; a round after the
// first is dropped when it would not fit.
constexpr double BudgetSeconds = 570;
// The targets: a job through torvane-cli against its bare ffmpeg commands.
constexpr double SingleWallTarget = 1.15;
constexpr double SingleCpuTarget = 1.25;
constexpr double Jobs1Target = 1.10;
constexpr double AutoTarget = 1.05;

// Runs each pass of one clip in turn and stops at the first that fails. The
// passes come as arguments, each led by its length, so that no command line is
// ever put together from file names; GNU parallel quotes every one of them.
constexpr char PassesInTurn[] =
    R"(while [ $# -gt 0 ]; do n=$1; shift; "${@:1:n}" || exit; shift "$n"; done)";

using Argv = QList<QByteArray>;

enum Row { Jobs1, Auto, ParallelCli, FfmpegInTurn, FfmpegParallel, HandBrake, RowCount };

// The runs of one side, for their medians.
struct Runs
{
    QList<double> wall, cpu;
    bool ran() const { return !wall.isEmpty(); }
    void add(double w, double c)
    {
        wall << w;
        cpu << c;
    }
    static double median(QList<double> values)
    {
        if (values.isEmpty())
            return 0;
        std::sort(values.begin(), values.end());
        const qsizetype n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }
    double medianWall() const { return median(wall); }
    double medianCpu() const { return median(cpu); }
};

qint64 nowNs()
{
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Format
{
    const char *title;
    QByteArray cliName;
    QByteArray extension;
    double target; // for auto over jobs 1
    // The encoder's ffmpeg runs for one clip, with placeholders for its files
    // (see makeTemplate).
    QList<Argv> passes;
    QList<QByteArray> intermediateExtensions;
    std::array<Runs, RowCount> runs;
    Runs singleCli, singleBare;
    bool hasSingleTarget = false;
};

QByteArray placeholder(int n)
{
    return "file:{" + QByteArray::number(n) + '}';
}

// Exit status of a program run with standard output thrown away and standard
// error added to the file errors, for when it fails; -1 when it could not
// start. environment: "NAME=value" entries that replace ours. *span: when it
// was started and when it had ended, on the monotonic clock.
int runProgram(const Argv &argv, const QString &errors, const Argv &environment = {},
               std::pair<qint64, qint64> *span = nullptr)
{
    QList<char *> args;
    for (const QByteArray &arg : argv)
        args.append(const_cast<char *>(arg.constData()));
    args.append(nullptr);
    QList<char *> env;
    for (char **entry = environ; *entry; ++entry) {
        const char *equals = std::strchr(*entry, '=');
        const QByteArrayView name(*entry, equals ? equals - *entry + 1 : qsizetype(0));
        if (std::none_of(environment.begin(), environment.end(),
                         [&](const QByteArray &ours) { return ours.startsWith(name); }))
            env.append(*entry);
    }
    for (const QByteArray &entry : environment)
        env.append(const_cast<char *>(entry.constData()));
    env.append(nullptr);
    const QByteArray errorPath = QFile::encodeName(errors);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.constData(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = 0;
    const qint64 started = nowNs();
    const int err = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        std::printf("parallel batch: cannot start %s: %s\n", args[0], std::strerror(err));
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (span)
        *span = {started, nowNs()};
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QByteArray firstLines(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().trimmed().split('\n').mid(0, count).join('\n');
}

QByteArray lastLines(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join('\n');
}

void reportFailure(const Argv &argv, int status, const QString &errors)
{
    std::printf("parallel batch: failed with exit status %d: %s\n%s\n", status,
                argv.join(' ').constData(), lastLines(errors, 20).constData());
}

// Checked after every run: one output a clip, none of them empty.
bool checkOutputs(const QString &folder, const char *what)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    const auto made = std::count_if(files.begin(), files.end(),
                                    [](const QFileInfo &file) { return file.size() > 0; });
    if (made == Clips && files.size() == Clips)
        return true;
    std::printf("parallel batch: %s left %lld outputs (%lld not empty) in %s, expected %d\n", what,
                static_cast<long long>(files.size()), static_cast<long long>(made),
                qPrintable(folder), Clips);
    return false;
}

// The most ffmpeg runs that overlapped in time.
int mostAtOnce(const QList<bench::Record> &records)
{
    QList<std::pair<qint64, int>> edges;
    for (const bench::Record &record : records)
        edges << std::pair{record.start, 1} << std::pair{record.start + record.ns, -1};
    // At the same instant an end sorts before a start.
    std::sort(edges.begin(), edges.end());
    int running = 0, most = 0;
    for (const auto &edge : std::as_const(edges)) {
        running += edge.second;
        most = std::max(most, running);
    }
    return most;
}

// The records of one batch run one job at a time, split by clip: the batch
// takes the clips in name order and every clip has the same passes. (ffmpeg
// reads the source the encoder opened, so no run names its clip.)
std::optional<QList<QList<Argv>>> splitByClip(const QList<bench::Record> &records,
                                              const QStringList &clips)
{
    if (records.isEmpty() || records.size() % clips.size() != 0)
        return std::nullopt;
    const qsizetype passes = records.size() / clips.size();
    QList<QList<Argv>> groups(clips.size());
    for (qsizetype i = 0; i < records.size(); ++i)
        groups[i / passes].append(records[i].args);
    return groups;
}

// One clip's ffmpeg runs made into a template that serves every clip, as a user
// would write it for parallel: file:{1} is the source, file:{2} the output,
// file:{3} and on what each pass but the last leaves for the next one (the
// encoder's own scratch file).
std::optional<Format> makeTemplate(Format format, const QList<Argv> &runs, const QByteArray &ffmpeg,
                                   QString *why)
{
    // The encoder hands ffmpeg the source it opened and the part file it writes.
    const QByteArray sourceArg = "file:/dev/fd/4";
    const qsizetype passes = runs.size();
    format.passes.clear();
    format.intermediateExtensions = QList<QByteArray>(passes - 1);
    for (qsizetype p = 0; p < passes; ++p) {
        Argv args = runs[p];
        if (args.size() < 2) {
            *why = u"an ffmpeg run without arguments"_s;
            return std::nullopt;
        }
        bool readsPrevious = false;
        for (qsizetype i = 0; i + 1 < args.size(); ++i) {
            if (args[i] == sourceArg && p == 0) {
                args[i] = placeholder(1);
            } else if (args[i] == sourceArg) {
                // The pass before wrote it; its container is named with -f.
                format.intermediateExtensions[p - 1] = "part";
                args[i] = placeholder(int(3 + p - 1));
                readsPrevious = true;
            } else if (args[i].contains('{')) {
                // parallel would take it for a replacement string.
                *why = u"an argument with a brace: "_s + QString::fromUtf8(args[i]);
                return std::nullopt;
            }
        }
        if (p > 0 && !readsPrevious) {
            *why = u"pass %1 reads nothing the pass before wrote"_s.arg(p + 1);
            return std::nullopt;
        }
        args.last() = placeholder(p == passes - 1 ? 2 : int(3 + p));
        args.prepend(ffmpeg);
        format.passes.append(args);
    }
    return format;
}

// A template's placeholders filled in with one clip's files.
Argv fill(const Argv &pass, const Argv &values)
{
    Argv filled = pass;
    for (QByteArray &arg : filled) {
        if (arg.startsWith("file:{") && arg.endsWith('}'))
            arg = "file:" + values[arg.mid(6, arg.size() - 7).toInt() - 1];
    }
    return filled;
}

// One encoder run as its phase log line tells it (see src/encoders/phaselog.h).
struct Phases
{
    qint64 exec = 0, probeStart = 0, probeEnd = 0, ffmpegStart = 0, ffmpegEnd = 0, checked = 0,
           published = 0;
};

QList<Phases> readPhases(const QString &log)
{
    QList<Phases> all;
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return all;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.startsWith("phases "))
            continue;
        Phases p;
        for (const QByteArray &field : line.split(' ')) {
            const qsizetype eq = field.indexOf('=');
            const QByteArray key = field.left(eq);
            const QList<QByteArray> values = field.mid(eq + 1).split('-');
            const qint64 first = values.value(0).toLongLong(),
                         second = values.value(1).toLongLong();
            if (key == "exec")
                p.exec = first;
            else if (key == "probe")
                p.probeStart = first, p.probeEnd = second;
            else if (key == "ffmpeg")
                p.ffmpegStart = first, p.ffmpegEnd = second;
            else if (key == "checked")
                p.checked = first;
            else if (key == "published")
                p.published = first;
        }
        all << p;
    }
    std::sort(all.begin(), all.end(),
              [](const Phases &a, const Phases &b) { return a.exec < b.exec; });
    return all;
}

// The single-job figures of a format, and where its jobs' time went.
void printSingle(const Format &format, const QString &phaseLog,
                 const QList<std::pair<qint64, qint64>> &cliSpans)
{
    const Runs &cli = format.singleCli, &bare = format.singleBare;
    std::printf("\n%s, one %d s clip, median of %lld paired runs      wall ms    CPU ms\n",
                format.title, ClipSeconds, static_cast<long long>(cli.wall.size()));
    std::printf("  %-46s %8.1f  %8.1f\n", "torvane-cli --jobs 1", cli.medianWall() * 1000,
                cli.medianCpu() * 1000);
    std::printf("  %-46s %8.1f  %8.1f\n",
                qPrintable(u"ffmpeg run directly (%1 run%2)"_s.arg(format.passes.size())
                               .arg(format.passes.size() > 1 ? u"s"_s : QString())),
                bare.medianWall() * 1000, bare.medianCpu() * 1000);
    std::printf("  %-46s %8.3f  %8.3f", "ratio", cli.medianWall() / bare.medianWall(),
                cli.medianCpu() / bare.medianCpu());
    if (format.hasSingleTarget)
        std::printf("  (targets: wall at most %.2f, CPU at most %.2f)", SingleWallTarget,
                    SingleCpuTarget);
    std::printf("\n");

    // Each torvane-cli run's encoders, by the time they began.
    const QList<Phases> phases = readPhases(phaseLog);
    const qsizetype passes = format.passes.size();
    QMap<QString, QList<double>> ms;
    QStringList order;
    const auto add = [&](const QString &name, qint64 from, qint64 to) {
        if (!order.contains(name))
            order << name;
        ms[name] << (from > 0 && to >= from ? double(to - from) / 1e6 : 0.0);
    };
    int complete = 0;
    for (const auto &[start, end] : cliSpans) {
        QList<Phases> runs;
        for (const Phases &p : phases)
            if (p.exec >= start && p.exec <= end)
                runs << p;
        if (runs.size() != passes)
            continue;
        ++complete;
        add(u"torvane-cli until its encoder began"_s, start, runs.first().exec);
        for (qsizetype i = 0; i < passes; ++i) {
            const Phases &p = runs[i];
            const QString pass = passes > 1 ? u"pass %1: "_s.arg(i + 1) : QString();
            add(pass + u"encoder began, until ffmpeg began"_s, p.exec, p.ffmpegStart);
            add(pass + u"  of it, the probe before ffmpeg"_s, p.probeStart,
                std::min(p.probeEnd, p.ffmpegStart > p.probeStart ? p.ffmpegStart : 0));
            add(pass + u"probe (libav loaded and read), wherever it ran"_s, p.probeStart,
                p.probeEnd);
            add(pass + u"ffmpeg"_s, p.ffmpegStart, p.ffmpegEnd);
            add(pass + u"output check"_s, p.ffmpegEnd, p.checked);
            add(pass + u"publish"_s, p.checked, p.published);
            if (i + 1 < passes)
                add(pass + u"until the next pass's encoder began"_s, p.published, runs[i + 1].exec);
        }
        add(u"after the last publish, until torvane-cli ended"_s, runs.last().published, end);
    }
    if (complete == 0) {
        std::printf("  (no phase marks: this encoder does not write them)\n");
        return;
    }
    std::printf("  where each job's time went, median ms of %d runs:\n", complete);
    for (const QString &name : std::as_const(order))
        std::printf("    %-56s %7.1f\n", qPrintable(name), Runs::median(ms[name]));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QElapsedTimer whole;
    whole.start();
    const QString ffmpegPath = QStandardPaths::findExecutable(u"ffmpeg"_s);
    if (ffmpegPath.isEmpty()) {
        std::printf("parallel batch: no ffmpeg\n");
        return 1;
    }
    const QByteArray ffmpeg = QFile::encodeName(ffmpegPath);
    const QByteArray cli = TORVANE_CLI;
    const QByteArray parallel = QFile::encodeName(QStandardPaths::findExecutable(u"parallel"_s));
    const QByteArray bash = QFile::encodeName(QStandardPaths::findExecutable(u"bash"_s));
    const QByteArray handBrake =
        QFile::encodeName(QStandardPaths::findExecutable(u"HandBrakeCLI"_s));
    const QString ffprobe = QStandardPaths::findExecutable(u"ffprobe"_s);

    bench::printMachine();
    const int n = int(std::max(1u, std::thread::hardware_concurrency()));
    const QByteArray nText = QByteArray::number(n);
    // A tool's name and version: the words of the first line it prints with a
    // number in it, up to that number.
    const auto version = [](const QString &program, const QStringList &args) -> QByteArray {
        if (program.isEmpty())
            return "not installed";
        // Standard output alone: HandBrakeCLI says much else on standard error.
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, args);
        process.waitForFinished(-1);
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            QList<QByteArray> words = line.simplified().split(' ');
            const auto number = std::find_if(words.begin(), words.end(), [](const QByteArray &w) {
                return !w.isEmpty() && w.front() >= '0' && w.front() <= '9';
            });
            if (number != words.end())
                return words.first(number - words.begin() + 1).join(' ');
        }
        return "unknown version";
    };
    std::printf("N = %d (the core count): parallel -j %d\n", n, n);
    std::printf("%s; %s; %s\n", version(ffmpegPath, {u"-version"_s}).constData(),
                version(QFile::decodeName(parallel), {u"--version"_s}).constData(),
                version(QFile::decodeName(handBrake), {u"--version"_s}).constData());
    std::fflush(stdout);

    QTemporaryDir dir;
    const QString errors = dir.filePath(u"errors.log"_s);
    const QString clipFolder = dir.filePath(u"clips"_s);
    QDir().mkpath(clipFolder);
    QStringList clips;
    for (int i = 1; i <= Clips; ++i) {
        clips << QDir(clipFolder).filePath(u"clip%1.mp4"_s.arg(i, 2, 10, QChar(u'0')));
        if (!bench::makeClip(clips.last(), ClipSeconds, u"640x480"_s))
            return 1;
    }

    const auto cliArgs = [&](const Format &format, const QString &out,
                             const QByteArray &jobs) -> Argv {
        Argv args{cli, "--rotate", "cw", "--format", format.cliName, "--quiet"};
        if (!jobs.isEmpty())
            args << "--jobs" << jobs;
        return args << "--output" << QFile::encodeName(out) << QFile::encodeName(clipFolder);
    };

    // Whether this torvane-cli takes --jobs: a usage error says it does not.
    bool hasJobs = true;
    for (const QByteArray jobs : {"1", "auto"}) {
        QFile::remove(errors);
        const Argv probe{cli,
                         "--jobs",
                         jobs,
                         "--format",
                         "mp3",
                         "--quiet",
                         "--output",
                         QFile::encodeName(dir.filePath(u"probe-"_s + QString::fromUtf8(jobs))),
                         QFile::encodeName(clips.first())};
        const int status = runProgram(probe, errors);
        if (status == 2) {
            std::printf("torvane-cli refuses --jobs %s (%s): rows that need --jobs auto print "
                        "n/a, and the --jobs 1 row runs it without --jobs, one job at a time as "
                        "it has always done\n",
                        jobs.constData(), firstLines(errors, 1).constData());
            hasJobs = false;
            break;
        }
        if (status != 0) {
            reportFailure(probe, status, errors);
            return 1;
        }
    }
    const QByteArray oneJob = hasJobs ? "1" : "";

    const QString log = dir.filePath(u"argv.log"_s);
    const Argv logEnvironment{"TORVANE_FFMPEG=" FFMPEG_LOG, "TORVANE_BENCH_FFMPEG=" + ffmpeg,
                              "TORVANE_BENCH_LOG=" + QFile::encodeName(log)};
    // One batch through the ffmpeg stand-in, its outputs checked, its ffmpeg runs returned.
    const auto capture = [&](const Argv &args, const QString &out,
                             const char *what) -> std::optional<QList<bench::Record>> {
        QFile::remove(log);
        QFile::remove(errors);
        const int status = runProgram(args, errors, logEnvironment);
        if (status != 0) {
            reportFailure(args, status, errors);
            return std::nullopt;
        }
        if (!checkOutputs(out, what))
            return std::nullopt;
        QDir(out).removeRecursively();
        return bench::readRecords(log);
    };

    std::array<Format, 3> formats = {Format{"MP3", "mp3", "mp3", 0.65, {}, {}, {}, {}, {}, true},
                                     Format{"3GP", "3gp", "3gp", 0.75, {}, {}, {}, {}, {}, false},
                                     Format{"MP4", "mp4", "mp4", 0.85, {}, {}, {}, {}, {}, true}};

    // What auto means here, seen rather than assumed: how many ffmpeg ran at once.
    if (hasJobs) {
        const QString out = dir.filePath(u"capture-auto"_s);
        const auto records = capture(cliArgs(formats[0], out, "auto"), out, "--jobs auto");
        if (!records)
            return 1;
        std::printf("--jobs auto ran up to %d ffmpeg at once (MP3 batch through the logging "
                    "stand-in)\n",
                    mostAtOnce(*records));
    } else {
        std::printf("--jobs auto: n/a\n");
    }

    // The ffmpeg runs of each format, from one batch one job at a time; it also
    // warms the disk cache and the programs before anything is timed.
    for (Format &format : formats) {
        const QString out = dir.filePath(u"capture-"_s + QString::fromUtf8(format.cliName));
        const auto records = capture(cliArgs(format, out, oneJob), out, "the capture batch");
        if (!records)
            return 1;
        const auto groups = splitByClip(*records, clips);
        if (!groups) {
            std::printf("parallel batch: %s: cannot tell which of %lld ffmpeg runs belongs to "
                        "which clip\n",
                        format.title, static_cast<long long>(records->size()));
            return 1;
        }
        for (qsizetype c = 0; c < clips.size(); ++c) {
            QString why;
            const auto made = makeTemplate(format, (*groups)[c], ffmpeg, &why);
            if (!made) {
                std::printf("parallel batch: %s: %s\n", format.title, qPrintable(why));
                return 1;
            }
            if (c == 0) {
                format = *made;
            } else if (made->passes != format.passes ||
                       made->intermediateExtensions != format.intermediateExtensions) {
                std::printf("parallel batch: %s: the encoder's ffmpeg arguments differ between "
                            "clips by more than their files\n",
                            format.title);
                return 1;
            }
        }
    }
    std::printf("bare ffmpeg runs per clip, as the encoder gave them: MP3 %lld, 3GP %lld, "
                "MP4 %lld\n",
                static_cast<long long>(formats[0].passes.size()),
                static_cast<long long>(formats[1].passes.size()),
                static_cast<long long>(formats[2].passes.size()));
    std::fflush(stdout);

    // The files of clip c in the run writing to out, in placeholder order.
    const auto values = [&](const Format &format, qsizetype c, const QString &out) {
        const QString base = QFileInfo(clips[c]).completeBaseName();
        Argv list{
            QFile::encodeName(clips[c]),
            QFile::encodeName(out + u'/' + base + u'.' + QString::fromUtf8(format.extension))};
        for (qsizetype p = 0; p < format.intermediateExtensions.size(); ++p)
            list << QFile::encodeName(out + u"/tmp/"_s + base + u".pass%1."_s.arg(p + 1) +
                                      QString::fromUtf8(format.intermediateExtensions[p]));
        return list;
    };
    const auto runChecked = [&](const Argv &args) {
        const int status = runProgram(args, errors);
        if (status != 0)
            reportFailure(args, status, errors);
        return status == 0;
    };

    const auto side = [&](Row row, const Format &format, const QString &out) -> bool {
        switch (row) {
        case Jobs1:
            return runChecked(cliArgs(format, out, oneJob));
        case Auto:
            return runChecked(cliArgs(format, out, "auto"));
        case ParallelCli: {
            Argv args{
                parallel, "-q",       "-j",           nText,     cli,        "--rotate",
                "cw",     "--format", format.cliName, "--quiet", "--output", QFile::encodeName(out),
                "{}",     ":::"};
            for (const QString &clip : std::as_const(clips))
                args << QFile::encodeName(clip);
            return runChecked(args);
        }
        case FfmpegInTurn:
            QDir().mkpath(out + u"/tmp"_s);
            for (qsizetype c = 0; c < clips.size(); ++c) {
                const Argv files = values(format, c, out);
                for (const Argv &pass : format.passes)
                    if (!runChecked(fill(pass, files)))
                        return false;
            }
            return true;
        case FfmpegParallel: {
            QDir().mkpath(out + u"/tmp"_s);
            Argv args{parallel, "-q", "-j", nText};
            const bool severalPasses = format.passes.size() > 1;
            if (severalPasses)
                args << bash << "-c" << PassesInTurn << "bash";
            for (const Argv &pass : format.passes) {
                if (severalPasses)
                    args << QByteArray::number(pass.size());
                args << pass;
            }
            QList<Argv> files;
            for (qsizetype c = 0; c < clips.size(); ++c)
                files << values(format, c, out);
            for (qsizetype column = 0; column < files.first().size(); ++column) {
                args << (column == 0 ? ":::" : ":::+");
                for (const Argv &clipFiles : std::as_const(files))
                    args << clipFiles[column];
            }
            return runChecked(args);
        }
        case HandBrake:
            for (qsizetype c = 0; c < clips.size(); ++c) {
                if (!runChecked({handBrake, "-i", QFile::encodeName(clips[c]), "-o",
                                 values(format, c, out)[1], "--rotate=angle=90"}))
                    return false;
            }
            return true;
        case RowCount:
            break;
        }
        return false;
    };

    // HandBrakeCLI reads "--rotate angle=90" as --rotate alone, a half turn,
    // so its first output is looked at once.
    bool handBrakeChecked = false;
    const auto checkHandBrake = [&](const QString &out) {
        if (handBrakeChecked || ffprobe.isEmpty())
            return true;
        handBrakeChecked = true;
        const QString first = QFile::decodeName(values(formats[2], 0, out)[1]);
        QByteArray said;
        if (!bench::run(ffprobe,
                        {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                         u"stream=width,height"_s, u"-of"_s, u"csv=p=0"_s, first},
                        QProcessEnvironment::systemEnvironment(), &said))
            return false;
        if (said.trimmed() != "480,640") {
            std::printf("parallel batch: HandBrakeCLI made %s of %s, not 480x640\n",
                        qPrintable(first), said.trimmed().constData());
            return false;
        }
        return true;
    };

    const auto available = [&](Row row, const Format &format) {
        switch (row) {
        case Auto:
            return hasJobs;
        case ParallelCli:
            return !parallel.isEmpty();
        case FfmpegParallel:
            return !parallel.isEmpty() && (format.passes.size() == 1 || !bash.isEmpty());
        case HandBrake:
            return !handBrake.isEmpty() && format.extension == "mp4";
        default:
            return true;
        }
    };

    const auto measure = [&](Row row, Format &format, int round) {
        const QString out = dir.filePath(u"runs/%1-%2-%3"_s)
                                .arg(QString::fromUtf8(format.cliName))
                                .arg(int(row))
                                .arg(round);
        QDir().mkpath(out);
        QFile::remove(errors);
        const double cpu = bench::childCpuMs();
        QElapsedTimer timer;
        timer.start();
        if (!side(row, format, out))
            return false;
        const double wall = double(timer.nsecsElapsed()) / 1e9;
        const double used = (bench::childCpuMs() - cpu) / 1000;
        if (!checkOutputs(out, format.title) || (row == HandBrake && !checkHandBrake(out)))
            return false;
        format.runs[row].add(wall, used);
        QDir(out).removeRecursively();
        return true;
    };

    // One clip: torvane-cli and the bare commands in pairs, taking turns going
    // first; torvane-cli's encoders mark their phases meanwhile.
    const QString phaseLog = dir.filePath(u"phases.log"_s);
    QList<std::pair<qint64, qint64>> cliSpans; // of each single-job torvane-cli
    const auto single = [&](Format &format, bool throughCli, int run) {
        const QString out = dir.filePath(u"single/%1-%2-%3"_s)
                                .arg(QString::fromUtf8(format.cliName))
                                .arg(throughCli)
                                .arg(run);
        QDir().mkpath(out + u"/tmp"_s);
        QFile::remove(errors);
        const double cpu = bench::childCpuMs();
        const qint64 start = nowNs();
        if (throughCli) {
            Argv args{cli,
                      "--rotate",
                      "cw",
                      "--format",
                      format.cliName,
                      "--quiet",
                      "--jobs",
                      "1",
                      "--no-record",
                      "--output",
                      QFile::encodeName(out),
                      QFile::encodeName(clips.first())};
            std::pair<qint64, qint64> span;
            const int status = runProgram(
                args, errors, {"TORVANE_PHASE_LOG=" + QFile::encodeName(phaseLog)}, &span);
            if (status != 0) {
                reportFailure(args, status, errors);
                return false;
            }
            cliSpans << span;
        } else {
            const Argv files = values(format, 0, out);
            for (const Argv &pass : format.passes)
                if (!runChecked(fill(pass, files)))
                    return false;
        }
        const double wall = double(nowNs() - start) / 1e9;
        const double used = (bench::childCpuMs() - cpu) / 1000;
        (throughCli ? format.singleCli : format.singleBare).add(wall, used);
        QDir(out).removeRecursively();
        return true;
    };
    for (Format &format : formats) {
        QFile::remove(phaseLog);
        cliSpans.clear();
        for (int run = 0; run < SingleRuns; ++run) {
            const bool cliFirst = run % 2 == 0;
            if (!single(format, cliFirst, run) || !single(format, !cliFirst, run))
                return 1;
        }
        printSingle(format, phaseLog, cliSpans);
        std::fflush(stdout);
    }

    // The window's preview of a 1080p job: one frame of the output, turned.
    {
        const QString hd = dir.filePath(u"hd.mp4"_s);
        if (!bench::makeClip(hd, 10, u"1920x1080"_s))
            return 1;
        Runs preview;
        for (int run = 0; run < SingleRuns; ++run) {
            const QString picture = dir.filePath(u"preview%1.png"_s.arg(run));
            const Argv args{cli,
                            "--rotate",
                            "cw",
                            "--format",
                            "mp4",
                            "--preview",
                            QFile::encodeName(picture),
                            QFile::encodeName(hd)};
            const double cpu = bench::childCpuMs();
            const qint64 start = nowNs();
            if (const int status = runProgram(args, errors); status != 0) {
                reportFailure(args, status, errors);
                return 1;
            }
            preview.add(double(nowNs() - start) / 1e9, (bench::childCpuMs() - cpu) / 1000);
        }
        std::printf("\npreview of a 10 s 1920x1080 H.264 clip turned clockwise, median of %d: "
                    "%.0f ms wall, %.0f ms CPU (target: under 500 ms)\n",
                    SingleRuns, preview.medianWall() * 1000, preview.medianCpu() * 1000);
        std::fflush(stdout);
    }

    // Each round runs every side of every format; the sides take turns going
    // first, so that none always runs on a warmer machine.
    int rounds = 0;
    double lastRound = 0;
    for (int round = 0; round < WantedRounds; ++round) {
        const double elapsed = double(whole.elapsed()) / 1000;
        if (round > 0 && elapsed + lastRound > BudgetSeconds)
            break;
        QElapsedTimer roundTimer;
        roundTimer.start();
        for (Format &format : formats) {
            QList<Row> order;
            for (int row = 0; row < RowCount; ++row)
                if (available(Row(row), format))
                    order << Row(row);
            std::rotate(order.begin(), order.begin() + round % order.size(), order.end());
            for (const Row row : std::as_const(order))
                if (!measure(row, format, round))
                    return 1;
        }
        lastRound = double(roundTimer.elapsed()) / 1000;
        ++rounds;
        std::printf("round %d of %d took %.0f s\n", rounds, WantedRounds, lastRound);
        std::fflush(stdout);
    }

    std::printf("\n%d clips of %d s at 640x480 with sound, turned 90 degrees clockwise, "
                "median of %d",
                Clips, ClipSeconds, rounds);
    if (rounds < WantedRounds)
        std::printf(" (cut from %d: another round would take the bench past about 10 minutes)",
                    WantedRounds);
    std::printf("\n");

    const QByteArray jobs1Label = hasJobs ? "torvane-cli --jobs 1" : "torvane-cli (no --jobs)";
    const std::array<QByteArray, RowCount> labels = {
        jobs1Label,
        "torvane-cli --jobs auto",
        "parallel -j " + nText + " torvane-cli, a file each",
        "ffmpeg, one run after another",
        "parallel -j " + nText + " ffmpeg, a clip each",
        "HandBrakeCLI, one clip after another"};
    for (const Format &format : formats) {
        std::printf("\n%-42s  wall s    CPU s\n", format.title);
        for (int row = 0; row < RowCount; ++row) {
            if (row == HandBrake && format.extension != "mp4")
                continue;
            const Runs &runs = format.runs[row];
            if (runs.ran())
                std::printf("  %-40s %7.2f  %7.2f\n", labels[row].constData(), runs.medianWall(),
                            runs.medianCpu());
            else
                std::printf("  %-40s %7s  %7s\n", labels[row].constData(), "n/a", "n/a");
        }
        const auto ratio = [&](const char *label, Row above, Row below, double target) {
            const Runs &a = format.runs[above], &b = format.runs[below];
            if (a.ran() && b.ran())
                std::printf("  %-40s %7.3f  %7.3f", label, a.medianWall() / b.medianWall(),
                            a.medianCpu() / b.medianCpu());
            else
                std::printf("  %-40s %7s  %7s", label, "n/a", "n/a");
            if (target > 0)
                std::printf("  (target: wall at most %.2f)", target);
            std::printf("\n");
        };
        ratio("jobs 1 / ffmpeg one after another", Jobs1, FfmpegInTurn, Jobs1Target);
        ratio("auto / parallel of bare ffmpeg", Auto, FfmpegParallel, AutoTarget);
        ratio("auto / jobs 1", Auto, Jobs1, format.target);
        ratio("auto / parallel of torvane-cli", Auto, ParallelCli, 0);
        if (format.extension == "mp4")
            ratio("auto / HandBrakeCLI", Auto, HandBrake, 0);
    }
    std::printf("\nthe whole bench took %.0f s\n", double(whole.elapsed()) / 1000);
    return 0;
}
