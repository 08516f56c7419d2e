// Renders the window in its main states, the options dialog, the record of
// ended jobs and the failure message to PNG files under the build folder, so
// that a person can look at every caption and picture. CTest runs it at the
// scales 1, 1.5 and 2.
#include "fakes.h"

#include "app/batchcaptions.h"
#include "app/desktopactions.h"
#include "app/jobpresentation.h"
#include "app/optionsdialog.h"
#include "app/previewpanel.h"
#include "app/recordwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace {

// A stand-in for a frame the encoder drew: a portrait picture with a sky, a
// ground and a sun, so its size and placement in the panel can be judged.
QImage portraitFrame()
{
    QImage frame(360, 640, QImage::Format_RGB32);
    frame.fill(QColor(0x6c, 0xa8, 0xd8));
    QPainter p(&frame);
    p.fillRect(0, 420, 360, 220, QColor(0x4f, 0x8a, 0x3c));
    p.setBrush(QColor(0xf2, 0xc1, 0x3b));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(260, 130), 50, 50);
    return frame;
}

} // namespace

class tst_AppShots : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime, m_programFolder;
    QDir m_out;

    // Saves the box the sink shows next, once it is up, and closes it.
    void saveNextBox(MessageBoxSink &sink, const QString &state)
    {
        QTimer::singleShot(200, this, [this, &sink, state] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            save(box, state);
            sink.dismissQuestion();
        });
    }

    QString fileName(const QString &state) const
    {
        return m_out.filePath(u"%1@%2x.png"_qs.arg(state).arg(qApp->devicePixelRatio()));
    }
    // Grabbed at the display's pixel ratio: the picture shows what a user sees.
    void save(QWidget *widget, const QString &state) const
    {
        const QImage image = widget->grab().toImage();
        QCOMPARE(image.devicePixelRatio(), qApp->devicePixelRatio());
        QVERIFY(image.save(fileName(state)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        isolateTestRun(m_runtime);
        m_out = QDir(QStringLiteral(TORVANE_BUILD_DIR) + u"/screenshots"_qs);
        QVERIFY(m_out.mkpath(u"."_qs));
    }

    void shots_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("percent");   // -1: no batch running
        QTest::addColumn<bool>("smallest"); // the designed size, without the preview
        QTest::addColumn<bool>("paused");
        QTest::addColumn<bool>("picture"); // the preview shows the current job's frame
        QTest::addColumn<int>("running");  // rows converting side by side
        const auto row = [](const char *name, const QString &state, int percent, bool smallest,
                            bool paused = false, bool picture = false, int running = 1) {
            QTest::newRow(name) << state << percent << smallest << paused << picture << running;
        };
        row("start", u"start"_qs, -1, false);
        row("empty", u"empty"_qs, -1, false);
        row("jobs", u"jobs"_qs, -1, false);
        row("jobs, smallest", u"jobs-smallest"_qs, -1, true);
        row("preview", u"preview"_qs, -1, false, false, true);
        row("batch", u"batch"_qs, 42, false);
        row("batch, smallest", u"batch-smallest"_qs, 42, true);
        row("paused", u"paused"_qs, 42, false, true, true);
        row("paused, smallest", u"paused-smallest"_qs, 42, true, true);
        row("finishing", u"finishing"_qs, 100, false);
        row("side by side", u"side-by-side"_qs, 42, false, false, false, 2);
        // The longest caption: paused, side by side, in a long batch.
        row("side by side, paused, smallest", u"side-by-side-paused-smallest"_qs, 42, true, true,
            false, 2);
        // The longest note on changed settings, alone and beside a long batch's position.
        row("note, smallest", u"note-smallest"_qs, -1, true);
        row("note in a long batch, smallest", u"note-batch-smallest"_qs, 42, true, true);
    }
    void shots()
    {
        QFETCH(QString, state);
        QFETCH(int, percent);
        QFETCH(bool, smallest);
        QFETCH(bool, paused);
        QFETCH(bool, picture);
        QFETCH(int, running);
        Harness h(m_programFolder.path());
        MainWindow &window = *h.window;
        if (smallest)
            window.resize(window.minimumSize());
        if (state != u"start"_qs)
            h.control(u"startOverlay"_qs)->hide();
        if (state != u"start"_qs && state != u"empty"_qs) {
            window.dropOnJobList(
                fileDrop({u"/home/user/视频/春节 家庭聚会.mp4"_qs,
                          u"/home/user/视频/holiday.rmvb"_qs, u"/home/user/视频/clip.avi"_qs})
                    .get());
            JobQueue &jobs = window.jobList();
            jobs.setFailed(jobs.job(2).id, FailureReason::NoOutput, u"no output"_qs);
            // The failed row selected: its red mark must still show.
            auto *view = h.control<QTreeView>(u"jobListView"_qs);
            view->setCurrentIndex(view->model()->index(2, 0));
            view->setFocus();
            window.conversionSettings().selectListedFormat(3);
            window.conversionSettings().setOutputFolder(
                u"/home/user/视频/2024年/家庭聚会/春节/旋转后的视频"_qs);
        }
        if (percent >= 0) {
            BatchController &batch = window.batch();
            JobQueue &jobs = window.jobList();
            jobs.setRunning(jobs.job(0).id, 1, 1, percent / 100.0);
            // The second row is behind the first, with a figure of its own.
            if (running > 1)
                jobs.setRunning(jobs.job(1).id, 1, 1, 0.17);
            Q_EMIT batch.stateChanged(BatchController::State::Running);
            ProgressDisplay display;
            display.percent = percent;
            display.caption = percent < 100 ? u"旋转中 \\ 42%"_qs : u"进行最后一步... 100%"_qs;
            Q_EMIT batch.progressChanged(display);
            // The paused shots are of a long batch, whose position line is the widest.
            BatchPosition position;
            position.number = paused ? 118 : 1;
            position.started = paused ? 118 : running;
            position.total = paused ? 120 : 3;
            position.running = position.slots = running;
            // Side by side the bar shows the batch's share: two of three jobs under way.
            if (running > 1)
                position.batchFraction = (percent / 100.0 + 0.17) / 3;
            position.remainingSeconds = paused ? 3935 : 95;
            Q_EMIT batch.positionChanged(position);
            if (paused)
                Q_EMIT batch.pausedChanged(true);
        }
        if (state.startsWith(u"note"_qs)) {
            // A format chosen with nothing selected: for the waiting rows and the new ones.
            h.control<QTreeView>(u"jobListView"_qs)->selectionModel()->clear();
            auto *format = h.control<QComboBox>(u"formatList"_qs);
            Q_EMIT format->activated(format->currentIndex());
            QVERIFY(h.control<QLabel>(u"progressCaption"_qs)->text().contains(u"已更改"_qs));
        }
        if (picture) {
            // What the window shows once the encoder's picture has come: the
            // frame, the file's name and how it is turned.
            auto *view = h.control<QTreeView>(u"jobListView"_qs);
            view->setCurrentIndex(view->model()->index(0, 0));
            const Job &job = window.jobList().job(0);
            h.control<PreviewPanel>(u"previewPanel"_qs)
                ->showPicture(portraitFrame(), u"春节 家庭聚会.mp4\n"_qs +
                                                   rotationText(job.settings) + u" · "_qs +
                                                   formatText(job.settings));
        }

        QCOMPARE(window.size().height(), 470);
        QCOMPARE(window.size().width() > 565, !smallest);
        save(&window, u"window-"_qs + state);
        // The progress caption keeps clear of the position line and the start
        // button whatever they say.
        auto *progress = h.control<QLabel>(u"progressCaption"_qs);
        auto *position = h.control<QLabel>(u"positionLabel"_qs);
        QVERIFY(position->text().isEmpty() ||
                position->x() + position->fontMetrics().horizontalAdvance(position->text()) <
                    progress->x());
        QVERIFY(progress->geometry().right() < h.control(u"startButton"_qs)->x());
        QVERIFY(progress->width() >= progress->fontMetrics().horizontalAdvance(progress->text()));
    }

    // Two selected rows that differ: the rotation list says so.
    void mixedSelection()
    {
        Harness h(m_programFolder.path());
        h.control(u"startOverlay"_qs)->hide();
        JobQueue &jobs = h.window->jobList();
        jobs.addJobs(QStringList{u"/home/user/视频/倒着拍的 生日.mp4"_qs,
                                 u"/home/user/视频/holiday.mov"_qs,
                                 u"/home/user/视频/clip.avi"_qs});
        jobs.changeSettings({jobs.job(0).id},
                            [](JobSettings &s) { s.rotation = PictureTransform::turn(2); });
        auto *view = h.control<QTreeView>(u"jobListView"_qs);
        view->setFocus();
        for (int row : {0, 1})
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(h.control<QComboBox>(u"rotationList"_qs)->currentIndex(), -1);
        save(h.window.get(), u"window-mixed-selection"_qs);
    }

    // A maximised window gives a failure's reason room to show whole.
    void failureInFull()
    {
        Harness h(m_programFolder.path());
        h.control(u"startOverlay"_qs)->hide();
        h.window->resize(1440, 620);
        JobQueue &jobs = h.window->jobList();
        jobs.addJobs(QStringList{u"/home/user/视频/春节 家庭聚会.mp4"_qs,
                                 u"/home/user/视频/摄像头/pipe-capture"_qs});
        jobs.setFailed(jobs.job(1).id, FailureReason::SourceNotAFile, u"not a regular file"_qs);
        save(h.window.get(), u"window-failure-in-full"_qs);
        auto *view = h.control<QTreeView>(u"jobListView"_qs);
        const QModelIndex status = view->model()->index(1, JobListModel::StatusColumn);
        QVERIFY(view->header()->sectionSize(JobListModel::StatusColumn) >
                view->fontMetrics().horizontalAdvance(status.data().toString()) +
                    view->iconSize().width());
    }

    // The question at the start when the last run left videos behind.
    void savedQueueQuestion()
    {
        Harness h(m_programFolder.path());
        MessageBoxSink sink(h.window.get());
        saveNextBox(sink, u"saved-queue"_qs);
        sink.ask(MessageSink::Icon::Question, u"Torvane"_qs,
                 u"上次还有 12 个视频没有转换，要继续吗？"_qs, {u"继续"_qs, u"不用了"_qs}, 0);
    }

    void optionsDialog()
    {
        OptionValues values;
        values.clipEnabled = 1;
        values.clipFromSeconds = 2;
        values.clipToSeconds = 4;
        values.losslessRotation = 1;
        OptionsDialog dialog(values, QString(), nullptr);
        dialog.show();
        save(&dialog, u"options"_qs);
        // The two lists line up, and the longest choice shows whole.
        QCOMPARE(dialog.parallelJobsList->x(), dialog.soundList->x());
        QVERIFY(dialog.parallelJobsList->width() >
                dialog.parallelJobsList->fontMetrics().horizontalAdvance(u"自动"_qs));
    }

    // Thirty failures, some with a failed check's long detail: the list scrolls
    // inside a box that fits the screen.
    void failureMessage()
    {
        Harness h(m_programFolder.path());
        BatchSummary summary;
        for (int i = 1; i <= 30; ++i) {
            const QString source = u"/home/user/视频/旅行/clip%1.avi"_qs.arg(i);
            if (i % 3 == 0)
                summary.failures.append(
                    {quint64(i),
                     source,
                     FailureReason::OutputCheckFailed,
                     {},
                     {{Report::CheckFinding::Size, u"176x144"_qs, u"144x176"_qs}},
                     u"/home/user/Torvane输出/clip%1_已旋转143059.mp4"_qs.arg(i)});
            else
                summary.failures.append({quint64(i),
                                         source,
                                         FailureReason::NoOutput,
                                         u"Conversion failed!"_qs,
                                         {},
                                         {}});
        }
        Q_EMIT h.window->batch().batchEnded(summary);
        QTRY_COMPARE(h.sink.messages.size(), 1);
        MessageBoxSink sink(h.window.get());
        saveNextBox(sink, u"failure"_qs);
        sink.askWithList(MessageSink::Icon::Warning, u"转换失败"_qs,
                         failureSummaryIntro(int(summary.failures.size())),
                         failureSummaryItems(summary.failures),
                         {u"查看编码器输出"_qs, u"重试失败的视频"_qs, u"确定"_qs}, 2);
    }

    // The record window as Ctrl+H opens it, with an ended job of each kind.
    void recordWindow()
    {
        Harness h(m_programFolder.path());
        const QDateTime ended(QDate(2024, 2, 10), QTime(14, 31, 5));
        JobRecord converted;
        converted.ended = ended;
        converted.source = u"/home/user/视频/2024年/家庭聚会/春节 家庭聚会.mp4"_qs;
        converted.output = u"/home/user/Torvane输出/春节 家庭聚会_已旋转143059.mp4"_qs;
        converted.outputBytes = 48'300'000;
        converted.seconds = 66;
        converted.sourceSeconds = 185;
        JobRecord refused = converted;
        refused.ended = ended.addSecs(40);
        refused.source = u"/home/user/视频/holiday.webm"_qs;
        refused.output = u"/home/user/Torvane输出/holiday_已旋转143205.mp4"_qs;
        refused.outputBytes = 730'000;
        refused.seconds = 8;
        refused.sourceSeconds = 12;
        refused.losslessRefusal = u"vp9"_qs;
        JobRecord failed;
        failed.ended = ended.addSecs(45);
        failed.source = u"/home/user/视频/clip.avi"_qs;
        failed.outcome = JobRecord::Outcome::Failed;
        failed.failure = FailureReason::NoOutput;
        failed.failureDetail = u"Conversion failed!"_qs;
        failed.seconds = 1;
        JobRecord stopped = failed;
        stopped.ended = ended.addSecs(80);
        stopped.source = u"/home/user/视频/旅行/海边日落.mov"_qs;
        stopped.outcome = JobRecord::Outcome::Stopped;
        stopped.failure = FailureReason::None;
        stopped.failureDetail.clear();
        stopped.seconds = 31;
        for (const JobRecord &record : {converted, refused, failed, stopped})
            Q_EMIT h.window->batch().jobRecorded(record);

        QWidget *records = h.window->showRecords();
        auto *list = records->findChild<QTreeWidget *>();
        QCOMPARE(list->topLevelItemCount(), 4);
        list->setCurrentItem(list->topLevelItem(1));
        save(records, u"records"_qs);
        // The short columns show their texts whole, a common failure too, and
        // the video and its output keep room for a file name.
        const QFontMetrics metrics = list->fontMetrics();
        const auto shows = [&](int column, const QString &text) {
            return list->columnWidth(column) > metrics.horizontalAdvance(text);
        };
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            for (int column : {0, 4, 5, 6}) {
                const QString text = list->topLevelItem(i)->text(column);
                QVERIFY2(shows(column, text), qPrintable(text));
            }
        }
        QVERIFY(shows(2, list->topLevelItem(1)->text(2)));
        for (int column : {1, 3})
            QVERIFY(shows(column, u"春节 家庭聚会_已旋转143059.mp4"_qs));
    }
};

QTEST_MAIN(tst_AppShots)
#include "tst_app_shots.moc"
