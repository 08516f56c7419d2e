#pragma once

#include <QByteArray>
#include <QList>

#include <csignal>

#include <sys/types.h>

// SIGTERM, SIGINT and SIGHUP are caught into a pipe that the job's wait loop
// polls, so the job can pass them on and clean up. SIGPIPE is ignored: a
// reader that went away shows as a failed write, not as sudden death.
void installStopSignals();
int stopSignalFd();       // readable once a stop signal arrived
int takeStopSignal();     // the signal that arrived last, 0 if none
int pendingStopSignal();  // the same without a system call, for tight loops
sigset_t stopSignalSet(); // SIGTERM, SIGINT and SIGHUP

// A program started with fork and exec, standard input from /dev/null, its
// output and errors on pipes. It dies with us, and stays in our process group
// so that whoever stops the group stops it too.
struct ChildProcess
{
    pid_t pid = -1;
    int out = -1; // read ends
    int err = -1;
};

// Starts argv[0] (a path) with fd3 as its descriptor 3. Returns 0, or the
// errno of what failed, exec included.
int startChild(const QList<QByteArray> &argv, int fd3, ChildProcess *child);

struct ChildExit
{
    int code = -1;  // exit code, -1 when killed by a signal
    int signal = 0; // the signal that ended it
};
ChildExit waitChild(pid_t pid);

// Descriptors 0 to 2 open, on /dev/null where the caller closed them, so no
// file we open takes their place.
void ensureStandardDescriptors();
