#include "process/deletefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool makeFile(const QString &path, QFileDevice::Permissions permissions = {})
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("data") != 4)
        return false;
    f.close();
    return permissions == QFileDevice::Permissions() || f.setPermissions(permissions);
}

constexpr QFileDevice::Permissions kReadOnly =
    QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
constexpr QFileDevice::Permissions kReadOnlyFolder =
    kReadOnly | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

// The immutable attribute stops even root from removing a file.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

class TestDeleteFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void removesEverythingKeepsLinkTargets()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath(u"work"_qs), out = tmp.filePath(u"out"_qs);
        QVERIFY(QDir().mkpath(root + u"/sub/deeper"_qs) && QDir().mkpath(out + u"/dir"_qs));
        QVERIFY(makeFile(out + u"/target"_qs) && makeFile(out + u"/dir/inner"_qs));
        for (const QString &file : {u"/a"_qs, u"/.hidden"_qs, u"/sub/.h2"_qs, u"/sub/deeper/c"_qs})
            QVERIFY(makeFile(root + file, kReadOnly));
        QVERIFY(QFile::link(out + u"/target"_qs, root + u"/file-link"_qs));
        QVERIFY(QFile::link(out + u"/dir"_qs, root + u"/sub/dir-link"_qs));
        QVERIFY(QFile::link(tmp.filePath(u"nowhere"_qs), root + u"/broken-link"_qs));
        QVERIFY(QFile::setPermissions(root + u"/sub/deeper"_qs, kReadOnlyFolder));
        QVERIFY(QFile::setPermissions(root + u"/sub"_qs, kReadOnlyFolder));
        QVERIFY(QFile::link(out + u"/dir"_qs, tmp.filePath(u"top-link"_qs)));

        deleteFolder(root);
        deleteFolder(tmp.filePath(u"top-link"_qs));
        deleteFolder(tmp.filePath(u"missing"_qs));

        QVERIFY(!QFileInfo::exists(root));
        QVERIFY(!QFileInfo(tmp.filePath(u"top-link"_qs)).isSymLink());
        QVERIFY(QFileInfo(out + u"/target"_qs).isFile() &&
                QFileInfo(out + u"/dir/inner"_qs).isFile());
    }

    void stubbornEntryEnds()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath(u"work"_qs);
        const QString stuck = root + u"/stuck"_qs;
        const QString locked = stuck + u"/locked.txt"_qs;
        QVERIFY(QDir().mkpath(stuck));
        QVERIFY(makeFile(locked));
        QVERIFY(makeFile(root + u"/free"_qs) && QDir().mkpath(root + u"/zfree"_qs));

        const bool asRoot = ::geteuid() == 0;
        if (asRoot) {
            if (!setImmutable(locked, true))
                QSKIP("cannot set the immutable attribute here");
        } else {
            QVERIFY(::chmod(QFile::encodeName(stuck).constData(), 0500) == 0);
        }

        deleteFolder(root);

        const bool lockedLeft = QFileInfo::exists(locked);
        const bool freeGone =
            !QFileInfo::exists(root + u"/free"_qs) && !QFileInfo::exists(root + u"/zfree"_qs);
        if (asRoot)
            setImmutable(locked, false);
        else
            ::chmod(QFile::encodeName(stuck).constData(), 0700);
        QVERIFY(lockedLeft && QFileInfo(root).isDir());
        QVERIFY(freeGone);
    }

    void privateFolder()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(u"a/torvane_tmp"_qs);
        QVERIFY(ensurePrivateFolder(folder));
        struct stat st;
        QVERIFY(::lstat(QFile::encodeName(folder).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));

        const QString link = tmp.filePath(u"link"_qs);
        QVERIFY(QFile::link(folder, link));
        QVERIFY(!ensurePrivateFolder(link));

        if (::geteuid() != 0)
            QSKIP("needs root to hand a folder to another user");
        const QString foreign = tmp.filePath(u"foreign"_qs);
        QVERIFY(QDir().mkpath(foreign));
        QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
        QVERIFY(!ensurePrivateFolder(foreign));
        // Nor inside a folder another user controls.
        QVERIFY(!ensurePrivateFolder(foreign + u"/inner"_qs));
    }
};

QTEST_GUILESS_MAIN(TestDeleteFolder)
#include "tst_deletefolder.moc"
