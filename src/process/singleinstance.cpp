#include "singleinstance.h"

#include "common/platform.h"

#include <QDir>

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
    QString folder = Platform::runtimeFolder();
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(u"torvane-"_qs + Platform::userKey() + u".lock"_qs);
}
