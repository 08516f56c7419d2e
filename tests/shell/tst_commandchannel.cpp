#include "shell/commandchannel.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

class TestCommandChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void words_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // the word whose action runs, empty for none
        for (const QString &word : CommandChannel::words())
            QTest::newRow(qPrintable(word)) << word << word;
        QTest::newRow("lower case") << u"a"_qs << QString();
        QTest::newRow("trailing blank") << u"RemoveSelected "_qs << QString();
        QTest::newRow("unknown") << u"menuQuit"_qs << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void words()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        CommandChannel channel;
        QStringList ran, textDuringAction;
        for (const QString &word : CommandChannel::words()) {
            QVERIFY(channel.setAction(word, [&, word] {
                ran << word;
                textDuringAction << channel.text();
            }));
        }
        QSignalSpy spy(&channel, &CommandChannel::textChanged);
        channel.setText(text);
        QCOMPARE(ran, expected.isEmpty() ? QStringList() : QStringList{expected});
        QCOMPARE(textDuringAction, ran);
        QCOMPARE(channel.text(), QString());
        // The word, then the clearing; nothing more.
        QCOMPARE(spy.count(), text.isEmpty() ? 0 : 2);
        if (!text.isEmpty())
            QCOMPARE(spy.at(0).at(0).toString() + spy.at(1).at(0).toString(), text);
    }

    void ownerDestroyedInAction()
    {
        auto *owner = new QObject;
        auto *channel = new CommandChannel(owner);
        QPointer<CommandChannel> watch(channel);
        bool ran = false;
        channel->setAction(u"menuExit"_qs, [&] {
            ran = true;
            delete owner;
        });
        channel->setText(u"menuExit"_qs);
        QVERIFY(ran);
        QVERIFY(watch.isNull());
    }
};

QTEST_GUILESS_MAIN(TestCommandChannel)
#include "tst_commandchannel.moc"
