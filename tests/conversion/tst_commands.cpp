#include "conversion/commands.h"
#include "conversion/conversionsettings.h"
#include "conversion/previewmaker.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString PROG = u"/opt/tor vane"_qs;

// The rotation whose option text a row below gives ("-vf rotate=1", or none).
PictureTransform rotationOf(const QString &option)
{
    for (int entry = 0; entry < ConversionSettings::rotationTexts().size(); ++entry) {
        const PictureTransform rotation = ConversionSettings::rotationOfEntry(entry);
        const QStringList words = rotation.encoderWords();
        if (option == (words.isEmpty() ? QString() : u"-vf "_qs + words.join(u',')))
            return rotation;
    }
    return {};
}

CommandInputs inputs(int format)
{
    ConversionSettings s;
    s.applyStartupDefaults();
    s.selectFormat(format);
    CommandInputs in;
    in.job = s.jobSettings();
    in.source = u"/v/my.clip.avi"_qs;
    in.outputFolder = u"/out/"_qs;
    in.encoderFolder = PROG + u"/data"_qs;
    in.tempFolder = u"/run/user/1/torvane_tmp"_qs;
    in.time = QTime(14, 5, 9);
    return in;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstPassText_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("rotate");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("output");
        const QString conv = PROG + u"/data/conv \"/v/my.clip.avi\""_qs;
        QTest::newRow("0 flv") << 0 << u"-vf rotate=1"_qs
                               << conv + u" -oac mp3lame -lameopts preset=320 -ovc x264 "
                                         "-x264encopts bitrate=600 -of avi -vf rotate=1 -o "
                                         "\"/out/my_已旋转140509.flv\""_qs
                               << u"/out/my_已旋转140509.flv"_qs;
        QTest::newRow("0 flv no rotation: two spaces meet")
            << 0 << QString()
            << conv + u" -oac mp3lame -lameopts preset=320 -ovc x264 -x264encopts bitrate=600 "
                      "-of avi  -o \"/out/my_已旋转140509.flv\""_qs
            << u"/out/my_已旋转140509.flv"_qs;
        const QString twoPass = conv + u" -oac mp3lame -lameopts preset=320 -ovc x264 "
                                       "-x264encopts bitrate=1200 -of avi -vf mirror -o "
                                       "/run/user/1/torvane_tmp/tmp.mp4"_qs;
        for (int f : {1, 6, 7})
            QTest::addRow("%d two-pass", f)
                << f << u"-vf mirror"_qs << twoPass << u"/run/user/1/torvane_tmp/tmp.mp4"_qs;
        QTest::newRow("2 mpg") << 2 << u"-vf flip"_qs
                               << conv + u" -oac mp3lame -lameopts preset=64 -ovc lavc -lavcopts "
                                         "vcodec=mpeg1video:vbitrate=600:vpass=1 -ofps 24 -of lavf "
                                         "-lavfopts format=yuv4mpeg -vf flip -o "
                                         "\"/out/my_已旋转140509.mpg\""_qs
                               << u"/out/my_已旋转140509.mpg"_qs;
        QTest::newRow("3 avi") << 3 << u"-vf rotate=2"_qs
                               << conv + u" -oac mp3lame -lameopts preset=64 -ovc lavc -lavcopts "
                                         "vcodec=mpeg1video:vbitrate=600:vpass=1 -ofps 24 -of lavf "
                                         "-lavfopts format=yuv4mpeg -vf rotate=2 -o "
                                         "\"/out/my_已旋转140509.avi\""_qs
                               << u"/out/my_已旋转140509.avi"_qs;
        QTest::newRow("4 mp4") << 4 << u"-vf rotate=1"_qs
                               << conv + u" -oac mp3lame -lameopts preset=320 -ovc x264 "
                                         "-x264encopts bitrate=12000 -vf rotate=1 -o "
                                         "\"/out/my_已旋转140509.mp4\""_qs
                               << u"/out/my_已旋转140509.mp4"_qs;
        QTest::newRow("4 mp4 half a turn")
            << 4 << u"-vf mirror,flip"_qs
            << conv + u" -oac mp3lame -lameopts preset=320 -ovc x264 "
                      "-x264encopts bitrate=12000 -vf mirror,flip -o "
                      "\"/out/my_已旋转140509.mp4\""_qs
            << u"/out/my_已旋转140509.mp4"_qs;
        QTest::newRow("5 mov no rotation")
            << 5 << QString()
            << conv + u" -oac mp3lame -lameopts preset=320 -ovc x264 "
                      "-x264encopts bitrate=12000  -o "
                      "\"/out/my_已旋转140509.mov\""_qs
            << u"/out/my_已旋转140509.mov"_qs;
        QTest::newRow("8 mp3") << 8 << u"-vf rotate=1"_qs
                               << PROG + u"/data/coder -i \"/v/my.clip.avi\" -y -vn -ar 48000 -ab "
                                         "320k -ac 2 \"/out/my-140509.mp3\""_qs
                               << u"/out/my-140509.mp3"_qs;
    }

    void firstPassText()
    {
        QFETCH(int, format);
        QFETCH(QString, rotate);
        QFETCH(QString, text);
        QFETCH(QString, output);
        CommandInputs in = inputs(format);
        in.job.rotation = rotationOf(rotate);
        const PassCommand pass = firstPassCommand(in);
        QCOMPARE(pass.command.text, text);
        QCOMPARE(pass.outputPath, output);
        // What runs is the same command, split where the text has its separators.
        QCOMPARE(pass.command.program + u' ' + pass.command.arguments.join(u' '),
                 QString(text).remove(u'"').replace(u"  "_qs, u" "_qs));
        QCOMPARE(pass.command.arguments.last(), output);
    }

    // The display matrix turns by quarters and halves; a mirror needs encoding.
    void losslessTakesTurnsNotMirrors_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<bool>("lossless");
        const QList<bool> expected{true, true, false, false, false, true};
        for (int entry = 0; entry < expected.size(); ++entry)
            QTest::newRow(qPrintable(ConversionSettings::rotationTexts().at(entry)))
                << entry << expected[entry];
    }
    void losslessTakesTurnsNotMirrors()
    {
        QFETCH(int, entry);
        QFETCH(bool, lossless);
        CommandInputs in = inputs(Formats::Mp4);
        in.lossless = true;
        in.job.rotation = ConversionSettings::rotationOfEntry(entry);
        QCOMPARE(firstPassCommand(in).command.arguments.contains(u"-lossless"_qs), lossless);
        QCOMPARE(losslessRefusal(in).isEmpty(), lossless || in.job.rotation.isIdentity());
    }

    void argumentsKeepPathsWhole()
    {
        CommandInputs in = inputs(Formats::Mp4);
        in.source = u"/my videos/a \"b\" 视频.avi"_qs;
        in.outputFolder = u"/out dir/"_qs;
        const PassCommand pass = firstPassCommand(in);
        QCOMPARE(pass.command.program, PROG + u"/data/conv"_qs);
        QCOMPARE(pass.command.arguments.first(), in.source);
        QCOMPARE(pass.command.arguments.last(), u"/out dir/a \"b\" 视频_已旋转140509.mp4"_qs);
        QCOMPARE(pass.encoderName, u"conv"_qs);
    }

    void mp3ReadsChannelsByEntry()
    {
        CommandInputs in = inputs(Formats::Mp3);
        in.job.channelEntry = 0;
        const PassCommand pass = firstPassCommand(in);
        QVERIFY(pass.command.text.contains(u" -ac 1 \""_qs));
        QCOMPARE(pass.encoderName, u"coder"_qs);
    }

    void secondPassText_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("text");
        const QString tmp = u" -i /run/user/1/torvane_tmp/tmp.mp4 -y"_qs;
        QTest::newRow("rm keep size")
            << 1 << u"原始尺寸"_qs
            << PROG + u"/data/coder"_qs + tmp +
                   u" -vcodec rv10 -b 1200k -f rm  -ab 128k -ac 2 \"/out/my-140509.rm\""_qs;
        QTest::newRow("rm sized") << 1 << u"640x480"_qs
                                  << PROG + u"/data/coder"_qs + tmp +
                                         u" -s 640x480 -vcodec rv10 -b 600k -f rm -ar 44100 -ab "
                                         "320k -ac 2 \"/out/my-140509.rm\""_qs;
        QTest::newRow("rm marker with a blank is a size")
            << 1 << u"原始尺寸 "_qs
            << PROG + u"/data/coder"_qs + tmp +
                   u" -s 原始尺寸  -vcodec rv10 -b 600k -f rm -ar 44100 -ab 320k -ac 2 "
                   "\"/out/my-140509.rm\""_qs;
        const QString amr = u" -vcodec mpeg4 -acodec amr_nb -ac 1 -ar 8000 -ab 12.2k "_qs;
        QTest::newRow("phone keep size") << 6 << u"原始尺寸"_qs
                                         << PROG + u"/data/coder2"_qs + tmp + u" -s 320x240"_qs +
                                                amr + u"\"/out/my-140509.mp4\""_qs;
        QTest::newRow("3gp sized") << 7 << u"176x144"_qs
                                   << PROG + u"/data/coder2"_qs + tmp + u" -s 176x144"_qs + amr +
                                          u"\"/out/my-140509.3gp\""_qs;
    }

    void secondPassText()
    {
        QFETCH(int, format);
        QFETCH(QString, size);
        QFETCH(QString, text);
        CommandInputs in = inputs(Formats::Rm);
        in.job.format = format;
        in.job.texts[JobSettings::FrameSize] = size;
        in.job.texts[JobSettings::VideoBitrate] = u"600"_qs;
        const PassCommand pass = secondPassCommand(in);
        QCOMPARE(pass.command.text, text);
        QCOMPARE(pass.encoderName, format == 1 ? u"coder"_qs : u"coder2"_qs);
        QCOMPARE(pass.command.arguments[1], u"/run/user/1/torvane_tmp/tmp.mp4"_qs);
        if (size != u"原始尺寸")
            QVERIFY(pass.command.arguments.contains(size));
    }

    // Words of our encoders beyond the table's lines, only where the job asks.
    void ourOptionsWhereAJobAsks_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("ignoreOrientation");
        QTest::addColumn<bool>("keepMetadata");
        QTest::addColumn<QStringList>("passEnds"); // the end of each pass's text
        QTest::newRow("mp4, orientation ignored")
            << int(Formats::Mp4) << true << true
            << QStringList{u"-vf rotate=1 -noautorotate -o \"/out/my_已旋转140509.mp4\""_qs};
        QTest::newRow("flv, nothing kept")
            << int(Formats::Flv) << false << false
            << QStringList{u"-of avi -vf rotate=1 -nometadata -o \"/out/my_已旋转140509.flv\""_qs};
        QTest::newRow("3gp, both")
            << int(Formats::ThreeGp) << true << false
            << QStringList{u"-noautorotate -nometadata -o /run/user/1/torvane_tmp/tmp.mp4"_qs,
                           u"-ab 12.2k -nometadata \"/out/my-140509.3gp\""_qs};
        QTest::newRow("mp3, nothing kept")
            << int(Formats::Mp3) << true << false
            << QStringList{u"-ac 2 -nometadata \"/out/my-140509.mp3\""_qs};
    }
    void ourOptionsWhereAJobAsks()
    {
        QFETCH(int, format);
        QFETCH(bool, ignoreOrientation);
        QFETCH(bool, keepMetadata);
        QFETCH(QStringList, passEnds);
        CommandInputs in = inputs(format);
        if (ignoreOrientation)
            in.job.sourceOrientation = SourceOrientation::Ignore;
        in.keepMetadata = keepMetadata;
        const QList<PassCommand> passes = jobPasses(in);
        QCOMPARE(passes.size(), passEnds.size());
        for (qsizetype i = 0; i < passes.size(); ++i) {
            const EncoderCommand &command = passes[i].command;
            QVERIFY2(command.text.endsWith(passEnds[i]), qPrintable(command.text));
            QCOMPARE(command.program + u' ' + command.arguments.join(u' '),
                     QString(command.text).remove(u'"').replace(u"  "_qs, u" "_qs));
        }
    }

    void leadingDotGivesNameStartingWithTheMarker()
    {
        CommandInputs in = inputs(Formats::Mp4);
        in.source = u"/v/.clip.avi"_qs;
        QCOMPARE(firstPassCommand(in).outputPath, u"/out/_已旋转140509.mp4"_qs);
    }

    void timeStampSorts_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("14:05:09") << QTime(14, 5, 9) << u"140509"_qs;
        QTest::newRow("9:30:00") << QTime(9, 30, 0) << u"093000"_qs;
        QTest::newRow("midnight") << QTime(0, 0, 0) << u"000000"_qs;
        QTest::newRow("23:59:59") << QTime(23, 59, 59) << u"235959"_qs;
        // These two used to share "18352".
        QTest::newRow("18:03:52") << QTime(18, 3, 52) << u"180352"_qs;
        QTest::newRow("18:35:02") << QTime(18, 35, 2) << u"183502"_qs;
    }

    void timeStampSorts()
    {
        QFETCH(QTime, time);
        QFETCH(QString, stamp);
        QCOMPARE(timeStamp(time), stamp);
    }

    void collisionSuffixGoesBeforeTheExtension_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("unique");
        QTest::newRow("free") << QStringList{} << u"/o/a.mp4"_qs << u"/o/a.mp4"_qs;
        QTest::newRow("taken") << QStringList{u"/o/a.mp4"_qs} << u"/o/a.mp4"_qs << u"/o/a_2.mp4"_qs;
        QTest::newRow("two taken")
            << QStringList{u"/o/a.mp4"_qs, u"/o/a_2.mp4"_qs} << u"/o/a.mp4"_qs << u"/o/a_3.mp4"_qs;
        QTest::newRow("dot in folder")
            << QStringList{u"/o.d/a"_qs} << u"/o.d/a"_qs << u"/o.d/a_2"_qs;
    }

    void collisionSuffixGoesBeforeTheExtension()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, path);
        QFETCH(QString, unique);
        QCOMPARE(uniqueOutputPath(path, [&](const QString &p) { return existing.contains(p); }),
                 unique);
    }

    // A source changed in place is another picture: its preview is made anew.
    void previewKeyFollowsTheSourceFile()
    {
        QTemporaryDir dir;
        CommandInputs in = inputs(Formats::Mp4);
        in.source = dir.filePath(u"clip.avi"_qs);
        const auto write = [&](const QByteArray &bytes) {
            QFile file(in.source);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("first");
        const QString first = previewKey(in);
        QCOMPARE(previewKey(in), first);
        write("second take");
        const QString second = previewKey(in);
        QVERIFY(second != first);
        // Same size, another time: rewritten all the same.
        const timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(in.source).constData(), times, 0), 0);
        QVERIFY(previewKey(in) != second);
    }

    // An output's name: the usual one, or the template's fields filled in;
    // a folder's files keep their folders below the output folder.
    void outputNames_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<QString>("subfolder");
        QTest::addColumn<QString>("output");
        QTest::newRow("one pass, the usual name")
            << int(Formats::Mp4) << QString() << QString() << u"/out/my_已旋转140509.mp4"_qs;
        QTest::newRow("two passes, the usual name")
            << int(Formats::ThreeGp) << QString() << QString() << u"/out/my-140509.3gp"_qs;
        QTest::newRow("sound, the usual name")
            << int(Formats::Mp3) << QString() << QString() << u"/out/my-140509.mp3"_qs;
        QTest::newRow("every field") << int(Formats::Mp4) << u"{name}.{rotation}.{format}.{time}"_qs
                                     << QString() << u"/out/my.cw.mp4.140509.mp4"_qs;
        QTest::newRow("predictable, kept folders")
            << int(Formats::ThreeGp) << u"{name}"_qs << u"a/b/"_qs << u"/out/a/b/my.3gp"_qs;
        QTest::newRow("nothing left names the source")
            << int(Formats::Mp4) << u".."_qs << QString() << u"/out/my.mp4"_qs;
        QTest::newRow("an unknown field: the usual name")
            << int(Formats::Mp4) << u"{camera}"_qs << QString() << u"/out/my_已旋转140509.mp4"_qs;
    }
    void outputNames()
    {
        QFETCH(int, format);
        QFETCH(QString, nameTemplate);
        QFETCH(QString, subfolder);
        QFETCH(QString, output);
        CommandInputs in = inputs(format);
        in.source = u"/v/my.clip.avi"_qs;
        in.outputFolder = u"/out/"_qs;
        in.time = QTime(14, 5, 9);
        in.exists = [](const QString &) { return false; };
        in.nameTemplate = nameTemplate;
        in.subfolder = subfolder;
        QCOMPARE(jobPasses(in).last().outputPath, output);
    }

    void nameTemplateProblems_data()
    {
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<bool>("usable");
        QTest::newRow("fields and text") << u"{name} ({time})"_qs << true;
        QTest::newRow("a folder") << u"x/{name}"_qs << false;
        QTest::newRow("an unknown field") << u"{name}-{date}"_qs << false;
        QTest::newRow("a brace alone") << u"{name"_qs << false;
        QTest::newRow("a line break") << u"{name}\n"_qs << false;
    }
    void nameTemplateProblems()
    {
        QFETCH(QString, nameTemplate);
        QFETCH(bool, usable);
        QCOMPARE(nameTemplateProblem(nameTemplate).isEmpty(), usable);
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
