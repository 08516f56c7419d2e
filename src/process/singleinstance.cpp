#include "singleinstance.h"

#include "deletefolder.h"

#include <QDir>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

SingleInstance::SingleInstance(const QString &lockPath) : m_lock(lockPath)
{
    // Never stale by age; only a lock whose process is gone is taken over.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryAcquire()
{
    if (m_lock.isLocked())
        return true;
    return m_lock.tryLock(0);
}

void SingleInstance::release()
{
    if (m_lock.isLocked())
        m_lock.unlock();
}

QString SingleInstance::defaultLockPath()
{
    QString folder = runtimeFolder();
    if (folder.isEmpty())
        folder = QDir::tempPath();
#ifdef Q_OS_UNIX
    const QString user = QString::number(::getuid());
#else
    const QString user = qEnvironmentVariable("USERNAME");
#endif
    return QDir(folder).filePath(u"torvane-"_qs + user + u".lock"_qs);
}
