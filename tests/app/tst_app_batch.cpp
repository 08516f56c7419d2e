// Real batches through the window: the encoders in the build folder's data
// folder convert small clips that the test makes with ffmpeg.
#include "app/frmmain.h"
#include "fakes.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

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

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void twoJobsRunToDone();
    void failedJobStaysRed();
    void closeDuringBatch();

private:
    QStringList lockedNames() const;
    void verifyLocked(bool locked);
    void startAndWait(QSignalSpy &finished);

    QTemporaryDir m_runtime;
    QTemporaryDir m_clips;
    QString m_clipA, m_clipB;
    std::unique_ptr<QTemporaryDir> m_out;
    RecordingSink m_sink;
    FakeDialogRunner m_dialogs;
    RecordingCompletion m_completion;
    std::unique_ptr<frmMain> m_window;
};

void tst_AppBatch::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    if (!QFileInfo(buildDir + u"/data/conv"_qs).isExecutable())
        QSKIP("the encoders are not built (data/conv missing)");
    if (QStandardPaths::findExecutable(u"ffmpeg"_qs).isEmpty())
        QSKIP("ffmpeg is not installed");
    m_clipA = m_clips.filePath(u"a.mp4"_qs);
    m_clipB = m_clips.filePath(u"第二 段,b.mp4"_qs);
    QVERIFY(makeClip(m_clipA));
    QVERIFY(QFile::copy(m_clipA, m_clipB));
}

void tst_AppBatch::init()
{
    m_sink.messages.clear();
    m_completion = {};
    m_out = std::make_unique<QTemporaryDir>();
    WindowServices services;
    services.messages = &m_sink;
    services.dialogs = &m_dialogs;
    services.completion = &m_completion;
    services.openUrl = [](const QUrl &) {};
    services.programFolder = buildDir;
    m_window = std::make_unique<frmMain>(services);
    m_window->show();
    m_window->findChild<QWidget *>(u"picDoor"_qs)->hide();
    m_window->conversionSettings().setOutputFolder(m_out->path());
}

void tst_AppBatch::cleanup()
{
    m_window.reset();
    m_out.reset();
}

QStringList tst_AppBatch::lockedNames() const
{
    QStringList names{u"LV"_qs, u"Command3"_qs, u"lblFeed"_qs, u"cmdBrowse"_qs, u"txtPath"_qs};
    for (int i = 0; i < frmMain::ToolbarButtons; ++i)
        names << u"CmdToolsBar%1"_qs.arg(i);
    return names;
}

void tst_AppBatch::verifyLocked(bool locked)
{
    for (const QString &name : lockedNames()) {
        QWidget *widget = m_window->findChild<QWidget *>(name);
        QVERIFY2(widget && widget->isEnabled() == !locked, qPrintable(name));
    }
    // The format and rotation lists stay usable during a batch.
    QVERIFY(m_window->findChild<QComboBox *>(u"cmbOF1"_qs)->isEnabled());
    QVERIFY(m_window->findChild<QComboBox *>(u"cmbRotate"_qs)->isEnabled());
}

void tst_AppBatch::startAndWait(QSignalSpy &finished)
{
    QTest::mouseClick(m_window->findChild<QWidget *>(u"Command3"_qs), Qt::LeftButton);
    QVERIFY(m_window->batchDriver().isBusy());
    verifyLocked(true);
    QVERIFY(finished.wait(120000));
    QVERIFY(!m_window->batchDriver().isBusy());
    verifyLocked(false);
}

void tst_AppBatch::twoJobsRunToDone()
{
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(m_clipA), QUrl::fromLocalFile(m_clipB)});
    m_window->LV_OLEDragDrop(mime);
    delete mime;

    BatchDriver &driver = m_window->batchDriver();
    QSignalSpy finished(&driver, &BatchDriver::batchFinished);
    QSignalSpy progress(&driver, &BatchDriver::progressChanged);
    QSignalSpy done(&driver, &BatchDriver::jobDone);
    // The list keeps its jobs until each is converted, and stays locked meanwhile.
    connect(&driver, &BatchDriver::jobDone, this, [this] { verifyLocked(true); });
    startAndWait(finished);

    QCOMPARE(finished.first().first().value<QList<JobFailure>>().size(), 0);
    QCOMPARE(done.size(), 2);
    QVERIFY(m_window->jobList().isEmpty());
    QCOMPARE(m_window->findChild<QLabel *>(u"lblPB"_qs)->text(), u"Done."_qs);
    QCOMPARE(m_window->findChild<QProgressBar *>(u"pb"_qs)->value(), 0);
    QVERIFY(m_sink.messages.isEmpty());
    QCOMPARE(m_completion.openedFolders.size(), 1);
    QCOMPARE(m_completion.sounds, QStringList{buildDir + u"/sound.wav"_qs});

    bool sawPercent = false;
    for (const QList<QVariant> &args : progress) {
        const QString caption = args.first().value<ProgressDisplay>().lblPB;
        sawPercent = sawPercent || caption.endsWith(u'%');
    }
    QVERIFY(sawPercent);

    const QStringList outputs = QDir(m_out->path()).entryList(QDir::Files);
    QCOMPARE(outputs.size(), 2);
    for (const QString &name : outputs) {
        QVERIFY2(name.contains(u"_已旋转"_qs) && name.endsWith(u".mp4"_qs), qPrintable(name));
        QVERIFY(QFileInfo(m_out->filePath(name)).size() > 0);
    }
}

void tst_AppBatch::failedJobStaysRed()
{
    const QString missing = m_clips.filePath(u"不存在.mp4"_qs);
    m_window->jobList().addJobs({missing, m_clipA});
    QSignalSpy finished(&m_window->batchDriver(), &BatchDriver::batchFinished);
    startAndWait(finished);

    QCOMPARE(m_window->jobList().lstFile(), QStringList{missing});
    QCOMPARE(m_sink.messages.size(), 1);
    const RecordedMessage &message = m_sink.messages.first();
    QCOMPARE(message.icon, MessageSink::Icon::Warning);
    QVERIFY(message.text.contains(missing));
    const QString reason = m_window->jobList().job(0).failReason;
    QVERIFY(!reason.isEmpty());
    QVERIFY(message.text.contains(reason));
    QVERIFY(m_window->findChild<QLabel *>(u"lblPB"_qs)->text() != u"Done."_qs);

    auto *view = m_window->findChild<QTreeView *>(u"LV"_qs);
    const QModelIndex row = view->model()->index(0, 0);
    QCOMPARE(row.data(Qt::ForegroundRole).value<QColor>(), QColor(0xc6, 0x28, 0x28));
    QCOMPARE(row.data(Qt::ToolTipRole).toString(), reason);
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files).size(), 1);
}

void tst_AppBatch::closeDuringBatch()
{
    const QString longClip = m_clips.filePath(u"long.mp4"_qs);
    QVERIFY(makeClip(longClip, u"640x480"_qs, u"30"_qs));
    m_window->jobList().addJobs({longClip, m_clipA});
    BatchDriver &driver = m_window->batchDriver();
    QSignalSpy progress(&driver, &BatchDriver::progressChanged);
    QSignalSpy unloaded(m_window.get(), &frmMain::unloaded);
    QVERIFY(driver.Start());
    QVERIFY(progress.wait(30000));
    QVERIFY(driver.objDOS().isRunning());
    const QString temp = driver.tempFolder();

    QVERIFY(m_window->close());
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!driver.isBusy());
    QVERIFY(!driver.objDOS().isRunning());
    // Nothing half-written is left, under the output name or any other.
    const QStringList left =
        QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u", "_qs)));
    QVERIFY(!QFileInfo::exists(temp));
    // The jobs stay where they were; none was counted as done.
    QCOMPARE(m_window->jobList().count(), 2);
}

QTEST_MAIN(tst_AppBatch)
#include "tst_app_batch.moc"
