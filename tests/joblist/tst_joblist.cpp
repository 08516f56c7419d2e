#include "joblist/joblistmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

class TestJobList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typeLabel_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("label");
        QTest::newRow("mp4") << u"/v/a.mp4"_qs << u"MP4"_qs;
        QTest::newRow("four letters") << u"/v/film.rmvb"_qs << u"MVB"_qs;
        QTest::newRow("two letters") << u"/v/x.ts"_qs << u".TS"_qs;
        QTest::newRow("upper already") << u"/v/b.MKV"_qs << u"MKV"_qs;
        QTest::newRow("no extension") << u"/v/noext"_qs << u"EXT"_qs;
        QTest::newRow("short") << u"ab"_qs << u"AB"_qs;
        QTest::newRow("surrounding spaces") << u"  /v/a.avi  "_qs << u"AVI"_qs;
        QTest::newRow("folder") << u"/v/Holiday"_qs << u"DAY"_qs;
    }

    void typeLabel()
    {
        QFETCH(QString, path);
        QFETCH(QString, label);
        QCOMPARE(JobListModel::typeLabel(path), label);
    }

    void rowsAndQueueStayInStep()
    {
        JobListModel model;
        QAbstractItemModelTester tester(&model);
        model.addJob(u"/v/1.avi"_qs);
        model.addJob(u"/v/2.avi"_qs);
        model.addJob(u"/v/3.avi"_qs);
        model.addJob(u"/v/1.avi"_qs); // the same path twice is two jobs
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.data(model.index(3, 1)).toString(), u"AVI"_qs);

        model.removeJobAt(1);
        QCOMPARE(model.paths(), (QStringList{u"/v/1.avi"_qs, u"/v/3.avi"_qs, u"/v/1.avi"_qs}));
        model.removeJobAt(-1); // nothing selected
        QCOMPARE(model.count(), 3);

        const quint64 head = model.job(0).id;
        model.setFailed(model.job(1).id, FailureReason::SourceUnreadable, u"bad"_qs);
        QCOMPARE(model.nextWaitingRow(), 0);
        model.removeJob(head);
        QCOMPARE(model.nextWaitingRow(), 1);
        QCOMPARE(model.data(model.index(0, 0), JobListModel::FailureDetailRole).toString(),
                 u"bad"_qs);
        model.retryAll();
        QCOMPARE(model.nextWaitingRow(), 0);
        QCOMPARE(model.failedCount(), 0);

        // The running job is never removed from under its encoder.
        model.setRunning(model.job(1).id, 1, 1, 0.5);
        model.removeJobAt(1);
        model.removeAllJobs();
        QCOMPARE(model.count(), 1);
        QCOMPARE(model.job(0).state, JobState::Running);

        // Several running jobs with waiting ones between and around them.
        model.addJobs({u"/v/a.avi"_qs, u"/v/b.avi"_qs, u"/v/c.avi"_qs, u"/v/d.avi"_qs});
        model.setRunning(model.job(2).id, 1, 1, 0);
        model.removeAllJobs();
        QCOMPARE(model.paths(), (QStringList{u"/v/1.avi"_qs, u"/v/b.avi"_qs}));
        QCOMPARE(model.waitingCount(), 0);
    }

    void headers()
    {
        JobListModel model;
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"视频文件名"_qs);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"视频格式"_qs);
    }
};

QTEST_GUILESS_MAIN(TestJobList)
#include "tst_joblist.moc"
