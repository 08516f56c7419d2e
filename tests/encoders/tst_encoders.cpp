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

QString encoder(const QString &tool)
{
    return QStringLiteral(TORVANE_BUILD_DIR "/data/") + tool;
}

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

QString lastLine(const QByteArray &output)
{
    const QStringList lines =
        QString::fromUtf8(output).split(QRegularExpression(u"[\r\n]"_s), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

// A command line from a space-separated text; placeholders such as %SRC are
// replaced afterwards, so the paths they stand for may hold spaces.
QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

QStringList expand(QStringList args, const QMap<QString, QString> &names)
{
    for (QString &arg : args)
        for (auto it = names.begin(); it != names.end(); ++it)
            arg.replace(it.key(), it.value());
    return args;
}

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

private Q_SLOTS:
    void initTestCase();
    void outputs_data();
    void outputs();
    void orientation_data();
    void orientation();
    void convProgress();
    void coderProgress_data();
    void coderProgress();
    void failures_data();
    void failures();
    void awkwardNames();
    void interruptRemovesOutput();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString freshDir();

    QTemporaryDir m_dir;
    QMap<QString, QString> m_names;
    int m_dirs = 0;
};

QString TestEncoders::freshDir()
{
    const QString dir = path(u"out%1"_s.arg(++m_dirs));
    QDir().mkpath(dir);
    return dir;
}

void TestEncoders::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString av = path(u"av.avi"_s), quad = path(u"quad.mkv"_s), tmp = path(u"job tmp.mp4"_s),
                  audio = path(u"tone.wav"_s), broken = path(u"broken.avi"_s);
    QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=10:d=2 -f lavfi -i sine=r=44100:d=2 "
                         "-c:v mpeg4 -q:v 4 -c:a libmp3lame") +
                   QStringList{av}));
    QStringList quadArgs;
    for (const Rgb &c : quadColours)
        quadArgs << u"-f"_s << u"lavfi"_s << u"-i"_s
                 << u"color=c=0x%1%2%3:s=80x60:r=5:d=1"_s.arg(c.r, 2, 16, QChar(u'0'))
                        .arg(c.g, 2, 16, QChar(u'0'))
                        .arg(c.b, 2, 16, QChar(u'0'));
    QVERIFY(ffmpeg(quadArgs + QStringList{u"-filter_complex"_s,
                                          u"[0][1]hstack[t];[2][3]hstack[b];[t][b]vstack"_s,
                                          u"-c:v"_s, u"ffv1"_s, quad}));
    // A phone stores portrait video as landscape plus a rotation for players.
    const QString upright = path(u"upright.mp4"_s);
    QVERIFY(ffmpeg({u"-i"_s, quad, u"-c:v"_s, u"libx264"_s, u"-qp"_s, u"10"_s, upright}));
    for (const QString &turn : {u"90"_s, u"270"_s}) {
        const QString phone = path(u"phone%1.mp4"_s.arg(turn));
        QVERIFY(ffmpeg({u"-i"_s, upright, u"-c"_s, u"copy"_s, u"-metadata:s:v:0"_s,
                        u"rotate="_s + turn, phone}));
        m_names.insert(u"%PHONE"_s + turn, phone);
    }
    QVERIFY(ffmpeg({u"-i"_s, av, u"-c:v"_s, u"libx264"_s, u"-c:a"_s, u"libmp3lame"_s, tmp}));
    QVERIFY(ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=r=44100:d=1"_s, audio}));
    QFile junk(broken);
    QVERIFY(junk.open(QIODevice::WriteOnly));
    for (int i = 0; i < 16384; ++i) {
        const quint32 word = QRandomGenerator::global()->generate();
        junk.write(reinterpret_cast<const char *>(&word), sizeof word);
    }
    junk.close();
    m_names.insert({{u"%SRC"_s, av},
                    {u"%QUAD"_s, quad},
                    {u"%TMP"_s, tmp},
                    {u"%AUDIO"_s, audio},
                    {u"%BROKEN"_s, broken}});
}

void TestEncoders::outputs_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("container"); // part of format_name, or of major_brand
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("frameRate");
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");

    const QSize qcif(176, 144), none;
    const char *x264 = "%SRC -oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=500";
    const char *mpeg1 = "%SRC -oac mp3lame -lameopts preset=96 -ovc lavc -lavcopts "
                        "vcodec=mpeg1video:vbitrate=800:vpass=1 -of lavf -lavfopts format=yuv4mpeg";
    const char *amr = "-vcodec mpeg4 -acodec amr_nb -ac 1 -ar 8000 -ab 12.2k";
    auto row = [](const char *name, const char *tool, const QStringList &args,
                  const char *out) -> QTestData & {
        const QString file = QString::fromUtf8(out);
        return QTest::newRow(name)
               << QString::fromUtf8(tool) << args + QStringList{u"%OUT/"_s + file} << file;
    };

    row("flv", "conv", words(x264) + words("-of avi -o"), "c.flv")
        << u"flv"_s << u"h264"_s << u"mp3"_s << qcif << QString() << 44100 << 0;
    row("flv from a silent source", "conv",
        words("%QUAD -oac mp3lame -lameopts preset=56 -ovc x264 -x264encopts bitrate=300 -o"),
        "c.flv")
        << u"flv"_s << u"h264"_s << QString() << QSize(160, 120) << QString() << 0 << 0;
    row("first pass tmp.mp4", "conv",
        words("%SRC -oac mp3lame -lameopts preset=320 -ovc x264 -x264encopts bitrate=1200 "
              "-of avi -o"),
        "jobtmp.mp4")
        << u"isom"_s << u"h264"_s << u"mp3"_s << qcif << QString() << 0 << 0;
    row("mpg at 29 fps", "conv", words(mpeg1) + words("-ofps 29 -o"), "c.mpg")
        << u"mpeg"_s << u"mpeg1video"_s << u"mp3"_s << qcif << u"30000/1001"_s << 0 << 0;
    row("avi at 24 fps", "conv", words(mpeg1) + words("-ofps 24 -o"), "c.avi")
        << u"avi"_s << u"mpeg1video"_s << u"mp3"_s << qcif << u"24/1"_s << 0 << 0;
    row("mp4", "conv", words(x264) + words("-o"), "c.mp4")
        << u"isom"_s << u"h264"_s << u"mp3"_s << qcif << QString() << 0 << 0;
    row("mov", "conv", words(x264) + words("-o"), "c.mov")
        << u"qt"_s << u"h264"_s << u"mp3"_s << qcif << QString() << 0 << 0;
    row("mp3", "coder", words("-i %SRC -y -vn -ar 22050 -ab 64k -ac 1"), "c.mp3")
        << u"mp3"_s << QString() << u"mp3"_s << none << QString() << 22050 << 1;
    row("mp3 from audio only, odd figures", "coder",
        words("-i %AUDIO -y -vn -ar 12000 -ab 28000k -ac 2"), "c.mp3")
        << u"mp3"_s << QString() << u"mp3"_s << none << QString() << 12000 << 2;
    row("rm, fixed settings", "coder",
        words("-i %TMP -y -vcodec rv10 -b 1200k -f rm -ab 128k -ac 2"), "c.rm")
        << u"rm"_s << u"rv10"_s << u"ac3"_s << qcif << QString() << 0 << 2;
    row("rm, size rounded to 16", "coder",
        words("-i %TMP -y -s 180x130 -vcodec rv10 -b 300k -f rm -ar 22050 -ab 64k -ac 1"), "c.rm")
        << u"rm"_s << u"rv10"_s << u"ac3"_s << QSize(176, 128) << QString() << 0 << 1;
    row("rm from a silent 160x120 source", "coder",
        words("-i %QUAD -y -vcodec rv10 -b 1200k -f rm -ab 128k -ac 2"), "c.rm")
        << u"rm"_s << u"rv10"_s << QString() << QSize(160, 112) << QString() << 0 << 0;
    row("mp4 for phones, 320x240", "coder2", words("-i %TMP -y -s 320x240") + words(amr), "c.mp4")
        << u"isom"_s << u"mpeg4"_s << u"aac"_s << QSize(320, 240) << QString() << 8000 << 1;
    row("3gp, 176x144", "coder2", words("-i %TMP -y -s 176x144") + words(amr), "c.3gp")
        << u"3gp"_s << u"mpeg4"_s << u"aac"_s << qcif << QString() << 8000 << 1;
}

void TestEncoders::outputs()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    QFETCH(QString, container);
    QFETCH(QString, video);
    QFETCH(QString, audio);
    QFETCH(QSize, size);
    QFETCH(QString, frameRate);
    QFETCH(int, sampleRate);
    QFETCH(int, channels);

    const QString dir = freshDir();
    auto names = m_names;
    names.insert(u"%OUT"_s, dir);
    const Result r = run(encoder(tool), expand(args, names));
    QVERIFY2(r.code == 0, r.output.constData());
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{output});

    const QJsonObject info = probe(QDir(dir).filePath(output));
    const QJsonObject format = info[u"format"_s].toObject();
    const QString kind =
        format[u"format_name"_s].toString() + u' ' + format[u"tags"_s][u"major_brand"_s].toString();
    QVERIFY2(kind.contains(container), qPrintable(kind));
    const QJsonObject v = firstStream(info, u"video"_s), a = firstStream(info, u"audio"_s);
    QCOMPARE(v[u"codec_name"_s].toString(), video);
    QCOMPARE(a[u"codec_name"_s].toString(), audio);
    if (size.isValid())
        QCOMPARE(QSize(v[u"width"_s].toInt(), v[u"height"_s].toInt()), size);
    if (!frameRate.isEmpty())
        QCOMPARE(v[u"r_frame_rate"_s].toString(), frameRate);
    if (sampleRate)
        QCOMPARE(a[u"sample_rate"_s].toString().toInt(), sampleRate);
    if (channels)
        QCOMPARE(a[u"channels"_s].toInt(), channels);
}

void TestEncoders::orientation_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("filter");
    QTest::addColumn<QList<int>>("corners"); // quadColours index at TL, TR, BL, BR
    QTest::addColumn<QSize>("size");

    const QSize wide(160, 120), tall(120, 160);
    QTest::newRow("as is") << u"%QUAD"_s << QStringList() << QList<int>{0, 1, 2, 3} << wide;
    QTest::newRow("clockwise") << u"%QUAD"_s << QStringList{u"-vf"_s, u"rotate=1"_s}
                               << QList<int>{2, 0, 3, 1} << tall;
    QTest::newRow("counter-clockwise")
        << u"%QUAD"_s << QStringList{u"-vf"_s, u"rotate=2"_s} << QList<int>{1, 3, 0, 2} << tall;
    QTest::newRow("mirror") << u"%QUAD"_s << QStringList{u"-vf"_s, u"mirror"_s}
                            << QList<int>{1, 0, 3, 2} << wide;
    QTest::newRow("flip") << u"%QUAD"_s << QStringList{u"-vf"_s, u"flip"_s}
                          << QList<int>{2, 3, 0, 1} << wide;
    // Phones store portrait video as landscape plus a display matrix. ffmpeg 5.1
    // turns the old rotate tag into a matrix of the opposite sense, so the
    // expected picture is taken from the matrix itself (see orientation()).
    QTest::newRow("phone video, tag 90") << u"%PHONE90"_s << QStringList() << QList<int>() << tall;
    QTest::newRow("phone video, tag 270")
        << u"%PHONE270"_s << QStringList() << QList<int>() << tall;
}

void TestEncoders::orientation()
{
    QFETCH(QString, source);
    QFETCH(QStringList, filter);
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
    const QString out = QDir(freshDir()).filePath(u"turned.mp4"_s);
    const QStringList args =
        words("-oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=1200") + filter;
    const Result r = run(encoder(u"conv"_s),
                         QStringList{m_names.value(source)} + args + QStringList{u"-o"_s, out});
    QVERIFY2(r.code == 0, r.output.constData());

    const QJsonObject v = firstStream(probe(out), u"video"_s);
    QCOMPARE(QSize(v[u"width"_s].toInt(), v[u"height"_s].toInt()), size);
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
    const QList<QPoint> samples = {{size.width() / 4, size.height() / 4},
                                   {size.width() * 3 / 4, size.height() / 4},
                                   {size.width() / 4, size.height() * 3 / 4},
                                   {size.width() * 3 / 4, size.height() * 3 / 4}};
    for (int i = 0; i < 4; ++i) {
        const char *px = rgb.constData() + (samples[i].y() * size.width() + samples[i].x()) * 3;
        const Rgb want = quadColours[corners[i]];
        const int got[3] = {uchar(px[0]), uchar(px[1]), uchar(px[2])};
        const int expected[3] = {want.r, want.g, want.b};
        for (int c = 0; c < 3; ++c)
            QVERIFY2(
                std::abs(got[c] - expected[c]) < 60,
                qPrintable(u"corner %1 is %2,%3,%4"_s.arg(i).arg(got[0]).arg(got[1]).arg(got[2])));
    }
}

void TestEncoders::convProgress()
{
    const QString out = QDir(freshDir()).filePath(u"clip.flv"_s);
    const Result r =
        run(encoder(u"conv"_s), expand(words("%SRC -oac mp3lame -lameopts preset=128 -ovc x264 "
                                             "-x264encopts bitrate=400 -of avi -o"),
                                       m_names) +
                                    QStringList{out});
    QVERIFY2(r.code == 0, r.output.constData());

    static const QRegularExpression status(u"\\(([ \\d]\\d|100)%\\)\r"_s);
    QList<int> percents;
    for (const auto &m : status.globalMatch(QString::fromUtf8(r.output)))
        percents << m.captured(1).trimmed().toInt();
    QVERIFY(percents.size() >= 2);
    QCOMPARE(percents.last(), 100);
    for (qsizetype i = 1; i < percents.size(); ++i)
        QVERIFY2(percents[i] > percents[i - 1], r.output.constData());
    // The caller takes every parenthesis for a status.
    QCOMPARE(r.output.count('('), percents.size());
    QCOMPARE(r.output.count(')'), percents.size());
}

void TestEncoders::coderProgress_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("coder") << u"coder"_s
                           << words("-i %SRC -y -vn -ar 44100 -ab 128k -ac 2 %OUT/a.mp3");
    QTest::newRow("coder2") << u"coder2"_s
                            << words("-i %TMP -y -s 320x240 -vcodec mpeg4 -acodec amr_nb -ac 1 "
                                     "-ar 8000 -ab 12.2k %OUT/a.3gp");
}

void TestEncoders::coderProgress()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    auto names = m_names;
    names.insert(u"%OUT"_s, freshDir());
    const Result r = run(encoder(tool), expand(args, names));
    QVERIFY2(r.code == 0, r.output.constData());

    const qsizetype duration = r.output.indexOf("Duration: ");
    QVERIFY(duration >= 0 && duration < 1024);
    QCOMPARE(r.output.count("Duration: "), 1);
    QVERIFY(QRegularExpression(u"^Duration: 00:00:0[12]\\.\\d\\d,"_s)
                .match(QString::fromUtf8(r.output.mid(duration)))
                .hasMatch());
    const qsizetype time = r.output.indexOf("time=");
    QVERIFY(time > duration);
    QVERIFY(QRegularExpression(u"^time=\\d+\\.\\d\\d "_s)
                .match(QString::fromUtf8(r.output.mid(time)))
                .hasMatch());
    QVERIFY(!r.output.contains("time=00:"));
}

void TestEncoders::failures_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code"); // -1: any failure
    QTest::addColumn<QString>("reason");

    const QString invalid = u"Invalid data"_s;
    QTest::newRow("conv, broken source")
        << u"conv"_s
        << words("%BROKEN -oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=400 "
                 "-o %OUT/x.mp4")
        << -1 << invalid;
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

void TestEncoders::failures()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, reason);

    const QString dir = freshDir();
    auto names = m_names;
    names.insert(u"%OUT"_s, dir);
    const Result r = run(encoder(tool), expand(args, names));
    if (code < 0)
        QVERIFY(r.code != 0);
    else
        QCOMPARE(r.code, code);
    QVERIFY2(lastLine(r.output).contains(reason), r.output.constData());
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
    if (tool == u"conv")
        QCOMPARE(r.output.count('('), r.output.count("%)"));
}

void TestEncoders::awkwardNames()
{
    const QString dir = path(u"a dir \"quoted\" 视频 (1)"_s);
    QVERIFY(QDir().mkpath(dir));
    const QString src = QDir(dir).filePath(u"源 \"片\".avi"_s);
    QVERIFY(QFile::copy(m_names[u"%SRC"_s], src));

    const QString video = QDir(dir).filePath(u"输出 \"x\" (2).mp4"_s);
    Result r = run(encoder(u"conv"_s),
                   QStringList{src} +
                       words("-oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts "
                             "bitrate=300 -o") +
                       QStringList{video});
    QVERIFY2(r.code == 0, r.output.constData());
    QCOMPARE(firstStream(probe(video), u"video"_s)[u"codec_name"_s].toString(), u"h264"_s);

    const QString sound = QDir(dir).filePath(u"音 \"频\".mp3"_s);
    r = run(encoder(u"coder"_s), QStringList{u"-i"_s, src} +
                                     words("-y -vn -ar 44100 -ab 96k -ac 2") + QStringList{sound});
    QVERIFY2(r.code == 0, r.output.constData());
    QCOMPARE(firstStream(probe(sound), u"audio"_s)[u"codec_name"_s].toString(), u"mp3"_s);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestEncoders::interruptRemovesOutput()
{
    // Long enough that the encode is still running when the first status shows.
    const QString longSource = path(u"long.avi"_s);
    QVERIFY(ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=320x240:r=25:d=60"_s, u"-c:v"_s,
                    u"mpeg4"_s, u"-q:v"_s, u"8"_s, longSource}));
    const QString dir = freshDir();
    QProcess conv;
    conv.setProcessChannelMode(QProcess::MergedChannels);
    conv.start(
        encoder(u"conv"_s),
        QStringList{longSource} +
            words("-oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=800 -o") +
            QStringList{QDir(dir).filePath(u"long.mp4"_s)});
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

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"
