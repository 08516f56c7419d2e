#include "common/paths.h"
#include "common/report.h"

#include <QTest>

using namespace Report;

Q_DECLARE_METATYPE(Report::Error)

class TestReport : public QObject
{
    Q_OBJECT

    static RunReport read(const QByteArray &output, int pieceSize)
    {
        Reader reader;
        for (qsizetype i = 0; i < output.size(); i += pieceSize)
            reader.feed(QByteArrayView(output).sliced(
                i, std::min<qsizetype>(pieceSize, output.size() - i)));
        return reader.report();
    }

private Q_SLOTS:
    // What the encoders write, the batch reads, however the pipe cuts it.
    void writtenIsRead_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::newRow("whole") << 100000;
        QTest::newRow("one character at a time") << 1;
        QTest::newRow("seven at a time") << 7;
    }

    void writtenIsRead()
    {
        QFETCH(int, pieceSize);
        const QByteArray path = "/out/a b/\xe9t\xc3\xa9 (1).mp4";
        const QByteArray output =
            "Pos:   1.0s    10f ( 5%)\r" + durationLine(12.3456) + "frame=  10 time=1.00 \r" +
            positionLine(4.5) + positionLine(6.25) +
            losslessEncodeLine(LosslessRefusal::Codec, u"vp9"_qs) + outputLine(path) + "(100%)\r";
        const RunReport report = read(output, pieceSize);
        QCOMPARE(report.duration, std::optional(12.346));
        QCOMPARE(report.position, std::optional(6.25));
        QCOMPARE(pathToBytes(report.output), path);
        QVERIFY(report.losslessAsked && !report.losslessCopied);
        QCOMPARE(report.losslessWhy(), u"vp9"_qs);
        QCOMPARE(report.error, Error::None);
    }

    // conv -probe: a line for each path, in order, with a length where it is known.
    void probedLines_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::newRow("whole") << 100000;
        QTest::newRow("one character at a time") << 1;
    }
    void probedLines()
    {
        QFETCH(int, pieceSize);
        QCOMPARE(probedLine(0, 12.3456), QByteArray("[torvane] probed=0 duration=12.346\n"));
        QCOMPARE(probedLine(1, std::nullopt), QByteArray("[torvane] probed=1\n"));
        const QByteArray output = probedLine(0, 12.3456) + "[torvane] probed=x\n" +
                                  probedLine(1, std::nullopt) + "other text\r" + probedLine(2, 0) +
                                  probedLine(3, 1.5, "a=b%20c&d\n");
        const QList<ProbedPath> expected = {
            {0, 12.346, {}}, {1, std::nullopt, {}}, {2, 0.0, {}}, {3, 1.5, "a=b%20c&d\n"}};
        QCOMPARE(read(output, pieceSize).probed, expected);
        Reader reader;
        QVERIFY(reader.feed(probedLine(3, 1.5)));
    }

    void errorWordsRoundTrip()
    {
        for (const Error error :
             {Error::Usage, Error::Source, Error::NotAFile, Error::Output, Error::NameTooLong,
              Error::DiskFull, Error::FfmpegMissing, Error::ClipRange, Error::Interrupted,
              Error::Failed, Error::CheckFailed, Error::StillPicture})
            QCOMPARE(read(errorLine(error), 3).error, error);
        // A word a newer encoder might send is still a failure.
        QCOMPARE(errorFromWord(u"martian"), Error::Failed);
    }

    // A value may hold any byte, a line break and a whole forged line included:
    // it stays one value.
    void valuesHoldingLinesStayValues()
    {
        const QString forged = u"evil\n[torvane] output=%2Fhome%2Fme%2Fnotes.txt\r\t\x1b x"_qs;
        const QByteArray path = "/out/evil\n[torvane] error=none\n.mp4";
        const RunReport report = read(outputLine(path) + errorLine(Error::Source, forged) +
                                          checkLine({CheckFinding::Size, forged, u"1x1"_qs}),
                                      3);
        QCOMPARE(pathToBytes(report.output), path);
        QCOMPARE(report.error, Error::Source);
        QCOMPARE(report.detail, forged);
        QCOMPARE(report.checks.size(), 1);
        QCOMPARE(report.checks.first().found, forged);
        for (const QByteArray &line : {outputLine(path), errorLine(Error::Source, forged)})
            QCOMPARE(line.count('\n'), 1);
    }

    // The file stays, and the run still failed.
    void outputKeptButItsCheckFailed()
    {
        const RunReport report = read(outputLine("/out/x.mp4") + errorLine(Error::CheckFailed), 6);
        QCOMPARE(report.output, u"/out/x.mp4"_qs);
        QCOMPARE(report.error, Error::CheckFailed);
    }

    void otherTextIsNoReport_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("prefix within a line") << QByteArray("x [torvane] error=source\n");
        QTest::newRow("no value") << QByteArray("[torvane] error\n");
        QTest::newRow("no prefix") << QByteArray("error=source\n");
        QTest::newRow("a line too long to be ours")
            << QByteArray("[torvane] error=source" + QByteArray(4 * MaxSourceInfo, ' ') + "\n");
    }

    void otherTextIsNoReport()
    {
        QFETCH(QByteArray, output);
        QCOMPARE(read(output, 5).error, Error::None);
    }

    void losslessCopyAndRefusals()
    {
        QVERIFY(read(losslessCopyLine(), 4).losslessCopied);
        const RunReport refused = read(losslessEncodeLine(LosslessRefusal::Clip, {}), 4);
        QCOMPARE(refused.losslessRefusal, LosslessRefusal::Clip);
        QCOMPARE(refused.losslessWhy(), u"clip"_qs);
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
