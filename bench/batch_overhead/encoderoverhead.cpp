// The encoder program alone against ffmpeg run directly with the very argument
// vector the encoder gave it, on a clip so short that the difference is mostly
// what the encoder adds to every job: its own start, the part file, the probe.
#include "benchsupport.h"

#include <QCoreApplication>
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
    double ms = std::numeric_limits<double>::max();
    double cpuMs = std::numeric_limits<double>::max();
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString ffmpeg = QStandardPaths::findExecutable(u"ffmpeg"_s);
    if (ffmpeg.isEmpty()) {
        std::printf("encoder overhead: no ffmpeg\n");
        return 1;
    }
    bench::printMachine();

    constexpr int rounds = 20;
    QTemporaryDir dir;
    const QString clip = dir.filePath(u"tiny.mp4"_s);
    if (!bench::makeClip(clip, 1, u"160x120"_s))
        return 1;
    const QString output = dir.filePath(u"turned.mp4"_s);
    // The batch's command line for a quarter turn to MP4.
    const QList<QByteArray> encoder = {ENCODER,        QFile::encodeName(clip),
                                       "-oac",         "mp3lame",
                                       "-lameopts",    "preset=128",
                                       "-ovc",         "x264",
                                       "-x264encopts", "bitrate=400",
                                       "-vf",          "rotate=1",
                                       "-o",           QFile::encodeName(output)};

    // The arguments the encoder gives ffmpeg, from one run through the logging stand-in.
    const QString log = dir.filePath(u"argv.log"_s);
    if (!bench::spawn(encoder, {"TORVANE_FFMPEG=" FFMPEG_LOG,
                                "TORVANE_BENCH_FFMPEG=" + QFile::encodeName(ffmpeg),
                                "TORVANE_BENCH_LOG=" + QFile::encodeName(log)})) {
        std::printf("encoder overhead: the encoder failed\n");
        return 1;
    }
    const QList<bench::Record> records = bench::readRecords(log);
    if (records.size() != 1) {
        std::printf("encoder overhead: expected one ffmpeg run, saw %lld\n",
                    static_cast<long long>(records.size()));
        return 1;
    }
    QList<QByteArray> direct = records.first().args;
    direct.prepend(QFile::encodeName(ffmpeg));
    direct.last() = "file:" + QFile::encodeName(dir.filePath(u"direct.mp4"_s));
    // The encoder hands ffmpeg the source it opened as a descriptor, which a
    // run of its own does not have: it opens the clip by its name.
    if (const qsizetype input = direct.indexOf("-i"); input >= 0 && input + 1 < direct.size())
        direct[input + 1] = "file:" + QFile::encodeName(clip);

    const auto throughEncoder = [&] {
        // It never replaces a file, so each run needs the name free.
        QFile::remove(output);
        return bench::spawn(encoder, {"TORVANE_FFMPEG=" + QFile::encodeName(ffmpeg)});
    };
    const auto directly = [&] { return bench::spawn(direct); };
    Best viaEncoder, bare;
    const auto measure = [](Best &best, const auto &side) {
        QElapsedTimer timer;
        const double cpu = bench::childCpuMs();
        timer.start();
        if (!side())
            return false;
        best.ms = std::min(best.ms, double(timer.nsecsElapsed()) / 1e6);
        best.cpuMs = std::min(best.cpuMs, bench::childCpuMs() - cpu);
        return true;
    };
    // The sides take turns going first, so that neither always runs on a warmer machine.
    for (int round = 0; round < rounds; ++round) {
        const bool ok = round % 2 ? measure(viaEncoder, throughEncoder) && measure(bare, directly)
                                  : measure(bare, directly) && measure(viaEncoder, throughEncoder);
        if (!ok) {
            std::printf("encoder overhead: a run failed\n");
            return 1;
        }
    }

    std::printf("one clip of 1 s at 160x120 turned 90 degrees clockwise to MP4 by conv, "
                "best of %d\n",
                rounds);
    std::printf("                      wall        CPU\n");
    std::printf("ffmpeg run directly:  %7.1f ms  %7.1f ms\n", bare.ms, bare.cpuMs);
    std::printf("through the encoder:  %7.1f ms  %7.1f ms\n", viaEncoder.ms, viaEncoder.cpuMs);
    std::printf("added per job:        %7.1f ms  %7.1f ms  (target at most 30 ms)\n",
                viaEncoder.ms - bare.ms, viaEncoder.cpuMs - bare.cpuMs);
    return 0;
}
