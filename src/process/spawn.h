#pragma once

#include <QByteArray>
#include <QList>

#include <sys/types.h>

// The one way Torvane starts a program: fork and exec with an argument vector,
// never through a shell. The batch starts its encoders with it, the encoders
// start ffmpeg with it.
struct SpawnRequest
{
    QList<QByteArray> argv;        // argv[0] is the program's path
    QByteArray workingDirectory;   // empty: ours
    int output = -1;               // the child's standard output; -1: /dev/null
    int errors = -1;               // its standard error; -1: the same as output
    QList<int> descriptors;        // handed on as the child's descriptors 3, 4, ...
    QList<QByteArray> environment; // "NAME=value" set for the child beside ours
    bool ownProcessGroup = false;  // it leads a group of its own, which can be stopped whole
    int parentDeathSignal = 0;     // what it gets when we die, killed or not; 0: nothing
    int outputPipeSize = 0;        // room to ask for when output is a pipe; 0: as it is
};

// The child runs with standard input on /dev/null, every signal at its
// default and unblocked, and no descriptor of ours beyond those asked for.
struct SpawnResult
{
    pid_t pid = -1;
    int error = 0; // the errno of what failed (pipe, fork, chdir, exec) when pid is -1
};
SpawnResult spawnProcess(const SpawnRequest &request);

struct ChildExit
{
    int code = -1;  // exit code, -1 when a signal ended it
    int signal = 0; // the signal that ended it
};
// Waits for the child and reaps it.
ChildExit waitForExit(pid_t pid);
