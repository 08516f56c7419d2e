#include "process/partfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class TestPartFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesOfThePattern_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("ours");
        QTest::newRow("new") << PartFiles::newName() << true;
        QTest::newRow("written by hand") << QByteArray(".Ab3dEf9hIj.part") << true;
        QTest::newRow("not hidden") << QByteArray("xAb3dEf9hIj.part") << false;
        QTest::newRow("too short") << QByteArray(".Ab3.part") << false;
        QTest::newRow("other characters") << QByteArray(".Ab3dEf9h-j.part") << false;
        QTest::newRow("a user's file") << QByteArray("clip.part") << false;
    }
    void namesOfThePattern()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, ours);
        QCOMPARE(PartFiles::isPartFileName(name), ours);
    }

    // Only part files whose writer is gone go; a locked one is being written.
    void onlyAbandonedOnesGo()
    {
        QTemporaryDir dir;
        const auto make = [&](const QByteArray &name) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("half a video");
            return path;
        };
        const QString abandoned = make(".aaaaaaaaaa.part");
        const QString written = make(".bbbbbbbbbb.part");
        const QString userFile = make("notes.part");
        const QString victim = make("victim.mp4");
        QVERIFY(QFile::link(victim, dir.filePath(u".cccccccccc.part"_qs)));
        // An encoder holds its lock while it writes.
        const int writer = ::open(QFile::encodeName(written).constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(writer, LOCK_EX | LOCK_NB), 0);

        QCOMPARE(PartFiles::removeAbandoned(dir.path()), 1);
        QVERIFY(!QFile::exists(abandoned));
        for (const QString &kept :
             {written, userFile, victim, dir.filePath(u".cccccccccc.part"_qs)})
            QVERIFY2(QFileInfo(kept).exists() || QFileInfo(kept).isSymLink(), qPrintable(kept));
        ::close(writer);
        QCOMPARE(PartFiles::removeAbandoned(dir.path()), 1);
        QVERIFY(!QFile::exists(written));
    }
};

QTEST_GUILESS_MAIN(TestPartFiles)
#include "tst_partfiles.moc"
