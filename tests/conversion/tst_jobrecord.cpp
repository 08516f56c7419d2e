#include "common/paths.h"
#include "conversion/jobrecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestJobRecord : public QObject
{
    Q_OBJECT

    static JobRecord sample(int n)
    {
        JobRecord r;
        r.ended = QDateTime(QDate(2026, 12, 8), QTime(10, 20, n % 60));
        r.source = u"/v/clip%1.avi"_qs.arg(n);
        r.output = u"/out/clip%1_已旋转102000.mp4"_qs.arg(n);
        r.outputBytes = 1000 + n;
        r.seconds = 4.5;
        r.sourceSeconds = 9;
        return r;
    }

private Q_SLOTS:
    // What is written is read back, whatever the names and the outcome.
    void roundTrip_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("converted") << 0;
        QTest::newRow("failed, with a kept output") << 1;
        QTest::newRow("stopped") << 2;
        QTest::newRow("a name that is not UTF-8") << 3;
    }
    void roundTrip()
    {
        QFETCH(int, kind);
        JobRecord r = sample(1);
        if (kind == 1) {
            r.outcome = JobRecord::Outcome::Failed;
            r.failure = FailureReason::OutputCheckFailed;
            r.failureDetail = u"Output check failed"_qs;
            r.losslessRefusal = u"vp9"_qs;
        } else if (kind == 2) {
            r.outcome = JobRecord::Outcome::Stopped;
            r.output.clear();
            r.outputBytes = -1;
        } else if (kind == 3) {
            r.source = pathFromBytes("/v/caf\xe9.avi");
        }
        const QByteArray line = JobHistory::toJsonLine(r);
        QVERIFY(line.endsWith('\n') && line.count('\n') == 1);
        QCOMPARE(JobHistory::fromJsonLine(line), std::optional(r));
        QCOMPARE(r.speed(), 2.0);
    }

    // The last records of a long log, oldest first; a torn line is passed over.
    void lastRecordsOfALongLog()
    {
        QTemporaryDir dir;
        JobHistory history(dir.filePath(u"state/Torvane/history.jsonl"_qs));
        for (int n = 0; n < 500; ++n)
            QVERIFY(history.append(sample(n)));
        QFile file(history.file());
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"ended\":\"2026-12-08T10:2");
        file.close();
        const QList<JobRecord> last = history.last(20);
        QCOMPARE(last.size(), 20);
        QCOMPARE(last.first().source, u"/v/clip480.avi"_qs);
        QCOMPARE(last.last().source, u"/v/clip499.avi"_qs);
        QVERIFY(JobHistory(dir.filePath(u"none"_qs)).last(5).isEmpty());
        // The next record starts on a line of its own.
        QVERIFY(history.append(sample(500)));
        QCOMPARE(history.last(1).value(0).source, u"/v/clip500.avi"_qs);
    }

    // A pipe, a device or a folder where the record belongs is left alone at
    // once: neither writing nor reading waits for it.
    void onlyARegularFileIsARecord_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << u"pipe"_qs;
        QTest::newRow("folder") << u"folder"_qs;
        QTest::newRow("link") << u"link"_qs;
    }
    void onlyARegularFileIsARecord()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"history.jsonl"_qs);
        const QByteArray name = QFile::encodeName(file);
        if (kind == u"pipe")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == u"folder")
            QCOMPARE(::mkdir(name.constData(), 0700), 0);
        else
            QCOMPARE(::symlink("/dev/zero", name.constData()), 0);
        JobHistory history(file);
        QVERIFY(!history.append(sample(1)));
        QVERIFY(history.last(5).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJobRecord)
#include "tst_jobrecord.moc"
