#include "childprocess.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t lastSignal = 0;

extern "C" void onStopSignal(int sig)
{
    const int saved = errno;
    lastSignal = sig;
    const char byte = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Only async-signal-safe calls from here to exec: the parent may hold locks.
[[noreturn]] void execChild(char *const argv[], int out, int err, int fd3, int report, pid_t parent)
{
    // Dies with the encoder, also when the encoder is killed outright. The
    // parent may have died before this took hold.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        ::_exit(127);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE})
        ::signal(sig, SIG_DFL);
    sigset_t stops;
    sigemptyset(&stops);
    ::sigprocmask(SIG_SETMASK, &stops, nullptr);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    bool ok = null >= 0 && ::dup2(null, STDIN_FILENO) == STDIN_FILENO &&
              ::dup2(out, STDOUT_FILENO) == STDOUT_FILENO &&
              ::dup2(err, STDERR_FILENO) == STDERR_FILENO;
    // dup2 onto itself would keep close-on-exec.
    if (ok && fd3 >= 0)
        ok = fd3 == 3 ? ::fcntl(3, F_SETFD, 0) == 0 : ::dup2(fd3, 3) == 3;
    if (ok)
        ::execv(argv[0], argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t n = ::write(report, &error, sizeof error);
    ::_exit(127);
}

} // namespace

void installStopSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : stopSignals)
        ::sigaction(sig, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

int stopSignalFd()
{
    return signalPipe[0];
}

int takeStopSignal()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    return lastSignal;
}

int pendingStopSignal()
{
    return lastSignal;
}

sigset_t stopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : stopSignals)
        sigaddset(&set, sig);
    return set;
}

int startChild(const QList<QByteArray> &argv, int fd3, ChildProcess *child)
{
    QList<char *> pointers;
    for (const QByteArray &arg : argv)
        pointers.append(const_cast<char *>(arg.constData()));
    pointers.append(nullptr);

    int out[2], err[2], report[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return errno;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(out[0]);
        ::close(out[1]);
        return error;
    }
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int error = errno;
        for (int fd : {out[0], out[1], err[0], err[1]})
            ::close(fd);
        return error;
    }
    // A stop signal waits until the child has its own handlers back; it would
    // otherwise land in our handler in the child's copy.
    const sigset_t stops = stopSignalSet();
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &stops, &previous);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        execChild(pointers.data(), out[1], err[1], fd3, report[1], parent);
    const int forkError = errno;
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    for (int fd : {out[1], err[1], report[1]})
        ::close(fd);
    if (pid < 0) {
        for (int fd : {out[0], err[0], report[0]})
            ::close(fd);
        return forkError;
    }

    // Closed by a successful exec; holds the errno when exec failed.
    int execError = 0;
    ssize_t n;
    while ((n = ::read(report[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n > 0) {
        waitChild(pid);
        ::close(out[0]);
        ::close(err[0]);
        return execError != 0 ? execError : ECHILD;
    }
    child->pid = pid;
    child->out = out[0];
    child->err = err[0];
    return 0;
}

ChildExit waitChild(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return {};
    }
    if (WIFSIGNALED(status))
        return {-1, WTERMSIG(status)};
    return {WEXITSTATUS(status), 0};
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
