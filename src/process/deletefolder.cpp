#include "deletefolder.h"

#include "common/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QFileDevice::Permissions kOwnerAll =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Removal needs write access to the holding folder, listing needs read and
// search access.
void makeOwnerAccessible(const QString &folder)
{
    const QFileDevice::Permissions p = QFile::permissions(folder);
    if ((p & kOwnerAll) != kOwnerAll)
        QFile::setPermissions(folder, p | kOwnerAll);
}

bool removeFile(const QString &file)
{
    if (QFile::remove(file))
        return true;
    QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::WriteOwner);
    return QFile::remove(file);
}

// Returns whether the folder is gone. Each level is listed once and every
// entry tried once, so a stubborn entry cannot make it loop.
bool removeTree(const QString &folder)
{
    makeOwnerAccessible(folder);
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        const QString entryPath = entry.absoluteFilePath();
        // Checked first: isDir() follows links.
        if (entry.isSymLink() || !entry.isDir())
            removeFile(entryPath);
        else
            removeTree(entryPath);
    }
    return dir.rmdir(folder);
}

// The folder holding the private one must not let another user rename it away
// and put his own in its place: ours or root's, and sticky when shared (/tmp).
// A link there must be ours or root's too, since its owner can repoint it.
bool parentIsSafe(const QByteArray &parent)
{
    struct stat st;
    if (::lstat(parent.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        if (st.st_uid != ::geteuid() && st.st_uid != 0)
            return false;
        if (::stat(parent.constData(), &st) != 0)
            return false;
    }
    if (!S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid == ::geteuid())
        return true;
    if (st.st_uid != 0)
        return false;
    return !(st.st_mode & (S_IWGRP | S_IWOTH)) || (st.st_mode & S_ISVTX);
}

} // namespace

void deleteFolder(const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        QFile::remove(path);
        return;
    }
    if (!info.isDir())
        return;
    removeTree(info.absoluteFilePath());
}

QString privateTempFolder()
{
    QString base = Platform::runtimeFolder();
    if (base.isEmpty())
        base = QDir::tempPath() + u"/torvane-"_qs + Platform::userKey();
    return QDir(base).filePath(u"torvane_tmp"_qs);
}

bool ensurePrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !QFileInfo::exists(parent) && !ensurePrivateFolder(parent))
        return false;

    if (!parentIsSafe(QFile::encodeName(parent)))
        return false;

    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0) {
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (::lstat(native.constData(), &st) != 0)
            return false;
    }
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}
