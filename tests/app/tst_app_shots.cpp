// Renders the window in its main states, the options dialog and the failure
// message to PNG files under the build folder, so that a person can look at
// every caption and picture. CTest runs it at the scales 1, 1.5 and 2.
#include "fakes.h"

#include "app/batchcaptions.h"
#include "app/desktopactions.h"
#include "app/optionsdialog.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QTreeView>

class tst_AppShots : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime, m_programFolder;
    QDir m_out;

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
        QTest::newRow("start") << u"start"_qs << -1 << false;
        QTest::newRow("empty") << u"empty"_qs << -1 << false;
        QTest::newRow("jobs") << u"jobs"_qs << -1 << false;
        QTest::newRow("jobs, smallest") << u"jobs-smallest"_qs << -1 << true;
        QTest::newRow("batch") << u"batch"_qs << 42 << false;
        QTest::newRow("batch, smallest") << u"batch-smallest"_qs << 42 << true;
        QTest::newRow("finishing") << u"finishing"_qs << 100 << false;
    }
    void shots()
    {
        QFETCH(QString, state);
        QFETCH(int, percent);
        QFETCH(bool, smallest);
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
            JobListModel &jobs = window.jobList();
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
            JobListModel &jobs = window.jobList();
            jobs.setRunning(jobs.job(0).id, 1, 1, percent / 100.0);
            Q_EMIT batch.stateChanged(BatchController::State::Running);
            ProgressDisplay display;
            display.percent = percent;
            display.caption = percent < 100 ? u"旋转中 \\ 42%"_qs : u"进行最后一步... 100%"_qs;
            Q_EMIT batch.progressChanged(display);
            BatchPosition position;
            position.number = 1;
            position.total = 3;
            position.remainingSeconds = 95;
            Q_EMIT batch.positionChanged(position);
        }

        QCOMPARE(window.size().height(), 470);
        QCOMPARE(window.size().width() > 565, !smallest);
        save(&window, u"window-"_qs + state);
        // The progress caption keeps clear of the start button whatever it says.
        auto *progress = h.control<QLabel>(u"progressCaption"_qs);
        QVERIFY(progress->geometry().right() < h.control(u"startButton"_qs)->x());
        QVERIFY(progress->width() >= progress->fontMetrics().horizontalAdvance(progress->text()));
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
    }

    // Sixteen failures: the list scrolls inside a box that fits the screen.
    void failureMessage()
    {
        Harness h(m_programFolder.path());
        BatchSummary summary;
        for (int i = 1; i <= 16; ++i)
            summary.failures.append({quint64(i),
                                     u"/home/user/视频/旅行/clip%1.avi"_qs.arg(i),
                                     FailureReason::NoOutput,
                                     u"Conversion failed!"_qs,
                                     {},
                                     {}});
        Q_EMIT h.window->batch().batchEnded(summary);
        QCOMPARE(h.sink.messages.size(), 1);
        MessageBoxSink sink(h.window.get());
        QTimer::singleShot(200, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            save(box, u"failure"_qs);
            sink.dismissQuestion();
        });
        sink.askWithList(MessageSink::Icon::Warning, u"转换失败"_qs,
                         failureSummaryIntro(int(summary.failures.size())),
                         failureSummaryItems(summary.failures), {u"查看编码器输出"_qs, u"确定"_qs},
                         1);
    }
};

QTEST_MAIN(tst_AppShots)
#include "tst_app_shots.moc"
