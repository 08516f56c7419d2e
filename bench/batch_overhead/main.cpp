// Six 8-second clips turned through torvane-cli, against ffmpeg run directly
// with the very argument vectors our encoder gave it: what Torvane costs on top
// of what a user would run without it. Then the encoder's check of each
// output on its own: the part of that cost ffmpeg run directly never pays.
#include "benchsupport.h"
#include "libav.h"
#include "media.h"
#include "outputcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Best
{
    qint64 ms = std::numeric_limits<qint64>::max();
    double cpuMs = std::numeric_limits<double>::max();
    // Through torvane-cli: the batch's time outside ffmpeg, from the same run.
    double aroundMs = std::numeric_limits<double>::max();
};

// The encoder's check of one output, as it runs it once ffmpeg has ended. The
// encoder has probed the source by then, so libav is loaded and warm; so it is
// here, untimed. The expected figures are this batch's: a quarter turn, sound
// kept, the source's length.
double checkMs(const QString &source, const QString &output)
{
    const MediaInfo info = probeMedia(source);
    ExpectedOutput expected;
    expected.video = info.hasVideo;
    expected.audio = info.hasAudio;
    expected.shown = info.codedSize.transposed();
    expected.seconds = info.duration;
    QElapsedTimer timer;
    timer.start();
    const QList<Report::CheckDifference> differences = checkOutput(output, expected);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    // A check that fails on the way may well be quicker: no figure from it.
    if (!info.valid || !differences.isEmpty()) {
        std::printf("batch overhead: the check of %s found: %s\n", qPrintable(output),
                    differences.isEmpty() ? "an unreadable source"
                                          : qPrintable(describe(differences.first())));
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s);
    if (ffmpeg.isEmpty()) {
        std::printf("batch overhead: no ffmpeg\n");
        return 1;
    }
    bench::printMachine();

    constexpr int jobs = 6;
    constexpr int rounds = 5;
    QTemporaryDir dir;
    QStringList clips;
    for (int i = 0; i < jobs; ++i) {
        clips << dir.filePath(u"clip%1.mp4"_s.arg(i));
        if (!bench::makeClip(clips.last(), 8, u"640x480"_s))
            return 1;
    }

    const QString log = dir.filePath(u"argv.log"_s);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TORVANE_FFMPEG"_s, QStringLiteral(FFMPEG_LOG));
    env.insert(u"TORVANE_BENCH_FFMPEG"_s, ffmpeg);
    env.insert(u"TORVANE_BENCH_LOG"_s, log);

    QString why;
    if (!libav(&why)) {
        std::printf("batch overhead: libav cannot be loaded: %s\n", qPrintable(why));
        return 1;
    }

    QList<bench::Record> records;
    QStringList outputs; // of the last batch, in the order of the clips
    const auto throughCli = [&](int round) {
        QFile::remove(log);
        QByteArray said;
        if (!bench::run(QStringLiteral(TORVANE_CLI),
                        QStringList{u"--rotate"_s, u"cw"_s, u"--format"_s, u"mp4"_s, u"--output"_s,
                                    dir.filePath(u"cli%1"_s.arg(round))} +
                            clips,
                        env, &said))
            return false;
        records = bench::readRecords(log);
        outputs.clear();
        for (const QByteArray &line : said.split('\n'))
            if (line.startsWith("OK "))
                outputs << QString::fromUtf8(line.mid(3));
        if (outputs.size() != jobs || records.size() != jobs) {
            std::printf("batch overhead: expected %d jobs, got:\n%s\n", jobs, said.constData());
            return false;
        }
        return true;
    };
    // The vectors of the last batch, in the same order, writing to scratch names.
    const auto direct = [&](int) {
        QDir().mkpath(dir.filePath(u"direct"_s));
        for (int i = 0; i < jobs; ++i) {
            QList<QByteArray> args = records[i].args;
            args.prepend(ffmpeg.toLocal8Bit());
            args.last() = "file:" + QFile::encodeName(dir.filePath(u"direct/%1.out"_s.arg(i)));
            if (!bench::spawn(args)) {
                std::printf("batch overhead: ffmpeg failed on %s\n",
                            records[i].args.join(' ').constData());
                return false;
            }
        }
        return true;
    };
    Best cli, directly;
    const auto measure = [&](Best &best, const auto &side, int round) {
        QElapsedTimer timer;
        const double cpu = bench::childCpuMs();
        timer.start();
        if (!side(round))
            return false;
        const qint64 ns = timer.nsecsElapsed();
        best.ms = std::min(best.ms, ns / 1000000);
        best.cpuMs = std::min(best.cpuMs, bench::childCpuMs() - cpu);
        if (&best == &cli) {
            qint64 inFfmpeg = 0;
            for (const bench::Record &record : std::as_const(records))
                inFfmpeg += record.ns;
            best.aroundMs = std::min(best.aroundMs, double(ns - inFfmpeg) / 1e6 / jobs);
        }
        return true;
    };

    // Each round's outputs are checked once its batches are timed, outside them.
    QList<double> checks;
    const auto timeChecks = [&] {
        for (int i = 0; i < jobs; ++i) {
            const double ms = checkMs(clips[i], outputs[i]);
            if (ms < 0)
                return false;
            checks << ms;
        }
        return true;
    };

    // The first batch records the vectors; after that the sides take turns
    // going first, so that neither always runs on a warmer machine.
    if (!throughCli(rounds))
        return 1;
    for (int round = 0; round < rounds; ++round) {
        const bool ok = round % 2
                            ? measure(cli, throughCli, round) && measure(directly, direct, round)
                            : measure(directly, direct, round) && measure(cli, throughCli, round);
        if (!ok || !timeChecks())
            return 1;
    }

    std::printf("%d clips of 8 s at 640x480, turned 90 degrees clockwise to MP4, best of %d\n",
                jobs, rounds);
    std::printf("                      wall       CPU\n");
    std::printf("ffmpeg run directly:  %6lld ms  %7.0f ms\n", static_cast<long long>(directly.ms),
                directly.cpuMs);
    std::printf("through torvane-cli:  %6lld ms  %7.0f ms\n", static_cast<long long>(cli.ms),
                cli.cpuMs);
    std::printf("ratio:                %6.3f     %7.3f  (target at most 1.05)\n",
                double(cli.ms) / double(std::max<qint64>(directly.ms, 1)),
                cli.cpuMs / std::max(directly.cpuMs, 1.0));
    std::printf("overhead per job:     %6.1f ms  %7.1f ms\n", double(cli.ms - directly.ms) / jobs,
                (cli.cpuMs - directly.cpuMs) / jobs);
    // The difference of two sides that each take seconds moves with whatever
    // else the machine does; the time spent around ffmpeg in one run does not.
    std::printf("time around ffmpeg:   %6.1f ms per job, in the same run (target at most 30 ms)\n",
                cli.aroundMs);
    // Part of the time around ffmpeg: the check is always on, so the figures
    // above include it.
    std::sort(checks.begin(), checks.end());
    const double median = checks[checks.size() / 2];
    const double perJob = double(cli.ms) / jobs;
    std::printf("output check:         %6.1f ms per job, median of %lld (slowest %.1f ms), "
                "%.2f%% of a job's %.0f ms\n",
                median, static_cast<long long>(checks.size()), checks.last(), median * 100 / perJob,
                perJob);
    return 0;
}
