#include "scratchfolder.h"

#include "common/formats.h"
#include "common/paths.h"
#include "deletefolder.h"

#include <QDir>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr char LockName[] = "owner.lock";

// Folders whose owner no longer holds their lock: the program died.
void removeAbandoned(const QByteArray &base)
{
    DIR *dir = ::opendir(base.constData());
    if (!dir)
        return;
    QList<QByteArray> abandoned;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith("run-"))
            continue;
        const QByteArray lock = base + '/' + name + '/' + LockName;
        const int fd = ::open(lock.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            abandoned << base + '/' + name;
        ::close(fd);
    }
    ::closedir(dir);
    for (const QByteArray &folder : std::as_const(abandoned))
        deleteFolder(pathFromBytes(folder));
    // The shared intermediate file of older versions.
    ::unlink((base + '/' + pathToBytes(IntermediateFileName)).constData());
}

} // namespace

QString ScratchFolder::privateBase()
{
    const QString usual = privateTempFolder();
    if (ensurePrivateFolder(usual))
        return usual;
    return {};
}

ScratchFolder::ScratchFolder(const QString &base)
{
    QString root = base.isEmpty() ? privateBase() : base;
    if (root.isEmpty() || !ensurePrivateFolder(root)) {
        // Someone else got there first: a fresh folder of our own instead.
        QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/torvane_tmp-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return;
        root = m_ownBase = pathFromBytes(pattern);
    }
    const QByteArray rootBytes = pathToBytes(root);
    removeAbandoned(rootBytes);
    QByteArray pattern = rootBytes + "/run-" + QByteArray::number(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return;
    const QByteArray lock = pattern + '/' + LockName;
    m_lockFd = ::open(lock.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_lockFd < 0 || ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        deleteFolder(pathFromBytes(pattern));
        return;
    }
    m_path = pathFromBytes(pattern);
}

ScratchFolder::~ScratchFolder()
{
    remove();
}

void ScratchFolder::remove()
{
    if (!m_path.isEmpty())
        deleteFolder(m_path);
    if (!m_ownBase.isEmpty())
        deleteFolder(m_ownBase);
    m_path.clear();
    m_ownBase.clear();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}
