#include <QFile>
#include <QStringDecoder>
#include <QTest>
#include <QXmlStreamReader>

#include <cstdlib>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint32 le(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(bytes[at + i]);
    return value;
}

const QString buildDir = QString::fromUtf8(TORVANE_BUILD_DIR);
const QString sourceDir = QString::fromUtf8(TORVANE_SOURCE_DIR);

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The completion sound must be a plain PCM file every player accepts.
    void soundIsShortCleanPcm()
    {
        const QByteArray wav = readAll(buildDir + u"/sound.wav"_qs);
        QVERIFY(wav.size() > 44);
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(le(wav, 4, 4), quint32(wav.size() - 8));
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(le(wav, 20, 2), 1u);     // PCM
        QCOMPARE(le(wav, 22, 2), 1u);     // mono
        QCOMPARE(le(wav, 24, 4), 22050u); // sample rate
        QCOMPARE(le(wav, 28, 4), 44100u); // byte rate
        QCOMPARE(le(wav, 32, 2), 2u);     // block align
        QCOMPARE(le(wav, 34, 2), 16u);    // bits per sample
        QCOMPARE(wav.mid(36, 4), QByteArray("data"));
        const quint32 dataBytes = le(wav, 40, 4);
        QCOMPARE(qsizetype(dataBytes), wav.size() - 44);

        const qsizetype count = dataBytes / 2;
        const double seconds = double(count) / 22050;
        QVERIFY2(seconds > 0.3 && seconds < 0.6, qPrintable(QString::number(seconds)));

        auto sample = [&](qsizetype i) { return qint16(le(wav, 44 + 2 * i, 2)); };
        int peak = 0;
        for (qsizetype i = 0; i < count; ++i)
            peak = std::max(peak, std::abs(int(sample(i))));
        QVERIFY2(peak > 32767 * 0.3 && peak < 32767 * 0.95, qPrintable(QString::number(peak)));
        // Faded at both ends: no click when it starts or stops.
        QVERIFY(std::abs(sample(0)) < 200);
        QVERIFY(std::abs(sample(count - 1)) < 200);
    }

    void helpPageIsUtf8WithCharset()
    {
        const QByteArray page = readAll(buildDir + u"/help.html"_qs);
        QCOMPARE(page, readAll(sourceDir + u"/resources/help/help.html"_qs));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(page);
        QVERIFY(!utf8.hasError());
        QVERIFY(text.contains(u"<meta charset=\"utf-8\">"_qs));
        QVERIFY(text.contains(u"Torvane 帮助"_qs));
    }

    void iconSvgIsWellFormed()
    {
        QXmlStreamReader xml(readAll(sourceDir + u"/resources/torvane.svg"_qs));
        int elements = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement)
                ++elements;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(elements > 3);
    }

    void desktopEntryKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("Type") << u"Type"_qs << u"Application"_qs;
        QTest::newRow("Name") << u"Name"_qs << u"Torvane"_qs;
        QTest::newRow("Exec") << u"Exec"_qs << u"torvane"_qs;
        QTest::newRow("Icon") << u"Icon"_qs << u"torvane"_qs;
        QTest::newRow("Categories") << u"Categories"_qs << u"AudioVideo;Video;"_qs;
    }
    void desktopEntryKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QStringList lines =
            QString::fromUtf8(readAll(sourceDir + u"/resources/torvane.desktop"_qs))
                .split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), u"[Desktop Entry]"_qs);
        QStringList values;
        for (const QString &line : lines) {
            if (line.startsWith(key + u'='))
                values.append(line.mid(key.size() + 1));
        }
        QCOMPARE(values, QStringList{value});
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
