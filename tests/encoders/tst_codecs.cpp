// The codec table's choices, made without running anything.
#include "codecs.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestCodecs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Sound is resampled to a rate that makes the bitrate asked; at a rate
    // asked for, the bitrate is the nearest that rate allows.
    void audio_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("muxer");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<qint64>("bitrate");
        QTest::addColumn<QList<int>>("rates");
        QTest::addColumn<qint64>("made");
        const QList<int> mpeg1 = {32000, 44100, 48000}, mpeg2 = {16000, 22050, 24000};
        const QList<int> mp3All = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
        QTest::newRow("MP3 at 320k: MPEG-1 rates only")
            << u"libmp3lame"_s << u"mp3"_s << 0 << 320000LL << mpeg1 << 320000LL;
        QTest::newRow("MP3 at 64k: every rate")
            << u"libmp3lame"_s << u"mp3"_s << 0 << 64000LL << mp3All << 64000LL;
        QTest::newRow("MP3 at 12 kHz asked, 320k lowered")
            << u"libmp3lame"_s << u"mp3"_s << 12000 << 320000LL << QList<int>{12000} << 64000LL;
        QTest::newRow("MP3 in MP4: none below 16 kHz")
            << u"libmp3lame"_s << u"mp4"_s << 12000 << 64000LL << QList<int>{16000} << 64000LL;
        QTest::newRow("MP3 in FLV: its four rates")
            << u"libmp3lame"_s << u"flv"_s << 0 << 0LL << QList<int>{11025, 22050, 44100, 48000}
            << 0LL;
        QTest::newRow("MP2 at 12.2k: the nearest it makes")
            << u"mp2"_s << u"mpeg"_s << 0 << 12200LL << mpeg2 << 16000LL;
        QTest::newRow("MP2 at 100k, from its list")
            << u"mp2"_s << u"mpeg"_s << 44100 << 100000LL << QList<int>{44100} << 96000LL;
        QTest::newRow("AMR: 8 kHz and its top rate")
            << u"amr_nb"_s << u"3gp"_s << 44100 << 128000LL << QList<int>{8000} << 12200LL;
    }
    void audio()
    {
        QFETCH(QString, codec);
        QFETCH(QString, muxer);
        QFETCH(int, sampleRate);
        QFETCH(qint64, bitrate);
        QFETCH(QList<int>, rates);
        QFETCH(qint64, made);
        const AudioCodec *row = Codecs::audio(codec);
        QVERIFY(row);
        const AudioChoice choice = Codecs::audioChoice(*row, muxer, sampleRate, bitrate);
        QCOMPARE(choice.rates, rates);
        QCOMPARE(choice.bitrate, made);
    }

    void frameRates_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<double>("fps");
        QTest::addColumn<QString>("rate");
        QTest::newRow("MPEG-1 takes its nearest") << u"mpeg1video"_s << 27.6 << u"30000/1001"_s;
        QTest::newRow("NTSC kept exact") << u"libx264"_s << 29.97003 << u"30000/1001"_s;
        QTest::newRow("an average, in thousandths") << u"mpeg4"_s << 27.52 << u"688/25"_s;
        // 240 frames a second cannot be counted in thousandths by MPEG-4's 16 bits.
        QTest::newRow("within MPEG-4's clock") << u"mpeg4"_s << 239.7 << u"2397/10"_s;
    }
    void frameRates()
    {
        QFETCH(QString, codec);
        QFETCH(double, fps);
        QFETCH(QString, rate);
        QCOMPARE(Codecs::frameRate(Codecs::video(codec), fps).text(), rate);
    }

    void cutText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("most");
        QTest::addColumn<QByteArray>("cut");
        QTest::newRow("short enough") << QByteArray("abc") << 3 << QByteArray("abc");
        QTest::newRow("plain") << QByteArray("abcdef") << 4 << QByteArray("abcd");
        // "视" is three bytes: never half of it.
        QTest::newRow("before a whole character")
            << QString(u"a视频"_s).toUtf8() << 5 << QString(u"a视"_s).toUtf8();
        QTest::newRow("at a character's end")
            << QString(u"a视频"_s).toUtf8() << 4 << QString(u"a视"_s).toUtf8();
    }
    void cutText()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, most);
        QFETCH(QByteArray, cut);
        QCOMPARE(Codecs::cutText(text, most), cut);
    }
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
