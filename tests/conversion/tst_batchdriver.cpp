#include "conversion/batchdriver.h"
#include "conversion/conversionsettings.h"
#include "joblist/joblistmodel.h"
#include "process/messagesink.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct RecordingSink : MessageSink
{
    QStringList texts;
    void showMessage(Icon, const QString &title, const QString &text) override
    {
        texts << title + u'|' + text;
    }
};

struct RecordingActions : CompletionActions
{
    QStringList *events;
    explicit RecordingActions(QStringList *e) : events(e) {}
    void openFolder(const QString &folder) override { *events << u"open "_qs + folder; }
    void playSound(const QString &file, std::function<void()> done) override
    {
        *events << u"sound "_qs + QFileInfo(file).fileName();
        done();
    }
};

} // namespace

class TestBatchDriver : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir = nullptr;
    ConversionSettings *settings = nullptr;
    JobListModel *jobs = nullptr;
    RecordingSink *sink = nullptr;
    RecordingActions *actions = nullptr;
    BatchDriver *driver = nullptr;
    QStringList events;

    QString path(const QString &name) const { return dir->filePath(name); }

    QStringList encoderLog() const
    {
        QFile f(path(u"encoder.log"_qs));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        for (QString &line : lines)
            line.replace(dir->path() + u'/', QString());
        return lines;
    }

    void runToEnd()
    {
        QSignalSpy finished(driver, &BatchDriver::batchFinished);
        QVERIFY(driver->Start());
        QVERIFY(finished.wait(20000));
    }

private Q_SLOTS:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(QDir().mkpath(path(u"prog/data"_qs)));
        for (const char *name : {"conv", "coder", "coder2"})
            QVERIFY(QFile::link(QStringLiteral(FAKE_ENCODER),
                                path(u"prog/data/"_qs + QLatin1String(name))));
        qputenv("FAKE_ENCODER_LOG", path(u"encoder.log"_qs).toLocal8Bit());

        settings = new ConversionSettings;
        settings->applyStartupDefaults();
        settings->applyStartupFormat();
        settings->setOutputFolder(path(u"out"_qs));
        jobs = new JobListModel;
        sink = new RecordingSink;
        events.clear();
        actions = new RecordingActions(&events);
        driver = new BatchDriver(*settings, *jobs, sink, actions);
        driver->setProgramFolder(path(u"prog"_qs));
        driver->setTempFolder(path(u"tmp"_qs));
        driver->setClock([] { return QTime(14, 5, 9); });
        connect(driver, &BatchDriver::unlockRequested, this, [this] { events << u"unlock"_qs; });
    }

    void cleanup()
    {
        delete driver;
        delete actions;
        delete sink;
        delete jobs;
        delete settings;
        delete dir;
    }

    void emptyListIsRefusedWithoutLocking()
    {
        QSignalSpy started(driver, &BatchDriver::batchStarted);
        QVERIFY(!driver->Start());
        QCOMPARE(sink->texts, QStringList{u"添加|请添加一个视频文件"_qs});
        QCOMPARE(started.count(), 0);
        QVERIFY(!settings->settingsLocked());
    }

    void mixedFormatsCompleteInOrder()
    {
        jobs->addJob(path(u"a.clip.avi"_qs));
        jobs->addJob(path(u"b.avi"_qs));
        jobs->addJob(path(u"c.avi"_qs));
        // Each completed job switches the format for the next one.
        connect(driver, &BatchDriver::jobDone, this, [this] {
            settings->selectFormat(settings->format() == ConversionSettings::Mp4
                                       ? ConversionSettings::Rm
                                       : ConversionSettings::Mp3);
        });
        QSignalSpy finished(driver, &BatchDriver::batchFinished);
        QVERIFY(driver->Start());
        QVERIFY(settings->settingsLocked());
        QVERIFY(finished.wait(20000));

        QCOMPARE(encoderLog(), (QStringList{
                                   u"conv a.clip.avi -> out/a_已旋转1459.mp4"_qs,
                                   u"conv b.avi -> tmp/tmp.mp4"_qs,
                                   u"coder tmp/tmp.mp4 -> out/b-1459.rm"_qs,
                                   u"coder c.avi -> out/c-1459.mp3"_qs,
                               }));
        QVERIFY(jobs->isEmpty());
        QCOMPARE(finished.count(), 1);
        QVERIFY(finished.first().first().value<QList<JobFailure>>().isEmpty());
        QCOMPARE(settings->outputFolder(), path(u"out/"_qs));
        QCOMPARE(events, (QStringList{u"open "_qs + path(u"out/"_qs), u"sound sound.wav"_qs,
                                      u"unlock"_qs}));
        QCOMPARE(driver->progress().display, (ProgressDisplay{0, 0, u"Done."_qs}));
        QVERIFY(!settings->settingsLocked());
        QVERIFY(!driver->isBusy());
    }

    void failedPassMarksTheJobAndTheBatchGoesOn_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("reason");
        QTest::newRow("non-zero exit") << u"fail.avi"_qs << u"Error: cannot decode "_qs;
        QTest::newRow("crash") << u"crash.avi"_qs << u"编码器异常退出"_qs;
        QTest::newRow("no output") << u"nooutput.avi"_qs << u"编码器没有生成输出文件"_qs;
    }

    void failedPassMarksTheJobAndTheBatchGoesOn()
    {
        QFETCH(QString, bad);
        QFETCH(QString, reason);
        jobs->addJob(path(u"one.avi"_qs));
        jobs->addJob(path(bad));
        jobs->addJob(path(u"two.avi"_qs));
        QSignalSpy finished(driver, &BatchDriver::batchFinished);
        runToEnd();

        QCOMPARE(jobs->paths(), QStringList{path(bad)});
        QCOMPARE(jobs->job(0).state, JobListModel::State::Failed);
        QVERIFY2(jobs->job(0).failReason.startsWith(reason), qPrintable(jobs->job(0).failReason));
        QVERIFY(QFile::exists(path(u"out/one_已旋转1459.mp4"_qs)));
        QVERIFY(QFile::exists(path(u"out/two_已旋转1459.mp4"_qs)));
        QVERIFY(driver->progress().display.caption != u"Done.");
        QCOMPARE(events.count(u"unlock"_qs), 1);

        // Start again retries the failed job.
        QSignalSpy started(driver, &BatchDriver::passStarted);
        runToEnd();
        QCOMPARE(started.count(), 1);
    }

    void encoderThatCannotStartFailsEachJobOnce()
    {
        driver->setProgramFolder(path(u"nowhere"_qs));
        jobs->addJob(path(u"a.avi"_qs));
        jobs->addJob(path(u"b.avi"_qs));
        runToEnd();
        QCOMPARE(jobs->failedCount(), 2);
        QCOMPARE(sink->texts.count(u"Torvane|File or command not found"_qs), 2);
    }

    void formatChosenDuringTheFirstPassDecides()
    {
        settings->selectFormat(ConversionSettings::PhoneMp4);
        jobs->addJob(path(u"slow.avi"_qs));
        connect(driver, &BatchDriver::passStarted, this,
                [this] { settings->selectListedFormat(0); }); // MP4: single pass
        runToEnd();
        QCOMPARE(encoderLog(), QStringList{u"conv slow.avi -> tmp/tmp.mp4"_qs});
        QVERIFY(jobs->isEmpty());
    }

    void soundOffSkipsOnlyTheSound()
    {
        driver->setSoundReminder(1);
        jobs->addJob(path(u"a.avi"_qs));
        runToEnd();
        QCOMPARE(events, (QStringList{u"open "_qs + path(u"out/"_qs), u"unlock"_qs}));
    }

    void sameNameInTheSameSecondNeverOverwrites()
    {
        QVERIFY(QDir().mkpath(path(u"x"_qs)));
        jobs->addJob(path(u"same.avi"_qs));
        jobs->addJob(path(u"x/same.avi"_qs));
        runToEnd();
        QCOMPARE(encoderLog(), (QStringList{u"conv same.avi -> out/same_已旋转1459.mp4"_qs,
                                            u"conv x/same.avi -> out/same_已旋转1459_2.mp4"_qs}));
    }

    void progressFollowsBothPasses()
    {
        settings->selectFormat(ConversionSettings::ThreeGp);
        jobs->addJob(path(u"a.avi"_qs));
        QStringList captions;
        connect(driver, &BatchDriver::progressChanged, this,
                [&captions](const ProgressDisplay &d) { captions << d.caption; });
        runToEnd();
        QVERIFY(captions.contains(u"进行最后一步... 100%"_qs));
        QVERIFY(std::any_of(captions.cbegin(), captions.cend(),
                            [](const QString &c) { return c.startsWith(u"生成中..."); }));
        QCOMPARE(captions.last(), u"Done."_qs);
        QVERIFY(QFile::exists(path(u"out/a-1459.3gp"_qs)));
    }

    void stopEndsTheBatchAndRemovesTheUnfinishedOutput()
    {
        jobs->addJob(path(u"slow.avi"_qs));
        QSignalSpy stopped(driver, &BatchDriver::batchStopped);
        QSignalSpy finished(driver, &BatchDriver::batchFinished);
        QSignalSpy started(driver, &BatchDriver::passStarted);
        QVERIFY(driver->Start());
        QVERIFY(started.wait(5000));
        driver->stopAndWait();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!QFile::exists(path(u"out/slow_已旋转1459.mp4"_qs)));
        QCOMPARE(jobs->count(), 1);
        QVERIFY(!driver->isBusy());
    }
};

QTEST_GUILESS_MAIN(TestBatchDriver)
#include "tst_batchdriver.moc"
