// Real batches through the window: the encoders in the build folder's data
// folder convert small clips that the test makes with ffmpeg.
#include "fakes.h"

#include "app/previewpanel.h"
#include "app/recordwindow.h"
#include "app/windowcommands.h"
#include "common/formats.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

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

// The length of a media file in seconds, as ffprobe reads it; -1 when it cannot.
double duration(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_qs, {u"-v"_qs, u"error"_qs, u"-show_entries"_qs, u"format=duration"_qs,
                                  u"-of"_qs, u"csv=p=0"_qs, path});
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return -1;
    bool ok = false;
    const double seconds =
        QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

} // namespace

class tst_AppBatch : public QObject
{
    Q_OBJECT

    void verifyLocked(bool locked)
    {
        QStringList names{u"feedbackLink"_qs, u"browseButton"_qs, u"outputFolderEdit"_qs};
        names << toolbarButtonNames;
        for (const QString &name : names)
            QVERIFY2(h->control(name)->isEnabled() == !locked, qPrintable(name));
        // The lists stay usable during a batch, the start button stops it.
        for (const QString &name :
             {u"formatList"_qs, u"rotationList"_qs, u"jobListView"_qs, u"startButton"_qs})
            QVERIFY2(h->control(name)->isEnabled(), qPrintable(name));
        QCOMPARE(h->control<QPushButton>(u"startButton"_qs)->text(),
                 locked ? u"停止转换"_qs : u"开始旋转视频！"_qs);
    }
    void startAndWait()
    {
        QSignalSpy finished(&h->window->batch(), &BatchController::batchEnded);
        h->click(u"startButton"_qs);
        QVERIFY(h->window->batch().isBusy());
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
        h->control(u"startOverlay"_qs)->hide();
        h->window->conversionSettings().setOutputFolder(m_out->path());
    }
    void cleanup()
    {
        h.reset();
        m_out.reset();
    }

    void twoJobsRunToDone()
    {
        h->window->dropOnJobList(fileDrop({m_clipA, m_clipB}).get());
        BatchController &batch = h->window->batch();
        QSignalSpy progress(&batch, &BatchController::progressChanged);
        QSignalSpy done(&batch, &BatchController::jobDone);
        QStringList positions, titles;
        connect(&batch, &BatchController::jobStarted, this,
                [&] { positions << h->control<QLabel>(u"positionLabel"_qs)->text(); });
        // The title says how far the batch is, as the launcher does.
        connect(&batch, &BatchController::positionChanged, this,
                [&] { titles << h->window->windowTitle(); });
        // The list keeps its jobs until each is converted, and stays locked meanwhile.
        connect(&batch, &BatchController::jobDone, this, [this] { verifyLocked(true); });
        startAndWait();

        QCOMPARE(done.size(), 2);
        QCOMPARE(positions, (QStringList{u"第 1/2 个"_qs, u"第 2/2 个"_qs}));
        const QRegularExpression percent(u"^\\d+% - Torvane$"_qs);
        QVERIFY(!titles.isEmpty());
        for (const QString &title : std::as_const(titles))
            QVERIFY2(percent.match(title).hasMatch(), qPrintable(title));
        QCOMPARE(h->window->windowTitle(), u"Torvane"_qs);
        QVERIFY(h->window->jobList().isEmpty());
        QCOMPARE(h->control<QLabel>(u"progressCaption"_qs)->text(), u"Done."_qs);
        QCOMPARE(h->control<QProgressBar>(u"progressBar"_qs)->value(), 0);
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

    // Two jobs side by side: both rows bold with their own figures, the bar
    // the batch's share, one end for the batch.
    void twoJobsSideBySide()
    {
        const QString longer = m_clips.filePath(u"longer.mp4"_qs);
        QVERIFY(makeClip(longer, u"320x240"_qs, u"4"_qs));
        h->window->jobList().addJobs({longer, longer, m_clipA});
        BatchController &batch = h->window->batch();
        batch.setCores(2);
        int mostRunning = 0;
        bool seenSideBySide = false;
        bool seenAlone = false;
        connect(&batch, &BatchController::positionChanged, this, [&](const BatchPosition &at) {
            mostRunning = std::max(mostRunning, batch.runningCount());
            // The last one alone: caption and bar still tell the batch's share.
            if (seenSideBySide && batch.runningCount() == 1) {
                seenAlone = true;
                QCOMPARE(h->control<QLabel>(u"progressCaption"_qs)->text(),
                         u"转换中 %1%"_qs.arg(int(at.batchFraction * 100)));
                QCOMPARE(h->control<QProgressBar>(u"progressBar"_qs)->value(),
                         int(at.batchFraction * 100));
            }
            if (seenSideBySide || batch.runningCount() < 2 || at.batchFraction <= 0)
                return;
            seenSideBySide = true;
            const QAbstractItemModel *model = h->control<QTreeView>(u"jobListView"_qs)->model();
            for (int row = 0; row < 2; ++row) {
                const QModelIndex status = model->index(row, JobListModel::StatusColumn);
                QVERIFY(model->data(status, Qt::FontRole).value<QFont>().bold());
                QVERIFY(model->data(status).toString().endsWith(u'%'));
            }
            QVERIFY(!model->data(model->index(2, 0), Qt::FontRole).value<QFont>().bold());
            QVERIFY(h->control<QLabel>(u"progressCaption"_qs)
                        ->text()
                        .startsWith(u"正在同时转换 2 个视频"_qs));
            QCOMPARE(h->control<QProgressBar>(u"progressBar"_qs)->value(),
                     int(at.batchFraction * 100));
        });
        startAndWait();
        QVERIFY(seenSideBySide);
        QVERIFY(seenAlone);
        QCOMPARE(mostRunning, 2);
        QVERIFY(h->window->jobList().isEmpty());
        QCOMPARE(QDir(m_out->path()).entryList(QDir::Files).size(), 3);
        QCOMPARE(h->completion.openedFolders.size(), 1);
        QCOMPARE(h->completion.sounds.size(), 1);
    }

    void failedJobStaysRed()
    {
        const QString missing = m_clips.filePath(u"不存在.mp4"_qs);
        h->window->jobList().addJobs({missing, m_clipA});
        // The summary waits until the batch has ended: nothing is asked while
        // it changes state, and a start from the open summary begins a new batch.
        BatchController &batch = h->window->batch();
        int askedAtEnd = -1;
        QString captionAtEnd;
        connect(&batch, &BatchController::batchEnded, this, [&] {
            if (askedAtEnd >= 0)
                return;
            askedAtEnd = int(h->sink.messages.size());
            captionAtEnd = h->control<QLabel>(u"progressCaption"_qs)->text();
        });
        bool startedAgain = false;
        h->sink.whileAsking = [&] {
            h->window->jobList().addJob(m_clipA);
            h->window->startBatch();
            startedAgain = batch.isBusy();
        };
        QSignalSpy ended(&batch, &BatchController::batchEnded);
        startAndWait();
        QCOMPARE(askedAtEnd, 0);
        QVERIFY(ended.wait(120000));
        QVERIFY(startedAgain);

        QCOMPARE(h->window->jobList().paths(), QStringList{missing});
        const Job &job = h->window->jobList().job(0);
        QCOMPARE(job.failure, FailureReason::SourceUnreadable);
        QCOMPARE(h->sink.messages.size(), 1);
        QCOMPARE(h->sink.messages[0].icon, MessageSink::Icon::Warning);
        QVERIFY(h->sink.messages[0].text.contains(missing));
        QVERIFY(h->sink.messages[0].text.contains(u"源文件无法读取或已损坏"_qs));
        QCOMPARE(h->sink.questions.value(0).value(0), u"查看编码器输出"_qs);
        QCOMPARE(h->sink.defaults.value(0), 2); // Enter closes the summary
        QCOMPARE(captionAtEnd, u"完成，1 个视频转换失败"_qs);
        const QAbstractItemModel *model = h->control<QTreeView>(u"jobListView"_qs)->model();
        const QModelIndex status = model->index(0, JobListModel::StatusColumn);
        QCOMPARE(status.data().toString(), u"失败：源文件无法读取或已损坏"_qs);
        QCOMPARE(model->index(0, 0).data(Qt::ForegroundRole).value<QColor>(),
                 QColor(0xc6, 0x28, 0x28));
        QVERIFY(!status.data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(status.data(Qt::ToolTipRole).toString().contains(job.failureDetail));
        QVERIFY(!job.encoderOutput.isEmpty());
        QCOMPARE(QDir(m_out->path()).entryList(QDir::Files).size(), 2); // one from each batch

        // The encoder's own words can be read and copied.
        QWidget *view = h->window->showEncoderOutput({job.id});
        QVERIFY(view->findChild<QPlainTextEdit *>()->toPlainText().contains(job.failureDetail));
        view->close();

        // Start leaves the red row as it is; 重试失败的视频 makes it wait again.
        h->click(u"startButton"_qs);
        QVERIFY(!batch.isBusy());
        QCOMPARE(h->sink.messages.size(), 2);
        QVERIFY(h->sink.messages[1].text.contains(u"重试失败的视频"_qs));
        QCOMPARE(h->window->jobList().job(0).state, JobState::Failed);
        h->window->commands().retryFailed->trigger();
        QCOMPARE(h->window->jobList().job(0).state, JobState::Waiting);
    }

    // Every ended job goes into the record, which outlives the window.
    void recordOfEndedJobs()
    {
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        h = std::make_unique<Harness>(buildDir);
        h->window->conversionSettings().setOutputFolder(m_out->path());
        const QString missing = m_clips.filePath(u"不存在.mp4"_qs);
        h->window->jobList().addJobs({missing, m_clipA});
        startAndWait();

        const auto rows = [this](QTreeWidget *list) {
            QStringList texts;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                texts << list->topLevelItem(i)->text(1) + u' ' + list->topLevelItem(i)->text(2);
            return texts;
        };
        h->window->commands().records->trigger();
        auto *records = h->window->findChild<RecordWindow *>();
        QVERIFY(records && records->isVisible());
        // The newest first.
        const QStringList expected{m_clipA + u" 已转换"_qs,
                                   missing + u" 失败：源文件无法读取或已损坏"_qs};
        QCOMPARE(rows(records->list()), expected);
        QTreeWidgetItem *converted = records->list()->topLevelItem(0);
        QVERIFY(converted->text(3).startsWith(m_out->path()));
        QVERIFY(converted->text(4).endsWith(u" KB"_qs));
        records->list()->setCurrentItem(converted);
        Q_EMIT records->list()->itemDoubleClicked(converted, 0);
        QCOMPARE(h->urls.value(0), QUrl::fromLocalFile(converted->text(3)));

        h = std::make_unique<Harness>(buildDir);
        h->window->commands().records->trigger();
        QCOMPARE(rows(h->window->findChild<RecordWindow *>()->list()), expected);
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_runtime.path() + u"/state"_qs));
    }

    // The current job's picture as it will come out, and again when its settings change.
    void previewFollowsTheCurrentJob()
    {
        auto *panel = h->control<PreviewPanel>(u"previewPanel"_qs);
        QVERIFY(panel->isVisible());
        h->window->jobList().addJobs({m_clipA});
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        view->setCurrentIndex(view->model()->index(0, 0));
        const quint64 id = h->window->jobList().job(0).id;
        const auto change = [&](auto how) { h->window->jobList().changeSettings({id}, how); };

        change([](JobSettings &job) { job.rotation = {}; });
        QTRY_COMPARE_WITH_TIMEOUT(panel->picture().size(), QSize(160, 120), 10000);
        QVERIFY(panel->caption().startsWith(u"a.mp4\n"_qs));
        const QImage plain = panel->picture();
        change([](JobSettings &job) { job.rotation = PictureTransform::turn(1); });
        QTRY_COMPARE_WITH_TIMEOUT(panel->picture().size(), QSize(120, 160), 10000);
        // The encoder's turn, corner by corner: clockwise, the top left goes top right.
        const QImage turned = panel->picture();
        const auto near = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                       std::abs(qBlue(a) - qBlue(b)) <
                   60;
        };
        QVERIFY(near(plain.pixel(3, 3), turned.pixel(116, 3)));
        QVERIFY(near(plain.pixel(156, 116), turned.pixel(3, 156)));
        change([](JobSettings &job) { job.setFormat(Formats::Mp3); });
        QTRY_COMPARE_WITH_TIMEOUT(panel->caption(), u"这个格式只有声音，没有画面"_qs, 2000);
        // Back to a known picture: from memory, at once.
        change([](JobSettings &job) { job.setFormat(Formats::Mp4); });
        QTRY_COMPARE_WITH_TIMEOUT(panel->picture().size(), QSize(120, 160), 1000);
    }

    // Captions say what is true now: an ended batch's word goes once the list changes,
    // and a new batch starts from a clean caption.
    void captionsFollowTheState()
    {
        auto *caption = h->control<QLabel>(u"progressCaption"_qs);
        h->window->jobList().addJob(m_clips.filePath(u"不存在.mp4"_qs));
        startAndWait();
        QCOMPARE(caption->text(), u"完成，1 个视频转换失败"_qs);
        h->window->removeAllJobs();
        QCOMPARE(caption->text(), u"0%"_qs);

        h->window->jobList().addJob(m_clipA);
        QStringList atStart;
        connect(&h->window->batch(), &BatchController::stateChanged, this,
                [&] { atStart << caption->text(); });
        startAndWait();
        QCOMPARE(caption->text(), u"Done."_qs);
        QVERIFY(!atStart.contains(u"完成，1 个视频转换失败"_qs));
        h->window->jobList().addJob(m_clipB);
        QCOMPARE(caption->text(), u"0%"_qs);
        QCOMPARE(h->control<QLabel>(u"positionLabel"_qs)->text(), QString());
    }

    // options.ini's clip range cuts every output, audio-only ones too.
    void clipRange_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("mp4") << int(Formats::Mp4) << u".mp4"_qs;
        QTest::newRow("mp3") << int(Formats::Mp3) << u".mp3"_qs;
    }
    void clipRange()
    {
        QFETCH(int, format);
        QFETCH(QString, suffix);
        if (QStandardPaths::findExecutable(u"ffprobe"_qs).isEmpty())
            QSKIP("ffprobe is not installed");
        const QString sixSeconds = m_clips.filePath(u"six.mp4"_qs);
        if (!QFileInfo::exists(sixSeconds))
            QVERIFY(makeClip(sixSeconds, u"160x120"_qs, u"6"_qs));
        const QString options = settingsFilePath(u"options.ini"_qs, buildDir);
        OptionValues clip;
        clip.soundChoice = 1;
        clip.clipEnabled = 1;
        clip.clipFromSeconds = 2;
        clip.clipToSeconds = 4;
        QVERIFY(writeOptionsFile(options, clip));
        h = std::make_unique<Harness>(buildDir);
        QFile::remove(options);
        h->control(u"startOverlay"_qs)->hide();
        h->window->conversionSettings().setOutputFolder(m_out->path());
        h->window->conversionSettings().selectFormat(format);
        h->window->jobList().addJob(sixSeconds);
        startAndWait();

        QVERIFY(h->sink.messages.isEmpty());
        const QStringList outputs = QDir(m_out->path()).entryList(QDir::Files);
        QCOMPARE(outputs.size(), 1);
        QVERIFY2(outputs[0].endsWith(suffix), qPrintable(outputs[0]));
        const double seconds = duration(m_out->filePath(outputs[0]));
        QVERIFY2(std::abs(seconds - 2.0) <= 0.3, qPrintable(QString::number(seconds)));
    }

    void stopButtonStopsNowOrAfterTheJob_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("left");
        QTest::newRow("now") << 0 << 2;
        QTest::newRow("after the current video") << 1 << 1;
        QTest::newRow("after the current video, taken back") << 2 << 0;
    }

    void stopButtonStopsNowOrAfterTheJob()
    {
        QFETCH(int, choice);
        QFETCH(int, left);
        const QString longClip = m_clips.filePath(u"long.mp4"_qs);
        if (!QFileInfo::exists(longClip))
            QVERIFY(makeClip(longClip, u"320x240"_qs, u"4"_qs));
        h->window->jobList().addJobs({longClip, m_clipA});
        BatchController &batch = h->window->batch();
        QSignalSpy progress(&batch, &BatchController::progressChanged);
        QSignalSpy ended(&batch, &BatchController::batchEnded);
        h->window->startBatch();
        QVERIFY(progress.wait(30000));
        auto *button = h->control<QPushButton>(u"startButton"_qs);
        QCOMPARE(button->text(), u"停止转换"_qs);
        QMenu *menu = h->window->stopMenu();
        const auto entry = [menu](const QString &text) {
            for (QAction *action : menu->actions())
                if (action->text() == text)
                    return action;
            return static_cast<QAction *>(nullptr);
        };
        // A pause first: the button, the bar and the caption say so, and the
        // same entry goes on.
        const QPersistentModelIndex running =
            h->control<QTreeView>(u"jobListView"_qs)->model()->index(0, JobListModel::StatusColumn);
        entry(u"暂停"_qs)->trigger();
        QVERIFY(batch.isPaused());
        QCOMPARE(button->text(), u"已暂停"_qs);
        QVERIFY2(running.data().toString().startsWith(u"已暂停 "_qs),
                 qPrintable(running.data().toString()));
        QVERIFY(h->control(u"progressBar"_qs)->property("paused").toBool());
        QVERIFY(h->control<QLabel>(u"progressCaption"_qs)->text().startsWith(u"已暂停"_qs));
        entry(u"继续转换"_qs)->trigger();
        QVERIFY(!batch.isPaused());
        QCOMPARE(button->text(), u"停止转换"_qs);
        QVERIFY(running.data().toString().startsWith(u"转换中 "_qs));
        // A change of settings is said in the caption for a while, then the
        // progress again.
        auto *caption = h->control<QLabel>(u"progressCaption"_qs);
        h->window->findChild<QTimer *>(u"noteTimer"_qs)->setInterval(50);
        auto *format = h->control<QComboBox>(u"formatList"_qs);
        Q_EMIT format->activated(format->currentIndex());
        QVERIFY2(caption->text().startsWith(u"没有视频需要更改"_qs) ||
                     caption->text().startsWith(u"已更改"_qs),
                 qPrintable(caption->text()));
        QTRY_VERIFY2(caption->text().contains(u'%'), qPrintable(caption->text()));
        QVERIFY(!h->control(u"progressBar"_qs)->property("paused").toBool());
        entry(choice == 0 ? u"立即停止"_qs : u"当前视频完成后停止"_qs)->trigger();
        if (choice == 2) {
            QVERIFY(h->window->commands().continueBatch->isVisible());
            h->window->commands().continueBatch->trigger();
            QCOMPARE(batch.state(), BatchController::State::Running);
            QVERIFY(!h->window->commands().continueBatch->isVisible());
        }
        QVERIFY(ended.wait(60000));

        QCOMPARE(button->text(), u"开始旋转视频！"_qs);
        QCOMPARE(h->window->jobList().count(), left);
        if (left > 0) {
            const QAbstractItemModel *model = h->control<QTreeView>(u"jobListView"_qs)->model();
            QCOMPARE(model->index(0, JobListModel::StatusColumn).data().toString(),
                     choice == 0 ? u"已停止"_qs : u"等待"_qs);
        }
        QCOMPARE(h->control<QLabel>(u"progressCaption"_qs)->text(),
                 choice == 2 ? u"Done."_qs : u"已停止"_qs);
        const QStringList written =
            QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(written.size(), 2 - left);
    }

    void closeDuringBatch()
    {
        const QString longClip = m_clips.filePath(u"long.mp4"_qs);
        QVERIFY(makeClip(longClip, u"640x480"_qs, u"30"_qs));
        h->window->jobList().addJobs({longClip, m_clipA});
        BatchController &batch = h->window->batch();
        QSignalSpy progress(&batch, &BatchController::progressChanged);
        QSignalSpy unloaded(h->window.get(), &MainWindow::unloaded);
        h->window->startBatch();
        QVERIFY(progress.wait(30000));
        const QString scratch = batch.scratchFolder();

        // The first answer keeps the batch going, the second leaves.
        h->sink.answers = {1, 0};
        QVERIFY(!h->window->close());
        QVERIFY(batch.isBusy());
        QVERIFY(!h->window->close());
        QCOMPARE(h->sink.messages.last().text, u"正在转换视频，确定要退出吗？"_qs);
        QCOMPARE(h->sink.defaults, (QList<int>{1, 1})); // Enter keeps converting
        QVERIFY(unloaded.wait(10000));
        QVERIFY(!batch.isBusy());
        // Nothing half-written is left, under the output name or any other.
        const QStringList left =
            QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u", "_qs)));
        QVERIFY(!QFileInfo::exists(scratch));
        // The jobs stay where they were; none was counted as done.
        QCOMPARE(h->window->jobList().count(), 2);
    }
};

QTEST_MAIN(tst_AppBatch)
#include "tst_app_batch.moc"
