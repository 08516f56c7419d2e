// Real batches through the window: the encoders in the build folder's data
// folder convert small clips that the test makes with ffmpeg.
#include "fakes.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTreeView>

#include <algorithm>

namespace {

const QString buildDir = QStringLiteral(TORVANE_BUILD_DIR);

bool makeClip(const QString &path, const QString &size = u"160x120"_qs,
              const QString &seconds = u"1"_qs)
{
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_qs,
                 {u"-nostdin"_qs, u"-hide_banner"_qs, u"-loglevel"_qs, u"error"_qs, u"-y"_qs,
                  u"-f"_qs, u"lavfi"_qs, u"-i"_qs, u"testsrc=size=%1:rate=25"_qs.arg(size),
                  u"-f"_qs, u"lavfi"_qs, u"-i"_qs, u"sine"_qs, u"-t"_qs, seconds, u"-pix_fmt"_qs,
                  u"yuv420p"_qs, path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0 && QFileInfo(path).size() > 0;
}

} // namespace

class tst_AppBatch : public QObject
{
    Q_OBJECT

    void verifyLocked(bool locked)
    {
        QStringList names{u"LV"_qs, u"Command3"_qs, u"lblFeed"_qs, u"cmdBrowse"_qs, u"txtPath"_qs};
        for (int i = 0; i < frmMain::ToolbarButtons; ++i)
            names << u"CmdToolsBar%1"_qs.arg(i);
        for (const QString &name : names)
            QVERIFY2(h->control(name)->isEnabled() == !locked, qPrintable(name));
        // The format and rotation lists stay usable during a batch.
        QVERIFY(h->control(u"cmbOF1"_qs)->isEnabled() && h->control(u"cmbRotate"_qs)->isEnabled());
    }
    void startAndWait()
    {
        QSignalSpy finished(&h->window->batchDriver(), &BatchDriver::batchFinished);
        h->click(u"Command3"_qs);
        QVERIFY(h->window->batchDriver().isBusy());
        verifyLocked(true);
        QVERIFY(finished.wait(120000));
        verifyLocked(false);
    }

    QTemporaryDir m_runtime, m_clips;
    QString m_clipA, m_clipB;
    std::unique_ptr<QTemporaryDir> m_out;
    std::unique_ptr<Harness> h;

private Q_SLOTS:
    void initTestCase()
    {
        isolateTestRun(m_runtime);
        if (!QFileInfo(buildDir + u"/data/conv"_qs).isExecutable())
            QSKIP("the encoders are not built (data/conv missing)");
        if (QStandardPaths::findExecutable(u"ffmpeg"_qs).isEmpty())
            QSKIP("ffmpeg is not installed");
        m_clipA = m_clips.filePath(u"a.mp4"_qs);
        m_clipB = m_clips.filePath(u"第二 段,b.mp4"_qs);
        QVERIFY(makeClip(m_clipA));
        QVERIFY(QFile::copy(m_clipA, m_clipB));
    }
    void init()
    {
        m_out = std::make_unique<QTemporaryDir>();
        h = std::make_unique<Harness>(buildDir);
        h->control(u"picDoor"_qs)->hide();
        h->window->conversionSettings().setOutputFolder(m_out->path());
    }
    void cleanup()
    {
        h.reset();
        m_out.reset();
    }

    void twoJobsRunToDone()
    {
        h->window->LV_OLEDragDrop(fileDrop({m_clipA, m_clipB}).get());
        BatchDriver &driver = h->window->batchDriver();
        QSignalSpy progress(&driver, &BatchDriver::progressChanged);
        QSignalSpy done(&driver, &BatchDriver::jobDone);
        // The list keeps its jobs until each is converted, and stays locked meanwhile.
        connect(&driver, &BatchDriver::jobDone, this, [this] { verifyLocked(true); });
        startAndWait();

        QCOMPARE(done.size(), 2);
        QVERIFY(h->window->jobList().isEmpty());
        QCOMPARE(h->control<QLabel>(u"lblPB"_qs)->text(), u"Done."_qs);
        QCOMPARE(h->control<QProgressBar>(u"pb"_qs)->value(), 0);
        QVERIFY(h->sink.messages.isEmpty());
        QCOMPARE(h->completion.openedFolders.size(), 1);
        QCOMPARE(h->completion.sounds, QStringList{buildDir + u"/sound.wav"_qs});
        QVERIFY(std::any_of(progress.begin(), progress.end(), [](const QList<QVariant> &args) {
            return args.first().value<ProgressDisplay>().caption.endsWith(u'%');
        }));
        const QStringList outputs = QDir(m_out->path()).entryList(QDir::Files);
        QCOMPARE(outputs.size(), 2);
        for (const QString &name : outputs) {
            QVERIFY2(name.contains(u"_已旋转"_qs) && name.endsWith(u".mp4"_qs), qPrintable(name));
            QVERIFY(QFileInfo(m_out->filePath(name)).size() > 0);
        }
    }

    void failedJobStaysRed()
    {
        const QString missing = m_clips.filePath(u"不存在.mp4"_qs);
        h->window->jobList().addJobs({missing, m_clipA});
        startAndWait();

        QCOMPARE(h->window->jobList().paths(), QStringList{missing});
        const QString reason = h->window->jobList().job(0).failReason;
        QVERIFY(!reason.isEmpty());
        QCOMPARE(h->sink.messages.size(), 1);
        QCOMPARE(h->sink.messages[0].icon, MessageSink::Icon::Warning);
        QVERIFY(h->sink.messages[0].text.contains(missing));
        QVERIFY(h->sink.messages[0].text.contains(reason));
        QVERIFY(h->control<QLabel>(u"lblPB"_qs)->text() != u"Done."_qs);
        const QModelIndex row = h->control<QTreeView>(u"LV"_qs)->model()->index(0, 0);
        QCOMPARE(row.data(Qt::ForegroundRole).value<QColor>(), QColor(0xc6, 0x28, 0x28));
        QCOMPARE(row.data(Qt::ToolTipRole).toString(), reason);
        QCOMPARE(QDir(m_out->path()).entryList(QDir::Files).size(), 1);
    }

    void closeDuringBatch()
    {
        const QString longClip = m_clips.filePath(u"long.mp4"_qs);
        QVERIFY(makeClip(longClip, u"640x480"_qs, u"30"_qs));
        h->window->jobList().addJobs({longClip, m_clipA});
        BatchDriver &driver = h->window->batchDriver();
        QSignalSpy progress(&driver, &BatchDriver::progressChanged);
        QSignalSpy unloaded(h->window.get(), &frmMain::unloaded);
        QVERIFY(driver.Start());
        QVERIFY(progress.wait(30000));
        QVERIFY(driver.objDOS().isRunning());
        const QString temp = driver.tempFolder();

        QVERIFY(h->window->close());
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!driver.isBusy());
        QVERIFY(!driver.objDOS().isRunning());
        // Nothing half-written is left, under the output name or any other.
        const QStringList left =
            QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u", "_qs)));
        QVERIFY(!QFileInfo::exists(temp));
        // The jobs stay where they were; none was counted as done.
        QCOMPARE(h->window->jobList().count(), 2);
    }
};

QTEST_MAIN(tst_AppBatch)
#include "tst_app_batch.moc"
