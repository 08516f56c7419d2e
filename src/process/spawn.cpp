#include "spawn.h"

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Marks every descriptor from first up close-on-exec.
void closeOnExecFrom(int first)
{
#if defined(SYS_close_range) && defined(CLOSE_RANGE_CLOEXEC)
    if (::syscall(SYS_close_range, unsigned(first), ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
#endif
    const long max = ::sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < (max > 0 ? max : 1024); ++fd)
        ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);
}

// Only async-signal-safe calls from here to exec: the parent may hold locks.
[[noreturn]] void becomeChild(const SpawnRequest &request, char *const argv[], pid_t parent,
                              int report)
{
    if (request.ownProcessGroup)
        ::setpgid(0, 0);
    // The parent may have died before this took hold.
    if (request.parentDeathSignal != 0 &&
        (::prctl(PR_SET_PDEATHSIG, request.parentDeathSignal) != 0 || ::getppid() != parent))
        ::_exit(127);
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    int error = 0;
    const int null = ::open("/dev/null", O_RDWR);
    const int output = request.output >= 0 ? request.output : null;
    const int errors = request.errors >= 0 ? request.errors : output;
    bool ok = null >= 0 && ::dup2(null, STDIN_FILENO) == STDIN_FILENO &&
              ::dup2(output, STDOUT_FILENO) == STDOUT_FILENO &&
              ::dup2(errors, STDERR_FILENO) == STDERR_FILENO;
    // dup2 onto itself would keep close-on-exec.
    const int extra = request.extraDescriptor;
    if (ok && extra >= 0)
        ok = extra == 3 ? ::fcntl(3, F_SETFD, 0) == 0 : ::dup2(extra, 3) == 3;
    if (ok && request.outputPipeSize > 0)
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, request.outputPipeSize);
    if (!ok) {
        error = errno;
    } else if (!request.workingDirectory.isEmpty() &&
               ::chdir(request.workingDirectory.constData()) != 0) {
        error = errno;
    } else {
        closeOnExecFrom(extra >= 0 ? 4 : 3);
        ::execv(argv[0], argv);
        error = errno;
    }
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

} // namespace

SpawnResult spawnProcess(const SpawnRequest &request)
{
    if (request.argv.isEmpty() || request.argv.first().isEmpty())
        return {-1, ENOENT};
    // Everything the child needs is made before fork: it may not allocate.
    std::vector<char *> argv;
    argv.reserve(size_t(request.argv.size()) + 1);
    for (const QByteArray &arg : request.argv)
        argv.push_back(const_cast<char *>(arg.constData()));
    argv.push_back(nullptr);

    // Closed by a successful exec; holds the errno when anything failed before.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return {-1, errno};
    // No handler of ours may run in the child before it has the defaults back.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeChild(request, argv.data(), parent, report[1]);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return {-1, forkError};
    }
    // Here too, so that a stop right after the start already reaches the group.
    if (request.ownProcessGroup)
        ::setpgid(pid, pid);

    int childError = 0;
    ssize_t got;
    while ((got = ::read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got > 0) {
        waitForExit(pid);
        return {-1, childError != 0 ? childError : ECHILD};
    }
    return {pid, 0};
}

ChildExit waitForExit(pid_t pid)
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
