#include "sourcefile.h"

#include "common/paths.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

SourceFile::~SourceFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

SourceFile::Problem SourceFile::open(const QString &path, int *error)
{
    const int fd = ::open(pathToBytes(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return Problem::Unopenable;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Problem::NotAFile;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    return Problem::None;
}

QString SourceFile::path() const
{
    return u"/proc/self/fd/%1"_s.arg(m_fd);
}

QString SourceFile::childPath(int childFd)
{
    return u"/dev/fd/%1"_s.arg(childFd);
}
