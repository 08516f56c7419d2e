#include "partfile.h"

#include "common/paths.h"
#include "process/partfiles.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read once before main, while no other thread can be creating files: umask()
// can only be read by changing it.
const mode_t processUmask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

} // namespace

PartFile::~PartFile()
{
    remove();
    if (m_dir >= 0)
        ::close(m_dir);
}

bool PartFile::create(const QString &output, int *error)
{
    const QByteArray path = pathToBytes(output);
    const qsizetype slash = path.lastIndexOf('/');
    m_folder = path.left(slash + 1);
    m_final = path.mid(slash + 1);
    if (m_final.isEmpty() || m_final == "." || m_final == "..") {
        *error = EISDIR;
        return false;
    }
    m_dir =
        ::open(m_folder.isEmpty() ? "." : m_folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0) {
        *error = errno;
        return false;
    }
    // Found out now rather than after the whole encode.
    const long nameMax = ::fpathconf(m_dir, _PC_NAME_MAX);
    if (m_final.size() > (nameMax > 0 ? nameMax : NAME_MAX)) {
        *error = ENAMETOOLONG;
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = PartFiles::newName();
        m_fd = ::openat(m_dir, name.constData(),
                        O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            if (errno != EEXIST)
                break;
            continue;
        }
        // Held while we write: a batch that finds the lock free removes the
        // file as left by a killed encoder. One that locked it before us may
        // be removing it now: then it is not ours any more, and we start anew.
        m_name = name;
        struct stat st = {};
        ::fstat(m_fd, &st);
        m_device = st.st_dev;
        m_inode = st.st_ino;
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0 && stillOurs())
            return true;
        ::close(m_fd);
        m_fd = -1;
        m_name.clear();
    }
    *error = errno;
    return false;
}

qint64 PartFile::size() const
{
    struct stat st = {};
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : -1;
}

bool PartFile::stillOurs() const
{
    struct stat st = {};
    return !m_name.isEmpty() &&
           ::fstatat(m_dir, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           st.st_dev == m_device && st.st_ino == m_inode;
}

QByteArray PartFile::publish(int *error)
{
    if (!stillOurs()) {
        *error = ENOENT;
        return {};
    }
    // Made private while unfinished; the result gets what the user's umask allows.
    ::fchmod(m_fd, 0666 & ~processUmask);

    bool linkInstead = false;
    for (int number = 1; number < 10000; ++number) {
        const QByteArray name = number == 1 ? m_final : numberedName(m_final, number);
        int result = -1;
        if (!linkInstead) {
            result =
                ::renameat2(m_dir, m_name.constData(), m_dir, name.constData(), RENAME_NOREPLACE);
            // File systems without it: a hard link never replaces either.
            if (result != 0 && (errno == EINVAL || errno == ENOSYS))
                linkInstead = true;
        }
        if (linkInstead) {
            result = ::linkat(m_dir, m_name.constData(), m_dir, name.constData(), 0);
            if (result == 0)
                ::unlinkat(m_dir, m_name.constData(), 0);
        }
        if (result == 0) {
            m_name.clear();
            ::close(m_fd);
            m_fd = -1;
            return m_folder + name;
        }
        if (errno != EEXIST) {
            *error = errno;
            return {};
        }
    }
    *error = EEXIST;
    return {};
}

void PartFile::remove()
{
    if (stillOurs())
        ::unlinkat(m_dir, m_name.constData(), 0);
    m_name.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
