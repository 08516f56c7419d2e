#include "conversion/conversionsettings.h"

#include <QSignalSpy>
#include <QTest>

using S = ConversionSettings;

// The rotation as conv's option text.
QString optionOf(const PictureTransform &rotation)
{
    const QStringList words = rotation.encoderWords();
    return words.isEmpty() ? QString() : u"-vf "_qs + words.join(u',');
}

class TestSettings : public QObject
{
    Q_OBJECT

    static QStringList values(const S &s)
    {
        return {s.text(S::VideoBitrate), s.text(S::FrameRate),
                s.text(S::FrameSize),    s.text(S::SampleRate),
                s.text(S::AudioBitrate), QString::number(s.channelEntry())};
    }

private Q_SLOTS:
    void presetOfEveryFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("expected");
        const QString keep = u"原始尺寸"_qs;
        QTest::newRow("0 flv") << 0 << QStringList{u"600"_qs,   u"29"_qs,  keep,
                                                   u"44100"_qs, u"320"_qs, u"1"_qs};
        QTest::newRow("1 rm") << 1 << QStringList{u"1200"_qs,  u"29"_qs,  keep,
                                                  u"44100"_qs, u"320"_qs, u"1"_qs};
        QTest::newRow("2 mpg") << 2 << QStringList{u"600"_qs,   u"24"_qs, keep,
                                                   u"28000"_qs, u"64"_qs, u"1"_qs};
        QTest::newRow("3 avi") << 3 << QStringList{u"600"_qs,   u"24"_qs, keep,
                                                   u"28000"_qs, u"64"_qs, u"1"_qs};
        QTest::newRow("4 mp4") << 4 << QStringList{u"12000"_qs, u"29"_qs,  keep,
                                                   u"48000"_qs, u"320"_qs, u"1"_qs};
        QTest::newRow("5 mov") << 5 << QStringList{u"12000"_qs, u"29"_qs,  keep,
                                                   u"48000"_qs, u"320"_qs, u"1"_qs};
        QTest::newRow("6 phone") << 6 << QStringList{u"128"_qs,  u"29"_qs,   u"320x240"_qs,
                                                     u"8000"_qs, u"12.2"_qs, u"0"_qs};
        QTest::newRow("7 3gp") << 7 << QStringList{u"128"_qs,  u"29"_qs,   u"320x240"_qs,
                                                   u"8000"_qs, u"12.2"_qs, u"0"_qs};
        // The audio-only preset leaves the video settings of the format before.
        QTest::newRow("8 mp3 after 6") << 8 << QStringList{u"128"_qs,   u"29"_qs,  u"320x240"_qs,
                                                           u"48000"_qs, u"320"_qs, u"1"_qs};
    }

    void presetOfEveryFormat()
    {
        QFETCH(int, format);
        QFETCH(QStringList, expected);
        S s;
        s.applyStartupDefaults();
        s.selectFormat(Formats::PhoneMp4);
        s.selectFormat(format);
        QCOMPARE(s.format(), format);
        QCOMPARE(values(s), expected);
    }

    void shortFormatsMapOntoFormats_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("format");
        QTest::newRow("MP4") << 0 << 4;
        QTest::newRow("MPG") << 1 << 2;
        QTest::newRow("AVI") << 2 << 3;
        QTest::newRow("MOV") << 3 << 5;
        QTest::newRow("FLV") << 4 << 0;
        QTest::newRow("out of range") << 5 << 7;
        QTest::newRow("negative") << -1 << 7;
    }

    void shortFormatsMapOntoFormats()
    {
        QFETCH(int, entry);
        QFETCH(int, format);
        S s;
        s.selectFormat(Formats::ThreeGp);
        s.selectListedFormat(entry);
        QCOMPARE(s.format(), format);
    }

    void rotationSetsTheFilterOption_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("option");
        QTest::newRow("cw") << 0 << u"-vf rotate=1"_qs;
        QTest::newRow("ccw") << 1 << u"-vf rotate=2"_qs;
        QTest::newRow("mirror") << 2 << u"-vf mirror"_qs;
        QTest::newRow("flip") << 3 << u"-vf flip"_qs;
        QTest::newRow("none") << 4 << QString();
        QTest::newRow("half a turn") << 5 << u"-vf mirror,flip"_qs;
        QTest::newRow("out of range keeps") << 6 << u"-vf flip"_qs;
    }

    void rotationSetsTheFilterOption()
    {
        QFETCH(int, entry);
        QFETCH(QString, option);
        S s;
        s.selectRotation(3);
        s.selectRotation(entry);
        QCOMPARE(optionOf(s.rotation()), option);
    }

    void startupEndsOnMp4WithItsPreset()
    {
        S s;
        s.applyStartupDefaults();
        QCOMPARE(s.format(), int(Formats::Flv));
        QCOMPARE(s.entry(S::AudioBitrate), 13); // the FLV preset wrote "320"
        // What a saved file restores is overridden by the end of start-up.
        s.selectEntry(S::AudioBitrate, 2);
        s.selectFormat(Formats::Mpg);
        s.applyStartupFormat();
        QCOMPARE(s.format(), int(Formats::Mp4));
        QCOMPARE(s.listedFormatEntry(), 0);
        QCOMPARE(values(s), (QStringList{u"12000"_qs, u"29"_qs, u"原始尺寸"_qs, u"48000"_qs,
                                         u"320"_qs, u"1"_qs}));
        QCOMPARE(optionOf(s.rotation()), u"-vf rotate=1"_qs);
        QCOMPARE(s.outputFolder(), S::defaultOutputFolder());
    }

    void presetValuesOutsideTheListHaveNoEntry()
    {
        S s;
        s.selectFormat(Formats::Mpg);
        QCOMPARE(s.text(S::SampleRate), u"28000"_qs);
        QCOMPARE(s.entry(S::SampleRate), -1);
        QCOMPARE(s.entry(S::AudioBitrate), 5);
    }

    void formatChosenDuringABatchStillApplies()
    {
        S s;
        s.applyStartupDefaults();
        s.selectListedFormat(4);
        QCOMPARE(s.format(), int(Formats::Flv));
        QCOMPARE(s.text(S::VideoBitrate), u"600"_qs);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
