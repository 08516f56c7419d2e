#pragma once

#include <QLockFile>
#include <QString>

// Keeps a second copy of the program from running for the same user. A lock
// left behind by a crashed copy does not count: its process is gone.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());
    ~SingleInstance();

    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True for the first running copy; true again when already held here.
    bool tryAcquire();
    void release();
    bool isHeld() const { return m_lock.isLocked(); }

    // Per-user lock in the runtime folder, else in the temp folder.
    static QString defaultLockPath();

private:
    QLockFile m_lock;
};
