#include "common/paths.h"

#include <QTest>

class TestPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("baseName");
        QTest::newRow("several dots") << u"/v/my.clip.avi"_qs << u"my.clip.avi"_qs << u"my"_qs;
        QTest::newRow("no dot") << u"/v/clip"_qs << u"clip"_qs << u"clip"_qs;
        QTest::newRow("leading dot") << u"/v/.hidden.avi"_qs << u".hidden.avi"_qs << QString();
        QTest::newRow("no folder") << u"a.mp4"_qs << u"a.mp4"_qs << u"a"_qs;
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("trailing separator") << u"/v/"_qs << QString() << QString();
    }

    void names()
    {
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(QString, baseName);
        QCOMPARE(fileNameOf(path), fileName);
        QCOMPARE(baseNameOf(path), baseName);
    }

    void folderOf_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("file") << u"/home/u/video/a.mp4"_qs << u"/home/u/video/"_qs;
        QTest::newRow("root") << u"/a.mp4"_qs << u"/"_qs;
        QTest::newRow("no folder") << u"clip.avi"_qs << QString();
        QTest::newRow("ends with separator") << u"/v/x/"_qs << u"/v/x/"_qs;
        QTest::newRow("colon is part of a name") << u"/v/a:b.mp4"_qs << u"/v/"_qs;
        QTest::newRow("empty") << QString() << QString();
    }

    void folderOf()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QCOMPARE(::folderOf(path), folder);
    }
    void outputFolderIsAbsolute_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("used");
        QTest::newRow("absolute") << u"/srv/out"_qs << u"/srv/out"_qs;
        QTest::newRow("relative") << u"视频/out"_qs << u"/home/u/视频/out"_qs;
        QTest::newRow("tilde") << u"~/out"_qs << u"/home/u/out"_qs;
        QTest::newRow("tilde alone") << u"~"_qs << u"/home/u"_qs;
        QTest::newRow("a name starting with a tilde") << u"~x"_qs << u"/home/u/~x"_qs;
    }

    void outputFolderIsAbsolute()
    {
        QFETCH(QString, typed);
        QFETCH(QString, used);
        QCOMPARE(absoluteOutputFolder(typed, u"/home/u"_qs), used);
    }

    void separators_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("without");
        QTest::newRow("plain") << u"/v/x"_qs << u"/v/x/"_qs << u"/v/x"_qs;
        QTest::newRow("ends with one") << u"/v/x/"_qs << u"/v/x/"_qs << u"/v/x"_qs;
        QTest::newRow("root") << u"/"_qs << u"/"_qs << u"/"_qs;
    }

    void separators()
    {
        QFETCH(QString, folder);
        QFETCH(QString, with);
        QFETCH(QString, without);
        QCOMPARE(withTrailingSeparator(folder), with);
        QCOMPARE(withoutTrailingSeparator(folder), without);
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
