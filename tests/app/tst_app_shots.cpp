// Renders the window in its main states to PNG files under the build folder,
// so that a person can look at every caption and picture.
#include "fakes.h"

#include <QDir>
#include <QLabel>
#include <QTreeView>

class tst_AppShots : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime, m_programFolder;
    QDir m_out;

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
        QTest::addColumn<int>("percent"); // -1: no batch running
        QTest::newRow("start") << u"start"_qs << -1;
        QTest::newRow("empty") << u"empty"_qs << -1;
        QTest::newRow("jobs") << u"jobs"_qs << -1;
        QTest::newRow("batch") << u"batch"_qs << 42;
        QTest::newRow("finishing") << u"finishing"_qs << 100;
    }
    void shots()
    {
        QFETCH(QString, state);
        QFETCH(int, percent);
        Harness h(m_programFolder.path());
        MainWindow &window = *h.window;
        if (state != u"start"_qs)
            h.control(u"startOverlay"_qs)->hide();
        if (state != u"start"_qs && state != u"empty"_qs) {
            window.dropOnJobList(
                fileDrop({u"/home/user/视频/春节 家庭聚会.mp4"_qs,
                          u"/home/user/视频/holiday.rmvb"_qs, u"/home/user/视频/clip.avi"_qs})
                    .get());
            JobListModel &jobs = window.jobList();
            jobs.setFailed(jobs.job(2).id, FailureReason::NoOutput, u"no output"_qs);
            auto *view = h.control<QTreeView>(u"jobListView"_qs);
            view->setCurrentIndex(view->model()->index(0, 0));
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

        const QImage image = window.grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), QSize(565, 470));
        QVERIFY(image.save(m_out.filePath(u"window-%1.png"_qs.arg(state))));
        // The progress caption keeps clear of the start button whatever it says.
        auto *progress = h.control<QLabel>(u"progressCaption"_qs);
        QVERIFY(progress->geometry().right() < h.control(u"startButton"_qs)->x());
        QVERIFY(progress->width() >= progress->fontMetrics().horizontalAdvance(progress->text()));
    }
};

QTEST_MAIN(tst_AppShots)
#include "tst_app_shots.moc"
