#include "shell/optionsrules.h"

#include <QTest>

using Box = OptionsFailure::Box;

namespace {

// "fromH|fromM|fromS|toH|toM|toS"
ClipFields clip(const QString &boxes)
{
    const QStringList b = boxes.split(u'|');
    return {b[0], b[1], b[2], b[3], b[4], b[5]};
}

} // namespace

class TestOptionsRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refused_data()
    {
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<Box>("box");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("from 60 min") << u"0|60|0|1|0|0"_qs << Box::FromMinutes << u"分钟"_qs
                                     << u"开始时间的分钟必须小于60"_qs;
        QTest::newRow("to 60 min")
            << u"0|1|0|0|60|0"_qs << Box::ToMinutes << u"分钟"_qs << u"结束时间的分钟必须小于60"_qs;
        // Minutes are checked before seconds; only the first failing box is reported.
        QTest::newRow("to min before from s") << u"0|0|99|0|61x|99"_qs << Box::ToMinutes
                                              << u"分钟"_qs << u"结束时间的分钟必须小于60"_qs;
        QTest::newRow("from 75 s")
            << u"0|0|75|1|0|0"_qs << Box::FromSeconds << u"秒"_qs << u"开始时间的秒必须小于60"_qs;
        QTest::newRow("to 60 s") << u"0|0|0|0|0|60"_qs << Box::ToSeconds << u"秒"_qs
                                 << u"结束时间的秒必须小于60"_qs;
        // The range must leave something to cut.
        QTest::newRow("end before start") << u"0|0|4|0|0|2"_qs << Box::ToHours << u"结束时间"_qs
                                          << u"结束时间必须晚于开始时间"_qs;
        QTest::newRow("same time") << u"0|1|30|0|1|30"_qs << Box::ToHours << u"结束时间"_qs
                                   << u"结束时间必须晚于开始时间"_qs;
        QTest::newRow("only a start") << u"0|0|5|0|0|0"_qs << Box::ToHours << u"结束时间"_qs
                                      << u"结束时间必须晚于开始时间"_qs;
    }
    void refused()
    {
        QFETCH(QString, boxes);
        QFETCH(Box, box);
        QFETCH(QString, title);
        QFETCH(QString, text);
        const AcceptResult r = acceptOptions(0, true, clip(boxes));
        QVERIFY(r.failure);
        QCOMPARE(r.failure->box, box);
        QCOMPARE(r.failure->title, title);
        QCOMPARE(r.failure->text, text);
    }

    void accepted_data()
    {
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QList<int>>("expected"); // from, to, cutter, uncheck
        QTest::newRow("59") << u"0|59|59|100|59|59"_qs << true << QList<int>{3599, 363599, 1, 0};
        QTest::newRow("unchecked") << u"1|2|3|0|0|4"_qs << false << QList<int>{3723, 4, 0, 0};
        QTest::newRow("all zero") << u"0||abc|0.0| 0|0"_qs << true << QList<int>{0, 0, 0, 1};
        QTest::newRow("fractions") << u"0|1.5|0.5|0|1|32.5"_qs << true << QList<int>{90, 92, 1, 0};
        // Unchecked, the range is kept as typed, reversed or not.
        QTest::newRow("reversed, unchecked")
            << u"0|0|4|0|0|2"_qs << false << QList<int>{4, 2, 0, 0};
        QTest::newRow("one second") << u"0|0|2|0|0|3"_qs << true << QList<int>{2, 3, 1, 0};
    }
    void accepted()
    {
        QFETCH(QString, boxes);
        QFETCH(bool, checked);
        QFETCH(QList<int>, expected);
        const AcceptResult r = acceptOptions(1, checked, clip(boxes));
        QVERIFY(!r.failure);
        QCOMPARE((QList<int>{r.values.clipFromSeconds, r.values.clipToSeconds, r.values.clipEnabled,
                             r.uncheck}),
                 expected);
    }

    void splitSeconds_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("boxes");
        QTest::newRow("3723") << 3723 << u"1|2|3|1|2|3"_qs;
        QTest::newRow("negative") << -1 << u"-1|59|59|-1|59|59"_qs;
        QTest::newRow("int min") << int(-2147483647 - 1) << u"-596524|45|52|-596524|45|52"_qs;
    }
    void splitSeconds()
    {
        QFETCH(int, seconds);
        QFETCH(QString, boxes);
        const ClipFields f = clipFieldsFromSeconds(seconds, seconds);
        QCOMPARE((QStringList{f.fromH, f.fromM, f.fromS, f.toH, f.toM, f.toS}.join(u'|')), boxes);
        // What the dialog shows is accepted back unchanged.
        const AcceptResult r = acceptOptions(0, false, f);
        QVERIFY(!r.failure);
        QCOMPARE(r.values.clipFromSeconds, seconds);
    }
};

QTEST_GUILESS_MAIN(TestOptionsRules)
#include "tst_optionsrules.moc"
