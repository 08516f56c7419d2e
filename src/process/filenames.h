#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the file system holds them. On Linux a name is any byte
// string, not always valid UTF-8; Qt's own conversion turns the invalid bytes
// into U+FFFD and so loses the name. These two keep every byte: a byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte - 0x80)
// and comes back as the same byte.
QString pathFromBytes(QByteArrayView bytes);
QByteArray pathToBytes(QStringView path);

// The path with every kept byte shown as U+FFFD, for labels and messages.
QString displayPath(QStringView path);

// File operations on such names, keeping every byte. A symbolic link counts
// as the name it is, never as what it points to.
namespace RawFile {
bool exists(const QString &path);
// The size of a regular file, -1 for anything else or nothing.
qint64 size(const QString &path);
bool isDirectory(const QString &path); // follows links, as a folder path may be one
bool remove(const QString &path);
// Creates the folder with its parents; the reason when it cannot, empty on success.
QString makePath(const QString &path);
bool isWritableDirectory(const QString &path);
} // namespace RawFile
