#include "process/scratchfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

class TestScratchFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two programs never share a folder, and each takes only its own away.
    void eachProgramHasItsOwn()
    {
        QTemporaryDir base;
        QString first;
        {
            ScratchFolder a(base.path());
            ScratchFolder b(base.path());
            QVERIFY(a.isValid() && b.isValid());
            QVERIFY(a.path() != b.path());
            QCOMPARE(QFileInfo(a.path()).absolutePath(), base.path());
            first = a.path();
            QFile file(b.path() + u"/tmp.mp4"_qs);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            a.remove();
            QVERIFY(!QFileInfo::exists(first));
            QVERIFY(QFileInfo::exists(b.path() + u"/tmp.mp4"_qs));
        }
        QVERIFY(QDir(base.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    // One left by a program that died goes when the next one starts; one whose
    // program still runs stays.
    void abandonedFoldersAreRemoved()
    {
        QTemporaryDir base;
        const QString abandoned = base.filePath(u"run-999999-AbCdEf"_qs);
        QVERIFY(QDir().mkpath(abandoned));
        QFile lock(abandoned + u"/owner.lock"_qs);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        ScratchFolder alive(base.path());
        ScratchFolder next(base.path());
        QVERIFY(!QFileInfo::exists(abandoned));
        QVERIFY(QFileInfo::exists(alive.path()));
    }

    // A program that died in a fallback base leaves the whole base behind;
    // the next start removes it, but never the base of a program that runs,
    // nor a folder of the user's that only looks like one.
    void abandonedFallbackBasesAreRemoved()
    {
        QTemporaryDir temp;
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const auto base = [&](const QString &name, const QByteArray &marker, bool lock) {
            const QString folder = temp.filePath(name);
            QDir().mkpath(folder + u"/run-999999-AbCdEf"_qs);
            QFile(folder + u"/run-999999-AbCdEf/owner.lock"_qs).open(QIODevice::WriteOnly);
            QFile(folder + u"/tmp.mp4"_qs).open(QIODevice::WriteOnly);
            if (lock)
                QFile(folder + u"/owner.lock"_qs).open(QIODevice::WriteOnly);
            QFile file(folder + u"/torvane-scratch"_qs);
            if (!marker.isEmpty() && file.open(QIODevice::WriteOnly))
                file.write(marker);
            return folder;
        };
        const QByteArray ours = "Torvane scratch folder: removed once its program has ended\n";
        const QString dead = base(u"torvane_tmp-Dead01"_qs, ours, true);
        const QString running = base(u"torvane_tmp-Live01"_qs, ours, true);
        const QStringList users = {base(u"torvane_tmp-backup"_qs, {}, true),
                                   base(u"torvane_tmp-photos"_qs, {}, false),
                                   base(u"torvane_tmp-Other1"_qs, "mine\n", true),
                                   base(u"torvane_tmpx-Zz0001"_qs, ours, true)};
        const int held = ::open(QFile::encodeName(running + u"/owner.lock"_qs).constData(),
                                O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
        QTemporaryDir usual;
        {
            ScratchFolder scratch(usual.path());
            QVERIFY(scratch.isValid());
        }
        qputenv("TMPDIR", oldTemp);
        ::close(held);
        QVERIFY(!QFileInfo::exists(dead));
        QVERIFY(QFileInfo::exists(running + u"/run-999999-AbCdEf"_qs));
        for (const QString &folder : users) {
            QVERIFY2(QFileInfo::exists(folder + u"/tmp.mp4"_qs), qPrintable(folder));
            QVERIFY2(QFileInfo::exists(folder + u"/run-999999-AbCdEf/owner.lock"_qs),
                     qPrintable(folder));
        }
    }

    // A fallback base is marked as ours, and the mark goes with it.
    void fallbackBaseIsMarked()
    {
        QTemporaryDir temp;
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        QString base;
        {
            // A base that cannot be used sends it to a fallback.
            const QString taken = temp.filePath(u"taken"_qs);
            QVERIFY(QFile(taken).open(QIODevice::WriteOnly));
            ScratchFolder scratch(taken);
            QVERIFY(scratch.isValid());
            base = QFileInfo(scratch.path()).path();
            QVERIFY(QFileInfo(base).fileName().startsWith(u"torvane_tmp-"_qs));
            QVERIFY(QFileInfo::exists(base + u"/torvane-scratch"_qs));
        }
        qputenv("TMPDIR", oldTemp);
        QVERIFY(!QFileInfo::exists(base));
    }

    // A base another user made first, open to everyone, is not used.
    void unsafeBaseIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("making a folder owned by another user needs root");
        QTemporaryDir parent;
        QFile::setPermissions(parent.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ExeOwner | QFile::ExeOther);
        const QString planted = parent.filePath(u"torvane_tmp"_qs);
        QVERIFY(QDir().mkdir(planted));
        QCOMPARE(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(planted).constData(), 0777), 0);
        ScratchFolder scratch(planted);
        QVERIFY(scratch.isValid());
        QVERIFY(!scratch.path().startsWith(planted));
        struct stat st;
        QCOMPARE(
            ::stat(QFile::encodeName(QFileInfo(scratch.path()).absolutePath()).constData(), &st),
            0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QVERIFY(QDir(planted).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestScratchFolder)
#include "tst_scratchfolder.moc"
