#include "common/formats.h"
#include "common/paths.h"
#include "joblist/jobqueue.h"
#include "joblist/savedqueue.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSavedQueue : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file() const { return m_dir.filePath(u"state/queue.json"_qs); }

private Q_SLOTS:
    // Every job comes back with its own settings; a failure stays one, a job
    // that was running waits again.
    void jobsComeBackAsTheyWere()
    {
        JobQueue queue;
        JobSettings turned;
        turned.setFormat(Formats::Mov);
        turned.rotation = PictureTransform::turn(2);
        turned.clip = ClipRange{5, 10};
        turned.sourceOrientation = SourceOrientation::Ignore;
        turned.texts[JobSettings::VideoBitrate] = u"800"_qs;
        queue.setSettingsForNewJobs(turned);
        // A name that is not UTF-8 is kept byte for byte.
        const QString odd = pathFromBytes("/v/\xff\xfe odd.avi");
        queue.addJobs(QStringList{u"/v/春节 a.mp4"_qs, odd, u"/v/c.mp4"_qs});
        JobSettings mirrored;
        mirrored.rotation = PictureTransform::mirror();
        queue.setSettingsForNewJobs(mirrored);
        // Found in /v: it keeps the folders below it, and the kept list keeps them.
        queue.addJobs({u"/v/2024/春/d.mp4"_qs}, u"/v"_qs);
        queue.setFailed(queue.job(1).id, FailureReason::SourceUnreadable, u"bad data"_qs);
        queue.setRunning(queue.job(2).id, 1, 1, 0.5);
        queue.setStopped(queue.job(3).id);
        QVERIFY(SavedQueue::write(file(), queue.jobs()));

        const QList<Job> kept = SavedQueue::read(file());
        QCOMPARE(kept.size(), 4);
        QCOMPARE(kept[0].source, u"/v/春节 a.mp4"_qs);
        QCOMPARE(kept[1].source, odd);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(kept[i].settings, turned);
        QCOMPARE(kept[3].settings, mirrored);
        QCOMPARE(kept[3].subfolder, u"2024/春/"_qs);
        QCOMPARE(kept[0].subfolder, QString());
        QCOMPARE(kept[0].state, JobState::Waiting);
        QCOMPARE(kept[1].state, JobState::Failed);
        QCOMPARE(kept[1].failure, FailureReason::SourceUnreadable);
        QCOMPARE(kept[1].failureDetail, u"bad data"_qs);
        QCOMPARE(kept[2].state, JobState::Waiting);
        QCOMPARE(kept[3].state, JobState::Stopped);

        // A kept list is no way out of the output folder.
        Job outside = kept[3];
        outside.subfolder = u"../../etc/"_qs;
        QVERIFY(SavedQueue::write(file(), {outside}));
        QCOMPARE(SavedQueue::read(file()).value(0).subfolder, QString());

        JobQueue restored;
        restored.addJobs(kept);
        QCOMPARE(restored.waitingCount(), 2);
        QCOMPARE(restored.failedCount(), 1);
    }

    // Kept as it changes, without waiting for the program to end.
    void keptAsItChanges()
    {
        QFile::remove(file());
        JobQueue queue;
        SavedQueue saved(queue, file());
        QSignalSpy written(&saved, &SavedQueue::written);
        queue.addJob(u"/v/a.mp4"_qs); // not kept before it is asked to be
        QVERIFY(!QFile::exists(file()));
        saved.keep();
        QCOMPARE(written.size(), 1);
        QCOMPARE(SavedQueue::read(file()).size(), 1);
        queue.addJobs(QStringList{u"/v/b.mp4"_qs, u"/v/c.mp4"_qs});
        queue.removeJob(queue.job(0).id);
        QVERIFY(written.wait());
        QCOMPARE(written.size(), 2); // two changes, one write
        QCOMPARE(written.last().first().toBool(), true);
        QCOMPARE(SavedQueue::read(file()).size(), 2);
    }

    void unreadableFilesGiveNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x01{{not json");
        QTest::newRow("other version") << QByteArray(R"({"version":2,"jobs":[{"source":"/a"}]})");
        QTest::newRow("unknown format")
            << QByteArray(R"({"version":1,"jobs":[{"source":"/a","format":"wmv"}]})");
    }
    void unreadableFilesGiveNothing()
    {
        QFETCH(QByteArray, content);
        QFile out(file());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        QVERIFY(SavedQueue::read(file()).isEmpty());
        QVERIFY(SavedQueue::read(m_dir.filePath(u"none.json"_qs)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSavedQueue)
#include "tst_savedqueue.moc"
