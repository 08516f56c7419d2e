#include "common/formats.h"
#include "conversion/batchcontroller.h"
#include "conversion/conversionsettings.h"
#include "joblist/jobqueue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The end-of-batch actions; the sound's end is held back when asked to, so a
// test can act while the batch finishes.
struct RecordingActions : CompletionActions
{
    QStringList events;
    bool holdSound = false;
    std::function<void()> pendingSound;
    std::function<void()> onSound;

    bool openFolder(const QString &folder) override
    {
        events << u"open "_qs + folder;
        return true;
    }
    void playSound(const QString &file, std::function<void()> done) override
    {
        events << u"sound "_qs + QFileInfo(file).fileName();
        if (onSound)
            onSound();
        if (holdSound)
            pendingSound = std::move(done);
        else
            done();
    }
};

// The stand-ins whose source names hold "hold": each says through one pipe
// that it runs, with its pid, and waits for a byte from another.
class HeldEncoders
{
public:
    explicit HeldEncoders(const QString &folder)
    {
        const QByteArray ready = QFile::encodeName(folder + u"/ready"_qs);
        const QByteArray go = QFile::encodeName(folder + u"/go"_qs);
        ::mkfifo(ready.constData(), 0600);
        ::mkfifo(go.constData(), 0600);
        // Read and write ends of our own: neither open waits, and no end of file comes.
        m_ready = ::open(ready.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        m_go = ::open(go.constData(), O_RDWR | O_CLOEXEC);
        qputenv("FAKE_READY", ready);
        qputenv("FAKE_GO", go);
    }
    ~HeldEncoders()
    {
        qunsetenv("FAKE_READY");
        qunsetenv("FAKE_GO");
        ::close(m_ready);
        ::close(m_go);
    }

    // The pid of the next one that runs, 0 when none says so in time; events go on meanwhile.
    qint64 next()
    {
        QByteArray line;
        QElapsedTimer clock;
        clock.start();
        while (!line.endsWith('\n') && clock.elapsed() < 20000) {
            char byte;
            if (::read(m_ready, &byte, 1) == 1)
                line += byte;
            else
                QTest::qWait(10);
        }
        return line.trimmed().toLongLong();
    }
    void release(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            QCOMPARE(::write(m_go, "x", 1), 1);
    }

private:
    int m_ready = -1;
    int m_go = -1;
};

enum class StopPoint { BeforeFirstPass, DuringFirstPass, BetweenPasses, BetweenJobs, Finishing };

} // namespace

Q_DECLARE_METATYPE(StopPoint)
Q_DECLARE_METATYPE(BatchController::StopMode)

class TestBatchController : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir = nullptr;
    ConversionSettings *settings = nullptr;
    JobQueue *jobs = nullptr;
    RecordingActions *actions = nullptr;
    BatchController *batch = nullptr;

    QString path(const QString &name) const { return dir->filePath(name); }

    QStringList encoderLog() const
    {
        QFile f(path(u"encoder.log"_qs));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        // Each job's scratch folder has a name of its own.
        static const QRegularExpression jobFolder(u"tmp/job-[^/]+/"_qs);
        for (QString &line : lines)
            line.replace(dir->path() + u'/', QString()).replace(jobFolder, u"tmp/"_qs);
        return lines;
    }

    QStringList outputs() const
    {
        return QDir(path(u"out"_qs)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // Every encoder the batch runs now.
    static QList<qint64> runningEncoders()
    {
        QList<qint64> found;
        for (const QString &pid : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
            QFile stat(u"/proc/"_qs + pid + u"/stat"_qs);
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLongLong() == QCoreApplication::applicationPid() &&
                (text.contains("(conv)") || text.contains("(coder2)")))
                found << pid.toLongLong();
        }
        return found;
    }

    // The most encoder runs that overlapped, from the stand-in's own record of them.
    int mostAtOnce() const
    {
        QFile f(path(u"spans.log"_qs));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        QList<std::pair<qint64, int>> edges;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() < 2)
                continue;
            edges.append({words[0].toLongLong(), +1});
            edges.append({words[1].toLongLong(), -1});
        }
        std::sort(edges.begin(), edges.end()); // an end before a start at the same moment
        int now = 0, most = 0;
        for (const auto &edge : std::as_const(edges))
            most = std::max(most, now += edge.second);
        return most;
    }

    // The state letter of a process ('T' when stopped), 0 when it is gone.
    static char processState(qint64 pid)
    {
        QFile stat(u"/proc/%1/stat"_qs.arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return 0;
        const QByteArray text = stat.readAll();
        return text.at(text.lastIndexOf(')') + 2);
    }

    void runToEnd()
    {
        QSignalSpy ended(batch, &BatchController::batchEnded);
        QCOMPARE(batch->start(), BatchController::StartResult::Started);
        QVERIFY(ended.wait(20000));
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
        qputenv("FAKE_SPAN_LOG", path(u"spans.log"_qs).toLocal8Bit());

        settings = new ConversionSettings;
        settings->applyStartupDefaults();
        settings->applyStartupFormat();
        settings->setOutputFolder(path(u"out"_qs));
        jobs = new JobQueue;
        actions = new RecordingActions;
        batch = new BatchController(*settings, *jobs, actions);
        batch->setProgramFolder(path(u"prog"_qs));
        batch->setScratchFolder(path(u"tmp"_qs));
        batch->setClock([] { return QTime(14, 5, 9); });
        // One job at a time unless a test asks for more.
        batch->setCores(1);
    }

    void cleanup()
    {
        delete batch;
        delete actions;
        delete jobs;
        delete settings;
        delete dir;
    }

    void emptyListIsRefusedAndNothingStarts()
    {
        QSignalSpy state(batch, &BatchController::stateChanged);
        QCOMPARE(batch->start(), BatchController::StartResult::EmptyList);
        QCOMPARE(state.count(), 0);
    }

    void unusableOutputFolderFailsTheBatchOnceBeforeAnyJob()
    {
        QFile blocker(path(u"file"_qs));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        settings->setOutputFolder(path(u"file/out"_qs));
        jobs->addJob(path(u"a.avi"_qs));
        jobs->addJob(path(u"b.avi"_qs));
        // A job stopped before stays so until the folder is usable.
        jobs->setStopped(jobs->job(1).id);
        QSignalSpy failed(batch, &BatchController::batchFailed);
        QCOMPARE(batch->start(), BatchController::StartResult::OutputFolderUnusable);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().value<FailureReason>(),
                 FailureReason::OutputFolderUnusable);
        // Said in the user's words, not the system's.
        QCOMPARE(failed.first().last().toString(),
                 path(u"file/out"_qs) + u"：路径中有同名的文件，不是文件夹"_qs);
        QCOMPARE(jobs->job(1).state, JobState::Stopped);
        QVERIFY(encoderLog().isEmpty());
        QCOMPARE(batch->state(), BatchController::State::Idle);
    }

    void outputFolderIsCreatedWithItsParents()
    {
        settings->setOutputFolder(path(u"deep/er/out"_qs));
        jobs->addJob(path(u"a.avi"_qs));
        runToEnd();
        QVERIFY(QFile::exists(path(u"deep/er/out/a_已旋转140509.mp4"_qs)));
    }

    void mixedFormatsCompleteInOrder()
    {
        // Each job takes the format chosen when it was added.
        jobs->addJob(path(u"a.clip.avi"_qs));
        settings->selectFormat(Formats::Rm);
        jobs->addJob(path(u"b.avi"_qs));
        settings->selectFormat(Formats::Mp3);
        jobs->addJob(path(u"c.avi"_qs));
        QSignalSpy ended(batch, &BatchController::batchEnded);
        runToEnd();

        QCOMPARE(encoderLog(), (QStringList{
                                   u"conv a.clip.avi -> out/a_已旋转140509.mp4"_qs,
                                   u"conv b.avi -> tmp/tmp.mp4"_qs,
                                   u"coder tmp/tmp.mp4 -> out/b-140509.rm"_qs,
                                   u"coder c.avi -> out/c-140509.mp3"_qs,
                               }));
        QVERIFY(jobs->isEmpty());
        const auto summary = ended.first().first().value<BatchSummary>();
        QCOMPARE(summary.converted, 3);
        QVERIFY(summary.failures.isEmpty() && !summary.stopped);
        QCOMPARE(actions->events,
                 (QStringList{u"open "_qs + path(u"out/"_qs), u"sound sound.wav"_qs}));
        // The intermediate file does not outlive its job.
        QVERIFY(!QFile::exists(path(u"tmp/tmp.mp4"_qs)));
        QCOMPARE(batch->state(), BatchController::State::Idle);
    }

    void failedPassMarksTheJobAndTheBatchGoesOn_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::addColumn<FailureReason>("reason");
        QTest::newRow("reported") << u"fail.avi"_qs << FailureReason::SourceUnreadable;
        QTest::newRow("crash") << u"crash.avi"_qs << FailureReason::EncoderCrashed;
        QTest::newRow("no output") << u"nooutput.avi"_qs << FailureReason::NoOutput;
        QTest::newRow("output check") << u"badcheck.avi"_qs << FailureReason::OutputCheckFailed;
    }

    void failedPassMarksTheJobAndTheBatchGoesOn()
    {
        QFETCH(QString, bad);
        QFETCH(FailureReason, reason);
        jobs->addJob(path(u"one.avi"_qs));
        jobs->addJob(path(bad));
        jobs->addJob(path(u"two.avi"_qs));
        runToEnd();

        QCOMPARE(jobs->paths(), QStringList{path(bad)});
        QCOMPARE(jobs->job(0).state, JobState::Failed);
        QCOMPARE(jobs->job(0).failure, reason);
        QVERIFY(!jobs->job(0).encoderOutput.isEmpty());
        QVERIFY(QFile::exists(path(u"out/one_已旋转140509.mp4"_qs)));
        QVERIFY(QFile::exists(path(u"out/two_已旋转140509.mp4"_qs)));
        QCOMPARE(batch->summary().failures.size(), 1);
        // An output that failed its check is kept, and the failure says where.
        if (reason == FailureReason::OutputCheckFailed) {
            const QString kept = path(u"out/badcheck_已旋转140509.mp4"_qs);
            QVERIFY(QFile::exists(kept));
            QCOMPARE(jobs->job(0).keptOutput, kept);
            QCOMPARE(batch->summary().failures[0].checks.size(), 1);
            QCOMPARE(batch->summary().failures[0].checks[0].expected, u"144x176"_qs);
        }

        // Start again leaves the failed job as it is; a retry makes it wait again.
        QSignalSpy started(batch, &BatchController::passStarted);
        QCOMPARE(batch->start(), BatchController::StartResult::NothingWaiting);
        QCOMPARE(jobs->job(0).state, JobState::Failed);
        jobs->retry(jobs->job(0).id);
        runToEnd();
        QCOMPARE(started.count(), 1);
    }

    // A failed check of a two-pass format's intermediate file claims no kept file:
    // the intermediate is removed with the job.
    void failedCheckOfTheIntermediateKeepsNothing()
    {
        settings->selectFormat(Formats::PhoneMp4);
        jobs->addJob(path(u"badcheck.avi"_qs));
        runToEnd();
        QCOMPARE(jobs->job(0).failure, FailureReason::OutputCheckFailed);
        QCOMPARE(jobs->job(0).keptOutput, QString());
        QVERIFY(QDir(path(u"tmp"_qs)).entryList(QDir::Files).isEmpty());
    }

    void encoderThatCannotStartFailsEachJobOnce()
    {
        batch->setProgramFolder(path(u"nowhere"_qs));
        jobs->addJob(path(u"a.avi"_qs));
        jobs->addJob(path(u"b.avi"_qs));
        QSignalSpy failed(batch, &BatchController::jobFailed);
        runToEnd();
        QCOMPARE(failed.count(), 2);
        const auto failure = failed.first().first().value<JobFailure>();
        QCOMPARE(failure.reason, FailureReason::EncoderMissing);
        QVERIFY(failure.detail.startsWith(u"File or command not found"_qs));
    }

    // A running job keeps what it started with, also its output folder; a
    // change made for the waiting jobs reaches those alone, and the
    // intermediate file never becomes an output.
    void aRunningJobKeepsItsSettings()
    {
        settings->selectFormat(Formats::PhoneMp4);
        jobs->addJob(path(u"slow.avi"_qs));
        jobs->addJob(path(u"next.avi"_qs));
        jobs->addJob(path(u"last.avi"_qs));
        bool changed = false;
        connect(batch, &BatchController::passStarted, this, [&] {
            if (changed)
                return;
            changed = true;
            settings->selectListedFormat(0); // MP4: one pass
            settings->setOutputFolder(path(u"elsewhere"_qs));
            QList<quint64> all;
            for (int row = 0; row < jobs->count(); ++row)
                all << jobs->job(row).id;
            jobs->changeSettings(all.mid(0, 2), [](JobSettings &job) {
                job.setFormat(Formats::Mp4);
                job.rotation = {};
            });
        });
        runToEnd();
        QCOMPARE(encoderLog(), (QStringList{u"conv slow.avi -> tmp/tmp.mp4"_qs,
                                            u"coder2 tmp/tmp.mp4 -> out/slow-140509.mp4"_qs,
                                            u"conv next.avi -> out/next_已旋转140509.mp4"_qs,
                                            u"conv last.avi -> tmp/tmp.mp4"_qs,
                                            u"coder2 tmp/tmp.mp4 -> out/last-140509.mp4"_qs}));
        QVERIFY(jobs->isEmpty());
    }

    // The lengths for the time left are read once for every job that will run,
    // those added while the batch runs too, beside the jobs and not in their way.
    void sourceLengthsAreProbedBesideTheBatch()
    {
        qputenv("FAKE_PROBE_LOG", path(u"probe.log"_qs).toLocal8Bit());
        jobs->addJob(path(u"slow.avi"_qs));
        jobs->addJob(path(u"b unknown.avi"_qs));
        bool added = false;
        connect(batch, &BatchController::passStarted, this, [&] {
            if (!std::exchange(added, true))
                jobs->addJob(path(u"-c.avi"_qs));
        });
        qputenv("FAKE_PROBED_LOG", path(u"probed.log"_qs).toLocal8Bit());
        runToEnd();
        qunsetenv("FAKE_PROBE_LOG");
        qunsetenv("FAKE_PROBED_LOG");
        const auto lines = [this](const QString &file) {
            QFile log(path(file));
            return log.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        // The job that starts at once reads its own source; the others are
        // probed beside it, and their encoders get what the probe found.
        QCOMPARE(lines(u"probe.log"_qs),
                 (QStringList{path(u"b unknown.avi"_qs), path(u"-c.avi"_qs)}));
        QCOMPARE(
            lines(u"probed.log"_qs),
            (QStringList{path(u"slow.avi"_qs) + u": "_qs,
                         path(u"b unknown.avi"_qs) + u": probed "_qs + path(u"b unknown.avi"_qs),
                         path(u"-c.avi"_qs) + u": probed "_qs + path(u"-c.avi"_qs)}));
        QCOMPARE(outputs().size(), 3);
    }

    // A pause holds the running encoder where it is and starts no other job;
    // going on finishes them as if nothing happened.
    void pauseHoldsTheRunningJobAndStartsNoOther()
    {
        HeldEncoders held(dir->path());
        jobs->addJob(path(u"hold.avi"_qs));
        jobs->addJob(path(u"next.avi"_qs));
        QSignalSpy passes(batch, &BatchController::passStarted);
        QSignalSpy done(batch, &BatchController::jobDone);
        QSignalSpy ended(batch, &BatchController::batchEnded);
        // Paused again between the two jobs: the next one waits for the word.
        connect(batch, &BatchController::jobDone, this, [this] {
            if (jobs->count() == 1)
                batch->pause();
        });
        QCOMPARE(batch->start(), BatchController::StartResult::Started);
        const qint64 encoder = held.next();
        QVERIFY(encoder > 0);
        batch->pause();
        QTRY_COMPARE(processState(encoder), 'T');
        // Told to go on, it cannot while it is held.
        held.release();
        QTest::qWait(100);
        QCOMPARE(processState(encoder), 'T');
        QCOMPARE(done.size(), 0);
        batch->resume();
        QTRY_COMPARE(done.size(), 1);
        QVERIFY(batch->isPaused());
        QTest::qWait(100);
        QCOMPARE(passes.size(), 1);
        batch->resume();
        QVERIFY(ended.wait(20000));
        QCOMPARE(done.size(), 2);
        QCOMPARE(outputs().size(), 2);
    }

    // A name is data: whatever lines it holds, it never names a file the batch
    // removes or a reason it gives.
    void aNameIsNeverAReport_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<FailureReason>("reason");
        QTest::newRow("forged output, stopped") << u"output=%1"_qs << true << FailureReason::None;
        QTest::newRow("forged error")
            << u"error=disk-full"_qs << false << FailureReason::SourceUnreadable;
    }
    void aNameIsNeverAReport()
    {
        QFETCH(QString, line);
        QFETCH(bool, stop);
        QFETCH(FailureReason, reason);
        HeldEncoders held(dir->path());
        const QString victim = path(u"notes.txt"_qs);
        QFile notes(victim);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("mine\n");
        notes.close();
        QString forged = line;
        forged.replace(u"%1"_qs,
                       QString::fromLatin1(QFile::encodeName(victim).toPercentEncoding("/")));
        const QString name = (stop ? u"hold\n[torvane] "_qs : u"fail\n[torvane] "_qs) + forged +
                             u"\r\t\x1b\nx.avi"_qs;
        jobs->addJob(path(name));
        QSignalSpy ended(batch, &BatchController::batchEnded);
        QCOMPARE(batch->start(), BatchController::StartResult::Started);
        if (stop) {
            QVERIFY(held.next() > 0);
            batch->stop(BatchController::StopMode::Now);
        }
        QVERIFY(ended.wait(20000));
        QVERIFY(QFile::exists(victim));
        QCOMPARE(jobs->job(0).failure, reason);
    }

    // A paused batch stops at once when asked, and nothing is left of its job.
    void aPausedBatchStops()
    {
        jobs->addJob(path(u"slow.avi"_qs));
        connect(batch, &BatchController::passStarted, this, [this] { batch->pause(); });
        QSignalSpy ended(batch, &BatchController::batchEnded);
        QCOMPARE(batch->start(), BatchController::StartResult::Started);
        QTRY_VERIFY(batch->isPaused());
        batch->stop(BatchController::StopMode::Now);
        QVERIFY(ended.wait(10000));
        QVERIFY(!batch->isPaused());
        QCOMPARE(jobs->job(0).state, JobState::Stopped);
        QVERIFY(QDir(path(u"out"_qs)).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // A lossless rotation that cannot even be tried is said while the job runs,
    // not after, when the row has gone.
    void losslessRefusalShowsWhileTheJobRuns_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rotation"); // the rotation list's entry
        QTest::addColumn<QString>("why");  // empty: nothing to say
        QTest::newRow("a mirror") << int(Formats::Mp4) << 2 << u"filter"_qs;
        QTest::newRow("FLV") << int(Formats::Flv) << 0 << u"container"_qs;
        QTest::newRow("no turn at all") << int(Formats::Mp4) << 4 << QString();
        QTest::newRow("half a turn") << int(Formats::Mp4) << 5 << QString();
        QTest::newRow("sound alone") << int(Formats::Mp3) << 0 << QString();
    }
    void losslessRefusalShowsWhileTheJobRuns()
    {
        QFETCH(int, format);
        QFETCH(int, rotation);
        QFETCH(QString, why);
        BatchOptions options = batch->options();
        options.lossless = true;
        batch->setOptions(options);
        settings->selectFormat(format);
        settings->selectRotation(rotation);
        jobs->addJob(path(u"a.avi"_qs));
        QStringList said;
        connect(batch, &BatchController::losslessRefused, this,
                [&](quint64 id, const QString &, const QString &word) {
                    QCOMPARE(jobs->jobById(id)->state, JobState::Running);
                    QCOMPARE(jobs->jobById(id)->losslessRefusal, word);
                    said << word;
                });
        runToEnd();
        QCOMPARE(said, why.isEmpty() ? QStringList() : QStringList{why});
    }

    // Every job that ends is recorded: what it wrote, how big, how long.
    void everyEndedJobIsRecorded()
    {
        jobs->addJob(path(u"one.avi"_qs));
        jobs->addJob(path(u"fail.avi"_qs));
        jobs->addJob(path(u"slow.avi"_qs));
        QList<JobRecord> records;
        connect(batch, &BatchController::jobRecorded, this,
                [&](const JobRecord &r) { records << r; });
        connect(batch, &BatchController::passStarted, this, [this](quint64 id) {
            if (jobs->jobById(id)->source.endsWith(u"slow.avi"))
                batch->stop(BatchController::StopMode::Now);
        });
        runToEnd();
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[0].outcome, JobRecord::Outcome::Converted);
        QCOMPARE(records[0].output, path(u"out/one_已旋转140509.mp4"_qs));
        QCOMPARE(records[0].outputBytes, QFileInfo(records[0].output).size());
        QVERIFY(records[0].seconds > 0 && records[0].sourceSeconds == 10);
        QCOMPARE(records[1].outcome, JobRecord::Outcome::Failed);
        QCOMPARE(records[1].failure, FailureReason::SourceUnreadable);
        QCOMPARE(records[2].outcome, JobRecord::Outcome::Stopped);
        QCOMPARE(records[2].outputBytes, -1);
    }

    // How many jobs run at once and how many threads each H.264 encoding gets.
    void shareOfTheMachine_data()
    {
        QTest::addColumn<int>("chosen"); // 0: automatic
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("cores");
        QTest::addColumn<int>("atHand");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("threads"); // 0: the encoder's choice
        QTest::newRow("one video alone") << 0 << int(Formats::Mp4) << 2 << 1 << 2 << 0;
        QTest::newRow("a batch on two cores") << 0 << int(Formats::Mp4) << 2 << 12 << 2 << 1;
        QTest::newRow("H.264 on sixteen") << 0 << int(Formats::Mp4) << 16 << 100 << 8 << 2;
        QTest::newRow("the last two on sixteen") << 0 << int(Formats::Mp4) << 16 << 2 << 8 << 8;
        QTest::newRow("MP3 on sixteen") << 0 << int(Formats::Mp3) << 16 << 100 << 16 << 1;
        QTest::newRow("three asked for") << 3 << int(Formats::Mp4) << 16 << 100 << 3 << 5;
        QTest::newRow("one asked for") << 1 << int(Formats::ThreeGp) << 16 << 100 << 1 << 0;
        QTest::newRow("more than the most") << 99 << int(Formats::Mp3) << 2 << 100 << 32 << 1;
    }
    void shareOfTheMachine()
    {
        QFETCH(int, chosen);
        QFETCH(int, format);
        QFETCH(int, cores);
        QFETCH(int, atHand);
        QFETCH(int, jobs);
        QFETCH(int, threads);
        const JobShare share = jobShare(chosen, format, cores, atHand);
        QCOMPARE(share.jobs, jobs);
        QCOMPARE(share.threads, threads);
    }

    // Jobs side by side: as many as asked, never more, one's failure is its own,
    // two of one name get two names, and the two passes of a job stay in order.
    void severalJobsAtOnce_data()
    {
        QTest::addColumn<int>("parallel"); // 0: as the cores suit
        QTest::addColumn<int>("cores");
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<int>("failed");
        const QStringList five{u"slow1.avi"_qs, u"slow2.avi"_qs, u"x/slow1.avi"_qs,
                               u"slow-fail.avi"_qs, u"slow3.avi"_qs};
        QTest::newRow("two") << 2 << 1 << int(Formats::Mp4) << five << 1;
        QTest::newRow("three") << 3 << 1 << int(Formats::Mp4) << five << 1;
        QTest::newRow("automatic, a core each") << 0 << 2 << int(Formats::Mp3) << five << 1;
        QTest::newRow("two passes each")
            << 2 << 1 << int(Formats::ThreeGp)
            << QStringList{u"slow1.avi"_qs, u"slow2.avi"_qs, u"slow3.avi"_qs} << 0;
    }
    void severalJobsAtOnce()
    {
        QFETCH(int, parallel);
        QFETCH(int, cores);
        QFETCH(int, format);
        QFETCH(QStringList, sources);
        QFETCH(int, failed);
        const int slots = parallel > 0 ? parallel : cores;
        QVERIFY(QDir().mkpath(path(u"x"_qs)));
        settings->selectFormat(Formats::at(format).listedEntry);
        BatchOptions options;
        options.playSound = false;
        options.parallelJobs = parallel;
        batch->setOptions(options);
        batch->setCores(cores);
        for (const QString &source : std::as_const(sources))
            jobs->addJob(path(source));
        int running = 0, most = 0;
        connect(batch, &BatchController::jobStarted, this, [&] {
            most = std::max(most, ++running);
            QCOMPARE(batch->runningCount(), running);
        });
        const auto ended = [&] { --running; };
        connect(batch, &BatchController::jobDone, this, ended);
        connect(batch, &BatchController::jobFailed, this, ended);
        runToEnd();
        QCOMPARE(most, slots);
        QCOMPARE(mostAtOnce(), slots);
        QCOMPARE(batch->summary().converted, int(sources.size()) - failed);
        QCOMPARE(batch->summary().failures.size(), failed);
        QCOMPARE(outputs().size(), int(sources.size()) - failed);
        // Each job has its own intermediate file, and its second pass reads it
        // after its first pass wrote it.
        QFile f(path(u"encoder.log"_qs));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList log = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QSet<QString> intermediates;
        for (qsizetype i = 0; i < log.size(); ++i) {
            if (!log[i].startsWith(u"coder2 "_qs))
                continue;
            const QString input = log[i].section(u' ', 1, 1);
            QVERIFY(!intermediates.contains(input));
            intermediates.insert(input);
            QVERIFY(std::any_of(log.cbegin(), log.cbegin() + i, [&](const QString &line) {
                return line.startsWith(u"conv "_qs) && line.endsWith(u" -> "_qs + input);
            }));
        }
        QVERIFY(QDir(path(u"tmp"_qs)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    // Stop now ends every running job and leaves nothing of them; stop after
    // the current videos lets each finish and starts no other; pause holds them all.
    void stopAndPauseWithSeveralRunning_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("converted");
        QTest::newRow("stop now") << u"now"_qs << 0;
        QTest::newRow("stop after the current videos") << u"after"_qs << 2;
        QTest::newRow("pause, then go on") << u"pause"_qs << 4;
    }
    void stopAndPauseWithSeveralRunning()
    {
        QFETCH(QString, action);
        QFETCH(int, converted);
        HeldEncoders held(dir->path());
        BatchOptions options;
        options.playSound = false;
        options.parallelJobs = 2;
        batch->setOptions(options);
        for (const char *name : {"hold1.avi", "hold2.avi", "hold3.avi", "hold4.avi"})
            jobs->addJob(path(QString::fromLatin1(name)));
        QSignalSpy passes(batch, &BatchController::passStarted);
        QSignalSpy ended(batch, &BatchController::batchEnded);
        QCOMPARE(batch->start(), BatchController::StartResult::Started);
        const QList<qint64> encoders = {held.next(), held.next()};
        QVERIFY(encoders[0] > 0 && encoders[1] > 0);
        if (action == u"now") {
            batch->stop(BatchController::StopMode::Now);
        } else if (action == u"after") {
            batch->stop(BatchController::StopMode::AfterCurrentJob);
            held.release(2);
        } else {
            batch->pause();
            for (const qint64 pid : encoders)
                QTRY_COMPARE(processState(pid), 'T');
            // Told to go on, neither can while the batch is paused.
            held.release(2);
            QTest::qWait(100);
            QCOMPARE(passes.size(), 2);
            QCOMPARE(batch->summary().converted, 0);
            batch->resume();
            QVERIFY(held.next() > 0 && held.next() > 0);
            held.release(2);
        }
        QVERIFY(ended.wait(20000));
        QCOMPARE(batch->summary().converted, converted);
        QCOMPARE(outputs().size(), converted);
        QCOMPARE(passes.size(), action == u"pause" ? 4 : 2);
        QCOMPARE(batch->summary().stoppedJobs, action == u"now" ? 2 : 0);
        QCOMPARE(jobs->count(), 4 - converted);
        QTRY_VERIFY(runningEncoders().isEmpty());
    }

    void sameNameInTheSameSecondNeverOverwrites()
    {
        QVERIFY(QDir().mkpath(path(u"x"_qs)));
        jobs->addJob(path(u"same.avi"_qs));
        jobs->addJob(path(u"x/same.avi"_qs));
        runToEnd();
        QCOMPARE(encoderLog(), (QStringList{u"conv same.avi -> out/same_已旋转140509.mp4"_qs,
                                            u"conv x/same.avi -> out/same_已旋转140509_2.mp4"_qs}));
    }

    void progressFollowsBothPassesAndTheBatch()
    {
        settings->selectFormat(Formats::ThreeGp);
        jobs->addJob(path(u"a.avi"_qs));
        jobs->addJob(path(u"b.avi"_qs));
        QStringList captions;
        QList<BatchPosition> positions;
        connect(batch, &BatchController::progressChanged, this,
                [&captions](const ProgressDisplay &d) { captions << d.caption; });
        connect(batch, &BatchController::positionChanged, this,
                [&positions](const BatchPosition &p) { positions << p; });
        runToEnd();
        QVERIFY(captions.contains(u"进行最后一步... 100%"_qs));
        QVERIFY(std::any_of(captions.cbegin(), captions.cend(),
                            [](const QString &c) { return c.startsWith(u"生成中..."); }));
        QVERIFY(QFile::exists(path(u"out/a-140509.3gp"_qs)));
        QVERIFY(!positions.isEmpty());
        QCOMPARE(positions.first().number, 1);
        QCOMPARE(positions.first().total, 2);
        QCOMPARE(positions.last().number, 2);
        QCOMPARE(positions.last().pass, 2);
        for (qsizetype i = 1; i < positions.size(); ++i)
            QVERIFY(positions[i].batchFraction >= positions[i - 1].batchFraction - 1e-9);
    }

    void stopAtAnyPointLosesNoFile_data()
    {
        QTest::addColumn<StopPoint>("point");
        QTest::addColumn<BatchController::StopMode>("mode");
        QTest::addColumn<int>("convertedBeforeRestart");
        using M = BatchController::StopMode;
        QTest::newRow("before the first pass, now") << StopPoint::BeforeFirstPass << M::Now << 0;
        QTest::newRow("before the first pass, after the job")
            << StopPoint::BeforeFirstPass << M::AfterCurrentJob << 0;
        QTest::newRow("first pass, now") << StopPoint::DuringFirstPass << M::Now << 0;
        QTest::newRow("first pass, after the job")
            << StopPoint::DuringFirstPass << M::AfterCurrentJob << 1;
        QTest::newRow("between passes, now") << StopPoint::BetweenPasses << M::Now << 0;
        QTest::newRow("between passes, after the job")
            << StopPoint::BetweenPasses << M::AfterCurrentJob << 1;
        QTest::newRow("between jobs, now") << StopPoint::BetweenJobs << M::Now << 1;
        QTest::newRow("between jobs, after the job")
            << StopPoint::BetweenJobs << M::AfterCurrentJob << 1;
        QTest::newRow("finishing, now") << StopPoint::Finishing << M::Now << 2;
        QTest::newRow("finishing, after the job")
            << StopPoint::Finishing << M::AfterCurrentJob << 2;
    }

    void stopAtAnyPointLosesNoFile()
    {
        QFETCH(StopPoint, point);
        QFETCH(BatchController::StopMode, mode);
        QFETCH(int, convertedBeforeRestart);
        settings->selectFormat(Formats::ThreeGp);
        jobs->addJob(path(u"slow1.avi"_qs));
        jobs->addJob(path(u"slow2.avi"_qs));
        actions->holdSound = true;

        bool stopped = false;
        auto stopOnce = [&] {
            if (!stopped) {
                stopped = true;
                batch->stop(mode);
            }
        };
        QMetaObject::Connection hook;
        switch (point) {
        case StopPoint::BeforeFirstPass:
            break;
        case StopPoint::DuringFirstPass:
            hook = connect(batch, &BatchController::progressChanged, this, stopOnce);
            break;
        case StopPoint::BetweenPasses:
            hook = connect(batch, &BatchController::passFinished, this, stopOnce);
            break;
        case StopPoint::BetweenJobs:
            hook = connect(batch, &BatchController::jobDone, this, stopOnce);
            break;
        case StopPoint::Finishing:
            actions->onSound = stopOnce;
            break;
        }
        QSignalSpy ended(batch, &BatchController::batchEnded);
        QCOMPARE(batch->start(), BatchController::StartResult::Started);
        if (point == StopPoint::BeforeFirstPass)
            stopOnce();
        // Stopping after the job lets the end-of-batch actions run their course.
        if (point == StopPoint::Finishing && mode == BatchController::StopMode::AfterCurrentJob)
            QTRY_VERIFY_WITH_TIMEOUT(actions->pendingSound, 20000);
        if (actions->pendingSound)
            actions->pendingSound();
        if (ended.isEmpty())
            QVERIFY(ended.wait(20000));
        disconnect(hook);
        actions->onSound = nullptr;
        QCOMPARE(batch->state(), BatchController::State::Idle);
        QCOMPARE(batch->summary().converted, convertedBeforeRestart);

        // Every completed output stays, nothing unfinished does.
        QStringList expected;
        if (convertedBeforeRestart >= 1)
            expected << u"slow1-140509.3gp"_qs;
        if (convertedBeforeRestart >= 2)
            expected << u"slow2-140509.3gp"_qs;
        QCOMPARE(outputs(), expected);
        QVERIFY(QDir(batch->scratchFolder()).entryList(QDir::Files).isEmpty());
        for (int row = 0; row < jobs->count(); ++row)
            QVERIFY(jobs->job(row).state == JobState::Waiting ||
                    jobs->job(row).state == JobState::Stopped);

        // A new Start converts whatever is left.
        actions->holdSound = false;
        if (!jobs->isEmpty())
            runToEnd();
        QVERIFY(jobs->isEmpty());
        QCOMPARE(outputs().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestBatchController)
#include "tst_batchcontroller.moc"
