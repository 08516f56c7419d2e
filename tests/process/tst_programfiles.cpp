// Finding the encoders and the data files from a build tree and from an
// installed copy (bin, libexec/torvane, share/torvane).
#include "process/programfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString conv = u"conv"_qs; // conv.exe on Windows, where these tests do not run
} // namespace

class TestProgramFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void find_data()
    {
        // Files to create under a scratch root; the program runs from root/bin.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("encoders");
        QTest::addColumn<QString>("help");
        QTest::newRow("build tree") << QStringList{u"bin/data/"_qs + conv, u"bin/help.html"_qs}
                                    << u"bin/data"_qs << u"bin/help.html"_qs;
        QTest::newRow("installed")
            << QStringList{u"libexec/torvane/"_qs + conv, u"share/torvane/help.html"_qs}
            << u"libexec/torvane"_qs << u"share/torvane/help.html"_qs;
        QTest::newRow("both: the copy beside the program wins")
            << QStringList{u"bin/data/"_qs + conv, u"bin/help.html"_qs,
                           u"libexec/torvane/"_qs + conv, u"share/torvane/help.html"_qs}
            << u"bin/data"_qs << u"bin/help.html"_qs;
        QTest::newRow("neither") << QStringList{} << u"bin/data"_qs << u"bin/help.html"_qs;
        QTest::newRow("a data folder without the encoder does not count")
            << QStringList{u"bin/data/readme.txt"_qs, u"libexec/torvane/"_qs + conv}
            << u"libexec/torvane"_qs << u"bin/help.html"_qs;
    }

    void find()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, encoders);
        QFETCH(QString, help);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(u"bin"_qs));
        for (const QString &file : files) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(file).path()));
            QFile f(root.filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString bin = root.filePath(u"bin"_qs);
        QCOMPARE(encoderFolder(bin), root.filePath(encoders));
        QCOMPARE(programDataFile(bin, u"help.html"_qs), root.filePath(help));
    }
};

QTEST_GUILESS_MAIN(TestProgramFiles)
#include "tst_programfiles.moc"
