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
            if (!reader.feed(piece))
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
