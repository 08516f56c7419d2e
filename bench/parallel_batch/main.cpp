// Twelve short clips turned a quarter turn clockwise into MP3, 3GP and MP4 by
// torvane-cli with --jobs 1 and --jobs auto, beside what a user would run
// without Torvane's own jobs: GNU parallel starting one torvane-cli per file,
// the very ffmpeg commands our encoder runs, one after another and under
// parallel, and HandBrakeCLI.
#include "../batch_overhead/benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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
// The whole bench should end within about ten minutes; a round after the
// first is dropped when it would not fit.
constexpr double BudgetSeconds = 570;

// Runs each pass of one clip in turn and stops at the first that fails. The
// passes come as arguments, each led by its length, so that no command line is
// ever put together from file names; GNU parallel quotes every one of them.
constexpr char PassesInTurn[] =
    R"(while [ $# -gt 0 ]; do n=$1; shift; "${@:1:n}" || exit; shift "$n"; done)";

using Argv = QList<QByteArray>;

enum Row { Jobs1, Auto, ParallelCli, FfmpegInTurn, FfmpegParallel, HandBrake, RowCount };

struct Best
{
    double wall = std::numeric_limits<double>::max();
    double cpu = std::numeric_limits<double>::max();
    bool ran = false;
};

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
    std::array<Best, RowCount> best;
};

QByteArray placeholder(int n)
{
    return "file:{" + QByteArray::number(n) + '}';
}

// Exit status of a program run with standard output thrown away and standard
// error added to the file errors, for when it fails; -1 when it could not
// start. environment: "NAME=value" entries that replace ours.
int runProgram(const Argv &argv, const QString &errors, const Argv &environment = {})
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
    const int err = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        std::printf("parallel batch: cannot start %s: %s\n", args[0], std::strerror(err));
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
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

// The records of one batch run one job at a time, split by clip: a clip's runs
// start with the first that names it.
std::optional<QList<QList<Argv>>> splitByClip(const QList<bench::Record> &records,
                                              const QStringList &clips)
{
    QList<QList<Argv>> groups(clips.size());
    qsizetype current = -1;
    for (const bench::Record &record : records) {
        for (qsizetype c = 0; c < clips.size(); ++c) {
            if (groups[c].isEmpty() && record.args.contains("file:" + QFile::encodeName(clips[c])))
                current = c;
        }
        if (current < 0)
            return std::nullopt;
        groups[current].append(record.args);
    }
    for (const QList<Argv> &group : std::as_const(groups))
        if (group.isEmpty() || group.size() != groups.first().size())
            return std::nullopt;
    return groups;
}

// One clip's ffmpeg runs made into a template that serves every clip, as a user
// would write it for parallel: file:{1} is the source, file:{2} the output,
// file:{3} and on what each pass but the last leaves for the next one (the
// encoder's own scratch file).
std::optional<Format> makeTemplate(Format format, const QList<Argv> &runs, const QString &source,
                                   const QByteArray &ffmpeg, QString *why)
{
    const QByteArray sourceArg = "file:" + QFile::encodeName(source);
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
            if (args[i] == sourceArg) {
                args[i] = placeholder(1);
            } else if (p > 0 && i > 0 && args[i - 1] == "-i") {
                format.intermediateExtensions[p - 1] =
                    QFileInfo(QFile::decodeName(args[i])).suffix().toUtf8();
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

    std::array<Format, 3> formats = {Format{"MP3", "mp3", "mp3", 0.65, {}, {}, {}},
                                     Format{"3GP", "3gp", "3gp", 0.75, {}, {}, {}},
                                     Format{"MP4", "mp4", "mp4", 0.85, {}, {}, {}}};

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
            const auto made = makeTemplate(format, (*groups)[c], clips[c], ffmpeg, &why);
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
        Best &best = format.best[row];
        best.wall = std::min(best.wall, wall);
        best.cpu = std::min(best.cpu, used);
        best.ran = true;
        QDir(out).removeRecursively();
        return true;
    };

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
                "best of %d",
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
            const Best &best = format.best[row];
            if (best.ran)
                std::printf("  %-40s %7.2f  %7.2f\n", labels[row].constData(), best.wall, best.cpu);
            else
                std::printf("  %-40s %7s  %7s\n", labels[row].constData(), "n/a", "n/a");
        }
        const Best &autoBest = format.best[Auto];
        const auto ratio = [&](const char *label, Row below, const QByteArray &target) {
            const Best &other = format.best[below];
            if (autoBest.ran && other.ran)
                std::printf("  %-40s %7.3f", label, autoBest.wall / other.wall);
            else
                std::printf("  %-40s %7s", label, "n/a");
            std::printf("%s\n", target.isEmpty() ? "" : ("  (target " + target + ')').constData());
        };
        ratio("auto / jobs 1", Jobs1, "at most " + QByteArray::number(format.target, 'f', 2));
        ratio("auto / parallel of torvane-cli", ParallelCli, "below 1");
        ratio("auto / parallel of bare ffmpeg", FfmpegParallel, {});
        if (format.extension == "mp4")
            ratio("auto / HandBrakeCLI", HandBrake, {});
    }
    std::printf("\nthe whole bench took %.0f s\n", double(whole.elapsed()) / 1000);
    return 0;
}
