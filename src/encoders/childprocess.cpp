#include "childprocess.h"

#include "process/spawn.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

int startChild(const QList<QByteArray> &argv, const QList<int> &descriptors, ChildProcess *child)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return errno;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(out[0]);
        ::close(out[1]);
        return error;
    }
    SpawnRequest request;
    request.argv = argv;
    request.output = out[1];
    request.errors = err[1];
    request.descriptors = descriptors;
    // Also when the encoder is killed outright: ffmpeg must not write on.
    request.parentDeathSignal = SIGKILL;
    const SpawnResult started = spawnProcess(request);
    ::close(out[1]);
    ::close(err[1]);
    if (started.pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return started.error;
    }
    child->pid = started.pid;
    child->out = out[0];
    child->err = err[0];
    return 0;
}

void ensureStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
}
