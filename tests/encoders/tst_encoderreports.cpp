// What the encoder reads off ffmpeg's log and what it hands from the batch's
// probe to an encoder: the pieces that let a job run without loading libav.
#include "ffmpegreport.h"
#include "mediatext.h"

#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// ffmpeg 5.1's log at "-loglevel level+info", as it writes an MP4 turned a
// quarter and an HDR source kept as it is.
const QByteArray encodeLog = R"([info] Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'file:/dev/fd/4':
[info]   Metadata:
[info]     title           : first line
[info]                     :   Stream #0:0: Video: h264, yuv420p, 1x1
[info]   Stream #0:0[0x1](und): Video: mpeg4 (Simple Profile) (mp4v / 0x7634706D), yuv420p, 640x480 [SAR 1:1 DAR 4:3], 478 kb/s, 25 fps, 25 tbr, 12800 tbn (default)
[info] Stream mapping:
[info]   Stream #0:0 -> #0:0 (mpeg4 (native) -> h264 (libx264))
[libx264 @ 0x55f0c] [info] using SAR=1/1
[info] Output #0, mp4, to 'file:/dev/fd/3':
[info]   Metadata:
[info]     title           : first line
[info]                     :   Stream #0:0: Video: h264, yuv420p, 1x1
[info]   Stream #0:0(und): Video: h264 (avc1 / 0x31637661), yuv420p(tv, bt709, progressive), 480x640 [SAR 1:1 DAR 3:4], q=2-31, 400 kb/s, 25 fps, 12800 tbn (default)
[info]     Metadata:
[info]       handler_name    : VideoHandler
[info]   Stream #0:1(und): Audio: mp3 (mp4a / 0x6134706D), 44100 Hz, mono, fltp, 128 kb/s (default)
[warning] something ffmpeg did not like
[info] video:104kB audio:63kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 2.9%
)";

const QByteArray hdrLog = R"([info] Output #0, mov, to 'file:/dev/fd/3':
[info]   Stream #0:0: Video: hevc (hvc1 / 0x31637668), yuv420p10le(tv, bt2020nc/bt2020/arib-std-b67), 1920x1080 [SAR 1:1 DAR 16:9], q=2-31, 30 fps
[info]     Side data:
[info]       displaymatrix: rotation of -90.00 degrees
[info] video:104kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 1%
)";

FfmpegOutput read(const QByteArray &log, QList<QByteArray> *levels = nullptr)
{
    FfmpegLogReader reader;
    for (const QByteArray &line : log.split('\n')) {
        QByteArray message;
        const QByteArray level = reader.feed(line, &message);
        if (levels)
            *levels << level;
    }
    return reader.output();
}

ExpectedOutput expected(QSize shown, double seconds, bool audio, bool sdr = true)
{
    ExpectedOutput e;
    e.video = true;
    e.audio = audio;
    e.shown = shown;
    e.aspect = double(shown.width()) / shown.height();
    e.sdr = sdr;
    e.seconds = seconds;
    return e;
}

} // namespace

Q_DECLARE_METATYPE(Report::CheckFinding)

class TestEncoderReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Only the output's own streams count, whatever a title holds.
    void readsTheOutputsStreams()
    {
        QList<QByteArray> levels;
        const FfmpegOutput out = read(encodeLog, &levels);
        QVERIFY(out.closed);
        QCOMPARE(out.streams.size(), 2);
        QVERIFY(out.streams[0].video && !out.streams[1].video);
        QCOMPARE(out.streams[0].codec, u"h264"_s);
        QCOMPARE(out.streams[0].size, QSize(480, 640));
        QCOMPARE(out.streams[0].pixelFormat, u"yuv420p"_s);
        QCOMPARE(out.streams[0].transfer, u"bt709"_s);
        QVERIFY(levels.contains("warning") && levels.contains("info"));

        const FfmpegOutput hdr = read(hdrLog);
        QCOMPARE(hdr.streams.size(), 1);
        QCOMPARE(hdr.streams[0].transfer, u"arib-std-b67"_s);
        QCOMPARE(hdr.streams[0].display, std::optional(PictureTransform::turn(1)));
    }

    // The check of an encode from ffmpeg's word finds what the full one would.
    void checksWhatFfmpegSaid_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<ExpectedOutput>("want");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QList<Report::CheckFinding>>("found");
        using F = Report::CheckFinding;
        QTest::newRow("as asked") << encodeLog << expected({480, 640}, 4, true) << 4.0
                                  << QList<F>{};
        QTest::newRow("another size, short")
            << encodeLog << expected({640, 480}, 8, true) << 4.0 << QList<F>{F::Size, F::Duration};
        QTest::newRow("turned by its matrix, HDR kept for SDR")
            << hdrLog << expected({1080, 1920}, 0, false) << 4.0 << QList<F>{F::Colour};
        QTest::newRow("no sound") << hdrLog << expected({1080, 1920}, 0, true, false) << 4.0
                                  << QList<F>{F::NoSound};
        QTest::newRow("never closed")
            << encodeLog.left(encodeLog.indexOf("[info] video:")) << expected({480, 640}, 4, true)
            << 4.0 << QList<F>{F::Unreadable};
    }
    void checksWhatFfmpegSaid()
    {
        QFETCH(QByteArray, log);
        QFETCH(ExpectedOutput, want);
        QFETCH(double, seconds);
        QFETCH(QList<Report::CheckFinding>, found);
        QList<Report::CheckFinding> findings;
        for (const Report::CheckDifference &d : checkReported(read(log), seconds, want))
            findings << d.finding;
        QCOMPARE(findings, found);
    }

    // What the batch's probe found comes back whole for the very file it
    // probed, and for no other.
    void sourceInfoTravelsForItsFileOnly()
    {
        MediaInfo info;
        info.valid = true;
        info.duration = 4.25;
        info.hasVideo = info.hasAudio = true;
        info.videoCodec = u"hevc"_s;
        info.codedSize = QSize(1920, 1080);
        info.pixelAspect = 4.0 / 3;
        info.colour.transfer = u"arib-std-b67"_s;
        info.colour.bitDepth = 10;
        info.display = PictureTransform::mirror().then(PictureTransform::turn(3));
        info.creationTime = u"2024-05-01T10:20:30.000000Z"_s;
        info.tags = {{"title", "a&b=c\n[torvane] output=/x\n"}, {"artist", "\xe6\x9d\x8e"}};
        info.dataTracks = {{2, u"none"_s, u"mebx"_s}};
        QTemporaryFile file;
        QVERIFY(file.open());
        const QByteArray stamp = fileStamp(int(file.handle()));
        const QByteArray text = mediaText(info, stamp);
        QVERIFY(!text.contains('\n') && !text.contains(' '));
        const std::optional<MediaInfo> back = mediaFromText(text, stamp);
        QVERIFY(back);
        QCOMPARE(mediaText(*back, stamp), text);
        QCOMPARE(back->display, info.display);
        QCOMPARE(back->tags, info.tags);
        QCOMPARE(back->pixelAspect, info.pixelAspect);
        // Changed since, or another file: not taken.
        QVERIFY(file.write("x") == 1 && file.flush());
        QVERIFY(!mediaFromText(text, fileStamp(int(file.handle()))));
        QVERIFY(!mediaFromText(text, {}));
        QVERIFY(!mediaFromText("v=0&" + text, stamp));
    }
};

QTEST_GUILESS_MAIN(TestEncoderReports)
#include "tst_encoderreports.moc"
