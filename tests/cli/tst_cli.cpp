// The whole pipeline without a window: torvane-cli with the real encoders on
// clips the test makes itself.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(300000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

Run cli(const QStringList &args)
{
    return run(QStringLiteral(TORVANE_CLI), args);
}

QStringList okOutputs(const Run &r)
{
    QStringList outputs;
    for (const QString &line : r.out.split(u'\n')) {
        if (line.startsWith(u"OK "))
            outputs << line.mid(3);
    }
    return outputs;
}

QJsonObject probe(const QString &file)
{
    const Run r = run(u"ffprobe"_qs, {u"-v"_qs, u"error"_qs, u"-show_format"_qs,
                                      u"-show_streams"_qs, u"-of"_qs, u"json"_qs, file});
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

QString videoCodec(const QJsonObject &info)
{
    for (const QJsonValue &s : info[u"streams"].toArray()) {
        if (s[u"codec_type"].toString() == u"video")
            return s[u"codec_name"].toString();
    }
    return {};
}

// The colour of one pixel of the first frame, as red, green, blue.
QList<int> pixel(const QString &file, int x, int y, int width)
{
    QProcess p;
    p.start(u"ffmpeg"_qs, {u"-v"_qs, u"error"_qs, u"-i"_qs, file, u"-frames:v"_qs, u"1"_qs,
                           u"-f"_qs, u"rawvideo"_qs, u"-pix_fmt"_qs, u"rgb24"_qs, u"-"_qs});
    p.waitForFinished(60000);
    const QByteArray rgb = p.readAllStandardOutput();
    const qsizetype at = (qsizetype(y) * width + x) * 3;
    if (at + 2 >= rgb.size())
        return {};
    return {uchar(rgb[at]), uchar(rgb[at + 1]), uchar(rgb[at + 2])};
}

bool near(const QList<int> &a, const QList<int> &b)
{
    if (a.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (std::abs(a[i] - b[i]) > 70)
            return false;
    }
    return true;
}

// Processes whose command line names the path: encoders and ffmpeg writing there.
QStringList processesUsing(const QString &path)
{
    QStringList found;
    const QByteArray needle = path.toUtf8();
    for (const QString &pid : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
        bool isPid = false;
        pid.toInt(&isPid);
        if (!isPid)
            continue;
        QFile cmdline(u"/proc/"_qs + pid + u"/cmdline"_qs);
        QFile stat(u"/proc/"_qs + pid + u"/stat"_qs);
        if (!cmdline.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray state = stat.readAll();
        const qsizetype close = state.lastIndexOf(')');
        if (close > 0 && state.mid(close + 2, 1) == "Z")
            continue; // already dead, waiting to be reaped
        if (cmdline.readAll().contains(needle))
            found << pid;
    }
    return found;
}

// Processes holding a file under the path open: ffmpeg writes to a descriptor
// it was given, so its command line does not name the file.
QStringList processesHoldingFilesIn(const QString &path)
{
    QStringList found;
    for (const QString &pid : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
        const QDir fds(u"/proc/"_qs + pid + u"/fd"_qs);
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
            if (QFile::symLinkTarget(fds.filePath(fd)).startsWith(path + u'/')) {
                found << pid;
                break;
            }
        }
    }
    return found;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;

    // 20 s at 640x480: still being encoded when a test stops it. Empty when it cannot be made.
    QString makeLongClip()
    {
        const QString longClip = dir.filePath(u"long.mp4"_qs);
        if (!QFileInfo::exists(longClip))
            run(u"ffmpeg"_qs,
                {u"-nostdin"_qs, u"-v"_qs, u"error"_qs, u"-f"_qs, u"lavfi"_qs, u"-i"_qs,
                 u"testsrc=size=640x480:rate=25:d=20"_qs, u"-c:v"_qs, u"mpeg4"_qs, longClip});
        return QFileInfo::exists(longClip) ? longClip : QString();
    }

    // What torvane-cli has added to the record so far.
    QList<QJsonObject> records() const
    {
        QFile file(dir.filePath(u"state/Torvane/history.jsonl"_qs));
        QList<QJsonObject> found;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    found << QJsonDocument::fromJson(line).object();
        return found;
    }

    // Starts torvane-cli on the source and waits for the encoder's first percentage.
    static bool startsConverting(QProcess &p, const QString &out, const QString &source)
    {
        p.start(QStringLiteral(TORVANE_CLI), {u"--output"_qs, out, source});
        QByteArray seen;
        while (p.waitForStarted() && !seen.contains('%') && p.waitForReadyRead(30000))
            seen += p.readAllStandardOutput();
        return seen.contains('%');
    }

private Q_SLOTS:
    // QTemporaryDir cannot remove names that are not UTF-8; the file system's
    // own walk takes them as bytes.
    void cleanupTestCase()
    {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(dir.path()).toStdString(), ignored);
    }

    void initTestCase()
    {
        const QString encoder = QFileInfo(QStringLiteral(TORVANE_CLI)).path() + u"/data/conv"_qs;
        if (!QFile::exists(encoder))
            QSKIP("the encoder programs are not built");
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(u"state"_qs)));
        // Four coloured quadrants, so a rotation shows where each corner went.
        clip = dir.filePath(u"my clip.avi"_qs);
        const Run made = run(
            u"ffmpeg"_qs, {u"-nostdin"_qs, u"-v"_qs, u"error"_qs, u"-f"_qs, u"lavfi"_qs, u"-i"_qs,
                           u"color=c=red:s=80x60:r=10:d=1[a];color=c=lime:s=80x60:r=10:d=1[b];"
                           "color=c=blue:s=80x60:r=10:d=1[c];color=c=yellow:s=80x60:r=10:d=1[d];"
                           "[a][b]hstack[t];[c][d]hstack[u];[t][u]vstack"_qs,
                           u"-f"_qs, u"lavfi"_qs, u"-i"_qs, u"sine=d=1"_qs, u"-shortest"_qs,
                           u"-c:v"_qs, u"mpeg4"_qs, u"-q:v"_qs, u"2"_qs, clip});
        QCOMPARE(made.exitCode, 0);
    }

    // The manual pages name every format and rotation the program takes.
    void manualPagesNameEveryChoice()
    {
        for (const char *page : {"man/torvane-cli.1", "man/zh_CN/torvane-cli.1"}) {
            QFile file(QStringLiteral(TORVANE_SOURCE_DIR "/resources/") + QLatin1String(page));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text =
                QString::fromUtf8(file.readAll()).remove(u"\\%"_qs).replace(u"\\-"_qs, u"-"_qs);
            for (const char *what : {"formats", "rotations"}) {
                const Run names = cli({u"--list"_qs, QLatin1String(what)});
                QCOMPARE(names.exitCode, 0);
                for (const QString &name : names.out.split(u'\n', Qt::SkipEmptyParts)) {
                    const QRegularExpression word(u"(^|\\s)"_qs + QRegularExpression::escape(name) +
                                                      u"(\\s|,|$)"_qs,
                                                  QRegularExpression::MultilineOption);
                    QVERIFY2(text.contains(word),
                             qPrintable(QLatin1String(page) + u": "_qs + name));
                }
            }
        }
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no path") << QStringList{};
        QTest::newRow("unknown format") << QStringList{u"--format"_qs, u"wmv"_qs, u"a.avi"_qs};
        QTest::newRow("format out of range") << QStringList{u"--format"_qs, u"9"_qs, u"a.avi"_qs};
        QTest::newRow("bad channels") << QStringList{u"--channels"_qs, u"3"_qs, u"a.avi"_qs};
        QTest::newRow("jobs none") << QStringList{u"--jobs"_qs, u"0"_qs, u"a.avi"_qs};
        QTest::newRow("jobs not a number") << QStringList{u"--jobs"_qs, u"all"_qs, u"a.avi"_qs};
        QTest::newRow("unknown option") << QStringList{u"--speed"_qs, u"a.avi"_qs};
        // A clip ending at 0 s would read as "to the end".
        QTest::newRow("clip ending at 0") << QStringList{u"--to"_qs, u"0"_qs, u"a.avi"_qs};
        QTest::newRow("nothing such to list") << QStringList{u"--list"_qs, u"sizes"_qs};
        QTest::newRow("preview of two")
            << QStringList{u"--preview"_qs, u"p.png"_qs, u"a.avi"_qs, u"b.avi"_qs};
        QTest::newRow("empty path") << QStringList{u"a.avi"_qs, QString()};
        QTest::newRow("print0 converting") << QStringList{u"--print0"_qs, u"a.avi"_qs};
        QTest::newRow("a name into a folder")
            << QStringList{u"--name"_qs, u"x/{name}"_qs, u"a.avi"_qs};
        QTest::newRow("a name of an unknown field")
            << QStringList{u"--name"_qs, u"{camera}"_qs, u"a.avi"_qs};
        QTest::newRow("print0 with json")
            << QStringList{u"--dry-run"_qs, u"--print0"_qs, u"--json"_qs, u"a.avi"_qs};
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        const Run r = cli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(u"usage: torvane-cli"_qs));
        QVERIFY(r.out.isEmpty());
    }

    void everyFormatWritesItsContainer_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("codec");
        QTest::newRow("flv") << u"flv"_qs << u"my clip_已旋转\\d+\\.flv"_qs << u"flv"_qs
                             << u"h264"_qs;
        QTest::newRow("rm") << u"rm"_qs << u"my clip-\\d+\\.rm"_qs << u"rm"_qs << u"rv10"_qs;
        QTest::newRow("mpg") << u"mpg"_qs << u"my clip_已旋转\\d+\\.mpg"_qs << u"mpeg"_qs
                             << u"mpeg1video"_qs;
        QTest::newRow("avi") << u"avi"_qs << u"my clip_已旋转\\d+\\.avi"_qs << u"avi"_qs
                             << u"mpeg1video"_qs;
        QTest::newRow("mp4") << u"mp4"_qs << u"my clip_已旋转\\d+\\.mp4"_qs << u"mp4"_qs
                             << u"h264"_qs;
        QTest::newRow("mov") << u"mov"_qs << u"my clip_已旋转\\d+\\.mov"_qs << u"mov"_qs
                             << u"h264"_qs;
        QTest::newRow("phone") << u"phone-mp4"_qs << u"my clip-\\d+\\.mp4"_qs << u"mp4"_qs
                               << u"mpeg4"_qs;
        QTest::newRow("3gp") << u"3gp"_qs << u"my clip-\\d+\\.3gp"_qs << u"3gp"_qs << u"mpeg4"_qs;
        QTest::newRow("mp3") << u"mp3"_qs << u"my clip-\\d+\\.mp3"_qs << u"mp3"_qs << QString();
    }

    void everyFormatWritesItsContainer()
    {
        QFETCH(QString, format);
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QString, codec);
        const QString out = dir.filePath(u"out-"_qs + format);
        const Run r = cli({u"--format"_qs, format, u"--output"_qs, out, clip});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QStringList outputs = okOutputs(r);
        QCOMPARE(outputs.size(), 1);
        QVERIFY2(QRegularExpression(u"^"_qs + QRegularExpression::escape(out + u'/') + name + u'$')
                     .match(outputs[0])
                     .hasMatch(),
                 qPrintable(outputs[0]));
        const QJsonObject info = probe(outputs[0]);
        QVERIFY2(info[u"format"][u"format_name"].toString().contains(container),
                 qPrintable(info[u"format"][u"format_name"].toString()));
        QCOMPARE(videoCodec(info), codec);
        // The command text and a progress caption were printed on the way.
        QVERIFY(r.out.contains(u"/data/"_qs));
        QVERIFY(r.out.contains(u'%'));
    }

    // Upside down: half a turn by its name, or by its place in the list.
    void halfTurnPutsTheCornersOpposite_data()
    {
        QTest::addColumn<QString>("rotate");
        QTest::newRow("by name") << u"180"_qs;
        QTest::newRow("by number") << u"5"_qs;
    }
    void halfTurnPutsTheCornersOpposite()
    {
        QFETCH(QString, rotate);
        const QString out = dir.filePath(u"upside-down-"_qs + rotate);
        const Run r = cli({u"--rotate"_qs, rotate, u"--format"_qs, u"mp4"_qs, u"--output"_qs, out,
                           u"--quiet"_qs, clip});
        QCOMPARE(r.exitCode, 0);
        const QString file = okOutputs(r).value(0);
        QCOMPARE(probe(file)[u"streams"].toArray().first().toObject()[u"width"].toInt(), 160);
        // The former bottom-right (yellow) is now top-left, top-left (red) bottom-right.
        QVERIFY(near(pixel(file, 10, 10, 160), {255, 255, 0}));
        QVERIFY(near(pixel(file, 150, 110, 160), {255, 0, 0}));
    }

    void rotationLandsTheCornersRight_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one job") << 1;
        QTest::newRow("two side by side") << 2;
    }
    void rotationLandsTheCornersRight()
    {
        QFETCH(int, jobs);
        const QString out = dir.filePath(u"rotated-%1"_qs.arg(jobs));
        const Run r =
            cli(QStringList{u"--rotate"_qs, u"cw"_qs, u"--format"_qs, u"mp4"_qs, u"--output"_qs,
                            out, u"--jobs"_qs, QString::number(jobs), u"--quiet"_qs} +
                QStringList(jobs, clip));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(okOutputs(r).size(), jobs);
        const double length = probe(clip)[u"format"][u"duration"].toString().toDouble();
        for (const QString &file : okOutputs(r)) {
            const QJsonObject info = probe(file);
            const QJsonObject video = info[u"streams"].toArray().first().toObject();
            QCOMPARE(video[u"width"].toInt(), 120);
            QCOMPARE(video[u"height"].toInt(), 160);
            QVERIFY(std::abs(info[u"format"][u"duration"].toString().toDouble() - length) < 0.1);
            // Clockwise: the former bottom-left (blue) is now top-left, top-left (red) top-right.
            QVERIFY(near(pixel(file, 10, 10, 120), {0, 0, 255}));
            QVERIFY(near(pixel(file, 110, 10, 120), {255, 0, 0}));
            QVERIFY(near(pixel(file, 10, 150, 120), {255, 255, 0}));
            QVERIFY(near(pixel(file, 110, 150, 120), {0, 255, 0}));
        }
        QVERIFY(!r.out.contains(u"/data/"_qs)); // quiet: only the final lines
        if (jobs > 1)
            return;
        const QString file = okOutputs(r).value(0);

        // The preview of the same job: the same corners, drawn by the same turn.
        const QString picture = dir.filePath(u"preview.png"_qs);
        const Run p = cli({u"--preview"_qs, picture, u"--rotate"_qs, u"cw"_qs, clip});
        QCOMPARE(p.exitCode, 0);
        QCOMPARE(p.out, picture + u'\n');
        for (const auto &[x, y] : {std::pair{10, 10}, {110, 10}, {10, 150}, {110, 150}})
            QVERIFY(near(pixel(picture, x, y, 120), pixel(file, x, y, 120)));
        const Run mp3 = cli({u"--preview"_qs, picture, u"--format"_qs, u"mp3"_qs, clip});
        QCOMPARE(mp3.exitCode, 1);
        QVERIFY(mp3.err.contains(u"没有画面"_qs));
    }

    void corruptSourceFailsAloneAndTheBatchGoesOn()
    {
        const QString broken = dir.filePath(u"broken.avi"_qs);
        QFile f(broken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator gen(7);
        for (char &c : noise)
            c = char(gen.bounded(256));
        f.write(noise);
        f.close();
        const QString out = dir.filePath(u"mixed"_qs);
        const Run r = cli({u"--rotate"_qs, u"none"_qs, u"--output"_qs, out, clip, broken, clip});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(okOutputs(r).size(), 2);
        QVERIFY2(r.out.contains(u"FAILED "_qs + broken + u": "_qs), qPrintable(r.out));
        // Same name in the same batch: the second output did not replace the first.
        QVERIFY(okOutputs(r)[0] != okOutputs(r)[1]);
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 2);
    }

    // A stop by signal ends the encoder and removes what it had begun; a killed
    // torvane-cli takes its encoder with it.
    void signalsLeaveNoEncoderAndNoPartFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        QTest::newRow("SIGINT") << SIGINT << 130;
        QTest::newRow("SIGTERM") << SIGTERM << 143;
        QTest::newRow("SIGKILL") << SIGKILL << -1;
    }

    void signalsLeaveNoEncoderAndNoPartFile()
    {
        QFETCH(int, signal);
        QFETCH(int, status);
        const QString longClip = makeLongClip();
        QVERIFY(!longClip.isEmpty());
        const QString out = dir.filePath(u"signalled-%1"_qs.arg(signal));
        QProcess p;
        QVERIFY(startsConverting(p, out, longClip));
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        if (status >= 0) {
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), status);
            QVERIFY(p.readAllStandardOutput().contains("STOPPED " + longClip.toUtf8()));
        }
        // Nothing that writes into the output folder runs on, nothing of it stays.
        QTRY_VERIFY_WITH_TIMEOUT(processesUsing(out).isEmpty(), 10000);
        const QStringList left =
            QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u", "_qs)));
    }

    // SIGKILL, or the OOM killer, gives an encoder no chance to clean up; the
    // next batch into that folder removes what it left.
    void aKilledEncodersPartFileGoesWithTheNextBatch()
    {
        const QString longClip = makeLongClip();
        QVERIFY(!longClip.isEmpty());
        const QString out = dir.filePath(u"killed-encoder"_qs);
        QProcess p;
        QVERIFY(startsConverting(p, out, longClip));
        // The encoder names a file in the folder; torvane-cli names the folder alone.
        QStringList encoders;
        QTRY_VERIFY((encoders = processesUsing(out + u'/')).size() == 1);
        ::kill(encoders.first().toInt(), SIGKILL);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(processesUsing(out).isEmpty(), 10000);
        // ffmpeg shares the part file's lock and dies of its parent's death a
        // moment later; until then the part file is rightly not abandoned.
        QTRY_VERIFY_WITH_TIMEOUT(processesHoldingFilesIn(out).isEmpty(), 10000);
        const QStringList left = QDir(out).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left.first().endsWith(u".part"), qPrintable(left.first()));

        const Run next = cli({u"--output"_qs, out, clip});
        QCOMPARE(next.exitCode, 0);
        // Joined, so that a failure names what was left.
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).join(u", "_qs),
                 QFileInfo(okOutputs(next).first()).fileName());
    }

    // A pipe in a folder is passed over; one named directly fails with its reason.
    void pipesAreNoVideos()
    {
        const QString folder = dir.filePath(u"with-pipe"_qs);
        QVERIFY(QDir().mkpath(folder));
        const QString pipe = folder + u"/pipe.avi"_qs;
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(QFile::copy(clip, folder + u"/clip.avi"_qs));
        const QString out = dir.filePath(u"pipe-out"_qs);
        const Run found = cli({u"--json"_qs, u"--output"_qs, out, folder});
        QCOMPARE(found.exitCode, 0);
        QVERIFY2(found.out.contains(u"\"jobs\":1"_qs), qPrintable(found.out));
        const Run named = cli({u"--json"_qs, u"--output"_qs, out, pipe});
        QCOMPARE(named.exitCode, 1);
        QVERIFY2(named.out.contains(u"\"reason\":\"source-not-a-file\""_qs), qPrintable(named.out));
    }

    // Ctrl+Z stops torvane-cli and, though they run in groups of their own,
    // its encoders; the shell's fg lets both go on.
    void terminalStopHoldsTheEncoders()
    {
        const QString longClip = makeLongClip();
        QVERIFY(!longClip.isEmpty());
        const QString out = dir.filePath(u"ctrl-z"_qs);
        QProcess p;
        QVERIFY(startsConverting(p, out, longClip));
        QStringList encoders;
        QTRY_VERIFY((encoders = processesUsing(out + u'/')).size() == 1);
        const auto state = [](qint64 pid) {
            QFile stat(u"/proc/%1/stat"_qs.arg(pid));
            const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
            return text.isEmpty() ? '?' : text.at(text.lastIndexOf(')') + 2);
        };
        ::kill(pid_t(p.processId()), SIGTSTP);
        QTRY_COMPARE(state(p.processId()), 'T');
        QTRY_COMPARE(state(encoders.first().toLongLong()), 'T');
        ::kill(pid_t(p.processId()), SIGCONT);
        QTRY_VERIFY(state(encoders.first().toLongLong()) != 'T');
        QVERIFY(state(p.processId()) != 'T');
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 128 + SIGTERM);
    }

    // Without HOME the default folder is still the account's own, not "//".
    void defaultFolderWithoutHome()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"HOME"_qs);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TORVANE_CLI), {u"--dry-run"_qs, clip});
        QVERIFY(p.waitForFinished(30000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(out.contains(u" -o \""_qs + QDir::homePath() + u"/Torvane输出/"_qs),
                 qPrintable(out));
    }

    // Scripts are written against these lines: every event is one JSON object,
    // nothing else is on standard output.
    void jsonLinesOfARealBatch()
    {
        const QString broken = dir.filePath(u"broken2.avi"_qs);
        QFile f(broken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        const Run r = cli({u"--json"_qs, u"--output"_qs, dir.filePath(u"json"_qs), clip, broken});
        QCOMPARE(r.exitCode, 1);
        QList<QJsonObject> events;
        for (const QString &line : r.out.split(u'\n', Qt::SkipEmptyParts)) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
            QVERIFY2(error.error == QJsonParseError::NoError && doc.isObject(), qPrintable(line));
            QVERIFY2(line.startsWith(u"{\"event\":"_qs), qPrintable(line));
            events << doc.object();
        }
        auto first = [&](const QString &event) {
            for (const QJsonObject &o : events) {
                if (o[u"event"].toString() == event)
                    return o;
            }
            return QJsonObject();
        };
        QCOMPARE(events.first()[u"event"].toString(), u"batch-start"_qs);
        QCOMPARE(events.first()[u"jobs"].toInt(), 2);
        QCOMPARE(first(u"job-start"_qs)[u"source"].toString(), clip);
        const QJsonObject progress = first(u"progress"_qs);
        QVERIFY(progress[u"fraction"].toDouble() >= 0 && progress[u"fraction"].toDouble() <= 1);
        QVERIFY(progress.contains(u"remaining_seconds"));
        QCOMPARE(progress[u"jobs"].toInt(), 2);
        const QJsonObject done = first(u"job-done"_qs);
        QVERIFY(QFileInfo(done[u"output"].toString()).size() > 0);
        const QJsonObject failed = first(u"job-failed"_qs);
        QCOMPARE(failed[u"source"].toString(), broken);
        QCOMPARE(failed[u"reason"].toString(), u"source-unreadable"_qs);
        QVERIFY(!failed[u"message"].toString().isEmpty());
        QCOMPARE(failed[u"job"].toInt(), 2);
        const QJsonObject end = events.last();
        QCOMPARE(end[u"event"].toString(), u"batch-end"_qs);
        QCOMPARE(end[u"converted"].toInt(), 1);
        QCOMPARE(end[u"failed"].toInt(), 1);
        QCOMPARE(end[u"exit_status"].toInt(), 1);
    }

    // A name may hold line breaks, tabs and escapes, and lines that look like
    // the encoders' report: it converts, fails, previews and stops as any other
    // name, prints on one line, and names no file but its own.
    void namesWithLineBreaksStayNames()
    {
        const QString folder = dir.filePath(u"control"_qs);
        QVERIFY(QDir().mkpath(folder));
        const QString victim = folder + u"/notes.txt"_qs;
        QFile notes(victim);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("mine\n") == 5);
        notes.close();
        const QString forged = u"\n[torvane] output="_qs +
                               QString::fromLatin1(QFile::encodeName(victim).toPercentEncoding()) +
                               u"\n[torvane] error=none\r\t\x1b"_qs;
        const QString source = folder + u"/evil"_qs + forged + u".avi"_qs;
        const QString broken = folder + u"/bad"_qs + forged + u".avi"_qs;
        QVERIFY(QFile::copy(clip, source));
        QFile bad(broken);
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(QByteArray(4096, 'x')) == 4096);
        bad.close();
        const QString out = dir.filePath(u"control-out"_qs);

        const Run json = cli({u"--json"_qs, u"--output"_qs, out, source, broken});
        QCOMPARE(json.exitCode, 1);
        QStringList events;
        for (const QString &line : json.out.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(!event.isEmpty(), qPrintable(line));
            events << event[u"event"].toString();
            if (events.last() == u"job-done") {
                const QString output = QFile::decodeName(
                    QByteArray::fromPercentEncoding(event[u"output_bytes"].toString().toLatin1()));
                QCOMPARE(QFileInfo(output).path(), out);
                QVERIFY(QFileInfo(output).size() > 0);
            }
            if (events.last() == u"job-failed")
                QCOMPARE(event[u"reason"].toString(), u"source-unreadable"_qs);
        }
        QCOMPARE(events.count(u"job-done"_qs), 1);
        QCOMPARE(events.count(u"job-failed"_qs), 1);

        const Run text = cli({u"--output"_qs, out, source, broken});
        QCOMPARE(text.exitCode, 1);
        const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.filter(QRegularExpression(u"^OK "_qs)).size(), 1);
        QCOMPARE(lines.filter(QRegularExpression(u"^FAILED "_qs)).size(), 1);
        QVERIFY(lines.filter(QRegularExpression(u"^\\[torvane\\]"_qs)).isEmpty());

        const QString picture = dir.filePath(u"control.png"_qs);
        const Run preview = cli({u"--preview"_qs, picture, source});
        QCOMPARE(preview.exitCode, 0);
        QCOMPARE(preview.out, picture + u'\n');
        QVERIFY(QFileInfo(picture).size() > 0);

        // Stopped as it converts: only its own unfinished file goes.
        const QString longClip = makeLongClip();
        QVERIFY(!longClip.isEmpty());
        const QString held = folder + u"/long"_qs + forged + u".mp4"_qs;
        QVERIFY(QFile::link(longClip, held));
        QProcess p;
        QVERIFY(startsConverting(p, out, held));
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 128 + SIGTERM);
        QVERIFY(QFile::exists(victim));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // The record keeps each name as it is.
        QStringList recorded;
        for (const QJsonObject &record : records())
            recorded << QFile::decodeName(
                QByteArray::fromPercentEncoding(record[u"source_bytes"].toString().toLatin1()));
        QVERIFY(recorded.contains(source) && recorded.contains(broken) && recorded.contains(held));
    }

    // Every job torvane-cli ends goes to the record the window shows, unless asked not to.
    void recordsItsJobsUnlessAsked_data()
    {
        QTest::addColumn<bool>("record");
        QTest::newRow("by default") << true;
        QTest::newRow("--no-record") << false;
    }
    void recordsItsJobsUnlessAsked()
    {
        QFETCH(bool, record);
        const qsizetype before = records().size();
        QStringList args = {u"--output"_qs, dir.filePath(u"recorded"_qs), clip};
        if (!record)
            args.prepend(u"--no-record"_qs);
        QCOMPARE(cli(args).exitCode, 0);
        const QList<QJsonObject> after = records();
        QCOMPARE(after.size(), before + (record ? 1 : 0));
        if (record) {
            QCOMPARE(after.last()[u"source"].toString(), clip);
            QCOMPARE(after.last()[u"outcome"].toString(), u"converted"_qs);
        }
    }

    // Names a script can predict, and a folder's tree kept below the output
    // folder; a name taken already gets the next number, never replaced.
    void predictableNamesAndKeptFolders()
    {
        const QString folder = dir.filePath(u"tree"_qs);
        QVERIFY(QDir().mkpath(folder + u"/2024/春"_qs));
        QVERIFY(QFile::copy(clip, folder + u"/2024/春/a.avi"_qs));
        QVERIFY(QFile::copy(clip, folder + u"/b.avi"_qs));
        const QString out = dir.filePath(u"tree-out"_qs);
        const QStringList args = {
            u"--format"_qs,    u"3gp"_qs,      u"--name"_qs, u"{name}-{rotation}"_qs,
            u"--keep-tree"_qs, u"--output"_qs, out,          folder};
        const Run first = cli(args);
        QCOMPARE(first.exitCode, 0);
        // Two jobs at once end in either order.
        const auto sorted = [](QStringList list) {
            list.sort();
            return list;
        };
        QStringList expected = {out + u"/2024/春/a-cw.3gp"_qs, out + u"/b-cw.3gp"_qs};
        QCOMPARE(sorted(okOutputs(first)), expected);
        const Run again = cli(args);
        QCOMPARE(again.exitCode, 0);
        expected = QStringList{out + u"/2024/春/a-cw_2.3gp"_qs, out + u"/b-cw_2.3gp"_qs};
        QCOMPARE(sorted(okOutputs(again)), expected);
        for (const QString &output : okOutputs(first) + okOutputs(again))
            QVERIFY2(QFileInfo(output).size() > 0, qPrintable(output));
    }

    // A Linux name need not be valid UTF-8: such a file converts like any
    // other, given directly or found in a folder, and its output keeps the bytes.
    void namesThatAreNotUtf8()
    {
        const QByteArray folder = QFile::encodeName(dir.filePath(u"latin1"_qs));
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        const QByteArray source = folder + "/caf\xe9.avi";
        QVERIFY(QFile::copy(clip, QFile::decodeName(folder) + u"/plain.avi"_qs));
        QCOMPARE(::rename((folder + "/plain.avi").constData(), source.constData()), 0);
        const QByteArray program = QFile::encodeName(QStringLiteral(TORVANE_CLI));
        for (const QByteArray &given : {source, folder}) {
            const QByteArray out = folder + "-out";
            const pid_t child = ::fork();
            if (child == 0) {
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 1);
                ::dup2(null, 2);
                const char *argv[] = {program.constData(), "--quiet",         "--output",
                                      out.constData(),     given.constData(), nullptr};
                ::execv(argv[0], const_cast<char *const *>(argv));
                ::_exit(127);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 0);
        }
        // Both runs wrote a file named after the bytes of the source.
        int written = 0;
        if (DIR *listing = ::opendir((folder + "-out").constData())) {
            while (const dirent *entry = ::readdir(listing))
                written += QByteArray(entry->d_name).startsWith("caf\xe9_");
            ::closedir(listing);
        }
        QCOMPARE(written, 2);
        // Qt's own clean-up would miss these names.
        ::unlink(source.constData());
        if (DIR *listing = ::opendir((folder + "-out").constData())) {
            while (const dirent *entry = ::readdir(listing))
                ::unlink((folder + "-out/" + entry->d_name).constData());
            ::closedir(listing);
        }
    }

    // On a terminal one line is redrawn in place, as ffmpeg does.
    void terminalShowsOneLineRedrawn()
    {
        int master = -1, slave = -1;
        winsize size = {};
        size.ws_col = 100;
        size.ws_row = 30;
        QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
        const QByteArray program = QFile::encodeName(QStringLiteral(TORVANE_CLI));
        const QByteArray out = QFile::encodeName(dir.filePath(u"tty"_qs));
        const QByteArray source = QFile::encodeName(clip);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(slave, 1);
            ::close(master);
            ::setenv("TERM", "xterm", 1);
            const char *argv[] = {program.constData(), "--output", out.constData(),
                                  source.constData(), nullptr};
            ::execv(argv[0], const_cast<char *const *>(argv));
            ::_exit(127);
        }
        ::close(slave);
        QByteArray seen;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break; // EIO once the child has closed its side
            seen.append(buffer, n);
        }
        ::close(master);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const QString text = QString::fromUtf8(seen);
        QVERIFY2(text.contains(u"\r\x1b[K第 1/1 个 my clip.avi"_qs), qPrintable(text));
        QVERIFY(text.contains(u"OK "_qs));
        // No command text and no line per percentage on a terminal.
        QVERIFY(!text.contains(u"/data/conv"_qs));
        QVERIFY(text.count(u'\n') <= 2);
    }

    // Two batches at once share no intermediate file and never replace each
    // other's output, even from the same source into the same folder.
    void twoProgramsAtOnce()
    {
        const QString red = dir.filePath(u"red.mp4"_qs), blue = dir.filePath(u"blue.mp4"_qs);
        for (const auto &[file, colour] :
             {std::pair{red, u"red"_qs}, std::pair{blue, u"blue"_qs}}) {
            const Run made =
                run(u"ffmpeg"_qs, {u"-nostdin"_qs, u"-v"_qs, u"error"_qs, u"-f"_qs, u"lavfi"_qs,
                                   u"-i"_qs, u"color=c=%1:s=160x120:r=25:d=2"_qs.arg(colour),
                                   u"-c:v"_qs, u"mpeg4"_qs, file});
            QCOMPARE(made.exitCode, 0);
        }
        auto both = [](const QStringList &a, const QStringList &b) {
            QProcess first, second;
            first.start(QStringLiteral(TORVANE_CLI), a);
            second.start(QStringLiteral(TORVANE_CLI), b);
            first.waitForFinished(120000);
            second.waitForFinished(120000);
            return std::pair{Run{first.exitCode(), QString::fromUtf8(first.readAllStandardOutput()),
                                 QString::fromUtf8(first.readAllStandardError())},
                             Run{second.exitCode(),
                                 QString::fromUtf8(second.readAllStandardOutput()),
                                 QString::fromUtf8(second.readAllStandardError())}};
        };

        const QString outRed = dir.filePath(u"3gp-red"_qs), outBlue = dir.filePath(u"3gp-blue"_qs);
        const auto [a, b] = both(
            {u"--format"_qs, u"3gp"_qs, u"--rotate"_qs, u"none"_qs, u"--output"_qs, outRed, red},
            {u"--format"_qs, u"3gp"_qs, u"--rotate"_qs, u"none"_qs, u"--output"_qs, outBlue, blue});
        QVERIFY2(a.exitCode == 0 && b.exitCode == 0, qPrintable(a.out + a.err + b.out + b.err));
        QVERIFY(near(pixel(okOutputs(a).value(0), 160, 120, 320), {255, 0, 0}));
        QVERIFY(near(pixel(okOutputs(b).value(0), 160, 120, 320), {0, 0, 255}));

        const QString same = dir.filePath(u"same"_qs);
        const auto [c, d] = both({u"--rotate"_qs, u"cw"_qs, u"--output"_qs, same, clip},
                                 {u"--rotate"_qs, u"none"_qs, u"--output"_qs, same, clip});
        QVERIFY2(c.exitCode == 0 && d.exitCode == 0, qPrintable(c.out + c.err + d.out + d.err));
        QVERIFY(okOutputs(c).value(0) != okOutputs(d).value(0));
        QCOMPARE(QDir(same).entryList(QDir::Files | QDir::Hidden).size(), 2);
        for (const QString &file : okOutputs(c) + okOutputs(d))
            QVERIFY2(QFileInfo(file).size() > 0, qPrintable(file));
    }

    // --dry-run --print0 is the job list a script freezes: the files the batch
    // would take, in its order, each name its exact bytes ended by a NUL, and
    // relative under a relative path, so a copy elsewhere lands alike.
    void printsTheJobListByteForByte_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QByteArray>("prefix");
        const QByteArray absolute = QFile::encodeName(dir.filePath(u"list"_qs));
        QTest::newRow("relative") << u"list"_qs << QByteArray("list/");
        QTest::newRow("trailing slash") << u"list/"_qs << QByteArray("list/");
        QTest::newRow("dot first") << u"./list"_qs << QByteArray("./list/");
        QTest::newRow("absolute") << QFile::decodeName(absolute) << absolute + '/';
    }

    void printsTheJobListByteForByte()
    {
        QFETCH(QString, given);
        QFETCH(QByteArray, prefix);
        const QByteArray folder = QFile::encodeName(dir.filePath(u"list"_qs));
        const QList<QByteArray> files{"a b.mp4", "new\nline.mp4", "x'y$z.mp4", "\xff.mp4",
                                      "sub/c.mp4"};
        if (::mkdir(folder.constData(), 0700) == 0) {
            QCOMPARE(::mkdir(folder + "/sub", 0700), 0);
            for (const QByteArray &file : files)
                QVERIFY(::close(::open(folder + '/' + file, O_CREAT | O_WRONLY, 0600)) == 0);
            QCOMPARE(::mkfifo(folder + "/pipe.mp4", 0600), 0);
            QCOMPARE(::symlink("../a b.mp4", folder + "/sub/link.mp4"), 0);
        }
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(TORVANE_CLI), {u"--dry-run"_qs, u"--print0"_qs, given});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QByteArray expected;
        for (const QByteArray &file : files + QList<QByteArray>{"sub/link.mp4"})
            expected += prefix + file + '\0';
        QCOMPARE(p.readAllStandardOutput(), expected);
    }

    void dryRunRunsNothing()
    {
        const QString out = dir.filePath(u"dry"_qs);
        const Run r = cli({u"--dry-run"_qs, u"--output"_qs, out, clip, dir.path()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.split(u'\n', Qt::SkipEmptyParts).size() >= 2);
        QVERIFY(r.out.startsWith(QFileInfo(QStringLiteral(TORVANE_CLI)).path() +
                                 u"/data/conv \""_qs + clip + u'"'));
        QVERIFY(!QFileInfo::exists(out));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
