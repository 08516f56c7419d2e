#include "conversion/optionsrules.h"

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
        QTest::newRow("to 60 min") << u"0|1|0|0|60|0"_qs << Box::ToMinutes;
        // Minutes are checked before seconds; only the first failing box is reported.
        QTest::newRow("to min before from s") << u"0|0|99|0|61x|99"_qs << Box::ToMinutes;
    }
    void refused()
    {
        QFETCH(QString, boxes);
        QFETCH(Box, box);
        const AcceptResult r = acceptOptions(0, true, clip(boxes));
        QVERIFY(r.failure);
        QCOMPARE(r.failure->box, box);
        QCOMPARE(r.failure->text, u"分钟必须小于60"_qs);
    }

    void accepted_data()
    {
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QList<int>>("expected"); // from, to, cutter, uncheck
        QTest::newRow("59") << u"0|59|59|100|59|59"_qs << true << QList<int>{3599, 363599, 1, 0};
        QTest::newRow("unchecked") << u"1|2|3|0|0|4"_qs << false << QList<int>{3723, 4, 0, 0};
        QTest::newRow("all zero") << u"0||abc|0.0| 0|0"_qs << true << QList<int>{0, 0, 0, 1};
        QTest::newRow("fractions") << u"0|1.5|0.5|0|0|2.5"_qs << true << QList<int>{90, 2, 1, 0};
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
        const AcceptResult r = acceptOptions(0, true, f);
        QVERIFY(!r.failure);
        QCOMPARE(r.values.clipFromSeconds, seconds);
    }
};

QTEST_GUILESS_MAIN(TestOptionsRules)
#include "tst_optionsrules.moc"
