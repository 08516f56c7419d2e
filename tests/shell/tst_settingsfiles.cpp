#include "shell/settingsfiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// "bitrate|rate|channel|folder|format", "~" for an entry without a value.
QString describe(const SetupValues &v)
{
    auto n = [](const std::optional<int> &e) { return e ? QString::number(*e) : u"~"_qs; };
    return QStringList{n(v.bitrateEntry), n(v.sampleRateEntry), n(v.channelEntry),
                       v.outputFolder.value_or(u"~"_qs), n(v.formatEntry)}
        .join(u'|');
}

QList<int> listed(const OptionValues &v)
{
    return {v.soundChoice,      v.clipEnabled,  v.clipFromSeconds, v.clipToSeconds,
            v.losslessRotation, v.keepMetadata, v.parallelJobs};
}

} // namespace

class TestSettingsFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;

    void writeBytes(const QByteArray &bytes)
    {
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    QByteArray readBytes() const
    {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() { m_file = m_dir.filePath(u"settings.ini"_qs); }

    void setupRoundTrip_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("comma") << u"/home/user/a,b c"_qs;
        QTest::newRow("chinese") << u"/home/用户/视频"_qs;
        QTest::newRow("empty") << u""_qs;
        QTest::newRow("quotes") << u"/home/u/\"best\" of, \"\""_qs;
        QTest::newRow("line break") << u"/home/u/a\r\nb"_qs;
    }
    void setupRoundTrip()
    {
        QFETCH(QString, folder);
        QVERIFY(writeSetupFile(m_file, 7, 3, -1, folder, 12));
        QCOMPARE(describe(readSetupFile(m_file)), u"7|3|-1|"_qs + folder + u"|12"_qs);
        // The last dialog folder is written the same way; an empty one means none yet.
        QVERIFY(writeFoldersFile(m_file, folder));
        QCOMPARE(readFoldersFile(m_file).value_or(u"~"_qs), folder.isEmpty() ? u"~"_qs : folder);
    }

    void readFolders_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty file") << QByteArray() << u"~"_qs;
        QTest::newRow("blank") << QByteArray("\"  \"\r\n") << u"~"_qs;
        QTest::newRow("first line only") << QByteArray("\"/v\"\r\n\"/w\"\r\n") << u"/v"_qs;
    }
    void readFolders()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        writeBytes(bytes);
        QCOMPARE(readFoldersFile(m_file).value_or(u"~"_qs), expected);
    }

    void readOptions_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("expected");
        // Files older than the last lines keep the source's date and place, as new
        // ones do, and choose how many jobs run at once by the machine.
        QTest::newRow("four lines")
            << QByteArray("1\r\n1\r\n90\r\n150\r\n") << QList<int>{1, 1, 90, 150, 0, 1, 0};
        QTest::newRow("six lines") << QByteArray("1\r\n1\r\n90\r\n150\r\n1\r\n0\r\n")
                                   << QList<int>{1, 1, 90, 150, 1, 0, 0};
        QTest::newRow("seven lines") << QByteArray("1\r\n1\r\n90\r\n150\r\n1\r\n0\r\n3\r\n")
                                     << QList<int>{1, 1, 90, 150, 1, 0, 3};
        QTest::newRow("half even")
            << QByteArray(" 2.5\r\n3.5x\r\n0.5\r\n1.5\r\n") << QList<int>{2, 4, 0, 2, 0, 1, 0};
        QTest::newRow("truncated") << QByteArray("1\r\n1\r\n") << QList<int>{1, 1, 0, 0, 0, 1, 0};
        QTest::newRow("clamped") << QByteArray("99999\r\n-99999\r\n1e12\r\n-1e12\r\n")
                                 << QList<int>{32767, -32768, 2147483647, -2147483647 - 1, 0, 1, 0};
        QTest::newRow("lf only") << QByteArray("1\n0\n30\n60\n")
                                 << QList<int>{1, 0, 30, 60, 0, 1, 0};
        QTest::newRow("cr only") << QByteArray("1\r0\r30\r60\r")
                                 << QList<int>{1, 0, 30, 60, 0, 1, 0};
    }
    void readOptions()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, expected);
        writeBytes(bytes);
        OptionValues v{9, 9, 9, 9, 9, 9, 9};
        QVERIFY(readOptionsFile(m_file, v));
        QCOMPARE(listed(v), expected);
    }

    void readSetup_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one line") << QByteArray("\"7\"\r\n") << u"7|~|~|~|~"_qs;
        QTest::newRow("lf only") << QByteArray("\"7\"\n\"1\"\n\"2\"\n\"/a,b\"\n\"3\"\n")
                                 << u"7|1|2|/a,b|3"_qs;
        QTest::newRow("cr only") << QByteArray("\"7\"\r\"1\"\r\"2\"\r\"/a\"\r\"3\"\r")
                                 << u"7|1|2|/a|3"_qs;
        QTest::newRow("not numbers")
            << QByteArray("\"\"\r\n \"2.5\"\r\nabc\r\n\"\"\r\n\"x\"\r\n") << u"~|2|~||~"_qs;
        QStringEncoder gbk("GBK");
        QTest::newRow("gbk") << "\"1\"\r\n\"2\"\r\n\"3\"\r\n\"" + gbk.encode(u"D:\\视频,输出"_qs) +
                                    "\"\r\n\"4\"\r\n"
                             << u"1|2|3|D:\\视频,输出|4"_qs;
    }
    void readSetup()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        writeBytes(bytes);
        QCOMPARE(describe(readSetupFile(m_file)), expected);
    }

    // A FIFO (or any other non-file) in place of a settings file is passed
    // over at once, instead of blocking start-up until someone writes to it.
    // window.ini comes back as written; values go by their keys, a file of
    // another version or a value that is no number is passed over.
    void windowLayout_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("read"); // "x,y,w,h|maximized|column=width ..."
        QTest::newRow("whole") << QByteArray(
                                      "version=1\nwindow/x=10\nwindow/y=20\nwindow/width=800\n"
                                      "window/height=600\nwindow/maximized=true\n"
                                      "columns/status=300\ncolumns/name=410\n")
                               << u"10,20,800,600|true|name=410 status=300"_qs;
        QTest::newRow("keys in any order, spaces")
            << QByteArray(" columns/name = 99 \r\nversion=1\r\n") << u"-|false|name=99"_qs;
        QTest::newRow("other version")
            << QByteArray("version=2\ncolumns/name=99\n") << u"-|false|"_qs;
        QTest::newRow("no version") << QByteArray("columns/name=99\n") << u"-|false|"_qs;
        QTest::newRow("not numbers")
            << QByteArray("version=1\nwindow/x=a\nwindow/y=1\nwindow/width=1\n"
                          "window/height=1\ncolumns/name=wide\n")
            << u"-|false|"_qs;
    }
    void windowLayout()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, read);
        const auto describeLayout = [](const WindowLayout &l) {
            QStringList columns;
            for (auto it = l.columnWidths.cbegin(); it != l.columnWidths.cend(); ++it)
                columns << it.key() + u'=' + QString::number(it.value());
            columns.sort();
            const QRect g = l.geometry.value_or(QRect());
            return (l.geometry
                        ? u"%1,%2,%3,%4"_qs.arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())
                        : u"-"_qs) +
                   u'|' + (l.maximized ? u"true"_qs : u"false"_qs) + u'|' + columns.join(u' ');
        };
        writeBytes(file);
        const WindowLayout layout = readWindowFile(m_file);
        QCOMPARE(describeLayout(layout), read);
        QVERIFY(writeWindowFile(m_file, layout));
        QCOMPARE(describeLayout(readWindowFile(m_file)), read);
    }

    // output.ini: the name template and the kept folders, by their keys.
    void outputNaming()
    {
        QCOMPARE(readOutputFile(m_file), OutputNaming{});
        const OutputNaming naming{u"{name} = {rotation}"_qs, true};
        QVERIFY(writeOutputFile(m_file, naming));
        QCOMPARE(readOutputFile(m_file), naming);
        writeBytes("version=2\nname={name}\nkeep-tree=true\n");
        QCOMPARE(readOutputFile(m_file), OutputNaming{});
    }

    void onlyRegularFilesAreRead()
    {
        const QString fifo = m_dir.filePath(u"fifo.ini"_qs);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(describe(readSetupFile(fifo)), u"~|~|~|~|~"_qs);
        OptionValues v{1, 1, 2, 3};
        QVERIFY(!readOptionsFile(fifo, v));
        QVERIFY(!readOptionsFile(m_dir.path(), v));
        QVERIFY(!readFoldersFile(fifo));
        QVERIFY(!readFoldersFile(m_dir.path()));
    }

    void missingFiles()
    {
        QCOMPARE(describe(readSetupFile(m_dir.filePath(u"none"_qs))), u"~|~|~|~|~"_qs);
        OptionValues v{0, 0, 42, 43, 1, 0, 2};
        QVERIFY(!readOptionsFile(m_dir.filePath(u"none"_qs), v));
        QCOMPARE(listed(v), (QList<int>{0, 0, 42, 43, 1, 0, 2}));
        QVERIFY(!readFoldersFile(m_dir.filePath(u"none"_qs)));
    }

    void malformedFiles()
    {
        QByteArray garbage(256 * 1024, '\0');
        for (char &c : garbage)
            c = char(QRandomGenerator::global()->bounded(256));
        writeBytes(garbage);
        readSetupFile(m_file);
        OptionValues v;
        QVERIFY(readOptionsFile(m_file, v));

        writeBytes("\"1\"\r\n\"2\"\r\n\"3\"\r\n\"" + QByteArray(10 * 1024 * 1024, 'x'));
        const SetupValues s = readSetupFile(m_file);
        QVERIFY(s.outputFolder && s.outputFolder->size() < 70 * 1024);
        QVERIFY(!s.formatEntry);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settingsfiles.moc"
