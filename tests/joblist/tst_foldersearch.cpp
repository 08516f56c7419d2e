#include "common/paths.h"
#include "joblist/foldersearch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    // A pipe, a socket or a device would make the encoder wait for ever.
    void onlyFilesAndLinksToThem()
    {
        QTemporaryDir dir;
        touch(dir.filePath(u"a.avi"_qs));
        const QByteArray pipe = QFile::encodeName(dir.filePath(u"pipe.avi"_qs));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        QVERIFY(QFile::link(dir.filePath(u"a.avi"_qs), dir.filePath(u"b.avi"_qs)));
        QVERIFY(QFile::link(dir.filePath(u"pipe.avi"_qs), dir.filePath(u"c.avi"_qs)));
        QVERIFY(QFile::link(u"/dev/zero"_qs, dir.filePath(u"d.avi"_qs)));
        QVERIFY(QFile::link(dir.filePath(u"gone"_qs), dir.filePath(u"e.avi"_qs)));
        QCOMPARE(searchFolder(dir.path()),
                 (QStringList{dir.filePath(u"a.avi"_qs), dir.filePath(u"b.avi"_qs)}));
    }

    void missingFolderIsReported()
    {
        const FolderSearchResult found = searchFolderReporting(u"/nonexistent/folder"_qs);
        QVERIFY(found.files.isEmpty());
        QCOMPARE(found.unreadable, QStringList{u"/nonexistent/folder"_qs});
    }

    // Linux names are bytes: not valid UTF-8, or ending in a space, they are
    // found under exactly their own name.
    void namesAreKeptByteForByte()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        const QList<QByteArray> names{"caf\xe9.avi", "clip.mp4 ", "sub \xff/in.avi"};
        for (const QByteArray &name : names) {
            const QByteArray path = folder + '/' + name;
            if (name.contains('/'))
                QCOMPARE(::mkdir(path.left(path.lastIndexOf('/')).constData(), 0700), 0);
            const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QList<QByteArray> found;
        for (const QString &path : searchFolder(dir.path()))
            found << pathToBytes(path);
        // Qt's own removal would miss these names.
        for (const QByteArray &name : names)
            ::unlink((folder + '/' + name).constData());
        ::rmdir((folder + "/sub \xff").constData());
        QCOMPARE(found, (QList<QByteArray>{folder + "/caf\xe9.avi", folder + "/clip.mp4 ",
                                           folder + "/sub \xff/in.avi"}));
    }

    void unreadableFolderIsReported()
    {
        QTemporaryDir dir;
        touch(dir.filePath(u"ok.avi"_qs));
        touch(dir.filePath(u"locked/hidden.avi"_qs));
        QFile::setPermissions(dir.filePath(u"locked"_qs), QFileDevice::Permissions());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther);
        int unreadable = -1;
        if (::geteuid() != 0) {
            unreadable = int(searchFolderReporting(dir.path()).unreadable.size());
        } else {
            // Root reads everything: search as an ordinary user in a child.
            int pipe[2];
            QCOMPARE(::pipe(pipe), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                const char count = ::setuid(65534) == 0
                                       ? char(searchFolderReporting(dir.path()).unreadable.size())
                                       : char(-1);
                [[maybe_unused]] const ssize_t n = ::write(pipe[1], &count, 1);
                ::_exit(0);
            }
            char count = -1;
            QCOMPARE(::read(pipe[0], &count, 1), ssize_t(1));
            ::waitpid(child, nullptr, 0);
            unreadable = count;
        }
        QFile::setPermissions(dir.filePath(u"locked"_qs), QFileDevice::ReadOwner |
                                                              QFileDevice::WriteOwner |
                                                              QFileDevice::ExeOwner);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
        QCOMPARE(unreadable, 1);
    }

    void searchRunsOffTheCallingThread()
    {
        QTemporaryDir dir;
        touch(dir.filePath(u"one.avi"_qs));
        FolderSearch search;
        QSignalSpy finished(&search, &FolderSearch::finished);
        QVERIFY(search.start(dir.path()));
        QVERIFY(!search.start(dir.path())); // one at a time
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().value<FolderSearchResult>().files,
                 QStringList{dir.filePath(u"one.avi"_qs)});
        QVERIFY(!search.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestFolderSearch)
#include "tst_foldersearch.moc"
