#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
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

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "encodertests.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const char *x264 = "-oac mp3lame -lameopts preset=128 -ovc x264 -x264encopts bitrate=400";

// Quadrant colours of the test picture: top left, top right, bottom left, bottom right.
struct Rgb
{
    int r, g, b;
};
const QList<Rgb> quadColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

// The quadColours index seen at each quadrant's centre of the first frame, as
// a player shows it (autorotate) or as stored; empty when it is no clear colour.
// The size of the first video stream as a player shows it (autorotate) or as stored.
QSize shownSize(const QString &path, bool autorotate)
{
    const QJsonObject v = firstStream(probe(path), u"video"_s);
    QSize size = frameSize(v);
    const int turn = v[u"side_data_list"_s][0][u"rotation"_s].toInt();
    if (autorotate && (turn == 90 || turn == -90))
        size.transpose();
    return size;
}

QList<int> corners(const QString &path, bool autorotate)
{
    const QSize size = shownSize(path, autorotate);
    QStringList args = {u"-v"_s, u"error"_s,    u"-i"_s,       path,       u"-frames:v"_s, u"1"_s,
                        u"-f"_s, u"rawvideo"_s, u"-pix_fmt"_s, u"rgb24"_s, u"pipe:1"_s};
    if (!autorotate)
        args.prepend(u"-noautorotate"_s);
    QProcess decode;
    decode.start(u"ffmpeg"_s, args);
    decode.waitForFinished(-1);
    const QByteArray rgb = decode.readAllStandardOutput();
    if (rgb.size() != size.width() * size.height() * 3)
        return {};
    QList<int> found;
    for (int i = 0; i < 4; ++i) {
        const QPoint at(size.width() * (i % 2 ? 3 : 1) / 4, size.height() * (i / 2 ? 3 : 1) / 4);
        const char *px = rgb.constData() + (at.y() * size.width() + at.x()) * 3;
        for (int c = 0; c < quadColours.size(); ++c) {
            const Rgb &want = quadColours[c];
            if (std::abs(uchar(px[0]) - want.r) < 60 && std::abs(uchar(px[1]) - want.g) < 60 &&
                std::abs(uchar(px[2]) - want.b) < 60)
                found << c;
        }
        if (found.size() != i + 1)
            return {};
    }
    return found;
}

// Corners after a quarter turn: clockwise, the bottom left comes to the top left.
QList<int> turned(const QList<int> &c, bool clockwise)
{
    return clockwise ? QList<int>{c[2], c[0], c[3], c[1]} : QList<int>{c[1], c[3], c[0], c[2]};
}

// Loading libav fails in an encoder started with these, or takes seconds.
QStringList libavShim(const QString &mode)
{
    // In a sanitized build the shim is preloaded ahead of AddressSanitizer's
    // runtime, which is meant here.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    if (!asan.isEmpty())
        asan += u':';
    return {u"LD_PRELOAD="_s + QStringLiteral(LIBAV_SHIM), u"TORVANE_TEST_LIBAV="_s + mode,
            u"ASAN_OPTIONS="_s + asan + u"verify_asan_link_order=0"_s};
}
const QStringList libavMissing = libavShim(u"missing"_s);
const QStringList libavSlow = libavShim(u"slow"_s);

// An encoder run without QProcess: argv may hold any bytes, it leads a process
// group of its own as under the batch, and the test holds the read end of its output.
class Spawned
{
public:
    ~Spawned()
    {
        if (m_out >= 0)
            ::close(m_out);
        if (m_pid > 0)
            wait();
    }
    // environment: "NAME=value" entries added to ours.
    bool start(const QList<QByteArray> &argv, const QStringList &environment = {})
    {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0)
            return false;
        QList<char *> pointers;
        for (const QByteArray &arg : argv)
            pointers << const_cast<char *>(arg.constData());
        pointers << nullptr;
        QList<QByteArray> added;
        for (const QString &entry : environment)
            added << entry.toLocal8Bit();
        QList<char *> env;
        for (char **entry = environ; *entry; ++entry) {
            // An entry given here replaces ours of the same name.
            const QByteArray whole(*entry);
            const QByteArray name = whole.left(whole.indexOf('=') + 1);
            if (std::none_of(added.cbegin(), added.cend(),
                             [&name](const QByteArray &a) { return a.startsWith(name); }))
                env << *entry;
        }
        for (QByteArray &entry : added)
            env << entry.data();
        env << nullptr;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        const int err =
            posix_spawn(&m_pid, pointers[0], &actions, &attr, pointers.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(pipe[1]);
        m_out = pipe[0];
        return err == 0;
    }
    pid_t pid() const { return m_pid; }
    // Reads until the output matches, false at its end.
    bool readUntil(const QRegularExpression &pattern)
    {
        while (!pattern.match(QString::fromLatin1(m_seen)).hasMatch()) {
            char chunk[4096];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_seen.append(chunk, n);
        }
        return true;
    }
    void closeOutput()
    {
        ::close(m_out);
        m_out = -1;
    }
    QByteArray seen()
    {
        readUntil(QRegularExpression(u"(?!)"_s)); // never matches: to the end
        return m_seen;
    }
    // The process was reaped elsewhere.
    void forget() { m_pid = -1; }
    int wait() // the exit code
    {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    QByteArray m_seen;
};

// Processes whose parent is pid, from /proc.
QList<pid_t> childrenOf(pid_t pid)
{
    QList<pid_t> children;
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == pid)
            children << entry.toInt();
    }
    return children;
}

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
    Result encode(const QString &tool, QStringList args, QString *outDir = nullptr,
                  const QStringList &environment = {})
    {
        QMap<QString, QString> names = m_names;
        names.insert(u"%OUT"_s, freshDir());
        if (outDir)
            *outDir = names.value(u"%OUT"_s);
        for (QString &arg : args)
            for (auto it = names.cbegin(); it != names.cend(); ++it)
                arg.replace(it.key(), it.value());
        // Long enough for any real encode here; a hang fails the row, not the suite.
        return run(encoders + tool, args, environment, 120000);
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
        QVERIFY(ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=r=16000:d=1"_s, path(u"low.wav"_s)}));
        QFile broken(path(u"broken.avi"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        for (int i = 0; i < 16384; ++i) {
            const quint32 word = QRandomGenerator::global()->generate();
            broken.write(reinterpret_cast<const char *>(&word), sizeof word);
        }
        // Six seconds with sound, for clip ranges.
        const QString six = path(u"six.avi"_s);
        QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=10:d=6 -f lavfi -i "
                             "sine=r=44100:d=6 -c:v mpeg4 -q:v 4 -c:a libmp3lame") +
                       QStringList{six}));
        m_names.insert({{u"%SRC"_s, av},
                        {u"%SIX"_s, six},
                        {u"%UPRIGHT"_s, upright},
                        {u"%QUAD"_s, quad},
                        {u"%TMP"_s, tmp},
                        {u"%AUDIO"_s, path(u"tone.wav"_s)},
                        {u"%LOWRATE"_s, path(u"low.wav"_s)},
                        {u"%BROKEN"_s, broken.fileName()},
                        {u"%PIPE"_s, path(u"pipe.avi"_s)}});
        QCOMPARE(::mkfifo(QFile::encodeName(path(u"pipe.avi"_s)).constData(), 0600), 0);
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
        // 16 kHz: FLV has no code for it, and 11025 Hz is the nearest it has.
        row("flv from 16 kHz sound", "coder", u"-i %LOWRATE -y -vn -ab 64k"_s, "c.flv",
            "f:flv v:none a:mp3 11025Hz");
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
        QCOMPARE(QByteArray::fromPercentEncoding(machineValue(r.output, "output")),
                 QFile::encodeName(QDir(dir).filePath(output)));
        QVERIFY2(machineValue(r.output, "duration").toDouble() > 0.9, r.output.constData());

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

    // A phone's clip through each container the formats write: the table of
    // what each keeps of its story, as ffprobe reads it back ("v:" from the
    // video track's header; "titl" the 3GPP title box, which ffprobe does not read).
    void metadata_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("kept");
        const QString h264 = u"%STORY "_s + QString::fromUtf8(x264);
        const QString mpeg1 = u"%STORY -oac mp3lame -lameopts preset=64 -ovc lavc -lavcopts "
                              "vcodec=mpeg1video:vbitrate=600:vpass=1 -ofps 24 -of lavf "
                              "-lavfopts format=yuv4mpeg -o "_s;
        const auto row = [](const char *name, const char *tool, const QString &args,
                            const char *kept) {
            QTest::newRow(name) << QString::fromUtf8(tool) << args.split(u' ') << words(kept);
        };
        const char *everything =
            "creation_time v:creation_time com.apple.quicktime.location.ISO6709 "
            "location com.apple.quicktime.make com.apple.quicktime.model make "
            "model title";
        row("mp4", "conv", h264 + u" -o %OUT/x.mp4"_s, everything);
        row("mov", "conv", h264 + u" -o %OUT/x.mov"_s, everything);
        row("mp4, a lossless copy", "conv", h264 + u" -vf rotate=1 -lossless -o %OUT/x.mp4"_s,
            everything);
        row("3gp", "coder2",
            u"-i %STORY -y -s 176x144 -vcodec mpeg4 -acodec amr_nb -ac 1 -ar 8000 -ab 12.2k "
            "%OUT/x.3gp"_s,
            "creation_time v:creation_time location titl");
        row("flv", "conv", h264 + u" -of avi -o %OUT/x.flv"_s,
            "creation_time com.apple.quicktime.location.ISO6709 location "
            "com.apple.quicktime.make com.apple.quicktime.model make model title");
        row("avi", "conv", mpeg1 + u"%OUT/x.avi"_s, "date title");
        row("mpg", "conv", mpeg1 + u"%OUT/x.mpg"_s, "");
        row("rm", "coder", u"-i %STORY -y -vcodec rv10 -b 1200k -f rm -ab 128k -ac 2 %OUT/x.rm"_s,
            "title");
        row("mp3", "coder", u"-i %STORY -y -vn -ab 64k %OUT/x.mp3"_s,
            "date creation_time com.apple.quicktime.location.ISO6709 location "
            "com.apple.quicktime.make com.apple.quicktime.model make model title");
        row("mp4 without", "conv", h264 + u" -nometadata -o %OUT/x.mp4"_s, "");
        row("lossless copy without", "conv",
            h264 + u" -vf rotate=1 -lossless -nometadata -o %OUT/x.mp4"_s, "");
        row("mp3 without", "coder", u"-nometadata -i %STORY -y -vn -ab 64k %OUT/x.mp3"_s, "");
    }
    void metadata()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QStringList, kept);
        // What a phone writes, and when.
        const QMap<QString, QString> story = {
            {u"creation_time"_s, u"2024-05-01T10:20:30Z"_s},
            {u"com.apple.quicktime.location.ISO6709"_s, u"+48.8584+002.2945+035.000/"_s},
            {u"location"_s, u"+48.8584+002.2945+035.000/"_s},
            {u"com.apple.quicktime.make"_s, u"Apple"_s},
            {u"com.apple.quicktime.model"_s, u"iPhone 12"_s},
            {u"make"_s, u"Apple"_s},
            {u"model"_s, u"iPhone 12"_s},
            {u"title"_s, u"Eiffel Tower"_s}};
        const QString source = path(u"story.mp4"_s);
        const QDateTime taken(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
        if (!QFile::exists(source)) {
            QStringList make = words("-f lavfi -i testsrc=s=176x144:r=10:d=2 -f lavfi -i "
                                     "sine=r=44100:d=2 -c:v libx264 -c:a aac -movflags "
                                     "use_metadata_tags");
            for (auto it = story.cbegin(); it != story.cend(); ++it)
                make << u"-metadata"_s << it.key() + u'=' + it.value();
            QVERIFY(ffmpeg(make + QStringList{source}));
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(taken, QFileDevice::FileModificationTime));
        }
        m_names.insert(u"%STORY"_s, source);

        QString dir;
        const Result r = encode(tool, args, &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        const QString out =
            QString::fromUtf8(QByteArray::fromPercentEncoding(machineValue(r.output, "output")));
        const QJsonObject info = probe(out);
        const QJsonObject tags = info[u"format"_s][u"tags"_s].toObject();
        const QJsonObject videoTags = firstStream(info, u"video"_s)[u"tags"_s].toObject();
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        // A full box: version and flags, a language, then the text.
        const qsizetype titl = bytes.indexOf(QByteArray("titl\0\0\0\0", 8));
        QCOMPARE(titl >= 0 && bytes.mid(titl + 10, 12) == "Eiffel Tower", kept.contains(u"titl"_s));

        // The first 18 characters: 3GPP's place box holds numbers, and gives the
        // height back in another form; libav writes times with microseconds.
        QStringList found;
        for (auto it = story.cbegin(); it != story.cend(); ++it) {
            if (tags[it.key()].toString().startsWith(it.value().left(18)))
                found << it.key();
            if (videoTags[it.key()].toString().startsWith(it.value().left(18)))
                found << u"v:"_s + it.key();
        }
        // AVI's ICRD and ID3's recording time, from creation_time.
        if (tags[u"date"_s].toString().startsWith(u"2024-05-01"_s))
            found << u"date"_s;
        kept.removeAll(u"titl"_s);
        kept.sort();
        found.sort();
        QCOMPARE(found, kept);
        QCOMPARE(QFileInfo(out).lastModified() == taken, !args.contains(u"-nometadata"_s));
    }

    // FLV has no edit list: a variable frame rate source with B-frames, whose
    // first frames come 0.12 s apart, must not leave a lead-in before its
    // picture and sound, nor lengthen the clip.
    void flvTiming()
    {
        const QString source = path(u"vfr.mp4"_s);
        QVERIFY(ffmpeg(words("-f lavfi -i testsrc=s=176x144:r=30:d=3 -f lavfi -i sine=r=44100:d=2 "
                             "-vf setpts=if(lt(N\\,3)\\,N*0.12\\,0.24+(N-2)/30)/TB -fps_mode "
                             "passthrough -c:v libx264 -bf 3 -c:a aac -t 2") +
                       QStringList{source}));
        QString dir;
        const Result r = encode(
            u"conv"_s, QStringList{source} + words(x264) + words("-of avi -o %OUT/x.flv"), &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        const QJsonObject info = probe(QDir(dir).filePath(u"x.flv"_s));
        const auto start = [&info](const QString &type) {
            return firstStream(info, type)[u"start_time"_s].toString().toDouble();
        };
        // Both at the start, so within a frame of each other.
        QVERIFY2(start(u"video"_s) <= 1.0 / 30 && start(u"audio"_s) <= 1.0 / 30,
                 qPrintable(u"%1 %2"_s.arg(start(u"video"_s)).arg(start(u"audio"_s))));
        const double length = info[u"format"_s][u"duration"_s].toString().toDouble();
        QVERIFY2(std::abs(length - 2.0) <= 0.1, qPrintable(QString::number(length)));
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
        QCOMPARE(::corners(out, false), corners);
    }

    // A source's display matrix followed, or ignored (-noautorotate) as a wrong
    // tag: the corners of the picture a player shows.
    void autorotation_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("quarters"); // the requested turn, clockwise
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("verdict"); // the lossless= line; null without -lossless
        const auto row = [](const char *name, const char *source, const char *options, int quarters,
                            const char *output, const char *verdict = nullptr) {
            QTest::newRow(name) << QString::fromUtf8(source) << words(options) << quarters
                                << QString::fromUtf8(output) << QByteArray(verdict);
        };
        row("tag 90, followed", "%PHONE90", "", 1, "x.mp4");
        row("tag 90, ignored", "%PHONE90", "-noautorotate", 1, "x.mp4");
        row("tag 90, ignored, as it is", "%PHONE90", "-noautorotate", 0, "x.avi");
        row("mirrored, followed", "%MIRRORED", "", 1, "x.mp4");
        row("mirrored, followed, avi", "%MIRRORED", "", 3, "x.avi");
        row("mirrored, ignored", "%MIRRORED", "-noautorotate", 3, "x.mp4");
        row("tag 90, ignored, lossless", "%PHONE90", "-noautorotate -lossless", 1, "x.mp4", "copy");
        row("mirrored, followed, lossless", "%MIRRORED", "-lossless", 1, "x.mp4",
            "encode reason=display-matrix");
        row("mirrored, ignored, lossless", "%MIRRORED", "-noautorotate -lossless", 3, "x.mp4",
            "copy");
    }
    void autorotation()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, options);
        QFETCH(int, quarters);
        QFETCH(QString, output);
        QFETCH(QByteArray, verdict);
        // A camera that stores its picture mirrored, and says so in the track header.
        const QString mirrored = path(u"mirrored.mp4"_s);
        if (!QFile::exists(mirrored)) {
            QFile in(m_names[u"%UPRIGHT"_s]);
            QVERIFY(in.open(QIODevice::ReadOnly));
            QByteArray bytes = in.readAll();
            const qsizetype tkhd = bytes.indexOf("tkhd");
            QVERIFY(tkhd > 0);
            // Past version and flags, times, track, duration, layer, group and volume.
            char *matrix = bytes.data() + tkhd + 8 + (bytes[tkhd + 4] == 1 ? 32 : 20) + 16;
            const qint32 width = qFromBigEndian<qint32>(matrix + 36);
            const qint32 mirror[9] = {-65536, 0, 0, 0, 65536, 0, width, 0, 1 << 30};
            qToBigEndian<qint32>(mirror, 9, matrix);
            QFile out(mirrored);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        }
        m_names.insert(u"%MIRRORED"_s, mirrored);

        QString dir;
        QStringList args = QStringList{source} + words(x264) + options;
        if (quarters)
            args << u"-vf"_s << (quarters == 1 ? u"rotate=1"_s : u"rotate=2"_s);
        const Result r = encode(u"conv"_s, args + QStringList{u"-o"_s, u"%OUT/"_s + output}, &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(machineValue(r.output, "lossless"), verdict);

        QList<int> expected = ::corners(m_names[source], !options.contains(u"-noautorotate"_s));
        QVERIFY(!expected.isEmpty());
        if (quarters)
            expected = turned(expected, quarters == 1);
        QCOMPARE(::corners(QDir(dir).filePath(output), true), expected);
    }

    void lossless_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("quarters");       // clockwise
        QTest::addColumn<QByteArray>("verdict"); // the lossless= line
        QTest::addColumn<QString>("audio");      // the output's sound, empty for none

        const QString hevc = path(u"hevc.mp4"_s), vp9 = path(u"vp9.webm"_s);
        if (!QFile::exists(hevc))
            ffmpeg({u"-i"_s, m_names[u"%UPRIGHT"_s], u"-c:v"_s, u"libx265"_s, u"-x265-params"_s,
                    u"log-level=none"_s, hevc});
        if (!QFile::exists(vp9))
            ffmpeg({u"-i"_s, m_names[u"%UPRIGHT"_s], u"-c:v"_s, u"libvpx-vp9"_s, vp9});
        // Sound MP4 takes as it is stays; Opus is encoded to AAC.
        for (const QString &codec : {u"aac"_s, u"libopus"_s}) {
            const QString file = path(codec + u".mkv"_s);
            if (!QFile::exists(file))
                ffmpeg({u"-i"_s, m_names[u"%UPRIGHT"_s], u"-f"_s, u"lavfi"_s, u"-i"_s,
                        u"sine=r=48000:d=1"_s, u"-c:v"_s, u"copy"_s, u"-c:a"_s, codec, file});
        }
        const QList<std::tuple<const char *, QString, QString>> sources = {
            {"H.264", m_names[u"%UPRIGHT"_s], QString()},
            {"phone H.264", m_names[u"%PHONE90"_s], QString()},
            {"HEVC", hevc, QString()}};
        for (const auto &[name, file, audio] : sources) {
            for (const int quarters : {1, -1})
                QTest::addRow("%s, %s", name, quarters == 1 ? "clockwise" : "counter-clockwise")
                    << file << quarters << QByteArray("copy") << audio;
        }
        // Upside down, a phone's clip turned back by the matrix alone.
        QTest::newRow("phone H.264, half a turn")
            << m_names[u"%PHONE90"_s] << 2 << QByteArray("copy") << QString();
        QTest::newRow("H.264 with AAC sound")
            << path(u"aac.mkv"_s) << 1 << QByteArray("copy") << u"aac"_s;
        QTest::newRow("H.264 with Opus sound")
            << path(u"libopus.mkv"_s) << -1 << QByteArray("copy") << u"aac"_s;
        QTest::newRow("VP9 is encoded")
            << vp9 << 1 << QByteArray("encode reason=codec codec=vp9") << QString();
    }
    void lossless()
    {
        QFETCH(QString, source);
        QFETCH(int, quarters);
        QFETCH(QByteArray, verdict);
        QFETCH(QString, audio);
        if (!QFile::exists(source))
            QSKIP("this ffmpeg cannot make the source");

        QString dir;
        // conv's words: half a turn is a mirror and a flip.
        const QString turn =
            quarters == 2 ? u"mirror,flip"_s : u"rotate=%1"_s.arg(quarters == 1 ? 1 : 2);
        const Result r =
            encode(u"conv"_s,
                   QStringList{source} + words(x264) +
                       QStringList{u"-vf"_s, turn, u"-lossless"_s, u"-o"_s, u"%OUT/turned.mp4"_s},
                   &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(machineValue(r.output, "lossless"), verdict);
        verifyProgress(u"conv"_s, r.output);
        const QString out = QDir(dir).filePath(u"turned.mp4"_s);
        QCOMPARE(firstStream(probe(out), u"audio"_s)[u"codec_name"_s].toString(), audio);

        const QList<int> before = ::corners(source, true);
        QVERIFY(!before.isEmpty());
        QList<int> expected = before;
        for (int i = 0; i < (quarters + 4) % 4; ++i)
            expected = turned(expected, true);
        QCOMPARE(::corners(out, true), expected);
        const auto duration = [](const QString &file) {
            return probe(file)[u"format"_s][u"duration"_s].toString().toDouble();
        };
        QVERIFY(std::abs(duration(out) - duration(source)) < 0.05);
        if (verdict != "copy")
            return;
        const auto packets = [](const QString &file) {
            return run(u"ffprobe"_s,
                       {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v"_s, u"-show_entries"_s,
                        u"packet=size,flags,data_hash"_s, u"-show_data_hash"_s, u"CRC32"_s,
                        u"-of"_s, u"csv=p=0"_s, file})
                .output;
        };
        const QByteArray sourcePackets = packets(source);
        QVERIFY(sourcePackets.count('\n') >= 5);
        QCOMPARE(packets(out), sourcePackets);
    }

    void clipRange_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<double>("length");

        QTest::newRow("conv, from 2 s for 2 s")
            << u"conv"_s
            << QStringList{u"%SIX"_s, u"-ss"_s, u"2"_s, u"-endpos"_s, u"2"_s} + words(x264) +
                   words("-o %OUT/clip.mp4")
            << 2.0;
        QTest::newRow("coder to MP3, from 2 s for 2 s")
            << u"coder"_s
            << words("-i %SIX -ss 2 -t 2 -y -vn -ar 44100 -ab 64k -ac 1 %OUT/clip.mp3") << 2.0;
        // The source's sound runs a little past its six seconds of picture.
        QTest::newRow("coder, a length past the end is cut there")
            << u"coder"_s << words("-i %SIX -ss 4.5 -t 10 -y -vn -ab 64k %OUT/clip.mp3") << 1.6;
    }
    void clipRange()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(double, length);

        QString dir;
        const Result r = encode(tool, args, &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        QVERIFY2(std::abs(machineValue(r.output, "duration").toDouble() - length) < 0.15,
                 r.output.constData());
        if (tool == u"coder")
            QVERIFY2(
                r.output.contains("Duration: 00:00:0" + machineValue(r.output, "duration").left(3)),
                r.output.constData());
        else
            verifyProgress(tool, r.output);
        const QString out =
            QString::fromUtf8(QByteArray::fromPercentEncoding(machineValue(r.output, "output")));
        const double got = probe(out)[u"format"_s][u"duration"_s].toString().toDouble();
        QVERIFY2(std::abs(got - length) <= 0.3, qPrintable(QString::number(got)));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code"); // -1: any failure
        QTest::addColumn<QByteArray>("error");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("ffmpeg"); // TORVANE_FFMPEG, when set

        const QString invalid = u"Invalid data"_s;
        auto row = [](const char *name, const char *tool, const QStringList &args, int code,
                      const char *error, const QString &reason, const QString &ffmpeg = {}) {
            QTest::newRow(name) << QString::fromUtf8(tool) << args << code << QByteArray(error)
                                << reason << ffmpeg;
        };
        row("conv, broken source", "conv",
            QStringList{u"%BROKEN"_s} + words(x264) + words("-o %OUT/x.mp4"), -1, "source",
            invalid);
        row("coder, broken source", "coder", words("-i %BROKEN -y -vn -ab 64k %OUT/x.mp3"), -1,
            "source", invalid);
        row("coder2, broken source", "coder2",
            words("-i %BROKEN -y -s 320x240 -vcodec mpeg4 %OUT/x.3gp"), -1, "source", invalid);
        row("conv, unknown option", "conv", words("%SRC -oac mp3lame -quiet -o %OUT/x.flv"), 2,
            "usage", u"-quiet"_s);
        row("conv, unknown rotation", "conv", words("%SRC -vf rotate=9 -o %OUT/x.flv"), 2, "usage",
            u"rotate=9"_s);
        row("coder, unknown option", "coder", words("-i %SRC -y -qscale 3 %OUT/x.mp3"), 2, "usage",
            u"-qscale"_s);
        row("coder2, no output", "coder2", words("-i %SRC"), 2, "usage", u"output"_s);

        // Figures that used to hang the encoder or wrap around in a conversion.
        const char *audio = "-i %SRC -y -vn %1 %OUT/x.mp3";
        for (const char *figure : {"-ab 1e306k", "-ab 1e306", "-ab 0.0001", "-b 1e19k", "-ar 1e12",
                                   "-ar 0.5", "-r 1/1e-300", "-r 1e-9", "-s 20000x10"})
            row(figure, "coder",
                QString::fromUtf8(audio).arg(QString::fromUtf8(figure)).split(u' '), 2, "usage",
                QString::fromUtf8(figure).split(u' ').last());
        for (const char *option : {"-x264encopts bitrate=1e19", "-lameopts preset=1e19",
                                   "-lavcopts vpass=1e9", "-ss -1", "-ss 1e3", "-endpos 0"})
            row(option, "conv",
                QStringList{u"%SRC"_s} + QString::fromUtf8(option).split(u' ') +
                    words("-o %OUT/x.mp4"),
                2, "usage", QString::fromUtf8(option).split(u'=').last().split(u' ').last());
        row("coder, clip length not a number", "coder",
            words("-i %SRC -ss 1 -t 1:00 -y -vn %OUT/x.mp3"), 2, "usage", u"1:00"_s);

        row("clip past the end", "coder", words("-i %SRC -ss 3 -t 1 -y -vn %OUT/x.mp3"), 1,
            "clip-range", u"ends at 2.10 s"_s);
        row("sound alone from a silent source", "coder", words("-i %QUAD -y -vn %OUT/x.mp3"), 1,
            "no-sound", u"has no sound"_s);
        row("no such folder", "coder", words("-i %SRC -y -vn %OUT/none/x.mp3"), 1, "output",
            u"No such file or directory"_s);
        row("name too long", "coder",
            words("-i %SRC -y -vn") + QStringList{u"%OUT/"_s + QString(252, u'n') + u".mp3"_s}, 1,
            "name-too-long", u"File name too long"_s);
        // Opening these would wait for a writer, or read a device as a video.
        row("conv, a pipe as source", "conv",
            QStringList{u"%PIPE"_s} + words(x264) + words("-o %OUT/x.mp4"), 1, "not-a-file",
            u"not a regular file"_s);
        row("coder, a device as source", "coder", words("-i /dev/zero -y -vn %OUT/x.mp3"), 1,
            "not-a-file", u"not a regular file"_s);
        row("no ffmpeg", "coder", words("-i %SRC -y -vn %OUT/x.mp3"), 127, "ffmpeg-missing",
            u"No such file or directory"_s, u"/nonexistent/ffmpeg"_s);
        row("conv -preview, broken source", "conv",
            QStringList{u"%BROKEN"_s} + words(x264) + words("-o %OUT/x.mp4 -preview %OUT/p.png"), 1,
            "source", invalid);
        row("conv -preview, a pipe as source", "conv",
            QStringList{u"%PIPE"_s} + words(x264) + words("-o %OUT/x.mp4 -preview %OUT/p.png"), 1,
            "not-a-file", u"not a regular file"_s);
        row("conv -probe without paths", "conv", {u"-probe"_s}, 2, "usage", u"-probe"_s);
        row("coder -probe", "coder", words("-probe %SRC"), 2, "usage", u"-probe"_s);
    }
    void failures()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, error);
        QFETCH(QString, reason);
        QFETCH(QString, ffmpeg);

        QString dir;
        const Result r =
            encode(tool, args, &dir,
                   ffmpeg.isEmpty() ? QStringList() : QStringList{u"TORVANE_FFMPEG="_s + ffmpeg});
        if (code < 0)
            QVERIFY(r.code != 0);
        else
            QCOMPARE(r.code, code);
        const QStringList lines =
            QString::fromUtf8(r.output).split(QRegularExpression(u"[\r\n]"_s), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2 && lines.last().contains(reason), r.output.constData());
        // The report says why in the very words of the last line.
        QCOMPARE(lines[lines.size() - 2],
                 u"[torvane] error="_s + QString::fromLatin1(error) + u" detail="_s +
                     QString::fromLatin1(lines.last().toUtf8().toPercentEncoding()));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
        if (tool == u"conv")
            QCOMPARE(r.output.count('('), r.output.count("%)"));
    }

    // A stand-in ffmpeg writes a file that is not what was asked for: the
    // encoder keeps it under its name and says what differs.
    void checkCatches_data()
    {
        QTest::addColumn<QStringList>("prepare"); // ffmpeg's arguments after -i %SRC
        QTest::addColumn<QString>("filter");      // conv's -vf
        QTest::addColumn<QString>("differs");
        QTest::addColumn<QString>("check"); // the report line the batch reads
        QTest::newRow("a picture not turned")
            << words("-c:v libx264 -c:a aac") << u"rotate=1"_s
            << u"176x144 shown, 144x176 expected"_s << u"size found=176x144 expected=144x176"_s;
        QTest::newRow("cut short")
            << words("-t 1 -c:v libx264 -c:a aac") << QString() << u"1.00 s long, 2.10 s expected"_s
            << u"duration found=1.00 expected=2.10"_s;
        QTest::newRow("no video") << words("-vn -c:a aac") << QString()
                                  << u"no video, the source has some"_s << u"no-video"_s;
    }
    void checkCatches()
    {
        QFETCH(QStringList, prepare);
        QFETCH(QString, filter);
        QFETCH(QString, differs);
        QFETCH(QString, check);
        const QString written =
            path(u"written %1.mp4"_s.arg(QString::fromUtf8(QTest::currentDataTag())));
        QVERIFY(ffmpeg(QStringList{u"-i"_s, m_names[u"%SRC"_s]} + prepare + QStringList{written}));
        const QString standIn =
            path(u"ffmpeg-writes %1"_s.arg(QString::fromUtf8(QTest::currentDataTag())));
        QFile script(standIn);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ncat '" + QFile::encodeName(written) + "' >/dev/fd/3\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QStringList args = QStringList{u"%SRC"_s} + words(x264);
        if (!filter.isEmpty())
            args << u"-vf"_s << filter;
        QString dir;
        const Result r = encode(u"conv"_s, args + words("-o %OUT/x.mp4"), &dir,
                                {u"TORVANE_FFMPEG="_s + standIn});
        QVERIFY2(r.code == 3, r.output.constData());
        const QString kept = QDir(dir).filePath(u"x.mp4"_s);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{u"x.mp4"_s});
        const QStringList lines =
            QString::fromUtf8(r.output).split(QRegularExpression(u"[\r\n]"_s), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 4, r.output.constData());
        QCOMPARE(lines[lines.size() - 4],
                 u"[torvane] output="_s +
                     QString::fromUtf8(QFile::encodeName(kept).toPercentEncoding("/")));
        QCOMPARE(lines[lines.size() - 3], u"[torvane] check="_s + check);
        QVERIFY(lines[lines.size() - 2].startsWith(u"[torvane] error=check-failed detail="_s));
        QCOMPARE(lines.last(),
                 u"Output check failed: %1; the file is kept as %2"_s.arg(differs, kept));
    }

    // A stand-in ffmpeg that ends at once, before or after the probe answers,
    // with or without a stop in between: the encoder ends every time.
    void endsWhateverEndsFirst_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("ffmpegExit");
        QTest::addColumn<bool>("slowProbe");  // the probe answers after ffmpeg's pipes closed
        QTest::addColumn<int>("stopAfterMs"); // SIGTERM while the probe is still out; 0: none
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("error");
        const QStringList conv = QStringList{u"%SRC"_s} + words(x264) + words("-o %OUT/x.mp4");
        const QStringList coder = words("-i %SRC -y -vn -ab 64k %OUT/x.mp3");
        const QStringList coder2 = words("-i %TMP -y -s 320x240 -vcodec mpeg4 -acodec amr_nb -ac 1 "
                                         "-ar 8000 -ab 12.2k %OUT/x.3gp");
        QTest::newRow("conv, ffmpeg fails before the probe")
            << u"conv"_s << conv << 1 << true << 0 << 1 << QByteArray("failed");
        QTest::newRow("coder, ffmpeg fails before the probe")
            << u"coder"_s << coder << 1 << true << 0 << 1 << QByteArray("failed");
        QTest::newRow("coder2, ffmpeg fails before the probe")
            << u"coder2"_s << coder2 << 1 << true << 0 << 1 << QByteArray("failed");
        QTest::newRow("conv, ffmpeg writes nothing before the probe")
            << u"conv"_s << conv << 0 << true << 0 << 1 << QByteArray("failed");
        QTest::newRow("conv, ffmpeg fails, the probe at its usual speed")
            << u"conv"_s << conv << 1 << false << 0 << 1 << QByteArray("failed");
        QTest::newRow("conv, stopped between ffmpeg's end and the probe")
            << u"conv"_s << conv << 0 << true << 400 << 128 + SIGTERM << QByteArray("interrupted");
    }
    void endsWhateverEndsFirst()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, ffmpegExit);
        QFETCH(bool, slowProbe);
        QFETCH(int, stopAfterMs);
        QFETCH(int, code);
        QFETCH(QByteArray, error);
        const QString standIn = path(u"ffmpeg-exit%1"_s.arg(ffmpegExit));
        QFile script(standIn);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexit " + QByteArray::number(ffmpegExit) + "\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QStringList environment = {u"TORVANE_FFMPEG="_s + standIn};
        if (slowProbe)
            environment << libavShim(u"slow"_s) << u"TORVANE_TEST_LIBAV_MS=700"_s;

        const QString dir = freshDir();
        QList<QByteArray> argv = {QFile::encodeName(encoders + tool)};
        for (QString arg : std::as_const(args)) {
            for (auto it = m_names.cbegin(); it != m_names.cend(); ++it)
                arg.replace(it.key(), it.value());
            argv << QFile::encodeName(arg.replace(u"%OUT"_s, dir));
        }
        Spawned encoder;
        QVERIFY(encoder.start(argv, environment));
        if (stopAfterMs > 0) {
            QTest::qWait(stopAfterMs);
            ::kill(encoder.pid(), SIGTERM);
        }
        // The probe answers within about 2 s here; an encoder still running at
        // 20 s waits for nothing.
        QElapsedTimer clock;
        clock.start();
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(encoder.pid(), &status, WNOHANG)) == 0 && clock.elapsed() < 20000)
            QTest::qWait(20);
        if (ended == 0) {
            ::kill(encoder.pid(), SIGKILL);
            QFAIL("the encoder waits for ever");
        }
        encoder.forget();
        const QByteArray output = encoder.seen();
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == code, output.constData());
        QCOMPARE(machineValue(output, "error").split(' ').first(), error);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // conv -preview: the picture the very command would encode, as a player
    // shows the output, and nothing else written.
    void preview_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("options");
        // Odd sides, which the encode rounds down.
        const QString odd = path(u"odd.mkv"_s);
        if (!QFile::exists(odd))
            QVERIFY(ffmpeg({u"-i"_s, m_names[u"%QUAD"_s], u"-vf"_s, u"scale=161:121"_s,
                            u"-pix_fmt"_s, u"yuv444p"_s, u"-c:v"_s, u"ffv1"_s, odd}));
        m_names.insert(u"%ODD"_s, odd);
        const auto row = [](const char *name, const char *source, const char *options) {
            QTest::newRow(name) << QString::fromUtf8(source) << words(options);
        };
        row("as is", "%QUAD", "");
        row("clockwise", "%QUAD", "-vf rotate=1");
        row("counter-clockwise", "%QUAD", "-vf rotate=2");
        row("mirror", "%QUAD", "-vf mirror");
        row("flip", "%QUAD", "-vf flip");
        row("display matrix", "%PHONE90", "");
        row("display matrix ignored, clockwise", "%PHONE90", "-noautorotate -vf rotate=1");
        row("lossless copy", "%PHONE90", "-vf rotate=2 -lossless");
        row("odd size, clockwise", "%ODD", "-vf rotate=1");
        row("clip", "%QUAD", "-ss 0.4 -endpos 0.4 -vf mirror");
    }
    void preview()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, options);
        const QStringList command =
            QStringList{source} + words(x264) + options + words("-o %OUT/x.mp4");
        QString dir;
        const Result r = encode(u"conv"_s, command + words("-preview %OUT/p.png"), &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        const QString picture = QDir(dir).filePath(u"p.png"_s);
        QCOMPARE(r.output,
                 "[torvane] output=" + QFile::encodeName(picture).toPercentEncoding("/") + '\n');
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{u"p.png"_s});
        QCOMPARE(firstStream(probe(picture), u"video"_s)[u"codec_name"_s].toString(), u"png"_s);

        const Result encoded = encode(u"conv"_s, command, &dir);
        QVERIFY2(encoded.code == 0, encoded.output.constData());
        const QString output = QDir(dir).filePath(u"x.mp4"_s);
        const QList<int> expected = ::corners(output, true);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(::corners(picture, true), expected);
        // Small enough to be shown whole.
        QCOMPARE(shownSize(picture, true), shownSize(output, true));
    }

    // conv -probe: a line for each path, in order, a length only where one is
    // known, never waiting on a pipe; thousands of paths in one run.
    void probeMode()
    {
        const auto length = [](const QString &file) {
            const double seconds = probe(file)[u"format"_s][u"duration"_s].toString().toDouble();
            return QByteArray(" duration=") + QByteArray::number(seconds, 'f', 3);
        };
        const QStringList paths = {m_names[u"%SRC"_s],  m_names[u"%BROKEN"_s],
                                   m_names[u"%PIPE"_s], path(u"missing.avi"_s),
                                   m_names[u"%SIX"_s],  u"-o"_s};
        QByteArray expected;
        for (int i = 0; i < paths.size(); ++i)
            expected += "[torvane] probed=" + QByteArray::number(i) +
                        (i == 0 || i == 4 ? length(paths[i]) : QByteArray()) + '\n';
        // What the probe found goes along for the encoder, where it found anything.
        const auto withoutInfo = [](const QByteArray &output, QList<bool> *hadInfo) {
            QByteArray lines;
            for (const QByteArray &line : output.split('\n')) {
                const qsizetype info = line.indexOf(" info=");
                if (hadInfo && !line.isEmpty())
                    *hadInfo << (info > 0);
                lines += (info > 0 ? line.left(info) : line) + '\n';
            }
            return lines.chopped(1);
        };
        Result r = run(encoders + u"conv"_s, QStringList{u"-probe"_s} + paths, {}, 20000);
        QCOMPARE(r.code, 0);
        QList<bool> hadInfo;
        QCOMPARE(withoutInfo(r.output, &hadInfo), expected);
        QCOMPARE(hadInfo, (QList<bool>{true, false, false, false, true, false}));

        QStringList many;
        for (int i = 0; i < 1000; ++i)
            many << m_names[u"%SRC"_s] << path(u"missing.avi"_s);
        r = run(encoders + u"conv"_s, QStringList{u"-probe"_s} + many, {}, 60000);
        QCOMPARE(r.code, 0);
        const QList<QByteArray> lines = withoutInfo(r.output, nullptr).trimmed().split('\n');
        QCOMPARE(lines.size(), many.size());
        QCOMPARE(lines.last(), QByteArray("[torvane] probed=1999"));
        QCOMPARE(lines[1998], "[torvane] probed=1998" + length(m_names[u"%SRC"_s]));
    }

    void probeModeStops()
    {
        QList<QByteArray> argv = {QFile::encodeName(encoders + u"conv"_s), "-probe"};
        for (int i = 0; i < 10000; ++i)
            argv << QFile::encodeName(m_names[u"%TMP"_s]);
        Spawned conv;
        QVERIFY(conv.start(argv));
        QVERIFY(conv.readUntil(QRegularExpression(u"probed=0 "_s)));
        ::kill(conv.pid(), SIGTERM);
        QElapsedTimer clock;
        clock.start();
        const QByteArray seen = conv.seen();
        QCOMPARE(conv.wait(), 128 + SIGTERM);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY2(seen.endsWith("[torvane] error=interrupted detail=Interrupted%20by%20signal%2015\n"
                               "Interrupted by signal 15\n"),
                 seen.right(200).constData());
    }

    // A figure past what the codec takes is held to its highest, never its lowest.
    void bitratePastTheCeiling_data()
    {
        QTest::addColumn<QString>("bitrate");
        QTest::newRow("the ceiling") << u"1000k"_s;
        QTest::newRow("just past it") << u"1001k"_s;
        QTest::newRow("ten times past") << u"10000k"_s;
    }
    void bitratePastTheCeiling()
    {
        QFETCH(QString, bitrate);
        QString dir;
        const Result r =
            encode(u"coder"_s,
                   words("-i %AUDIO -y -vn -ab") + QStringList{bitrate, u"%OUT/x.mp3"_s}, &dir);
        QVERIFY2(r.code == 0, r.output.constData());
        const QJsonObject audio = firstStream(probe(QDir(dir).filePath(u"x.mp3"_s)), u"audio"_s);
        QCOMPARE(audio[u"bit_rate"_s].toString().toInt(), 320000);
    }

    void withoutLibav_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("lossless"); // the lossless= line, null for none
        QTest::newRow("conv") << u"conv"_s
                              << QStringList{u"%SRC"_s} + words(x264) + words("-o %OUT/c.mp4")
                              << QByteArray();
        QTest::newRow("coder") << u"coder"_s << words("-i %SRC -y -vn -ab 64k %OUT/c.mp3")
                               << QByteArray();
        QTest::newRow("conv, lossless rotation")
            << u"conv"_s
            << QStringList{u"%UPRIGHT"_s} + words(x264) +
                   words("-vf rotate=1 -lossless -o %OUT/c.mp4")
            << QByteArray("encode reason=libav");
    }
    // ffmpeg still encodes when libav cannot be loaded; the progress lacks the duration.
    void withoutLibav()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, lossless);

        const Result r = encode(tool, args, nullptr, libavMissing);
        QVERIFY2(r.code == 0, r.output.constData());
        QVERIFY2(machineValue(r.output, "duration").isNull(), r.output.constData());
        QCOMPARE(machineValue(r.output, "lossless"), lossless);
        const QString out =
            QString::fromUtf8(QByteArray::fromPercentEncoding(machineValue(r.output, "output")));
        QVERIFY(QFileInfo(out).size() > 0);
        if (tool == u"conv")
            QVERIFY2(r.output.count('(') == 2 && r.output.contains("( 0%)\r") &&
                         r.output.contains("(100%)\r"),
                     r.output.constData());
        else
            QVERIFY2(r.output.startsWith("  Duration: N/A, start: 0.000000\n"),
                     r.output.constData());
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
        QCOMPARE(QByteArray::fromPercentEncoding(machineValue(r.output, "output")), video.toUtf8());

        const QString sound = dir.filePath(u"音 \"频\".mp3"_s);
        r = encode(u"coder"_s, QStringList{u"-i"_s, src} + words("-y -vn -ar 44100 -ab 96k -ac 2") +
                                   QStringList{sound});
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(firstStream(probe(sound), u"audio"_s)[u"codec_name"_s].toString(), u"mp3"_s);
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void byteNames_data()
    {
        QTest::addColumn<QList<QByteArray>>("args"); // %SRC and %DIR stand for the byte paths
        QTest::newRow("conv") << QList<QByteArray>{"conv", "%SRC", "-oac", "mp3lame",
                                                   "-ovc", "x264", "-o",   "%DIR/r\xe9sultat.mp4"};
        QTest::newRow("coder") << QList<QByteArray>{"coder", "-i",  "%SRC",
                                                    "-y",    "-vn", "%DIR/r\xe9sultat.mp3"};
    }
    void byteNames()
    {
        QFETCH(QList<QByteArray>, args);
        // Latin-1 names, as an old disk or archive leaves them: not UTF-8.
        const QByteArray src = QFile::encodeName(m_dir.path()) + "/caf\xe9 (1).avi";
        const QByteArray dir = QFile::encodeName(freshDir()) + "/sortie \xff";
        QCOMPARE(::link(QFile::encodeName(m_names[u"%SRC"_s]).constData(), src.constData()), 0);
        QCOMPARE(::mkdir(dir.constData(), 0700), 0);

        QList<QByteArray> argv;
        for (QByteArray arg : args)
            argv << arg.replace("%SRC", src).replace("%DIR", dir);
        argv[0] = QFile::encodeName(encoders) + argv[0];
        Spawned encoder;
        QVERIFY(encoder.start(argv));
        const QByteArray output = encoder.seen();
        QVERIFY2(encoder.wait() == 0, output.constData());

        const QByteArray written = QByteArray::fromPercentEncoding(machineValue(output, "output"));
        QCOMPARE(written, argv.last());
        struct stat st = {};
        QVERIFY(::stat(written.constData(), &st) == 0 && st.st_size > 0);
        // QTemporaryDir cannot remove what it cannot name.
        QCOMPARE(::unlink(written.constData()), 0);
        QCOMPARE(::rmdir(dir.constData()), 0);
        QCOMPARE(::unlink(src.constData()), 0);
    }

    void publishNeverReplaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("second");
        QTest::newRow("with extension") << u"x.mp3"_s << u"x_2.mp3"_s;
        QTest::newRow("without extension") << u"x"_s << u"x_2"_s;
        QTest::newRow("hidden, without extension") << u".x"_s << u".x_2"_s;
    }
    void publishNeverReplaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, second);
        const QString dir = freshDir();
        const QStringList args =
            words("-i %AUDIO -y -vn -f mp3") + QStringList{QDir(dir).filePath(name)};
        const Result first = encode(u"coder"_s, args);
        const Result again = encode(u"coder"_s, args);
        QVERIFY2(first.code == 0 && again.code == 0, again.output.constData());
        QCOMPARE(QByteArray::fromPercentEncoding(machineValue(again.output, "output")),
                 QFile::encodeName(QDir(dir).filePath(second)));
        QStringList files = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        QStringList expected = {name, second};
        expected.sort();
        QCOMPARE(files, expected);
    }

    void partFileFollowsNoLink()
    {
        // A file of someone else's that links planted in the output folder point at.
        const QString victim = path(u"victim.txt"_s);
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();

        // Every name the old scheme could pick for the next encoder's part
        // file (".x.part-PID.mp3"), and the final name itself.
        const QString dir = freshDir();
        QFile lastPid(u"/proc/sys/kernel/ns_last_pid"_s);
        QVERIFY(lastPid.open(QIODevice::ReadOnly));
        const int next = lastPid.readAll().trimmed().toInt() + 1;
        QStringList planted = {u"x.mp3"_s};
        for (int pid = next; pid < next + 2000; ++pid)
            planted << u".x.part-%1.mp3"_s.arg(pid);
        for (const QString &name : planted)
            QVERIFY(QFile::link(victim, QDir(dir).filePath(name)));

        const Result r = encode(u"coder"_s, words("-i %AUDIO -y -vn") +
                                                QStringList{QDir(dir).filePath(u"x.mp3"_s)});
        QVERIFY2(r.code == 0, r.output.constData());
        QCOMPARE(QByteArray::fromPercentEncoding(machineValue(r.output, "output")),
                 QFile::encodeName(QDir(dir).filePath(u"x_2.mp3"_s)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
        const QFileInfoList left =
            QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
        QCOMPARE(left.size(), planted.size() + 1);
        for (const QFileInfo &entry : left)
            QVERIFY(entry.fileName() == u"x_2.mp3" || entry.symLinkTarget() == victim);
    }

    void stops_data()
    {
        QTest::addColumn<int>("sig"); // 0: the reader of the output goes away
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("probing"); // the stop comes while libav still loads
        QTest::newRow("SIGTERM") << int(SIGTERM) << 128 + SIGTERM << false;
        QTest::newRow("SIGINT") << int(SIGINT) << 128 + SIGINT << false;
        QTest::newRow("reader gone") << 0 << 128 + SIGPIPE << false;
        QTest::newRow("SIGTERM while probing") << int(SIGTERM) << 128 + SIGTERM << true;
    }
    void stops()
    {
        QFETCH(int, sig);
        QFETCH(int, code);
        QFETCH(bool, probing);
        // Long enough that the encode is still running when the first status shows.
        const QString longSource = path(u"long.avi"_s);
        if (!QFile::exists(longSource))
            QVERIFY(ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=320x240:r=25:d=60"_s,
                            u"-c:v"_s, u"mpeg4"_s, u"-q:v"_s, u"8"_s, longSource}));
        const QString dir = freshDir();
        QList<QByteArray> argv = {QFile::encodeName(encoders + u"conv"_s),
                                  QFile::encodeName(longSource)};
        for (const QString &word : words(x264))
            argv << word.toUtf8();
        argv << "-o" << QFile::encodeName(dir + u"/long.mp4"_s);
        Spawned conv;
        QVERIFY(conv.start(argv, probing ? libavSlow : QStringList()));
        if (probing) // ffmpeg starts before the probe answers
            QTRY_VERIFY_WITH_TIMEOUT(!childrenOf(conv.pid()).isEmpty(), 1500);
        else
            QVERIFY(conv.readUntil(QRegularExpression(u"\\((?: [1-9]|[1-9]\\d)%\\)"_s)));
        const QList<pid_t> ffmpegs = childrenOf(conv.pid());
        QCOMPARE(ffmpegs.size(), 1);

        QByteArray seen;
        if (sig != 0) {
            ::kill(conv.pid(), sig);
            seen = conv.seen();
            QVERIFY2(seen.contains("[torvane] error=interrupted detail="), seen.constData());
            QVERIFY(!seen.contains("(100%)"));
            // Else the probe had answered before the stop.
            QVERIFY2(!probing || machineValue(seen, "duration").isNull(), seen.constData());
        } else {
            conv.closeOutput();
        }
        const pid_t group = conv.pid();
        QCOMPARE(conv.wait(), code);
        QCOMPARE(::kill(ffmpegs.first(), 0) == -1 && errno == ESRCH, true);
        QCOMPARE(::kill(-group, 0) == -1 && errno == ESRCH, true);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The source is opened once, before ffmpeg starts: a pipe put in its place
    // afterwards (here by the stand-in, just before the real ffmpeg runs) is
    // never read, and the job converts the file that was there.
    void sourceSwappedForAPipeIsNeverRead_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("conv") << u"conv"_s << QStringList(words(x264) + words("-o %OUT/x.mp4"));
        QTest::newRow("coder") << u"coder"_s << words("-y -vn -ab 64k %OUT/x.mp3");
    }
    void sourceSwappedForAPipeIsNeverRead()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        const QString source = path(u"swapped-%1.avi"_s.arg(tool));
        QVERIFY(QFile::copy(m_names[u"%SRC"_s], source));
        const QString standIn = path(u"ffmpeg-swaps-%1"_s.arg(tool));
        QFile script(standIn);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\nmv \"$SWAP\" \"$SWAP.real\" && mkfifo \"$SWAP\" && exec ffmpeg \"$@\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        args.prepend(source);
        if (tool != u"conv"_s)
            args.prepend(u"-i"_s);
        QString dir;
        const Result r =
            encode(tool, args, &dir, {u"TORVANE_FFMPEG="_s + standIn, u"SWAP="_s + source});
        QVERIFY2(r.code == 0, r.output.constData());
        QVERIFY(!QFileInfo(source).isFile()); // the pipe is in its place now
        QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"
