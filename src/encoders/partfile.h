#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The unfinished output: a new file that only we made, under a short random
// hidden name in the output's own folder. ffmpeg writes into this very inode
// through the open descriptor, so no name that someone else could swap for a
// link is ever followed. It is removed unless it was published.
class PartFile
{
public:
    PartFile() = default;
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;
    ~PartFile();

    // False with *error set (errno) when the folder cannot take the output;
    // ENAMETOOLONG when the final name is longer than the folder allows.
    bool create(const QString &output, int *error);
    int descriptor() const { return m_fd; }
    qint64 size() const;

    // Gives the file the final name, or when that is taken the next free one
    // ("name_2.ext", "name_3.ext" …); never replaces an existing file. Returns
    // the path written, in the form the output was given, or empty with *error set.
    QByteArray publish(int *error);

    void remove();

private:
    bool stillOurs() const;

    int m_dir = -1;
    int m_fd = -1;
    QByteArray m_folder; // the output's folder as given, with its final "/"
    QByteArray m_name;
    QByteArray m_final;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
