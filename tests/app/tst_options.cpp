#include "app/messagesink.h"
#include "app/optionsdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

class RecordingSink : public MessageSink
{
public:
    QStringList messages; // "title: text"
    void showMessage(Icon icon, const QString &title, const QString &text) override
    {
        QCOMPARE(icon, Icon::Warning);
        messages.append(title + u": "_qs + text);
    }
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QLineEdit *> boxes(const OptionsDialog &dlg)
{
    return {dlg.fromHoursEdit, dlg.fromMinutesEdit, dlg.fromSecondsEdit,
            dlg.toHoursEdit,   dlg.toMinutesEdit,   dlg.toSecondsEdit};
}

QStringList boxTexts(const OptionsDialog &dlg)
{
    QStringList texts;
    for (QLineEdit *box : boxes(dlg))
        texts << box->text();
    return texts;
}

void setBoxes(OptionsDialog &dlg, const QStringList &texts)
{
    for (int i = 0; i < 6; ++i)
        boxes(dlg)[i]->setText(texts[i]);
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString iniPath() const { return dir.filePath(u"options.ini"_qs); }

private Q_SLOTS:
    void init()
    {
        QFile::remove(iniPath());
        QFile::remove(dir.filePath(u"output.ini"_qs));
    }

    void boxesFollowTheCheckBox()
    {
        OptionValues values;
        OptionsDialog dlg(values, iniPath(), nullptr);
        QVERIFY(!dlg.fromHoursEdit->isEnabled() && !dlg.toSecondsEdit->isEnabled());
        dlg.clipCheckBox->setChecked(true);
        QVERIFY(dlg.fromHoursEdit->isEnabled() && dlg.toSecondsEdit->isEnabled());
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("focusBox");
        QTest::addColumn<QString>("message");
        QTest::newRow("start 90 minutes")
            << QStringList{u"0"_qs, u"90"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs} << 1
            << u"分钟: 开始时间的分钟必须小于60"_qs;
        QTest::newRow("end 60 seconds")
            << QStringList{u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"60"_qs} << 5
            << u"秒: 结束时间的秒必须小于60"_qs;
        QTest::newRow("end before start")
            << QStringList{u"0"_qs, u"0"_qs, u"4"_qs, u"0"_qs, u"0"_qs, u"2"_qs} << 3
            << u"结束时间: 结束时间必须晚于开始时间"_qs;
    }
    void refused()
    {
        QFETCH(QStringList, boxes);
        QFETCH(int, focusBox);
        QFETCH(QString, message);
        OptionValues values;
        RecordingSink sink;
        OptionsDialog dlg(values, iniPath(), &sink);
        dlg.clipCheckBox->setChecked(true);
        setBoxes(dlg, boxes);
        dlg.accept();
        QCOMPARE(sink.messages, QStringList{message});
        QCOMPARE(dlg.focusWidget(), ::boxes(dlg)[focusBox]);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(iniPath()));
        QCOMPARE(values.clipEnabled, int16_t(0));
    }

    void oneHourTwoMinutesThreeSeconds()
    {
        OptionValues values;
        const QStringList typed{u"1"_qs, u"2"_qs, u"3"_qs, u"1"_qs, u"30"_qs, u"0"_qs};
        {
            OptionsDialog dlg(values, iniPath(), nullptr);
            dlg.clipCheckBox->setChecked(true);
            setBoxes(dlg, typed);
            dlg.okButton->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(values.clipFromSeconds, 3723);
        QCOMPARE(readAll(iniPath()), QByteArray("0\r\n1\r\n3723\r\n5400\r\n0\r\n1\r\n0\r\n"));
        OptionsDialog again(values, iniPath(), nullptr);
        QVERIFY(again.clipCheckBox->isChecked());
        QCOMPARE(boxTexts(again), typed);
    }

    void allZeroUnchecks()
    {
        OptionValues values;
        values.clipEnabled = 1;
        values.clipFromSeconds = 5;
        OptionsDialog dlg(values, iniPath(), nullptr);
        QVERIFY(dlg.clipCheckBox->isChecked());
        setBoxes(dlg, QStringList(6, u"0"_qs));
        dlg.accept();
        QVERIFY(!dlg.clipCheckBox->isChecked());
        QCOMPARE(readAll(iniPath()), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n"));
    }

    void cancelChangesNothing()
    {
        OptionValues values;
        values.clipEnabled = 1;
        values.clipFromSeconds = 61;
        OptionsDialog dlg(values, iniPath(), nullptr);
        dlg.soundList->setCurrentIndex(1);
        dlg.clipCheckBox->setChecked(false);
        setBoxes(dlg, QStringList(6, u"2"_qs));
        dlg.backButton->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(values.soundChoice, int16_t(0));
        QCOMPARE(values.clipEnabled, int16_t(1));
        QCOMPARE(values.clipFromSeconds, 61);
        QVERIFY(!QFile::exists(iniPath()));
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
        values.soundChoice = int16_t(stored);
        OptionsDialog dlg(values, iniPath(), nullptr);
        QCOMPARE(dlg.soundList->currentIndex(), shownEntry);
        dlg.accept();
        QCOMPARE(values.soundChoice, int16_t(firstLine.toInt()));
        QCOMPARE(readAll(iniPath()).split('\r').value(0), firstLine);
    }

    void unwritableFileStillAppliesAndCloses()
    {
        // A plain file where the folder should be: nothing can be written below it.
        QFile blocker(dir.filePath(u"blocker"_qs));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        OptionValues values;
        RecordingSink sink;
        OptionsDialog dlg(values, blocker.fileName() + u"/options.ini"_qs, &sink);
        dlg.soundList->setCurrentIndex(1);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(values.soundChoice, int16_t(1));
        QVERIFY(sink.messages.isEmpty());
    }

    void tabInReadingOrder()
    {
        OptionValues values;
        values.clipEnabled = 1;
        values.clipToSeconds = 10;
        OptionsDialog dlg(values, iniPath(), nullptr);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.soundList->setFocus(Qt::TabFocusReason);
        QList<QWidget *> visited;
        for (int i = 0; i < 14; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget();
        }
        QList<QWidget *> expected{dlg.losslessCheckBox, dlg.keepMetadataCheckBox,
                                  dlg.parallelJobsList, dlg.nameTemplateEdit,
                                  dlg.keepTreeCheckBox, dlg.clipCheckBox};
        for (QLineEdit *box : boxes(dlg))
            expected << box;
        expected << dlg.okButton << dlg.backButton;
        QCOMPARE(visited, expected);
    }

    // The two boxes of their own lines, each kept on its line of options.ini.
    void checkBoxesKept_data()
    {
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<bool>("checked");
        QTest::newRow("lossless on") << true << true;
        QTest::newRow("lossless off") << true << false;
        QTest::newRow("metadata kept") << false << true;
        QTest::newRow("metadata dropped") << false << false;
    }
    void checkBoxesKept()
    {
        QFETCH(bool, lossless);
        QFETCH(bool, checked);
        OptionValues values;
        int16_t &value = lossless ? values.losslessRotation : values.keepMetadata;
        value = checked ? 0 : 1;
        const auto box = [&](OptionsDialog &dlg) {
            return lossless ? dlg.losslessCheckBox : dlg.keepMetadataCheckBox;
        };
        OptionsDialog dlg(values, iniPath(), nullptr);
        QCOMPARE(box(dlg)->isChecked(), !checked);
        box(dlg)->setChecked(checked);
        dlg.accept();
        QCOMPARE(value, int16_t(checked ? 1 : 0));
        QCOMPARE(readAll(iniPath()).split('\n').value(lossless ? 4 : 5).trimmed(),
                 checked ? "1" : "0");
        OptionsDialog again(values, iniPath(), nullptr);
        QCOMPARE(box(again)->isChecked(), checked);
    }

    // How outputs are named and whether they keep their folders, in output.ini
    // beside options.ini, whose lines stay as they are; a template that cannot
    // name a file is refused with the reason.
    void outputNamingKept()
    {
        OptionValues values;
        RecordingSink sink;
        {
            OptionsDialog dlg(values, iniPath(), &sink);
            QVERIFY(dlg.nameTemplateEdit->text().isEmpty());
            QVERIFY(!dlg.keepTreeCheckBox->isChecked());
            dlg.nameTemplateEdit->setText(u"子/{name}"_qs);
            dlg.accept();
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QCOMPARE(sink.messages.size(), 1);
            dlg.nameTemplateEdit->setText(u" {name}-{rotation} "_qs);
            dlg.keepTreeCheckBox->setChecked(true);
            dlg.accept();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        const OutputNaming expected{u"{name}-{rotation}"_qs, true};
        QCOMPARE(values.naming, expected);
        QCOMPARE(readOutputFile(dir.filePath(u"output.ini"_qs)), expected);
        QCOMPARE(readAll(iniPath()).split('\n').size(), 8);
        OptionsDialog again(values, iniPath(), nullptr);
        QCOMPARE(again.nameTemplateEdit->text(), u"{name}-{rotation}"_qs);
        QVERIFY(again.keepTreeCheckBox->isChecked());
    }

    // How many videos convert at once: automatic by default, then a number,
    // on the seventh line.
    void parallelJobsKept()
    {
        OptionValues values;
        {
            OptionsDialog dlg(values, iniPath(), nullptr);
            QCOMPARE(dlg.parallelJobsList->currentText(), u"自动"_qs);
            dlg.parallelJobsList->setCurrentIndex(dlg.parallelJobsList->findText(u"3"_qs));
            dlg.accept();
        }
        QCOMPARE(values.parallelJobs, int16_t(3));
        QCOMPARE(readAll(iniPath()).split('\n').value(6).trimmed(), "3");
        OptionsDialog again(values, iniPath(), nullptr);
        QCOMPARE(again.parallelJobsList->currentText(), u"3"_qs);
    }

    void captionsFit()
    {
        OptionValues values;
        OptionsDialog dlg(values, iniPath(), nullptr);
        dlg.show();
        for (QWidget *w : dlg.findChildren<QWidget *>()) {
            if (!w->isVisible())
                continue;
            QVERIFY2(w->width() >= w->minimumSizeHint().width(), w->metaObject()->className());
            QVERIFY(dlg.rect().contains(QRect(w->mapTo(&dlg, QPoint(0, 0)), w->size())));
        }
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
