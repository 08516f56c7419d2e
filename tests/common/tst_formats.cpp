#include "common/formats.h"

#include <QSet>
#include <QTest>

// What every row of the tables must hold, so a new row cannot break the rest.
class TestFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRowIsWhole()
    {
        QSet<QString> cliNames;
        int listed = 0;
        for (int i = 0; i < Formats::Count; ++i) {
            const Format &f = Formats::at(i);
            QCOMPARE(f.index, i);
            QVERIFY(Formats::containerForExtension(QStringView(f.extension)));
            QVERIFY(!cliNames.contains(QString::fromUtf16(f.cliName)));
            cliNames << QString::fromUtf16(f.cliName);
            QCOMPARE(Formats::indexOfCliName(QStringView(f.cliName)), i);
            QCOMPARE(f.listedName != nullptr, f.listedEntry >= 0);
            listed += f.listedEntry >= 0;
            // A second pass reads what a first pass left for it, and only then.
            QCOMPARE(f.isTwoPass(), f.firstPass == FirstPass::Intermediate);
        }
        // The list's entries are 0, 1, 2 … with no gap.
        QCOMPARE(Formats::listedNames().size(), listed);
        QCOMPARE(Formats::indexOfCliName(u"mkv"), -1);
    }

    void theListStartsWithMp4()
    {
        QCOMPARE(Formats::formatOfListedEntry(0), int(Formats::Mp4));
        QCOMPARE(Formats::losslessNames(), (QStringList{u"MP4"_qs, u"MOV"_qs}));
        QCOMPARE(QStringView(Formats::containerForExtension(u"MP4")->muxer), u"mp4");
        QCOMPARE(QStringView(Formats::containerForMuxer(u"matroska")->extension), u"mkv");
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
