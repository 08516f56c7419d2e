#include "app/frmoptions.h"
#include "process/messagesink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Message
{
    MessageSink::Icon icon;
    QString title;
    QString text;
};

class RecordingSink : public MessageSink
{
public:
    QList<Message> messages;
    void showMessage(Icon icon, const QString &title, const QString &text) override
    {
        messages.append({icon, title, text});
    }
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList boxTexts(const frmOptions &dlg)
{
    return {dlg.txtFromH->text(), dlg.txtFromM->text(), dlg.txtFromS->text(),
            dlg.txtToH->text(),   dlg.txtToM->text(),   dlg.txtToS->text()};
}

void setBoxes(frmOptions &dlg, const QStringList &texts)
{
    QLineEdit *boxes[] = {dlg.txtFromH, dlg.txtFromM, dlg.txtFromS,
                          dlg.txtToH,   dlg.txtToM,   dlg.txtToS};
    for (int i = 0; i < 6; ++i)
        boxes[i]->setText(texts[i]);
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString iniPath() const { return dir.filePath(u"options.ini"_qs); }

private Q_SLOTS:
    void init() { QFile::remove(iniPath()); }

    void opensFromDefaults()
    {
        OptionValues values;
        frmOptions dlg(values, iniPath(), nullptr);
        QCOMPARE(dlg.windowTitle(), u"选项设置"_qs);
        QCOMPARE(dlg.cmbSR->currentText(), u"ON"_qs);
        QVERIFY(!dlg.chkMC->isChecked());
        QCOMPARE(boxTexts(dlg), QStringList(6, u"0"_qs));
        QVERIFY(!dlg.txtFromH->isEnabled());
        QVERIFY(!dlg.txtToS->isEnabled());
        dlg.chkMC->setChecked(true);
        QVERIFY(dlg.txtFromH->isEnabled());
        QVERIFY(dlg.txtToS->isEnabled());
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("focusBox");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString minTitle = u"分钟"_qs, minText = u"分钟必须小于60"_qs;
        QTest::newRow("start 90 minutes")
            << QStringList{u"0"_qs, u"90"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs} << 1 << minTitle
            << minText;
        QTest::newRow("end 60 seconds")
            << QStringList{u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"60"_qs} << 5 << u"秒"_qs
            << u"秒必须小于60"_qs;
    }
    void refused()
    {
        QFETCH(QStringList, boxes);
        QFETCH(int, focusBox);
        QFETCH(QString, title);
        QFETCH(QString, text);

        OptionValues values;
        RecordingSink sink;
        frmOptions dlg(values, iniPath(), &sink);
        dlg.chkMC->setChecked(true);
        setBoxes(dlg, boxes);
        dlg.accept();

        QCOMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages[0].icon, MessageSink::Icon::Warning);
        QCOMPARE(sink.messages[0].title, title);
        QCOMPARE(sink.messages[0].text, text);
        QLineEdit *all[] = {dlg.txtFromH, dlg.txtFromM, dlg.txtFromS,
                            dlg.txtToH,   dlg.txtToM,   dlg.txtToS};
        QCOMPARE(dlg.focusWidget(), all[focusBox]);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(iniPath()));
        QCOMPARE(values.intMusicCutter, int16_t(0));
        QCOMPARE(values.lngCutFrom, 0);
    }

    void oneHourTwoMinutesThreeSeconds()
    {
        OptionValues values;
        {
            frmOptions dlg(values, iniPath(), nullptr);
            dlg.chkMC->setChecked(true);
            setBoxes(dlg, {u"1"_qs, u"2"_qs, u"3"_qs, u"1"_qs, u"30"_qs, u"0"_qs});
            dlg.Command1->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(values.intMusicCutter, int16_t(1));
        QCOMPARE(values.lngCutFrom, 3723);
        QCOMPARE(values.lngCutTo, 5400);
        QCOMPARE(readAll(iniPath()), QByteArray("0\r\n1\r\n3723\r\n5400\r\n"));

        frmOptions again(values, iniPath(), nullptr);
        QVERIFY(again.chkMC->isChecked());
        QVERIFY(again.txtFromH->isEnabled());
        QCOMPARE(boxTexts(again),
                 QStringList({u"1"_qs, u"2"_qs, u"3"_qs, u"1"_qs, u"30"_qs, u"0"_qs}));
    }

    void allZeroUnchecks()
    {
        OptionValues values;
        values.intMusicCutter = 1;
        values.lngCutFrom = 5;
        frmOptions dlg(values, iniPath(), nullptr);
        QVERIFY(dlg.chkMC->isChecked());
        setBoxes(dlg, QStringList(6, u"0"_qs));
        dlg.accept();
        QVERIFY(!dlg.chkMC->isChecked());
        QCOMPARE(values.intMusicCutter, int16_t(0));
        QCOMPARE(values.lngCutFrom, 0);
        QCOMPARE(readAll(iniPath()), QByteArray("0\r\n0\r\n0\r\n0\r\n"));
    }

    void cancelChangesNothing()
    {
        OptionValues values;
        values.intMusicCutter = 1;
        values.lngCutFrom = 61;
        const QByteArray before("0\r\n1\r\n61\r\n0\r\n");
        {
            QFile file(iniPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(before);
        }
        frmOptions dlg(values, iniPath(), nullptr);
        dlg.cmbSR->setCurrentIndex(1);
        dlg.chkMC->setChecked(false);
        setBoxes(dlg, {u"2"_qs, u"2"_qs, u"2"_qs, u"2"_qs, u"2"_qs, u"2"_qs});
        dlg.Command2->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(values.intSoundReminder, int16_t(0));
        QCOMPARE(values.intMusicCutter, int16_t(1));
        QCOMPARE(values.lngCutFrom, 61);
        QCOMPARE(readAll(iniPath()), before);
    }

    void soundEntry_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shownEntry");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::newRow("on") << 0 << 0 << QByteArray("0");
        QTest::newRow("off") << 1 << 1 << QByteArray("1");
        QTest::newRow("hand-edited 5") << 5 << -1 << QByteArray("-1");
    }
    void soundEntry()
    {
        QFETCH(int, stored);
        QFETCH(int, shownEntry);
        QFETCH(QByteArray, firstLine);
        OptionValues values;
        values.intSoundReminder = int16_t(stored);
        frmOptions dlg(values, iniPath(), nullptr);
        QCOMPARE(dlg.cmbSR->currentIndex(), shownEntry);
        dlg.accept();
        QCOMPARE(values.intSoundReminder, int16_t(firstLine.toInt()));
        QCOMPARE(readAll(iniPath()).split('\r').value(0), firstLine);
    }

    void choosingOffWritesOne()
    {
        OptionValues values;
        frmOptions dlg(values, iniPath(), nullptr);
        dlg.cmbSR->setCurrentIndex(dlg.cmbSR->findText(u"OFF"_qs));
        dlg.accept();
        QCOMPARE(values.intSoundReminder, int16_t(1));
        QVERIFY(readAll(iniPath()).startsWith("1\r\n"));
    }

    void unwritableFileStillAppliesAndCloses()
    {
        // A plain file where the folder should be: nothing can be written below it.
        const QString blocker = dir.filePath(u"blocker"_qs);
        {
            QFile file(blocker);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        OptionValues values;
        RecordingSink sink;
        frmOptions dlg(values, blocker + u"/options.ini"_qs, &sink);
        dlg.cmbSR->setCurrentIndex(1);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(values.intSoundReminder, int16_t(1));
        QVERIFY(sink.messages.isEmpty());
    }

    void captionsFit()
    {
        OptionValues values;
        frmOptions dlg(values, iniPath(), nullptr);
        dlg.show();
        const QList<QWidget *> widgets = dlg.findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!w->isVisible())
                continue;
            QVERIFY2(w->width() >= w->minimumSizeHint().width(), w->metaObject()->className());
            QVERIFY(dlg.rect().contains(QRect(w->mapTo(&dlg, QPoint(0, 0)), w->size())));
        }
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
