// Fast lossless rotation against encoding, both through the real conv: six
// 8-second 640x480 clips either way, then a 5-minute 1080p clip turned
// losslessly, next to ffmpeg copying it with the same arguments by itself.
#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString conv = QStringLiteral(TORVANE_BUILD_DIR "/data/conv");

// The arguments the batch gives conv for MP4, turned a quarter clockwise.
QStringList convArguments(const QString &source, const QString &output, bool lossless)
{
    QStringList args = {source,           u"-oac"_s, u"mp3lame"_s, u"-lameopts"_s,
                        u"preset=128"_s,  u"-ovc"_s, u"x264"_s,    u"-x264encopts"_s,
                        u"bitrate=800"_s, u"-vf"_s,  u"rotate=1"_s};
    if (lossless)
        args << u"-lossless"_s;
    return args << u"-o"_s << output;
}

// Best wall time of a few rounds of work(round), in ms; -1 when it failed.
template<typename Work> qint64 best(int rounds, Work work)
{
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!work(round))
            return -1;
        fastest = std::min(fastest, timer.elapsed());
    }
    return fastest;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!QFile::exists(conv)) {
        std::printf("lossless rotation: no encoder at %s\n", qPrintable(conv));
        return 1;
    }
    bench::printMachine();
    QTemporaryDir dir;
    QStringList clips;
    for (int i = 0; i < 6; ++i) {
        clips << dir.filePath(u"clip%1.mp4"_s.arg(i));
        if (!bench::makeClip(clips.last(), 8, u"640x480"_s))
            return 1;
    }
    const QString feature = dir.filePath(u"feature.mp4"_s);
    if (!bench::makeClip(feature, 300, u"1920x1080"_s,
                         {u"-preset"_s, u"ultrafast"_s, u"-b:v"_s, u"1M"_s}))
        return 1;

    bool allCopied = true;
    const auto throughConv = [&](bool lossless) {
        return [&, lossless](int round) {
            for (int i = 0; i < clips.size(); ++i) {
                QByteArray said;
                const QString out = dir.filePath(u"%1-%2-%3.mp4"_s.arg(lossless).arg(round).arg(i));
                if (!bench::run(conv, convArguments(clips[i], out, lossless),
                                QProcessEnvironment::systemEnvironment(), &said))
                    return false;
                allCopied = allCopied && (!lossless || said.contains("[torvane] lossless=copy"));
            }
            return true;
        };
    };
    const qint64 encoded = best(1, throughConv(false));
    const qint64 copied = best(3, throughConv(true));

    const qint64 featureCopied = best(3, [&](int round) {
        QByteArray said;
        const bool ok = bench::run(
            conv, convArguments(feature, dir.filePath(u"feature%1.mp4"_s.arg(round)), true),
            QProcessEnvironment::systemEnvironment(), &said);
        allCopied = allCopied && said.contains("[torvane] lossless=copy");
        return ok;
    });
    // What a user would type to do the same with ffmpeg alone.
    const qint64 featureDirect = best(3, [&](int) {
        return bench::spawn({"ffmpeg", "-nostdin", "-y", "-i", QFile::encodeName(feature), "-map",
                             "0:V:0", "-c:v", "copy", "-metadata:s:v:0", "rotate=270", "-map",
                             "0:a:0", "-c:a", "copy", "-f", "mp4",
                             QFile::encodeName(dir.filePath(u"direct.mp4"_s))});
    });
    if (encoded < 0 || copied < 0 || featureCopied < 0 || featureDirect < 0 || !allCopied) {
        std::printf("lossless rotation: a run failed or was not lossless\n");
        return 1;
    }

    std::printf("six 8 s 640x480 H.264 clips, turned 90 degrees clockwise to MP4 through conv\n");
    std::printf("encoding:               %6lld ms\n", static_cast<long long>(encoded));
    std::printf("lossless, best of 3:    %6lld ms\n", static_cast<long long>(copied));
    std::printf("speed-up:               %6.1fx (target at least 10x)\n",
                double(encoded) / double(std::max<qint64>(copied, 1)));
    std::printf("5-minute 1080p H.264 clip, lossless, best of 3\n");
    std::printf("through conv:           %6lld ms (target under 2000)\n",
                static_cast<long long>(featureCopied));
    std::printf("ffmpeg alone:           %6lld ms\n", static_cast<long long>(featureDirect));
    return 0;
}
