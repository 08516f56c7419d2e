#include "common/report.h"
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
    void rotationPosition_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("total");
        QTest::addColumn<double>("bar");
        QTest::newRow("5 of 100") << 5.0 << 100.0 << 5.0;
        QTest::newRow("whole percentages, cut down") << 12.99 << 100.0 << 12.0;
        QTest::newRow("one third") << 1.0 << 3.0 << 33.0;
        QTest::newRow("the end waits for the output") << 100.0 << 100.0 << 99.0;
        QTest::newRow("beyond the end") << 140.0 << 100.0 << 99.0;
    }

    void rotationPosition()
    {
        QFETCH(double, seconds);
        QFETCH(double, total);
        QFETCH(double, bar);
        ProgressState state;
        QVERIFY(state.rotationPosition(seconds, total));
        QCOMPARE(state.display.percent, bar);
        QCOMPARE(state.display.caption, u"旋转中 \\ "_qs + QString::number(bar) + u'%');
        state.rotationFinished();
        QCOMPARE(state.display, (ProgressDisplay{100, u"进行最后一步... 100%"_qs}));
    }

    void everyReportMovesTheIndicator()
    {
        ProgressState state;
        const ProgressDisplay before = state.display;
        QStringList spins;
        for (int i = 0; i < 5; ++i) {
            // Without the total there is no percentage to show yet.
            QVERIFY(!state.rotationPosition(i, 0));
            spins << state.spinner;
        }
        QCOMPARE(spins, (QStringList{u"\\"_qs, u"|"_qs, u"/"_qs, u"-"_qs, u"\\"_qs}));
        QCOMPARE(state.display, before);
        state.spinner = u"x"_qs;
        QCOMPARE(nextSpinner(state.spinner), u"-"_qs);
    }

    void formatPosition_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("total");
        QTest::addColumn<double>("bar");
        QTest::addColumn<QString>("number"); // empty: the done caption
        QTest::newRow("25 of 100") << 25.0 << 100.0 << 25.0 << u"25"_qs;
        QTest::newRow("1 of 3") << 1.0 << 3.0 << 33.3 << u"33.3"_qs;
        QTest::newRow("2 of 3") << 2.0 << 3.0 << 66.6 << u"66.6"_qs;
        QTest::newRow("1 of 8") << 1.0 << 8.0 << 12.5 << u"12.5"_qs;
        QTest::newRow("1 of 800") << 1.0 << 800.0 << 0.12 << u"0.12"_qs;
        QTest::newRow("whole seconds, half to even") << 2.5 << 10.0 << 20.0 << u"20"_qs;
        QTest::newRow("duration unknown") << 5.0 << 0.0 << 100.0 << QString();
        QTest::newRow("at the end") << 100.0 << 100.0 << 100.0 << QString();
        QTest::newRow("rounds up to the end") << 99.5 << 100.0 << 100.0 << QString();
    }

    void formatPosition()
    {
        QFETCH(double, seconds);
        QFETCH(double, total);
        QFETCH(double, bar);
        QFETCH(QString, number);
        ProgressState state;
        state.formatPosition(seconds, total);
        QCOMPARE(state.display.percent, bar);
        QCOMPARE(state.display.caption,
                 number.isEmpty() ? u"Done 100%"_qs
                                  : u"生成中..."_qs + state.spinner + u' ' + number + u'%');
    }

    // Output recorded from the encoder programs: the batch must keep reading it.
    void recordedEncoderOutput_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("rotation");
        const QDir data(QStringLiteral(TORVANE_TEST_DATA));
        for (const QString &name : data.entryList({u"*.txt"_qs}, QDir::Files))
            QTest::newRow(qPrintable(name)) << data.filePath(name) << name.startsWith(u"conv");
    }

    void recordedEncoderOutput()
    {
        QFETCH(QString, file);
        QFETCH(bool, rotation);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        Report::Reader reader;
        ProgressState state;
        QList<double> bars;
        // Status lines arrive one write at a time, as the encoder prints them.
        const QString text = QString::fromUtf8(f.readAll());
        for (const QString &piece : text.split(QRegularExpression(u"(?<=[\\r\\n])"_qs))) {
            if (!reader.feed(piece.toUtf8()))
                continue;
            const Report::RunReport &report = reader.report();
            const double total = report.duration.value_or(0);
            if (!rotation)
                state.formatPosition(report.position.value_or(0), total);
            else if (!report.output.isEmpty())
                state.rotationFinished();
            else if (!state.rotationPosition(report.position.value_or(0), total))
                continue;
            bars << state.display.percent;
        }
        QVERIFY(bars.size() > 2);
        QVERIFY(std::is_sorted(bars.cbegin(), bars.cend()));
        QVERIFY(bars.first() < 100);
        QCOMPARE(bars.last(), 100.0);
        QVERIFY(reader.report().duration > 0.0);
        QVERIFY(!reader.report().output.isEmpty());
    }

    // The time left: the source seconds still to run over this batch's speed.
    void timeLeft_data()
    {
        QTest::addColumn<QList<double>>("ended");   // lengths of ended jobs; negative: failed
        QTest::addColumn<QList<double>>("running"); // length (0 unknown), fraction; by pairs
        QTest::addColumn<QList<double>>("waiting"); // lengths of the jobs still to run, 0 unknown
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<int>("left"); // -1: not yet
        using L = QList<double>;
        QTest::newRow("too early") << L{} << L{60, 0.5} << L{60} << 1.0 << -1;
        QTest::newRow("half of one of two") << L{} << L{60, 0.5} << L{60} << 10.0 << 30;
        // 20 s for 20 s of video: a failure at once is no work done nor to do.
        QTest::newRow("a job that failed at once") << L{-40} << L{40, 0.5} << L{} << 20.0 << 20;
        // Twice as fast as the video plays; the short job waiting is short.
        QTest::newRow("waiting jobs by their own length") << L{90} << L{10, 0} << L{} << 45.0 << 5;
        QTest::newRow("after stop after this video, only this one")
            << L{} << L{60, 0.5} << L{} << 15.0 << 15;
        QTest::newRow("the end is 00:00") << L{30} << L{} << L{} << 30.0 << 0;
        QTest::newRow("lengths not known yet weigh as the known ones")
            << L{30} << L{0, 0.5} << L{0, 0} << 30.0 << 50;
        // 60 s of video in 20 s: the two together go three times as fast as it plays.
        QTest::newRow("two at once") << L{} << L{60, 0.5, 60, 0.5} << L{60} << 20.0 << 40;
    }

    void timeLeft()
    {
        QFETCH(QList<double>, ended);
        QFETCH(QList<double>, running);
        QFETCH(QList<double>, waiting);
        QFETCH(double, elapsed);
        QFETCH(int, left);
        BatchEstimate estimate;
        estimate.start(100);
        quint64 id = 0;
        for (const double duration : ended) {
            estimate.setRunning(++id, std::abs(duration), duration < 0 ? 0.1 : 1.0);
            estimate.jobEnded(id, duration >= 0);
        }
        int known = 0, unknown = 0;
        double seconds = 0;
        for (const double duration : waiting) {
            known += duration > 0;
            unknown += duration > 0 ? 0 : 1;
            seconds += duration;
        }
        estimate.setWaiting(known, seconds, unknown);
        for (qsizetype i = 0; i + 1 < running.size(); i += 2)
            estimate.setRunning(++id, running[i], running[i + 1]);
        QCOMPARE(estimate.remainingSeconds(100 + elapsed).value_or(-1), left);
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
