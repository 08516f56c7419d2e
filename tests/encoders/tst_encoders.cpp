#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Result
{
    int code = -1;
    QByteArray output; // stdout and stderr joined, as the caller reads them
};

const QString encoders = QStringLiteral(TORVANE_BUILD_DIR "/data/");

Result run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll()};
}

bool ffmpeg(const QStringList &args)
{
    return run(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + args).code == 0;
}

QJsonObject probe(const QString &path)
{
    const Result r = run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-print_format"_s, u"json"_s,
                                        u"-show_format"_s, u"-show_streams"_s, path});
    return QJsonDocument::fromJson(r.output).object();
}

QJsonObject firstStream(const QJsonObject &info, const QString &type)
{
    for (const QJsonValue &s : info.value(u"streams"_s).toArray())
        if (s[u"codec_type"_s].toString() == type)
            return s.toObject();
    return {};
}

QSize frameSize(const QJsonObject &video)
{
    return {video[u"width"_s].toInt(), video[u"height"_s].toInt()};
}

// A command line from a space-separated text; placeholders such as %SRC are
// replaced afterwards, so the paths they stand for may hold spaces.
QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

const char *x264 = "-oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=400";

// Quadrant colours of the test picture: top left, top right, bottom left, bottom right.
struct Rgb
{
    int r, g, b;
};
const QList<Rgb> quadColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

} // namespace

class TestEncoders : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QString> m_names;
    int m_dirs = 0;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString freshDir()
    {
        const QString dir = path(u"out%1"_s.arg(++m_dirs));
        QDir().mkpath(dir);
        return dir;
    }
    // Runs an encoder with the prepared files for %SRC and the like, and a fresh
    // empty folder, returned in outDir, for %OUT.
    Result encode(const QString &tool, QStringList args, QString *outDir = nullptr)
    {
        QMap<QString, QString> names = m_names;
        names.insert(u"%OUT"_s, freshDir());
        if (outDir)
            *outDir = names.value(u"%OUT"_s);
        for (QString &arg : args)
            for (auto it = names.cbegin(); it != names.cend(); ++it)
                arg.replace(it.key(), it.value());
        return run(encoders + tool, args);
    }

    // What the caller reads while an encoder runs: "(NN%)" statuses from conv, and
    // from the coders one duration near the start, then times in seconds.
    static void verifyProgress(const QString &tool, const QByteArray &output)
    {
        const QString text = QString::fromUtf8(output);
        if (tool == u"conv"_s) {
            static const QRegularExpression status(u"\\(([ \\d]\\d|100)%\\)\r"_s);
            QList<int> percents;
            for (const auto &m : status.globalMatch(text))
                percents << m.captured(1).trimmed().toInt();
            QVERIFY2(percents.size() >= 2 && percents.last() == 100, output.constData());
            for (qsizetype i = 1; i < percents.size(); ++i)
                QVERIFY2(percents[i] > percents[i - 1], output.constData());
            // The caller takes every parenthesis for a status.
            QCOMPARE(output.count('('), percents.size());
            QCOMPARE(output.count(')'), percents.size());
            return;
        }
        const qsizetype duration = text.indexOf(u"Duration: "_s);
        QVERIFY(duration >= 0 && duration < 1024);
        QCOMPARE(text.count(u"Duration: "_s), 1);
        QVERIFY(
            text.mid(duration).contains(QRegularExpression(u"^Duration: 00:00:0[12]\\.\\d\\d,"_s)));
        const qsizetype time = text.indexOf(u"time="_s);
        QVERIFY(time > duration);
        QVERIFY(text.mid(time).contains(QRegularExpression(u"^time=\\d+\\.\\d\\d "_s)));
        QVERIFY(!text.contains(u"time=00:"_s));
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString av = path(u"av.avi"_s), quad = path(u"quad.mkv"_s),
                      tmp = path(u"job tmp.mp4"_s), upright = path(u"upright.mp4"_s);
        QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=10:d=2 -f lavfi -i "
                             "sine=r=44100:d=2 -c:v mpeg4 -q:v 4 -c:a libmp3lame") +
                       QStringList{av}));
        QStringList quadArgs;
        for (const Rgb &c : quadColours)
            quadArgs << u"-f"_s << u"lavfi"_s << u"-i"_s
                     << u"color=c=0x"_s +
                            QString::asprintf("%02x%02x%02x:s=80x60:r=5:d=1", c.r, c.g, c.b);
        QVERIFY(ffmpeg(quadArgs + QStringList{u"-filter_complex"_s,
                                              u"[0][1]hstack[t];[2][3]hstack[b];[t][b]vstack"_s,
                                              u"-c:v"_s, u"ffv1"_s, quad}));
        // A phone stores portrait video as landscape plus a rotation for players.
        QVERIFY(ffmpeg({u"-i"_s, quad, u"-c:v"_s, u"libx264"_s, u"-qp"_s, u"10"_s, upright}));
        for (const QString &turn : {u"90"_s, u"270"_s}) {
            const QString phone = path(u"phone%1.mp4"_s.arg(turn));
            QVERIFY(ffmpeg({u"-i"_s, upright, u"-c"_s, u"copy"_s, u"-metadata:s:v:0"_s,
                            u"rotate="_s + turn, phone}));
            m_names.insert(u"%PHONE"_s + turn, phone);
        }
        QVERIFY(ffmpeg({u"-i"_s, av, u"-c:v"_s, u"libx264"_s, u"-c:a"_s, u"libmp3lame"_s, tmp}));
        QVERIFY(ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=r=44100:d=1"_s, path(u"tone.wav"_s)}));
        QFile broken(path(u"broken.avi"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        for (int i = 0; i < 16384; ++i) {
            const quint32 word = QRandomGenerator::global()->generate();
            broken.write(reinterpret_cast<const char *>(&word), sizeof word);
        }
        m_names.insert({{u"%SRC"_s, av},
                        {u"%QUAD"_s, quad},
                        {u"%TMP"_s, tmp},
                        {u"%AUDIO"_s, path(u"tone.wav"_s)},
                        {u"%BROKEN"_s, broken.fileName()}});
    }

    void outputs_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("output");
        // Each must be part of the probe's summary: f: format, b: brand, v: and a: codecs,
        // then size, frame rate, sample rate and channels.
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char *name, const char *tool, const QString &args, const char *out,
                      const char *expected) {
            const QString file = QString::fromUtf8(out);
            QTest::newRow(name) << QString::fromUtf8(tool)
                                << args.split(u' ', Qt::SkipEmptyParts) +
                                       QStringList{u"%OUT/"_s + file}
                                << file << words(expected);
        };
        const QString h264 = u"%SRC "_s + QString::fromUtf8(x264);
        const QString mpeg1 = u"%SRC -oac mp3lame -lameopts preset=96 -ovc lavc -lavcopts "
                              "vcodec=mpeg1video:vbitrate=800:vpass=1 -of lavf "
                              "-lavfopts format=yuv4mpeg"_s;
        const QString amr = u" -vcodec mpeg4 -acodec amr_nb -ac 1 -ar 8000 -ab 12.2k"_s;
        row("flv", "conv", h264 + u" -of avi -o"_s, "c.flv", "f:flv v:h264 176x144 a:mp3 44100Hz");
        row("flv from a silent source", "conv",
            u"%QUAD -oac mp3lame -lameopts preset=56 -ovc x264 -x264encopts bitrate=300 -o"_s,
            "c.flv", "f:flv v:h264 160x120 a:none");
        row("first pass tmp.mp4", "conv",
            u"%SRC -oac mp3lame -lameopts preset=320 -ovc x264 -x264encopts bitrate=1200 -of avi -o"_s,
            "jobtmp.mp4", "b:isom v:h264 176x144 a:mp3");
        row("mpg at 29 fps", "conv", mpeg1 + u" -ofps 29 -o"_s, "c.mpg",
            "f:mpeg v:mpeg1video 176x144 30000/1001fps a:mp3");
        row("avi at 24 fps", "conv", mpeg1 + u" -ofps 24 -o"_s, "c.avi",
            "f:avi v:mpeg1video 176x144 24/1fps a:mp3");
        row("mp4", "conv", h264 + u" -o"_s, "c.mp4", "b:isom v:h264 176x144 a:mp3");
        row("mov", "conv", h264 + u" -o"_s, "c.mov", "b:qt v:h264 176x144 a:mp3");
        row("mp3", "coder", u"-i %SRC -y -vn -ar 22050 -ab 64k -ac 1"_s, "c.mp3",
            "f:mp3 v:none a:mp3 22050Hz 1ch");
        row("mp3 from audio only, odd figures", "coder",
            u"-i %AUDIO -y -vn -ar 12000 -ab 28000k -ac 2"_s, "c.mp3",
            "f:mp3 v:none a:mp3 12000Hz 2ch");
        row("rm, fixed settings", "coder",
            u"-i %TMP -y -vcodec rv10 -b 1200k -f rm -ab 128k -ac 2"_s, "c.rm",
            "f:rm v:rv10 176x144 a:ac3 2ch");
        row("rm, size rounded to 16", "coder",
            u"-i %TMP -y -s 180x130 -vcodec rv10 -b 300k -f rm -ar 22050 -ab 64k -ac 1"_s, "c.rm",
            "f:rm v:rv10 176x128 a:ac3 1ch");
        row("rm from a silent 160x120 source", "coder",
            u"-i %QUAD -y -vcodec rv10 -b 1200k -f rm -ab 128k -ac 2"_s, "c.rm",
            "f:rm v:rv10 160x112 a:none");
        row("mp4 for phones, 320x240", "coder2", u"-i %TMP -y -s 320x240"_s + amr, "c.mp4",
            "b:isom v:mpeg4 320x240 a:aac 8000Hz 1ch");
        row("3gp, 176x144", "coder2", u"-i %TMP -y -s 176x144"_s + amr, "c.3gp",
            "b:3gp v:mpeg4 176x144 a:aac 8000Hz 1ch");
    }
    void outputs()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QString, output);
        QFETCH(QStringList, expected);
        QString dir;
        const Result r = encode(tool, args, &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{output});
        verifyProgress(tool, r.output);

        const QJsonObject info = probe(QDir(dir).filePath(output));
        const QJsonObject format = info[u"format"_s].toObject();
        const QJsonObject v = firstStream(info, u"video"_s), a = firstStream(info, u"audio"_s);
        const QString summary =
            QStringList{u"f:"_s + format[u"format_name"_s].toString(),
                        u"b:"_s + format[u"tags"_s][u"major_brand"_s].toString(),
                        u"v:"_s + v[u"codec_name"_s].toString(u"none"_s),
                        u"%1x%2"_s.arg(v[u"width"_s].toInt()).arg(v[u"height"_s].toInt()),
                        v[u"r_frame_rate"_s].toString() + u"fps"_s,
                        u"a:"_s + a[u"codec_name"_s].toString(u"none"_s),
                        a[u"sample_rate"_s].toString() + u"Hz"_s,
                        u"%1ch"_s.arg(a[u"channels"_s].toInt())}
                .join(u' ');
        for (const QString &part : expected)
            QVERIFY2(summary.contains(part), qPrintable(summary));
    }

    void orientation_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("corners"); // quadColours index at TL, TR, BL, BR
        QTest::addColumn<QSize>("size");

        const QSize wide(160, 120), tall(120, 160);
        QTest::newRow("as is") << u"%QUAD"_s << QString() << QList<int>{0, 1, 2, 3} << wide;
        QTest::newRow("clockwise") << u"%QUAD"_s << u"rotate=1"_s << QList<int>{2, 0, 3, 1} << tall;
        QTest::newRow("counter-clockwise")
            << u"%QUAD"_s << u"rotate=2"_s << QList<int>{1, 3, 0, 2} << tall;
        QTest::newRow("mirror") << u"%QUAD"_s << u"mirror"_s << QList<int>{1, 0, 3, 2} << wide;
        QTest::newRow("flip") << u"%QUAD"_s << u"flip"_s << QList<int>{2, 3, 0, 1} << wide;
        // Phones store portrait video as landscape plus a display matrix. ffmpeg 5.1
        // turns the old rotate tag into a matrix of the opposite sense, so the
        // expected picture is taken from the matrix itself (see orientation()).
        QTest::newRow("phone video, tag 90") << u"%PHONE90"_s << QString() << QList<int>() << tall;
        QTest::newRow("phone video, tag 270")
            << u"%PHONE270"_s << QString() << QList<int>() << tall;
    }
    void orientation()
    {
        QFETCH(QString, source);
        QFETCH(QString, filter);
        QFETCH(QList<int>, corners);
        QFETCH(QSize, size);

        if (corners.isEmpty()) {
            // ffprobe's rotation is counter-clockwise, as players apply it.
            const int turn = firstStream(probe(m_names.value(source)),
                                         u"video"_s)[u"side_data_list"_s][0][u"rotation"_s]
                                 .toInt();
            QVERIFY2(turn == 90 || turn == -90, qPrintable(QString::number(turn)));
            corners = turn == -90 ? QList<int>{2, 0, 3, 1} : QList<int>{1, 3, 0, 2};
        }
        QString dir;
        QStringList args = QStringList{source} + words(x264);
        if (!filter.isEmpty())
            args << u"-vf"_s << filter;
        const Result r = encode(u"conv"_s, args + QStringList{u"-o"_s, u"%OUT/turned.mp4"_s}, &dir);
        QVERIFY2(r.code == 0, r.output.constData());

        const QString out = QDir(dir).filePath(u"turned.mp4"_s);
        const QJsonObject v = firstStream(probe(out), u"video"_s);
        QCOMPARE(frameSize(v), size);
        QVERIFY(!v[u"tags"_s].toObject().contains(u"rotate"_s));
        for (const QJsonValue &sd : v[u"side_data_list"_s].toArray())
            QCOMPARE(sd[u"rotation"_s].toInt(), 0);

        // Raw pixels without autorotation, so a leftover rotation could not hide a fault.
        QProcess decode;
        decode.start(u"ffmpeg"_s,
                     {u"-v"_s, u"error"_s, u"-noautorotate"_s, u"-i"_s, out, u"-frames:v"_s, u"1"_s,
                      u"-f"_s, u"rawvideo"_s, u"-pix_fmt"_s, u"rgb24"_s, u"pipe:1"_s});
        QVERIFY(decode.waitForFinished(-1));
        const QByteArray rgb = decode.readAllStandardOutput();
        QCOMPARE(rgb.size(), size.width() * size.height() * 3);
        for (int i = 0; i < 4; ++i) {
            const QPoint at(size.width() * (i % 2 ? 3 : 1) / 4,
                            size.height() * (i / 2 ? 3 : 1) / 4);
            const char *px = rgb.constData() + (at.y() * size.width() + at.x()) * 3;
            const Rgb want = quadColours[corners[i]];
            const int got[3] = {uchar(px[0]), uchar(px[1]), uchar(px[2])};
            QVERIFY2(
                std::abs(got[0] - want.r) < 60 && std::abs(got[1] - want.g) < 60 &&
                    std::abs(got[2] - want.b) < 60,
                qPrintable(u"corner %1 is %2,%3,%4"_s.arg(i).arg(got[0]).arg(got[1]).arg(got[2])));
        }
    }

    void failures_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code"); // -1: any failure
        QTest::addColumn<QString>("reason");

        const QString invalid = u"Invalid data"_s;
        QTest::newRow("conv, broken source")
            << u"conv"_s << QStringList{u"%BROKEN"_s} + words(x264) + words("-o %OUT/x.mp4") << -1
            << invalid;
        QTest::newRow("coder, broken source")
            << u"coder"_s << words("-i %BROKEN -y -vn -ab 64k %OUT/x.mp3") << -1 << invalid;
        QTest::newRow("coder2, broken source")
            << u"coder2"_s << words("-i %BROKEN -y -s 320x240 -vcodec mpeg4 %OUT/x.3gp") << -1
            << invalid;
        QTest::newRow("conv, unknown option")
            << u"conv"_s << words("%SRC -oac mp3lame -quiet -o %OUT/x.flv") << 2 << u"-quiet"_s;
        QTest::newRow("conv, unknown rotation")
            << u"conv"_s << words("%SRC -vf rotate=9 -o %OUT/x.flv") << 2 << u"rotate=9"_s;
        QTest::newRow("coder, unknown option")
            << u"coder"_s << words("-i %SRC -y -qscale 3 %OUT/x.mp3") << 2 << u"-qscale"_s;
        QTest::newRow("coder2, no output") << u"coder2"_s << words("-i %SRC") << 2 << u"output"_s;
    }
    void failures()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, reason);

        QString dir;
        const Result r = encode(tool, args, &dir);
        if (code < 0)
            QVERIFY(r.code != 0);
        else
            QCOMPARE(r.code, code);
        const QStringList lines =
            QString::fromUtf8(r.output).split(QRegularExpression(u"[\r\n]"_s), Qt::SkipEmptyParts);
        QVERIFY2(!lines.isEmpty() && lines.last().contains(reason), r.output.constData());
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
        if (tool == u"conv")
            QCOMPARE(r.output.count('('), r.output.count("%)"));
    }

    void awkwardNames()
    {
        const QDir dir(path(u"a dir \"quoted\" 视频 (1)"_s));
        QVERIFY(dir.mkpath(u"."_s));
        const QString src = dir.filePath(u"源 \"片\".avi"_s);
        QVERIFY(QFile::copy(m_names[u"%SRC"_s], src));

        const QString video = dir.filePath(u"输出 \"x\" (2).mp4"_s);
        Result r = encode(u"conv"_s, QStringList{src} + words(x264) + QStringList{u"-o"_s, video});
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(firstStream(probe(video), u"video"_s)[u"codec_name"_s].toString(), u"h264"_s);

        const QString sound = dir.filePath(u"音 \"频\".mp3"_s);
        r = encode(u"coder"_s, QStringList{u"-i"_s, src} + words("-y -vn -ar 44100 -ab 96k -ac 2") +
                                   QStringList{sound});
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(firstStream(probe(sound), u"audio"_s)[u"codec_name"_s].toString(), u"mp3"_s);
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void interruptRemovesOutput()
    {
        // Long enough that the encode is still running when the first status shows.
        const QString longSource = path(u"long.avi"_s);
        QVERIFY(ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=320x240:r=25:d=60"_s, u"-c:v"_s,
                        u"mpeg4"_s, u"-q:v"_s, u"8"_s, longSource}));
        const QString dir = freshDir();
        QProcess conv;
        conv.setProcessChannelMode(QProcess::MergedChannels);
        conv.start(encoders + u"conv"_s, QStringList{longSource} + words(x264) +
                                             QStringList{u"-o"_s, dir + u"/long.mp4"_s});
        QByteArray seen;
        static const QRegularExpression started(u"\\((?: [1-9]|[1-9]\\d)%\\)"_s);
        while (!started.match(QString::fromLatin1(seen)).hasMatch()) {
            QVERIFY2(conv.waitForReadyRead(-1), seen.constData());
            seen += conv.readAll();
        }
        conv.terminate();
        QVERIFY(conv.waitForFinished(-1));
        seen += conv.readAll();
        QVERIFY2(conv.exitCode() != 0, seen.constData());
        QVERIFY(!seen.contains("(100%)"));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"
