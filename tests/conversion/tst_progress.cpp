#include "conversion/batchestimate.h"
#include "conversion/progress.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

class TestProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstPassPiece_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("bar");
        QTest::addColumn<QString>("caption");
        QTest::newRow("( 5%)") << u"Pos: 1.0s ( 5%)\r"_qs << 270.75 << 5.0 << u"旋转中 \\ 5%"_qs;
        QTest::newRow("(100%)") << u"(100%)"_qs << 5415.0 << 100.0 << u"进行最后一步... 100%"_qs;
        QTest::newRow("first of two")
            << u"(12%) (34%)"_qs << 12 * 54.15 << 12.0 << u"旋转中 \\ 12%"_qs;
        QTest::newRow("three letters read as 0") << u"(abc)"_qs << 0.0 << 0.0 << u"旋转中 \\ 0%"_qs;
        QTest::newRow("half rounds to even")
            << u"(2.5)"_qs << 2 * 54.15 << 2.0 << u"旋转中 \\ 2%"_qs;
        QTest::newRow("above 100 is clamped")
            << u"(150%)"_qs << 5415.0 << 100.0 << u"旋转中 \\ 150%"_qs;
    }

    void firstPassPiece()
    {
        QFETCH(QString, piece);
        QFETCH(double, width);
        QFETCH(double, bar);
        QFETCH(QString, caption);
        ProgressState state;
        QVERIFY(state.firstPassPiece(piece));
        QCOMPARE(state.display.fillWidth, width);
        QCOMPARE(state.display.percent, bar);
        QCOMPARE(state.display.caption, caption);
    }

    void pieceWithoutValueOnlyMovesTheIndicator()
    {
        ProgressState state;
        const ProgressDisplay before = state.display;
        QStringList spins;
        for (int i = 0; i < 5; ++i) {
            QVERIFY(!state.firstPassPiece(u"no percentage here (12345678)"_qs));
            spins << state.spinner;
        }
        QVERIFY(!state.secondPassPiece(u"nothing"_qs));
        QCOMPARE(spins, (QStringList{u"\\"_qs, u"|"_qs, u"/"_qs, u"-"_qs, u"\\"_qs}));
        QCOMPARE(state.spinner, u"|"_qs);
        QCOMPARE(state.display, before);
        state.spinner = u"x"_qs;
        QCOMPARE(nextSpinner(state.spinner), u"-"_qs);
    }

    void secondPassElapsed_data()
    {
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("piece");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("bar");
        QTest::addColumn<QString>("number");
        QTest::newRow("25 of 100")
            << 100 << u"time=25.00 bitrate"_qs << 1353.75 << 25.0 << u"25"_qs;
        QTest::newRow("33 of 100") << 100 << u"time=33.00 "_qs << 0.33 * 5415 << 33.0 << u"33"_qs;
        QTest::newRow("1 of 3") << 3 << u"time=1.00 "_qs << 5415.0 / 3 << 33.3 << u"33.3"_qs;
        QTest::newRow("2 of 3") << 3 << u"time=2.00 "_qs << 2 * 5415.0 / 3 << 66.6 << u"66.6"_qs;
        QTest::newRow("1 of 8") << 8 << u"time=1.00 "_qs << 5415.0 / 8 << 12.5 << u"12.5"_qs;
        QTest::newRow("1 of 800") << 800 << u"time=1.00 "_qs << 5415.0 / 800 << 0.12 << u"0.12"_qs;
        QTest::newRow("clock form")
            << 100 << u"time=00:00:25.00 "_qs << 1353.75 << 25.0 << u"25"_qs;
        QTest::newRow("first of several")
            << 100 << u"time=10.00 x time=90.00 "_qs << 541.5 << 10.0 << u"10"_qs;
    }

    void secondPassElapsed()
    {
        QFETCH(int, duration);
        QFETCH(QString, piece);
        QFETCH(double, width);
        QFETCH(double, bar);
        QFETCH(QString, number);
        ProgressState state;
        state.durationSeconds = duration;
        QVERIFY(state.secondPassPiece(piece));
        QCOMPARE(state.display.fillWidth, width);
        QCOMPARE(state.display.percent, bar);
        QCOMPARE(state.display.caption, u"生成中..."_qs + state.spinner + u' ' + number + u'%');
    }

    void elapsedWithoutOrBeyondDurationShowsDone_data()
    {
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("piece");
        QTest::newRow("duration unknown") << 0 << u"time=5.00 "_qs;
        QTest::newRow("equal") << 100 << u"time=100.00 "_qs;
        QTest::newRow("beyond") << 100 << u"time=140.00 "_qs;
        QTest::newRow("rounds up to the end") << 100 << u"time=99.50 "_qs;
    }

    void elapsedWithoutOrBeyondDurationShowsDone()
    {
        QFETCH(int, duration);
        QFETCH(QString, piece);
        ProgressState state;
        state.durationSeconds = duration;
        QVERIFY(state.secondPassPiece(piece));
        QCOMPARE(state.display, (ProgressDisplay{5415, 100, u"Done 100%"_qs}));
    }

    void duration_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<int>("seconds");
        QTest::newRow("100 s") << u"  Duration: 00:01:40.00, start: 0"_qs << 100;
        QTest::newRow("hours") << u"Duration: 01:00:00.49, "_qs << 3600;
        QTest::newRow("half to even") << u"Duration: 00:00:02.50, "_qs << 2;
        QTest::newRow("not a time") << u"Duration: N/A, "_qs << 0;
        QTest::newRow("two fields") << u"Duration: 01:40.00, "_qs << 0;
    }

    void duration()
    {
        QFETCH(QString, piece);
        QFETCH(int, seconds);
        ProgressState state;
        state.secondPassPiece(piece);
        QCOMPARE(state.durationSeconds, seconds);
    }

    void durationAndTimeInOnePiece()
    {
        ProgressState state;
        QVERIFY(state.secondPassPiece(u"Duration: 00:01:40.00, start\nsize=1kB time=25.00 "_qs));
        QCOMPARE(state.durationSeconds, 100);
        QCOMPARE(state.display.percent, 25.0);
        // Once known, a later duration does not replace it.
        state.secondPassPiece(u"Duration: 00:00:10.00, "_qs);
        QCOMPARE(state.durationSeconds, 100);
    }

    // Output recorded from the encoder programs: the parsers must keep reading it.
    void recordedEncoderOutput_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("firstPass");
        const QDir data(QStringLiteral(TORVANE_TEST_DATA));
        for (const QString &name : data.entryList({u"*.txt"_qs}, QDir::Files))
            QTest::newRow(qPrintable(name)) << data.filePath(name) << name.startsWith(u"conv");
    }

    void recordedEncoderOutput()
    {
        QFETCH(QString, file);
        QFETCH(bool, firstPass);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        ProgressState state;
        QList<double> bars;
        // Status lines arrive one write at a time, as the encoder prints them.
        const QString text = QString::fromUtf8(bytes);
        for (const QString &piece : text.split(QRegularExpression(u"(?<=[\\r\\n])"_qs))) {
            if (firstPass ? state.firstPassPiece(piece) : state.secondPassPiece(piece))
                bars << state.display.percent;
        }
        QVERIFY(!bars.isEmpty());
        QVERIFY(std::is_sorted(bars.cbegin(), bars.cend()));
        QCOMPARE(bars.last(), 100.0);
        if (!firstPass) {
            QVERIFY(state.durationSeconds > 0);
            QVERIFY(bars.size() > 1 && bars.first() < 100);
        }
    }

    // The time left follows the converted share of the total source duration.
    void timeLeft_data()
    {
        QTest::addColumn<QList<double>>("ended"); // durations of ended jobs, 0 unknown
        QTest::addColumn<double>("current");      // its duration, 0 unknown
        QTest::addColumn<double>("fraction");     // of the current job
        QTest::addColumn<int>("waiting");
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<int>("left"); // -1: not yet
        QTest::newRow("too early") << QList<double>{} << 60.0 << 0.5 << 1 << 1.0 << -1;
        QTest::newRow("half of one of two") << QList<double>{} << 60.0 << 0.5 << 1 << 10.0 << 30;
        QTest::newRow("a long job done, a short one waits")
            << QList<double>{90.0} << 10.0 << 0.0 << 0 << 90.0 << 10;
        QTest::newRow("durations unknown weigh the same")
            << QList<double>{0.0} << 0.0 << 0.5 << 2 << 30.0 << 50;
    }

    void timeLeft()
    {
        QFETCH(QList<double>, ended);
        QFETCH(double, current);
        QFETCH(double, fraction);
        QFETCH(int, waiting);
        QFETCH(double, elapsed);
        QFETCH(int, left);
        BatchEstimate estimate;
        estimate.start(100);
        for (double duration : ended)
            estimate.jobEnded(duration);
        estimate.setCurrent(current, fraction);
        estimate.setJobsLeft(waiting);
        QCOMPARE(estimate.remainingSeconds(100 + elapsed).value_or(-1), left);
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
