#include "scratchfolder.h"

#include "common/formats.h"
#include "common/paths.h"
#include "deletefolder.h"

#include <QDir>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char LockName[] = "owner.lock";
// A base made with mkdtemp when the usual one is refused. It lies in the shared
// temporary folder beside anyone's files, so its name proves nothing: only
// one that holds our marker, word for word, is ever swept.
constexpr char FallbackPrefix[] = "torvane_tmp-";
constexpr char MarkerName[] = "torvane-scratch";
constexpr QByteArrayView MarkerText =
    "Torvane scratch folder: removed once its program has ended\n";

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

bool lockIsFree(const QByteArray &lock)
{
    const int fd = ::open(lock.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

// Whether the folder holds our marker: a regular file of this user, with our words in it.
bool isMarked(const QByteArray &folder)
{
    const int fd = ::open((folder + '/' + MarkerName).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st = {};
    char text[128] = {};
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                      st.st_size == MarkerText.size() &&
                      ::read(fd, text, sizeof text) == MarkerText.size() &&
                      QByteArrayView(text, MarkerText.size()) == MarkerText;
    ::close(fd);
    return ours;
}

bool mark(const QByteArray &folder)
{
    const int fd = ::open((folder + '/' + MarkerName).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, MarkerText.data(), size_t(MarkerText.size())) == MarkerText.size();
    ::close(fd);
    return written;
}

// The fallback bases of this user in the temporary folder whose program is
// gone: each holds our marker and the lock of its program, which is free.
void removeAbandonedBases(const QByteArray &temp, const QByteArray &own)
{
    DIR *dir = ::opendir(temp.constData());
    if (!dir)
        return;
    QList<QByteArray> bases;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.size() == qsizetype(sizeof FallbackPrefix) - 1 + 6 &&
            name.startsWith(FallbackPrefix))
            bases << temp + '/' + name;
    }
    ::closedir(dir);
    for (const QByteArray &base : std::as_const(bases)) {
        struct stat st = {};
        if (base == own || ::lstat(base.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        if (isMarked(base) && lockIsFree(base + '/' + LockName))
            deleteFolder(pathFromBytes(base));
    }
}

} // namespace

QString ScratchFolder::privateBase()
{
    const QString usual = privateTempFolder();
    if (ensurePrivateFolder(usual))
        return usual;
    return {};
}

namespace {

// A new lock file in the folder, held by us until it is closed; -1 when it cannot be.
int heldLock(const QByteArray &folder)
{
    const QByteArray lock = folder + '/' + LockName;
    const int fd =
        ::open(lock.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

ScratchFolder::ScratchFolder(const QString &base)
{
    const QByteArray temp = QFile::encodeName(QDir::tempPath());
    QString root = base.isEmpty() ? privateBase() : base;
    if (root.isEmpty() || !ensurePrivateFolder(root)) {
        // Someone else got there first: a fresh folder of our own instead.
        QByteArray pattern = temp + '/' + FallbackPrefix + "XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return;
        root = m_ownBase = pathFromBytes(pattern);
        // Locked before it is marked: a marked base is never seen unlocked while we live.
        m_baseLockFd = heldLock(pattern);
        if (m_baseLockFd >= 0)
            mark(pattern);
    }
    removeAbandonedBases(temp, pathToBytes(m_ownBase));
    const QByteArray rootBytes = pathToBytes(root);
    removeAbandoned(rootBytes);
    QByteArray pattern = rootBytes + "/run-" + QByteArray::number(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return;
    m_lockFd = heldLock(pattern);
    if (m_lockFd < 0) {
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
    for (int *fd : {&m_lockFd, &m_baseLockFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
