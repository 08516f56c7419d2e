#include "texts/statustexts.h"

#include <QTest>

class TestStatusTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statesAndCaptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        using S = JobState;
        using R = FailureReason;
        QTest::newRow("waiting") << StatusTexts::jobStatus(S::Waiting, 0, R::None) << u"等待"_qs;
        QTest::newRow("running") << StatusTexts::jobStatus(S::Running, 0.456, R::None)
                                 << u"转换中 45%"_qs;
        QTest::newRow("running, paused")
            << StatusTexts::jobStatus(S::Running, 0.456, R::None, true) << u"已暂停 45%"_qs;
        QTest::newRow("running, nearly done")
            << StatusTexts::jobStatus(S::Running, 0.999, R::None) << u"转换中 99%"_qs;
        QTest::newRow("failed") << StatusTexts::jobStatus(S::Failed, 0, R::DiskFull)
                                << u"失败：磁盘空间不足"_qs;
        QTest::newRow("stopped") << StatusTexts::jobStatus(S::Stopped, 0.3, R::None)
                                 << u"已停止"_qs;
        QTest::newRow("position") << StatusTexts::position(2, 4) << u"第 2/4 个"_qs;
        QTest::newRow("remaining") << StatusTexts::remaining(95) << u"剩余约 01:35"_qs;
        QTest::newRow("remaining, hours") << StatusTexts::remaining(3723) << u"剩余约 1:02:03"_qs;
        QTest::newRow("all done") << StatusTexts::batchEnd(0, false) << u"Done."_qs;
        QTest::newRow("some failed")
            << StatusTexts::batchEnd(1, false) << u"完成，1 个视频转换失败"_qs;
        QTest::newRow("stopped batch") << StatusTexts::batchEnd(1, true) << u"已停止"_qs;
        QTest::newRow("lossless refused")
            << StatusTexts::losslessRefusal(u"vp9"_qs) << u"无法无损旋转：源视频编码为 VP9"_qs;
        QTest::newRow("output check")
            << StatusTexts::failureDetail(
                   FailureReason::OutputCheckFailed, u"English"_qs,
                   {{Report::CheckFinding::Size, u"176x144"_qs, u"144x176"_qs},
                    {Report::CheckFinding::Duration, u"9.50"_qs, u"30.00"_qs}},
                   u"/out/a.mp4"_qs)
            << u"画面为 176x144，应为 144x176；长 9.50 秒，应为 30.00 秒。文件已保留：/out/a.mp4"_qs;
        QTest::newRow("lossless refused for the container")
            << StatusTexts::losslessRefusal(u"container"_qs)
            << u"无法无损旋转：只有 MP4 和 MOV 格式可以无损旋转"_qs;
    }

    void statesAndCaptions()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    // Every reason has words for the user and a stable code for scripts.
    void everyReasonIsWorded()
    {
        for (int r = int(FailureReason::SourceUnreadable);
             r <= int(FailureReason::OutputFolderUnusable); ++r) {
            QVERIFY(!StatusTexts::failure(FailureReason(r)).isEmpty());
            QVERIFY(!StatusTexts::failureCode(FailureReason(r)).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestStatusTexts)
#include "tst_statustexts.moc"
