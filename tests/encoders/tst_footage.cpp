// Footage as phones and cameras make it: HDR, sizes and rates that codecs do
// not take, uneven frame timing, several video tracks, photos, long texts;
// each through the encoders as the batch runs them, on clips made here.
// The real samples in ../shared/samples, where present, go through
// torvane-cli the same way.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "encodertests.h"

namespace {

const char *x264 = "-oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=400";
const char *mpeg1 = "-oac mp3lame -lameopts preset=64 -ovc lavc -lavcopts "
                    "vcodec=mpeg1video:vbitrate=600:vpass=1 -ofps 24 -of lavf "
                    "-lavfopts format=yuv4mpeg";

const QString samplesDir = QStringLiteral(TORVANE_TEST_DATA "/../../../shared/samples");

// The first picture, as 8-bit 4:2:0 in the output's own colours: its mean
// brightness and its mean distance from grey in the two colour planes.
struct Picture
{
    double luma = -1;
    double chroma = -1;
};
Picture firstPicture(const QString &path, const QString &filter = u"format=yuv420p"_s)
{
    QProcess decode;
    decode.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, path, u"-frames:v"_s, u"1"_s, u"-vf"_s,
                               filter + u",scale=64:48"_s, u"-f"_s, u"rawvideo"_s, u"-pix_fmt"_s,
                               u"yuv420p"_s, u"pipe:1"_s});
    decode.waitForFinished(-1);
    const QByteArray raw = decode.readAllStandardOutput();
    const int pixels = 64 * 48;
    if (raw.size() != pixels * 3 / 2)
        return {};
    Picture picture{0, 0};
    for (int i = 0; i < pixels; ++i)
        picture.luma += uchar(raw[i]);
    for (int i = pixels; i < raw.size(); ++i)
        picture.chroma += std::abs(uchar(raw[i]) - 128);
    picture.luma /= pixels;
    picture.chroma /= pixels / 2;
    return picture;
}

// Where a stream ends, in seconds from the start of the file's first stream,
// as a player counts them; a stream without timestamps (AVI's video) starts
// with the file.
double reach(const QString &path, const char *stream)
{
    const auto frames = [&path](const char *which) {
        return run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s,
                                  QString::fromLatin1(which), u"-show_frames"_s, u"-show_entries"_s,
                                  u"frame=best_effort_timestamp_time,pkt_duration_time"_s, u"-of"_s,
                                  u"csv=p=0"_s, path})
            .output.split('\n');
    };
    double first = 1e9;
    for (const char *which : {"v:0", "a:0"}) {
        bool ok = false;
        const double t = frames(which).first().split(',').first().toDouble(&ok);
        first = std::min(first, ok ? t : 0.0);
    }
    double end = 0, total = 0;
    bool timed = true;
    for (const QByteArray &line : frames(stream)) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() < 2)
            continue;
        bool ok = false;
        const double t = f[0].toDouble(&ok), d = f[1].toDouble();
        timed = timed && ok;
        total += d;
        end = std::max(end, t + d);
    }
    return timed ? end - first : total;
}

// The video frames a player decodes.
QByteArray frames(const QString &path)
{
    return run(u"ffprobe"_s,
               {u"-v"_s, u"error"_s, u"-count_frames"_s, u"-select_streams"_s, u"v:0"_s,
                u"-show_entries"_s, u"stream=nb_read_frames"_s, u"-of"_s, u"csv=p=0"_s, path})
        .output.trimmed();
}

} // namespace

class TestFootage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_runs = 0;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Runs an encoder; %OUT in the arguments is a fresh folder of its own.
    Result encode(const QString &tool, QStringList args, QString *outDir = nullptr)
    {
        const QString dir = path(u"out%1"_s.arg(++m_runs));
        QDir().mkpath(dir);
        for (QString &arg : args)
            arg.replace(u"%OUT"_s, dir);
        if (outDir)
            *outDir = dir;
        return run(encoders + tool, args, {}, 120000);
    }
    static QString written(const Result &r)
    {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(machineValue(r.output, "output")));
    }

    // A clip of testsrc2 tagged as HDR: 10 bits, BT.2020, the given transfer.
    bool makeHdr(const QString &file, const char *transfer)
    {
        return QFile::exists(file) ||
               ffmpeg(
                   words("-f lavfi -i testsrc2=s=320x240:r=10:d=1 -f lavfi -i sine=r=48000:d=1 "
                         "-pix_fmt yuv420p10le -c:v libx265 -color_primaries bt2020 "
                         "-colorspace bt2020nc -c:a aac -x265-params") +
                   QStringList{u"log-level=none:colorprim=bt2020:colormatrix=bt2020nc:transfer="_s +
                                   QString::fromLatin1(transfer),
                               u"-color_trc"_s, QString::fromLatin1(transfer), file});
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // PQ and HLG into every 8-bit codec the formats write: tone-mapped to SDR
    // BT.709, as ffmpeg's own tone mapping shows it, never the raw values a
    // player shows grey; a lossless copy keeps the HDR.
    void hdr_data()
    {
        QTest::addColumn<QString>("transfer");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("copy");
        for (const char *transfer : {"smpte2084", "arib-std-b67"}) {
            const auto row = [transfer](const char *name, const char *tool, const QString &args,
                                        bool copy = false) {
                QTest::addRow("%s, %s", transfer, name)
                    << QString::fromLatin1(transfer) << QString::fromLatin1(tool)
                    << args.split(u' ') << copy;
            };
            row("H.264 in MP4", "conv", u"%SRC "_s + QString::fromUtf8(x264) + u" -o %OUT/x.mp4"_s);
            row("H.264 in FLV", "conv",
                u"%SRC "_s + QString::fromUtf8(x264) + u" -of avi -o %OUT/x.flv"_s);
            row("MPEG-1", "conv", u"%SRC "_s + QString::fromUtf8(mpeg1) + u" -o %OUT/x.mpg"_s);
            row("RealVideo", "coder", u"-i %SRC -y -vcodec rv10 -b 1200k -f rm %OUT/x.rm"_s);
            row("MPEG-4 in 3GP", "coder2",
                u"-i %SRC -y -s 176x144 -vcodec mpeg4 -acodec amr_nb -ab 12.2k %OUT/x.3gp"_s);
            row("a lossless copy", "conv",
                u"%SRC "_s + QString::fromUtf8(x264) + u" -vf rotate=1 -lossless -o %OUT/x.mp4"_s,
                true);
        }
    }
    void hdr()
    {
        QFETCH(QString, transfer);
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(bool, copy);
        const QString source = path(transfer + u".mp4"_s);
        if (!makeHdr(source, transfer.toLatin1().constData()))
            QSKIP("this ffmpeg cannot make HEVC");
        args.replaceInStrings(u"%SRC"_s, source);
        const Result r = encode(tool, args);
        QVERIFY2(r.code == 0, r.output.constData());
        const QJsonObject video = firstStream(probe(written(r)), u"video"_s);
        if (copy) {
            QCOMPARE(video[u"color_transfer"_s].toString(), transfer);
            QCOMPARE(video[u"pix_fmt"_s].toString(), u"yuv420p10le"_s);
            return;
        }
        QVERIFY2(r.output.contains("tone-mapped to SDR BT.709"), r.output.constData());
        QCOMPARE(video[u"pix_fmt"_s].toString(), u"yuv420p"_s);
        const QString told = video[u"color_transfer"_s].toString();
        QVERIFY2(told.isEmpty() || told == u"bt709", qPrintable(told));

        // ffmpeg's own tone mapping of the source is the picture to show;
        // the raw values, taken as SDR, are far from it.
        const Picture out = firstPicture(written(r));
        const Picture wanted = firstPicture(
            source, u"zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                    "tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv420p"_s);
        const Picture raw = firstPicture(source);
        QVERIFY(std::abs(raw.luma - wanted.luma) > 20);
        QVERIFY2(std::abs(out.luma - wanted.luma) < 8 && std::abs(out.chroma - wanted.chroma) < 8,
                 qPrintable(u"luma %1 chroma %2, %3 and %4 wanted"_s.arg(out.luma)
                                .arg(out.chroma)
                                .arg(wanted.luma)
                                .arg(wanted.chroma)));
    }

    // Sizes, rates and bitrates a codec does not take are fitted to it: a
    // large picture within RealVideo's blocks, another shape in black bars,
    // 12 kHz sound resampled for 320 kbit/s MP3, a bitrate MP2 lacks lowered.
    void codecLimits_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QSize>("size");     // invalid: any within the codec's blocks
        QTest::addColumn<int>("sampleRate"); // 0: any
        QTest::addColumn<QString>("videoCodec");
        const auto row = [](const char *name, const char *tool, const QString &args, QSize size,
                            int rate, const char *codec) {
            QTest::newRow(name) << QString::fromLatin1(tool) << args.split(u' ') << size << rate
                                << QString::fromLatin1(codec);
        };
        row("RealVideo from 1920x1080", "coder",
            u"-i %BIG -y -vcodec rv10 -b 1200k -f rm -ab 128k -ac 2 %OUT/x.rm"_s, QSize(), 0,
            "rv10");
        row("RealVideo at 320x240, letterboxed", "coder",
            u"-i %BIG -y -s 320x240 -vcodec rv10 -b 300k -f rm -ar 22050 -ab 64k -ac 1 %OUT/x.rm"_s,
            QSize(320, 240), 0, "rv10");
        row("H.263 at a size it lacks", "coder", u"-i %BIG -y -s 320x240 -vcodec h263 %OUT/x.3gp"_s,
            QSize(352, 288), 0, "h263");
        row("320 kbit/s MP3 from 12 kHz, in MP4", "conv",
            u"%BIG -oac mp3lame -lameopts preset=320 -ovc x264 -x264encopts bitrate=400 -o "
            "%OUT/x.mp4"_s,
            QSize(1920, 1080), 32000, "h264");
        row("MP2 at 12.2 kbit/s, which it lacks", "coder", u"-i %BIG -y -ab 12.2k %OUT/x.mpg"_s,
            QSize(1920, 1080), 16000, "mpeg1video");
    }
    void codecLimits()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QSize, size);
        QFETCH(int, sampleRate);
        QFETCH(QString, videoCodec);
        const QString big = path(u"big.mp4"_s);
        QVERIFY(QFile::exists(big) ||
                ffmpeg(words("-f lavfi -i testsrc2=s=1920x1080:r=10:d=0.5 -f lavfi -i "
                             "sine=r=12000:d=0.5 -c:v libx264 -preset ultrafast -c:a aac") +
                       QStringList{big}));
        args.replaceInStrings(u"%BIG"_s, big);
        const Result r = encode(tool, args);
        // The encoder's own check holds the picture's shape and length too.
        QVERIFY2(r.code == 0, r.output.constData());
        const QJsonObject info = probe(written(r));
        const QJsonObject video = firstStream(info, u"video"_s);
        QCOMPARE(video[u"codec_name"_s].toString(), videoCodec);
        const QSize made = frameSize(video);
        if (size.isValid())
            QCOMPARE(made, size);
        else
            QVERIFY2(made.width() % 16 == 0 && made.height() % 16 == 0 &&
                         made.width() / 16 * (made.height() / 16) < 4096,
                     qPrintable(u"%1x%2"_s.arg(made.width()).arg(made.height())));
        if (sampleRate > 0)
            QCOMPARE(firstStream(info, u"audio"_s)[u"sample_rate"_s].toString().toInt(),
                     sampleRate);
    }

    // Uneven frame gaps, and sound that starts after the picture: every
    // format keeps the picture's length within a frame and the sound with it;
    // where timestamps allow, every frame stays at its own time.
    void frameTiming_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("args");
        QTest::addColumn<bool>("sameFrames"); // every source frame kept, none added
        QTest::newRow("AVI") << u"conv"_s << QString::fromUtf8(mpeg1) + u" -o %OUT/x.avi"_s
                             << false;
        QTest::newRow("MPG") << u"conv"_s << QString::fromUtf8(mpeg1) + u" -o %OUT/x.mpg"_s
                             << false;
        QTest::newRow("MP4") << u"conv"_s << QString::fromUtf8(x264) + u" -o %OUT/x.mp4"_s << true;
        QTest::newRow("FLV") << u"conv"_s << QString::fromUtf8(x264) + u" -of avi -o %OUT/x.flv"_s
                             << true;
        QTest::newRow("RM") << u"coder"_s << u"-y -vcodec rv10 -b 300k -f rm %OUT/x.rm"_s << false;
        QTest::newRow("3GP") << u"coder2"_s
                             << u"-y -s 176x144 -vcodec mpeg4 -acodec amr_nb -ab 12.2k %OUT/x.3gp"_s
                             << false;
    }
    void frameTiming()
    {
        QFETCH(QString, tool);
        QFETCH(QString, args);
        QFETCH(bool, sameFrames);
        // A slow-motion phone clip's way: a long first frame, then 60 a second;
        // its sound starts 0.2 s in.
        const QString source = path(u"uneven.mp4"_s);
        QVERIFY(QFile::exists(source) ||
                ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=60:d=1.5 -itsoffset 0.2 -f lavfi -i "
                             "sine=r=44100:d=1.2 -vf setpts=if(eq(N\\,0)\\,0\\,0.3+N/60)/TB "
                             "-fps_mode passthrough -c:v libx264 -c:a aac") +
                       QStringList{source}));
        QStringList arguments = args.split(u' ');
        arguments.prepend(source);
        if (tool != u"conv")
            arguments.prepend(u"-i"_s);
        const Result r = encode(tool, arguments);
        QVERIFY2(r.code == 0, r.output.constData());
        const QString out = written(r);

        const double picture = reach(source, "v:0"), sound = reach(source, "a:0");
        const QStringList rate =
            firstStream(probe(out), u"video"_s)[u"r_frame_rate"_s].toString().split(u'/');
        const double frame = rate.last().toDouble() / rate.first().toDouble();
        const double outPicture = reach(out, "v:0"), outSound = reach(out, "a:0");
        QVERIFY2(std::abs(outPicture - picture) <= std::max(frame, picture * 0.02) + 0.001,
                 qPrintable(u"picture %1 s, %2 s wanted"_s.arg(outPicture).arg(picture)));
        // Sound codecs add their own frame or two of delay.
        QVERIFY2(std::abs(outSound - sound) <= 0.1,
                 qPrintable(u"sound to %1 s, to %2 s wanted"_s.arg(outSound).arg(sound)));
        if (sameFrames)
            QCOMPARE(frames(out), frames(source));
    }

    // A motion photo: a one-frame still track, then the video. The video is
    // converted, and the log says which track it was.
    void mainVideoTrack()
    {
        const QString still = path(u"still.mp4"_s), moving = path(u"moving.mp4"_s),
                      source = path(u"motion.mp4"_s);
        QVERIFY(ffmpeg(words("-f lavfi -i color=c=red:s=640x480:r=10:d=0.1 -c:v libx264") +
                       QStringList{still}));
        QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=320x240:r=10:d=2 -c:v libx264") +
                       QStringList{moving}));
        QVERIFY(ffmpeg({u"-i"_s, still, u"-i"_s, moving, u"-map"_s, u"0"_s, u"-map"_s, u"1"_s,
                        u"-c"_s, u"copy"_s, source}));
        const Result r = encode(u"conv"_s, QStringList{source} + words(x264) +
                                               words("-vf rotate=1 -o %OUT/x.mp4"));
        QVERIFY2(r.code == 0, r.output.constData());
        QVERIFY2(r.output.contains("Video: track 1 of the source's 2 video tracks, 320x240"),
                 r.output.constData());
        const QJsonObject video = firstStream(probe(written(r)), u"video"_s);
        QCOMPARE(frameSize(video), QSize(240, 320));
        QCOMPARE(video[u"nb_frames"_s].toString(), u"20"_s);
    }

    // A photo taken in by a folder search fails with its own reason, in every
    // encoder, whatever it is stored in; one picture with sound is a video.
    void stillPicture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("picture");
        const auto rows = [](const char *file, bool picture) {
            for (const char *tool : {"conv", "coder"})
                QTest::addRow("%s, %s", file, tool)
                    << QString::fromLatin1(file) << QString::fromLatin1(tool) << picture;
        };
        rows("photo.jpg", true);
        rows("photo.png", true);
        rows("photo.heic", true);
        rows("one frame.mp4", true);
        rows("one frame with sound.mp4", false);
    }
    void stillPicture()
    {
        QFETCH(QString, file);
        QFETCH(QString, tool);
        QFETCH(bool, picture);
        const QString source = path(file);
        if (!QFile::exists(source)) {
            if (file.endsWith(u".heic")) {
                // A HEIF photo's boxes, which this libav does not read.
                QFile heic(source);
                QVERIFY(heic.open(QIODevice::WriteOnly));
                heic.write(QByteArray::fromHex("00000018667479706865696300000000"
                                               "6d69663168656963000000106d646174"
                                               "0000000000000000"));
            } else if (file.contains(u"sound")) {
                QVERIFY(ffmpeg({u"-i"_s, path(u"one frame.mp4"_s), u"-f"_s, u"lavfi"_s, u"-i"_s,
                                u"sine=d=1"_s, u"-c:v"_s, u"copy"_s, u"-c:a"_s, u"aac"_s, source}));
            } else {
                QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=64x48:r=10:d=1 -frames:v 1") +
                               QStringList{source}));
            }
        }
        const QStringList args = tool == u"conv"
                                     ? QStringList{source} + words(x264) + words("-o %OUT/x.mp4")
                                     : QStringList{u"-i"_s, source} + words("-y -vn %OUT/x.mp3");
        QString dir;
        const Result r = encode(tool, args, &dir);
        if (!picture) {
            QVERIFY2(r.code == 0, r.output.constData());
            return;
        }
        QCOMPARE(r.code, 1);
        QCOMPARE(machineValue(r.output, "error").split(' ').first(), QByteArray("still-picture"));
        QVERIFY2(r.output.trimmed().endsWith("is a still picture, not a video"),
                 r.output.constData());
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The check measures the streams the job converts: a subtitle, a second
    // sound track or a second video track that last longer are no part of it,
    // and a clip of a sparse source lasts the range asked for.
    void checkedLength_data()
    {
        QTest::addColumn<QStringList>("make");    // ffmpeg's arguments, then the source
        QTest::addColumn<QStringList>("options"); // conv's, before -o
        QTest::addColumn<double>("seconds");
        QTest::newRow("a subtitle cue at 25 to 30 s")
            << words("-f lavfi -i testsrc=s=176x144:r=10:d=4 -f lavfi -i sine=d=4 -i %SRT -map 0 "
                     "-map 1 -map 2 -c:v libx264 -c:a aac -c:s srt")
            << QStringList() << 4.0;
        QTest::newRow("a second sound track of 12 s")
            << words("-f lavfi -i testsrc=s=176x144:r=10:d=4 -f lavfi -i sine=d=4 -f lavfi -i "
                     "sine=d=12 -map 0 -map 1 -map 2 -c:v libx264 -c:a aac")
            << QStringList() << 4.0;
        QTest::newRow("a second video track of 10 s")
            << words("-f lavfi -i testsrc=s=176x144:r=10:d=4 -f lavfi -i "
                     "testsrc=s=64x48:r=10:d=10 -map 0 -map 1 -c:v libx264")
            << QStringList() << 4.0;
        QTest::newRow("a clip of a picture every 2 s")
            << words("-f lavfi -i testsrc=s=176x144:r=0.5:d=10 -c:v libx264")
            << words("-ss 1 -endpos 4") << 4.0;
    }
    void checkedLength()
    {
        QFETCH(QStringList, make);
        QFETCH(QStringList, options);
        QFETCH(double, seconds);
        const QString srt = path(u"late.srt"_s);
        QFile subtitles(srt);
        QVERIFY(subtitles.open(QIODevice::WriteOnly));
        subtitles.write("1\n00:00:25,000 --> 00:00:30,000\nlate\n\n");
        subtitles.close();
        const QString source =
            path(u"streams %1.mkv"_s.arg(QString::fromUtf8(QTest::currentDataTag())));
        make.replaceInStrings(u"%SRT"_s, srt);
        QVERIFY(ffmpeg(make + QStringList{source}));

        const Result r =
            encode(u"conv"_s, QStringList{source} + options + words(x264) + words("-o %OUT/x.mp4"));
        QVERIFY2(r.code == 0, r.output.constData());
        QVERIFY2(std::abs(machineValue(r.output, "duration").toDouble() - seconds) < 0.1,
                 r.output.constData());
        const double length = probe(written(r))[u"format"_s][u"duration"_s].toString().toDouble();
        QVERIFY2(std::abs(length - seconds) <= 0.5, qPrintable(QString::number(length)));
    }

    // Without the source's metadata a lossless copy keeps nothing of its
    // tracks' names and titles either: only what the file needs to play.
    void losslessWithoutMetadata_data()
    {
        QTest::addColumn<QString>("audio");
        QTest::newRow("copied here") << u"aac"_s;
        QTest::newRow("copied by ffmpeg, its sound encoded") << u"libopus"_s;
    }
    void losslessWithoutMetadata()
    {
        QFETCH(QString, audio);
        const QString source = path(u"named %1.mkv"_s.arg(audio));
        QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=10:d=1 -f lavfi -i sine=d=1 "
                             "-c:v libx264 -metadata title=Holiday -c:a") +
                       QStringList{audio, u"-metadata:s:v:0"_s, u"title=Anna's camera"_s,
                                   u"-metadata:s:v:0"_s, u"handler_name=Anna's camera"_s,
                                   u"-metadata:s:a:0"_s, u"title=Anna's voice"_s, source}));
        const Result r = encode(u"conv"_s, QStringList{source} + words(x264) +
                                               words("-vf rotate=1 -lossless -nometadata -o "
                                                     "%OUT/x.mp4"));
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(machineValue(r.output, "lossless"), QByteArray("copy"));
        const QJsonObject info = probe(written(r));
        for (const QJsonValue &stream : info[u"streams"_s].toArray()) {
            const QJsonObject tags = stream[u"tags"_s].toObject();
            for (auto it = tags.begin(); it != tags.end(); ++it)
                QVERIFY2(!it.value().toString().contains(u"Anna"_s),
                         qPrintable(it.key() + u'=' + it.value().toString()));
        }
        QVERIFY(!info[u"format"_s][u"tags"_s].toObject().contains(u"title"_s));
    }

    // A 70 kB title, which MP4 and Matroska hold, is cut to what RealMedia
    // stores and what FLV's readers take, in whole characters, so that the
    // file still reads, its other texts with it.
    void longTitle_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("most"); // bytes of the title a reader gives back
        QTest::newRow("RM") << u"coder"_s
                            << words("-i %SRC -y -vcodec rv10 -b 300k -f rm %OUT/x.rm") << 1023;
        QTest::newRow("FLV") << u"conv"_s
                             << words("%SRC") + words(x264) + words("-of avi -o %OUT/x.flv") << 255;
    }
    void longTitle()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, most);
        const QString title = QString(23400, u'视'); // three bytes each
        const QString source = path(u"long title.mkv"_s);
        QVERIFY(QFile::exists(source) ||
                ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=10:d=1 -f lavfi -i sine=d=1 -c:v "
                             "libx264 -c:a aac -metadata comment=Anna -metadata") +
                       QStringList{u"title="_s + title, source}));
        args.replaceInStrings(u"%SRC"_s, source);
        const Result r = encode(tool, args);
        QVERIFY2(r.code == 0, r.output.constData());
        const QJsonObject tags = probe(written(r))[u"format"_s][u"tags"_s].toObject();
        const QString kept = tags[u"title"_s].toString();
        QCOMPARE(kept.size(), most / 3);
        QVERIFY(title.startsWith(kept));
        // Matroska gives its keys in capitals.
        QCOMPARE(tags[u"comment"_s].toString() + tags[u"COMMENT"_s].toString(), u"Anna"_s);
    }

    // A copy keeps the pixels' shape the container gives, over the codec's.
    void losslessPixelAspect()
    {
        const QString plain = path(u"plain.mp4"_s), source = path(u"sar.mp4"_s);
        QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=320x240:r=10:d=1 -c:v libx264") +
                       QStringList{plain}));
        QVERIFY(
            ffmpeg({u"-i"_s, plain, u"-c"_s, u"copy"_s, u"-bsf:v"_s,
                    u"h264_metadata=sample_aspect_ratio=27/64"_s, u"-aspect"_s, u"4:3"_s, source}));
        const Result r = encode(u"conv"_s, QStringList{source} + words(x264) +
                                               words("-vf rotate=1 -lossless -o %OUT/x.mp4"));
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(machineValue(r.output, "lossless"), QByteArray("copy"));
        QCOMPARE(firstStream(probe(written(r)), u"video"_s)[u"sample_aspect_ratio"_s].toString(),
                 u"1:1"_s);
    }

    // The real footage, where it is present: each sample through the formats
    // that failed on it, and MP4, by torvane-cli as a user runs it. The
    // encoders' own check holds each output to its source.
    void samples_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QStringList>("options");
        if (!QDir(samplesDir).exists()) {
            QTest::newRow("no samples") << QString() << QStringList();
            return;
        }
        const QStringList all = QDir(samplesDir)
                                    .entryList({u"*.mp4"_s, u"*.mov"_s, u"*.MOV"_s, u"*.mkv"_s},
                                               QDir::Files, QDir::Name);
        for (const QString &sample : all) {
            for (const char *format : {"mp4", "rm"})
                QTest::addRow("%s, %s", qPrintable(sample), format)
                    << sample << QStringList{u"--format"_s, QString::fromLatin1(format)};
        }
        const auto row = [](const char *sample, const char *options) {
            QTest::addRow("%s, %s", sample, options)
                << QString::fromLatin1(sample) << QString::fromLatin1(options).split(u' ');
        };
        row("androidx_dolbyVision-hdr.MOV", "--format mp4 --lossless");
        row("androidx_dolbyVision-hdr.MOV", "--format mov --lossless");
        row("gopro_max-heromode.mp4", "--format mov --lossless");
        row("androidx_sample_sef_slow_motion.mp4", "--format mp4 --lossless");
        row("androidx_sample_sef_slow_motion.mp4", "--format 3gp");
        row("androidx_sample_android_slow_motion.mp4", "--format avi");
        // One picture shorter than a frame at AVI's rate, and its sound.
        row("nomexif_udta.auth.mp4", "--format avi");
    }
    void samples()
    {
        QFETCH(QString, sample);
        QFETCH(QStringList, options);
        if (!QDir(samplesDir).exists())
            QSKIP("no samples beside the project");
        const QString source = QDir(samplesDir).filePath(sample);
        const QString dir = path(u"sample%1"_s.arg(++m_runs));
        const Result r =
            run(QStringLiteral(TORVANE_BUILD_DIR "/torvane-cli"),
                options + QStringList{u"--jobs"_s, u"1"_s, u"--output"_s, dir, source}, {}, 240000);
        QVERIFY2(r.code == 0, r.output.constData());
        const QStringList made = QDir(dir).entryList(QDir::Files);
        QCOMPARE(made.size(), 1);
        const QJsonObject info = probe(QDir(dir).filePath(made.first()));
        const QJsonObject video = firstStream(info, u"video"_s),
                          before = firstStream(probe(source), u"video"_s);
        const bool hdr = QStringList{u"smpte2084"_s, u"arib-std-b67"_s}.contains(
            before[u"color_transfer"_s].toString());
        if (options.contains(u"--lossless"_s)) {
            QCOMPARE(video[u"color_transfer"_s].toString(), before[u"color_transfer"_s].toString());
            QCOMPARE(video[u"sample_aspect_ratio"_s].toString(u"1:1"_s),
                     before[u"sample_aspect_ratio"_s].toString(u"1:1"_s));
        } else if (hdr) {
            QCOMPARE(video[u"pix_fmt"_s].toString(), u"yuv420p"_s);
            const QStringList hdrTransfers = {u"smpte2084"_s, u"arib-std-b67"_s};
            QVERIFY(!hdrTransfers.contains(video[u"color_transfer"_s].toString()));
        }
        // A GoPro's GPS track, which MOV holds.
        if (sample.startsWith(u"gopro") && options.contains(u"--lossless"_s)) {
            const QJsonArray streams = info[u"streams"_s].toArray();
            QVERIFY(std::any_of(streams.begin(), streams.end(), [](const QJsonValue &s) {
                return s[u"codec_tag_string"_s].toString() == u"gpmd";
            }));
        }
    }
};

QTEST_GUILESS_MAIN(TestFootage)
#include "tst_footage.moc"
