#include "paths.h"

#include <QStringList>

#include <algorithm>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool isEscapedByte(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at the start of bytes, 0 when invalid.
qsizetype validSequence(const uchar *p, qsizetype left, char32_t &codePoint)
{
    const uchar b = p[0];
    qsizetype length = 0;
    char32_t min = 0;
    if (b < 0x80) {
        codePoint = b;
        return 1;
    }
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        codePoint = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        codePoint = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        codePoint = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, encoded surrogates and values past Unicode are not valid.
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString pathFromBytes(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t cp = 0;
        const qsizetype length = validSequence(p + i, n - i, cp);
        if (length == 0) {
            out.append(QChar(char16_t(EscapeBase + p[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar::highSurrogate(cp));
            out.append(QChar::lowSurrogate(cp));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += length;
    }
    return out;
}

QByteArray pathToBytes(QStringView path)
{
    QByteArray out;
    out.reserve(path.size() * 3);
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = path[i].unicode();
        if (isEscapedByte(unit)) {
            out.append(char(unit - EscapeBase));
            continue;
        }
        char32_t cp = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < n && path[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(unit, path[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            cp = QChar::ReplacementCharacter;
        }
        if (cp < 0x80) {
            out.append(char(cp));
        } else if (cp < 0x800) {
            out.append(char(0xC0 | (cp >> 6)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(char(0xE0 | (cp >> 12)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

QString printablePath(QStringView path)
{
    QString out = path.toString();
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && u < 0xA0)
            c = QChar::ReplacementCharacter;
        else if (u < 0x20)
            c = QChar(char16_t(0x2400 + u));
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421));
        else if (u == 0x2028 || u == 0x2029)
            c = QChar(char16_t(0x2424));
    }
    return out;
}

QString displayPath(QStringView path)
{
    QString out = printablePath(path);
    for (QChar &c : out) {
        if (isEscapedByte(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return out;
}

QByteArray numberedName(QByteArrayView name, int number)
{
    const QByteArray suffix = '_' + QByteArray::number(number);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0)
        return name.toByteArray() + suffix;
    return name.first(dot).toByteArray() + suffix + name.sliced(dot).toByteArray();
}

bool isNameOf(const QString &planned, const QString &written)
{
    if (written == planned)
        return true;
    if (written.isEmpty() || folderOf(written) != folderOf(planned))
        return false;
    const QByteArray want = pathToBytes(fileNameOf(planned));
    const QByteArray got = pathToBytes(fileNameOf(written));
    const qsizetype dot = want.lastIndexOf('.');
    const QByteArrayView stem = dot <= 0 ? QByteArrayView(want) : QByteArrayView(want).first(dot);
    const QByteArrayView extension = dot <= 0 ? QByteArrayView() : QByteArrayView(want).sliced(dot);
    if (!got.startsWith(stem) || !got.endsWith(extension) ||
        got.size() < stem.size() + extension.size() + 2 || got[stem.size()] != '_')
        return false;
    const QByteArrayView digits = QByteArrayView(got).sliced(
        stem.size() + 1, got.size() - stem.size() - 1 - extension.size());
    bool ok = false;
    const int number = digits.toByteArray().toInt(&ok);
    return ok && number >= 2 && numberedName(want, number) == got;
}

bool isSafeSubfolder(const QString &path)
{
    if (path.isEmpty())
        return true;
    if (path.startsWith(u'/') || !path.endsWith(u'/'))
        return false;
    const QStringList names = path.chopped(1).split(u'/');
    return std::none_of(names.begin(), names.end(), [](const QString &name) {
        return name.isEmpty() || name == u"." || name == u"..";
    });
}

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString baseNameOf(const QString &path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.indexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString withTrailingSeparator(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString withoutTrailingSeparator(const QString &folder)
{
    QString result = folder;
    while (result.size() > 1 && result.endsWith(u'/'))
        result.chop(1);
    return result;
}

bool isAbsolutePath(const QString &path)
{
    return path.startsWith(u'/');
}

QString absoluteOutputFolder(const QString &folder, const QString &home)
{
    if (folder.isEmpty() || isAbsolutePath(folder))
        return folder;
    if (folder == u"~")
        return home;
    if (folder.startsWith(u"~/"))
        return withTrailingSeparator(home) + folder.mid(2);
    return withTrailingSeparator(home) + folder;
}

namespace RawFile {

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(pathToBytes(path).constData(), &st) == 0;
}

qint64 size(const QString &path)
{
    struct stat st;
    if (::lstat(pathToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return qint64(st.st_size);
}

bool isDirectory(const QString &path)
{
    struct stat st;
    return ::stat(pathToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isSpecial(const QString &path)
{
    struct stat st;
    return ::stat(pathToBytes(path).constData(), &st) == 0 && !S_ISREG(st.st_mode);
}

bool remove(const QString &path)
{
    return ::unlink(pathToBytes(path).constData()) == 0;
}

qint64 modifiedNs(const QString &path)
{
    struct stat st;
    if (::stat(pathToBytes(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

QString makePath(const QString &path)
{
    const int error = makeFolders(path);
    return error == 0 ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

int makeFolders(const QString &path)
{
    const QByteArray bytes = pathToBytes(path);
    if (bytes.isEmpty())
        return ENOENT;
    // Each level in turn, so a missing parent is made too.
    for (qsizetype i = 1; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '/')
            continue;
        const QByteArray level = bytes.left(i);
        if (::mkdir(level.constData(), 0777) != 0 && errno != EEXIST) {
            const int error = errno;
            struct stat st;
            if (::stat(level.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                continue;
            return error;
        }
    }
    struct stat st;
    if (::stat(bytes.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool isWritableDirectory(const QString &path)
{
    return isDirectory(path) && ::access(pathToBytes(path).constData(), W_OK | X_OK) == 0;
}

} // namespace RawFile
