#include "joblist/joblistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
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
        QCOMPARE(JobQueue::typeLabel(path), label);
    }

    // The model follows the queue through every change a batch and a user make.
    void modelFollowsTheQueue()
    {
        JobQueue queue;
        JobListModel model(queue);
        QAbstractItemModelTester tester(&model);
        queue.addJob(u"/v/1.avi"_qs);
        queue.addJob(u"/v/2.avi"_qs);
        queue.addJob(u"/v/3.avi"_qs);
        queue.addJob(u"/v/1.avi"_qs); // the same path twice is two jobs
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.data(model.index(3, 1)).toString(), u"AVI"_qs);

        queue.removeJobAt(1);
        QCOMPARE(queue.paths(), (QStringList{u"/v/1.avi"_qs, u"/v/3.avi"_qs, u"/v/1.avi"_qs}));
        queue.removeJobAt(-1); // nothing selected
        QCOMPARE(model.rowCount(), 3);

        const quint64 head = queue.job(0).id;
        queue.setFailed(queue.job(1).id, FailureReason::SourceUnreadable, u"bad"_qs);
        queue.setStopped(queue.job(2).id);
        QCOMPARE(queue.nextWaitingRow(), 0);
        queue.removeJob(head);
        QCOMPARE(queue.nextWaitingRow(), -1);
        QCOMPARE(model.data(model.index(0, 0), JobListModel::FailureDetailRole).toString(),
                 u"bad"_qs);
        // A stopped job waits again at the next start; a failed one only when retried.
        queue.resumeStopped();
        QCOMPARE(queue.nextWaitingRow(), 1);
        QCOMPARE(queue.failedCount(), 1);
        queue.retryAll();
        QCOMPARE(queue.nextWaitingRow(), 0);
        QCOMPARE(queue.failedCount(), 0);

        // The running job is never removed from under its encoder.
        queue.setRunning(queue.job(1).id, 1, 1, 0.5);
        queue.removeJobAt(1);
        queue.removeAllJobs();
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(queue.job(0).state, JobState::Running);

        // Several running jobs with waiting ones between and around them.
        queue.addJobs(QStringList{u"/v/a.avi"_qs, u"/v/b.avi"_qs, u"/v/c.avi"_qs, u"/v/d.avi"_qs});
        queue.setRunning(queue.job(2).id, 1, 1, 0);
        queue.removeAllJobs();
        QCOMPARE(queue.paths(), (QStringList{u"/v/1.avi"_qs, u"/v/b.avi"_qs}));
        QCOMPARE(queue.waitingCount(), 0);
        QCOMPARE(model.rowCount(), 2);
    }

    // A change of settings can be taken back, but not from a job that runs by now.
    void settingsChangeTakenBack()
    {
        JobQueue queue;
        queue.addJobs(QStringList{u"/v/a.avi"_qs, u"/v/b.avi"_qs, u"/v/c.avi"_qs});
        const QList<quint64> ids{queue.job(0).id, queue.job(1).id, queue.job(2).id};
        const JobSettings before = queue.job(0).settings;
        QSignalSpy kept(&queue, &JobQueue::contentChanged);
        const auto turn = [](JobSettings &s) { s.rotation = PictureTransform::turn(2); };
        queue.changeSettings({ids[1]}, turn);
        const JobQueue::SettingsBefore changed = queue.changeSettings(ids, turn);
        QCOMPARE(changed.size(), 2); // the second one had it already
        QCOMPARE(kept.size(), 2);
        queue.setRunning(ids[2], 1, 1, 0);
        queue.restoreSettings(changed);
        QCOMPARE(queue.job(0).settings, before);
        QCOMPARE(queue.job(1).settings.rotation, PictureTransform::turn(2));
        QCOMPARE(queue.job(2).settings.rotation, PictureTransform::turn(2));
    }

    void headers()
    {
        JobQueue queue;
        JobListModel model(queue);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"视频文件名"_qs);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"视频格式"_qs);
    }
};

QTEST_GUILESS_MAIN(TestJobList)
#include "tst_joblist.moc"
