#include <QFile>
#include <QStringDecoder>
#include <QTest>

class TestResources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The completion sound and the help page are generated beside the program.
    void besideTheProgram()
    {
        const QString folder = QStringLiteral(TORVANE_BUILD_DIR);
        QFile sound(folder + u"/sound.wav"_qs), help(folder + u"/help.html"_qs);
        QVERIFY(sound.open(QIODevice::ReadOnly) && sound.size() > 44);
        QVERIFY(help.open(QIODevice::ReadOnly));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString page = utf8.decode(help.readAll());
        QVERIFY(!utf8.hasError());
        QVERIFY(page.contains(u"Torvane 帮助"_qs));
        // What the window offers is explained: the options, the job menu, the
        // check's failure, the stop menu, the record and its file, and the keys.
        for (const QString &topic :
             {u"快速无损旋转（仅改变显示方向，不重新编码）"_qs, u"只保留从开始时间到结束时间"_qs,
              u"保留原视频的拍摄时间、地点等信息"_qs, u"同时转换的视频数"_qs,
              u"忽略原视频的方向信息"_qs, u"查看编码器输出"_qs, u"输出文件检查未通过"_qs,
              u"当前视频完成后停止"_qs, u"history.jsonl"_qs, u"Ctrl+Enter"_qs, u"Ctrl+P"_qs,
              u"Ctrl+H"_qs})
            QVERIFY2(page.contains(topic), qPrintable(topic));
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
