#include "partfiles.h"

#include "common/paths.h"

#include <QList>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int RandomLength = 10;
constexpr QByteArrayView Suffix = ".part";

bool isAlphabet(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

namespace PartFiles {

QByteArray newName()
{
    unsigned char random[RandomLength] = {};
    qsizetype got = 0;
    while (got < qsizetype(sizeof random)) {
        const ssize_t n = ::getrandom(random + got, sizeof random - size_t(got), 0);
        if (n < 0 && errno != EINTR)
            break;
        got += n > 0 ? n : 0;
    }
    QByteArray name = ".";
    for (const unsigned char byte : random)
        name += Alphabet[byte % (sizeof Alphabet - 1)];
    return name + Suffix.toByteArray();
}

bool isPartFileName(QByteArrayView name)
{
    if (name.size() != 1 + RandomLength + Suffix.size() || !name.startsWith('.') ||
        !name.endsWith(Suffix))
        return false;
    for (qsizetype i = 1; i <= RandomLength; ++i)
        if (!isAlphabet(name[i]))
            return false;
    return true;
}

int removeAbandoned(const QString &folder)
{
    const int dir = ::open(pathToBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return 0;
    QList<QByteArray> candidates;
    // The listing takes a descriptor of its own: closedir closes it, and so
    // must we when fdopendir fails.
    const int listed = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    if (DIR *listing = listed >= 0 ? ::fdopendir(listed) : nullptr) {
        while (const dirent *entry = ::readdir(listing))
            if (isPartFileName(entry->d_name))
                candidates << QByteArray(entry->d_name);
        ::closedir(listing);
    } else if (listed >= 0) {
        ::close(listed);
    }
    int removed = 0;
    for (const QByteArray &name : std::as_const(candidates)) {
        const int fd = ::openat(dir, name.constData(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat held = {}, named = {};
        // Free means its writer is gone; the name must still be that very file.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dir, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino &&
            ::unlinkat(dir, name.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::close(dir);
    return removed;
}

} // namespace PartFiles
