// The encoders' command lines, read without running anything.
#include "commandline.h"

#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A figure past what the stream can use is held to the ceiling, never
    // read as a smaller unit; one far past it is a mistake.
    void bitrates_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<qint64>("video"); // bit/s; -1: a usage error
        QTest::addColumn<qint64>("audio");
        const auto row =
            [](const char *name, const QString &b, const QString &ab, qint64 video, qint64 audio) {
                QTest::newRow(name)
                    << QStringList{u"-i"_qs, u"in.avi"_qs, u"-b"_qs, b, u"-ab"_qs, ab, u"out.rm"_qs}
                    << video << audio;
            };
        row("as the batch writes them", u"1200k"_qs, u"12.2k"_qs, 1'200'000, 12'200);
        row("kbit/s without a unit", u"600"_qs, u"64"_qs, 600'000, 64'000);
        row("at the ceiling", u"100000k"_qs, u"1000k"_qs, 100'000'000, 1'000'000);
        row("just past it", u"100001k"_qs, u"1001k"_qs, 100'000'000, 1'000'000);
        row("a unit too far", u"1200M"_qs, u"28000k"_qs, 100'000'000, 1'000'000);
        row("far past it", u"1e12"_qs, u"64k"_qs, -1, -1);
    }
    void bitrates()
    {
        QFETCH(QStringList, args);
        QFETCH(qint64, video);
        QFETCH(qint64, audio);
        const ParseResult parsed = parseCommandLine(Tool::Coder, args);
        if (video < 0) {
            QVERIFY(!parsed.error.isEmpty());
            return;
        }
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        QCOMPARE(parsed.job.videoBitrate, video);
        QCOMPARE(parsed.job.audioBitrate, audio);
    }

    // A job's share of threads when several run at once; none: the encoder's choice.
    void x264Threads_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("threads"); // -1: a usage error
        QTest::newRow("none") << u"bitrate=400"_qs << 0;
        QTest::newRow("a share") << u"bitrate=400:threads=2"_qs << 2;
        QTest::newRow("first") << u"threads=1:bitrate=400"_qs << 1;
        QTest::newRow("zero") << u"bitrate=400:threads=0"_qs << -1;
        QTest::newRow("too many") << u"bitrate=400:threads=65"_qs << -1;
        QTest::newRow("not a number") << u"bitrate=400:threads=auto"_qs << -1;
    }
    void x264Threads()
    {
        QFETCH(QString, options);
        QFETCH(int, threads);
        const ParseResult parsed = parseCommandLine(
            Tool::Conv, {u"in.avi"_qs, u"-oac"_qs, u"mp3lame"_qs, u"-ovc"_qs, u"x264"_qs,
                         u"-x264encopts"_qs, options, u"-o"_qs, u"out.mp4"_qs});
        QCOMPARE(parsed.error.isEmpty(), threads >= 0);
        if (threads >= 0)
            QCOMPARE(parsed.job.threads, threads);
    }

    // The newer flags are taken wherever they stand; without them all is as before.
    void flags_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("keepMetadata"); // and the source must still be in.avi
        QTest::addColumn<bool>("autorotate");
        const int conv = int(Tool::Conv), coder = int(Tool::Coder), coder2 = int(Tool::Coder2);
        QTest::newRow("conv, none")
            << conv << QStringList{u"in.avi"_qs, u"-o"_qs, u"out.mp4"_qs} << true << true;
        QTest::newRow("conv, after the source")
            << conv << QStringList{u"in.avi"_qs, u"-nometadata"_qs, u"-o"_qs, u"out.mp4"_qs}
            << false << true;
        QTest::newRow("conv, before the source")
            << conv
            << QStringList{u"-noautorotate"_qs, u"-nometadata"_qs, u"in.avi"_qs, u"-o"_qs,
                           u"out.mp4"_qs}
            << false << false;
        QTest::newRow("conv, last")
            << conv << QStringList{u"in.avi"_qs, u"-o"_qs, u"out.mp4"_qs, u"-noautorotate"_qs}
            << true << false;
        QTest::newRow("coder, first")
            << coder << QStringList{u"-nometadata"_qs, u"-i"_qs, u"in.avi"_qs, u"out.mp3"_qs}
            << false << true;
        QTest::newRow("coder2, last")
            << coder2 << QStringList{u"-i"_qs, u"in.avi"_qs, u"out.3gp"_qs, u"-nometadata"_qs}
            << false << true;
    }
    void flags()
    {
        QFETCH(int, tool);
        QFETCH(QStringList, args);
        QFETCH(bool, keepMetadata);
        QFETCH(bool, autorotate);
        const ParseResult parsed = parseCommandLine(Tool(tool), args);
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        QCOMPARE(parsed.job.input, u"in.avi"_qs);
        QCOMPARE(parsed.job.keepMetadata, keepMetadata);
        QCOMPARE(parsed.job.autorotate, autorotate);
    }

    // conv -probe takes every word after it as a path; -preview stands
    // wherever the newer options do. A null expectation: a usage error.
    void modes_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("probed");
        QTest::addColumn<QString>("preview");
        const int conv = int(Tool::Conv);
        const QStringList job = {u"in.avi"_qs, u"-vf"_qs, u"rotate=1"_qs, u"-o"_qs, u"out.mp4"_qs};
        QTest::newRow("probe") << conv
                               << QStringList{u"-probe"_qs, u"a.avi"_qs, u"-o"_qs, u""_qs,
                                              u"-probe"_qs}
                               << QStringList{u"a.avi"_qs, u"-o"_qs, u""_qs, u"-probe"_qs}
                               << QString();
        QTest::newRow("probe without paths")
            << conv << QStringList{u"-probe"_qs} << QStringList() << QString();
        QTest::newRow("probe is conv's")
            << int(Tool::Coder) << QStringList{u"-probe"_qs, u"a.avi"_qs} << QStringList()
            << QString();
        QTest::newRow("preview last") << conv << job + QStringList{u"-preview"_qs, u"p.png"_qs}
                                      << QStringList() << u"p.png"_qs;
        QTest::newRow("preview first")
            << conv << QStringList{u"-preview"_qs, u"p.png"_qs, u"-noautorotate"_qs} + job
            << QStringList() << u"p.png"_qs;
        QTest::newRow("preview without a name")
            << conv << job + QStringList{u"-preview"_qs, u""_qs} << QStringList() << QString();
    }
    void modes()
    {
        QFETCH(int, tool);
        QFETCH(QStringList, args);
        QFETCH(QStringList, probed);
        QFETCH(QString, preview);
        const ParseResult parsed = parseCommandLine(Tool(tool), args);
        if (probed.isEmpty() && preview.isEmpty()) {
            QVERIFY(!parsed.error.isEmpty());
            return;
        }
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        QCOMPARE(parsed.probe, !probed.isEmpty());
        QCOMPARE(parsed.probePaths, probed);
        QCOMPARE(parsed.job.preview, preview);
        if (!preview.isEmpty()) {
            QCOMPARE(parsed.job.input, u"in.avi"_qs);
            QCOMPARE(parsed.job.output, u"out.mp4"_qs);
            QCOMPARE(parsed.job.orientation, PictureTransform::turn(1));
        }
    }

    void orientationWordsCompose()
    {
        const auto orientation = [](const QString &words) {
            return parseCommandLine(Tool::Conv,
                                    {u"in.avi"_qs, u"-vf"_qs, words, u"-o"_qs, u"out.mp4"_qs})
                .job.orientation;
        };
        QCOMPARE(orientation(u"rotate=1"_qs), PictureTransform::turn(1));
        QCOMPARE(orientation(u"mirror,flip"_qs), PictureTransform::turn(2));
        QCOMPARE(orientation(u"rotate=1,rotate=2"_qs), PictureTransform());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
