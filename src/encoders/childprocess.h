#pragma once

#include <QByteArray>
#include <QList>

#include <sys/types.h>

// ffmpeg as the encoder runs it: standard input from /dev/null, its output
// and errors on two pipes of ours, the given descriptors as its 3, 4, .... It dies with us,
// and stays in our process group so that whoever stops the group stops it too.
struct ChildProcess
{
    pid_t pid = -1;
    int out = -1; // read ends
    int err = -1;
};

// Starts argv[0] (a path). Returns 0, or the errno of what failed, exec included.
int startChild(const QList<QByteArray> &argv, const QList<int> &descriptors, ChildProcess *child);

// Descriptors 0 to 2 open, on /dev/null where the caller closed them, so no
// file we open takes their place.
void ensureStandardDescriptors();
