#pragma once

#include <QString>

// The source, opened once before anything reads it: ffmpeg, the probe and the
// in-process copy all read this very file through its descriptor, whatever its
// name points to by then. Opening never blocks, so a pipe or device swapped in
// under the name is found out instead of waited on.
class SourceFile
{
public:
    SourceFile() = default;
    SourceFile(const SourceFile &) = delete;
    SourceFile &operator=(const SourceFile &) = delete;
    ~SourceFile();

    enum class Problem { None, Unopenable, NotAFile };
    // *error: the errno when it cannot be opened.
    Problem open(const QString &path, int *error);

    int descriptor() const { return m_fd; }
    // A name for the opened file that reaches it from this process.
    QString path() const;
    // The name it reaches from a child that gets the descriptor as its `childFd`.
    static QString childPath(int childFd);

private:
    int m_fd = -1;
};
