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
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
