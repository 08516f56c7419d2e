#include "joblist/foldersearch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class TestFolderSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trimFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("spaces") << u"a.mp4   "_qs << u"a.mp4"_qs;
        QTest::newRow("nuls and spaces") << u"a.mp4\0 \0"_qs << u"a.mp4"_qs;
        QTest::newRow("inner space kept") << u"my clip.avi"_qs << u"my clip.avi"_qs;
        QTest::newRow("only blanks") << u" \0 "_qs << QString();
    }

    void trimFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, trimmed);
        QCOMPARE(::trimFileName(name), trimmed);
    }

    void ownFilesFirstThenSubfoldersDepthFirstInNameOrder()
    {
        QTemporaryDir dir;
        const QString F = dir.path();
        for (const char *p : {"/z.avi", "/a.mp4", "/B.mov", "/s/b.avi", "/s/t/c.mov", "/s/.hidden",
                              "/r/x.txt", "/empty/.keep"})
            touch(F + QLatin1String(p));
        QDir(F).mkdir(u"void"_qs);
        QCOMPARE(searchFolder(F),
                 (QStringList{F + u"/a.mp4"_qs, F + u"/B.mov"_qs, F + u"/z.avi"_qs,
                              F + u"/empty/.keep"_qs, F + u"/r/x.txt"_qs, F + u"/s/.hidden"_qs,
                              F + u"/s/b.avi"_qs, F + u"/s/t/c.mov"_qs}));
    }

    void manySubfoldersAreAllSearched()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 250; ++i)
            touch(dir.filePath(u"d%1/f"_qs.arg(i, 3, 10, QChar(u'0'))));
        const QStringList found = searchFolder(dir.path());
        QCOMPARE(found.size(), 250);
        QCOMPARE(found.last(), dir.filePath(u"d249/f"_qs));
    }

    void symbolicLinkLoopEnds()
    {
        QTemporaryDir dir;
        touch(dir.filePath(u"a/f.avi"_qs));
        QVERIFY(QFile::link(dir.filePath(u"a"_qs), dir.filePath(u"a/loop"_qs)));
        QVERIFY(QFile::link(dir.path(), dir.filePath(u"a/up"_qs)));
        QCOMPARE(searchFolder(dir.path()), QStringList{dir.filePath(u"a/f.avi"_qs)});
    }

    void missingFolderGivesNothing() { QVERIFY(searchFolder(u"/nonexistent/folder"_qs).isEmpty()); }

    void searchRunsOffTheCallingThread()
    {
        QTemporaryDir dir;
        touch(dir.filePath(u"one.avi"_qs));
        FolderSearch search;
        QSignalSpy finished(&search, &FolderSearch::finished);
        QVERIFY(search.start(dir.path()));
        QVERIFY(!search.start(dir.path())); // one at a time
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toStringList(), QStringList{dir.filePath(u"one.avi"_qs)});
        QVERIFY(!search.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestFolderSearch)
#include "tst_foldersearch.moc"
