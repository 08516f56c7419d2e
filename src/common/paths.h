#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Paths as this program handles them: "/" separates folders, and a name is
// any byte string, not always valid UTF-8.

// Qt's own conversion turns bytes that are not UTF-8 into U+FFFD and so loses
// the name. These two keep every byte: a byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC80 + (byte - 0x80) and comes back as the same byte.
QString pathFromBytes(QByteArrayView bytes);
QByteArray pathToBytes(QStringView path);

// The path on one line: every control character shown as its visible picture
// (a newline as U+240A), so a name can never pass for another line of text;
// kept bytes stay as they are.
QString printablePath(QStringView path);
// The same for labels and messages, with every kept byte shown as U+FFFD.
QString displayPath(QStringView path);

// "clip.mp4" numbered 2 gives "clip_2.mp4": the name a file takes beside a
// file of the name it wanted. A leading dot starts no extension.
QByteArray numberedName(QByteArrayView name, int number);
// Whether written is planned or one of its numbered names, in the same folder.
bool isNameOf(const QString &planned, const QString &written);

// Whether the path is a chain of folder names below another folder ("a/b/"),
// never leaving it: relative, with no "." or ".." among them. Empty is one.
bool isSafeSubfolder(const QString &path);

// The characters after the last "/".
QString fileNameOf(const QString &path);
// The file name up to its first dot: "my.clip.avi" gives "my".
QString baseNameOf(const QString &path);
// The folder part, up to and including the last "/"; empty when there is none.
QString folderOf(const QString &path);
// The folder with exactly one "/" at its end.
QString withTrailingSeparator(const QString &folder);
// The folder without the "/" at its end, unless it is the root.
QString withoutTrailingSeparator(const QString &folder);
bool isAbsolutePath(const QString &path);
// A folder as a batch writes into it: a relative folder (or one starting with
// "~") is taken from the home folder, so it never depends on where the program
// was started.
QString absoluteOutputFolder(const QString &folder, const QString &home);

// File operations on such names, keeping every byte. A symbolic link counts
// as the name it is, never as what it points to, except where said.
namespace RawFile {
bool exists(const QString &path);
// The size of a regular file, -1 for anything else or nothing.
qint64 size(const QString &path);
bool isDirectory(const QString &path); // follows links, as a folder path may be one
// Whether the path exists and is no regular file, links followed: a pipe, a
// socket, a device or a folder, which must never be opened as a video.
bool isSpecial(const QString &path);
bool remove(const QString &path);
// When the file was last changed, in nanoseconds, links followed; -1 for none.
qint64 modifiedNs(const QString &path);
// Creates the folder with its parents; the reason when it cannot, empty on success.
QString makePath(const QString &path);
// The same; the error number when it cannot, 0 on success.
int makeFolders(const QString &path);
bool isWritableDirectory(const QString &path);
} // namespace RawFile
