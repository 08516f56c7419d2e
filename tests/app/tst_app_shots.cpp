// Renders the window in its main states to PNG files under the build folder,
// so that a person can look at every caption and picture.
#include "app/frmmain.h"
#include "fakes.h"

#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

class tst_AppShots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void shots_data();
    void shots();

private:
    QTemporaryDir m_runtime;
    QTemporaryDir m_programFolder;
    QDir m_out;
};

void tst_AppShots::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    m_out = QDir(QStringLiteral(TORVANE_BUILD_DIR) + u"/screenshots"_qs);
    QVERIFY(m_out.mkpath(u"."_qs));
}

void tst_AppShots::shots_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("start") << u"start"_qs;
    QTest::newRow("empty") << u"empty"_qs;
    QTest::newRow("jobs") << u"jobs"_qs;
    QTest::newRow("batch") << u"batch"_qs;
    QTest::newRow("finishing") << u"finishing"_qs;
}

void tst_AppShots::shots()
{
    QFETCH(QString, state);
    RecordingSink sink;
    FakeDialogRunner dialogs;
    RecordingCompletion completion;
    WindowServices services;
    services.messages = &sink;
    services.dialogs = &dialogs;
    services.completion = &completion;
    services.openUrl = [](const QUrl &) {};
    services.programFolder = m_programFolder.path();
    frmMain window(services);
    window.show();

    if (state != u"start"_qs)
        window.findChild<QWidget *>(u"picDoor"_qs)->hide();
    if (state == u"jobs"_qs || state == u"batch"_qs || state == u"finishing"_qs) {
        auto *mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(u"/home/user/视频/春节 家庭聚会.mp4"_qs),
                       QUrl::fromLocalFile(u"/home/user/视频/holiday.rmvb"_qs),
                       QUrl::fromLocalFile(u"/home/user/视频/clip.avi"_qs)});
        window.LV_OLEDragDrop(mime);
        delete mime;
        JobListModel &jobs = window.jobList();
        jobs.markFailed(jobs.job(2).id, u"编码器没有生成输出文件"_qs);
        auto *view = window.findChild<QTreeView *>(u"LV"_qs);
        view->setCurrentIndex(view->model()->index(0, 0));
    }
    BatchDriver &driver = window.batchDriver();
    if (state == u"batch"_qs) {
        Q_EMIT driver.batchStarted();
        ProgressDisplay display;
        display.pb = 42;
        display.lblPB = u"旋转中 \\ 42%"_qs;
        Q_EMIT driver.progressChanged(display);
    } else if (state == u"finishing"_qs) {
        Q_EMIT driver.batchStarted();
        ProgressDisplay display;
        display.pb = 100;
        display.lblPB = u"进行最后一步... 100%"_qs;
        Q_EMIT driver.progressChanged(display);
    }

    const QImage image = window.grab().toImage();
    QCOMPARE(image.size() / image.devicePixelRatio(), QSize(565, 470));
    const QString file = m_out.filePath(u"window-%1.png"_qs.arg(state));
    QVERIFY(image.save(file));

    // The progress caption keeps clear of the start button whatever it says.
    auto *progress = window.findChild<QLabel *>(u"lblPB"_qs);
    QVERIFY(progress->geometry().right() < window.findChild<QWidget *>(u"Command3"_qs)->x());
    QVERIFY(progress->width() >= progress->fontMetrics().horizontalAdvance(progress->text()));
}

QTEST_MAIN(tst_AppShots)
#include "tst_app_shots.moc"
