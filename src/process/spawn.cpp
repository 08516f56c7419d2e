#include "spawn.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

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

// Everything the child needs, made before fork: it may not allocate.
struct ChildPlan
{
    std::vector<char *> argv;
    std::vector<QByteArray> environmentStore;
    std::vector<char *> environment;
    std::vector<int> descriptors; // to become 3, 4, ...
};

// Only async-signal-safe calls from here to exec: the parent may hold locks.
[[noreturn]] void becomeChild(const SpawnRequest &request, const ChildPlan &plan, pid_t parent,
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
    // Each descriptor is first lifted above every place one goes to, so that
    // putting one in its place never overwrites another still to be placed.
    const int count = int(plan.descriptors.size());
    const int above = 3 + count;
    const auto lift = [above](int fd) { return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, above); };
    const int null = lift(::open("/dev/null", O_RDWR | O_CLOEXEC));
    const int output = request.output >= 0 ? lift(request.output) : null;
    const int errors = request.errors >= 0 ? lift(request.errors) : output;
    int lifted[16];
    bool ok = null >= 0 && output >= 0 && errors >= 0 && count <= 16;
    for (int i = 0; ok && i < count; ++i)
        ok = (lifted[i] = lift(plan.descriptors[size_t(i)])) >= 0;
    // dup2 clears close-on-exec on the copy it makes.
    ok = ok && ::dup2(null, STDIN_FILENO) == STDIN_FILENO &&
         ::dup2(output, STDOUT_FILENO) == STDOUT_FILENO &&
         ::dup2(errors, STDERR_FILENO) == STDERR_FILENO;
    for (int i = 0; ok && i < count; ++i)
        ok = ::dup2(lifted[i], 3 + i) == 3 + i;
    if (ok && request.outputPipeSize > 0)
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, request.outputPipeSize);
    if (!ok) {
        error = errno;
    } else if (!request.workingDirectory.isEmpty() &&
               ::chdir(request.workingDirectory.constData()) != 0) {
        error = errno;
    } else {
        closeOnExecFrom(above);
        ::execve(plan.argv[0], plan.argv.data(), plan.environment.data());
        error = errno;
    }
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

// Our environment with the request's entries set over it.
void planEnvironment(const SpawnRequest &request, ChildPlan &plan)
{
    const auto nameOf = [](QByteArrayView entry) {
        const qsizetype eq = entry.indexOf('=');
        return eq < 0 ? entry : entry.first(eq);
    };
    for (char **entry = environ; entry && *entry; ++entry) {
        const QByteArrayView name = nameOf(*entry);
        const bool replaced =
            std::any_of(request.environment.cbegin(), request.environment.cend(),
                        [&](const QByteArray &set) { return nameOf(set) == name; });
        if (!replaced)
            plan.environment.push_back(*entry);
    }
    plan.environmentStore.assign(request.environment.cbegin(), request.environment.cend());
    for (QByteArray &entry : plan.environmentStore)
        plan.environment.push_back(entry.data());
    plan.environment.push_back(nullptr);
}

} // namespace

SpawnResult spawnProcess(const SpawnRequest &request)
{
    if (request.argv.isEmpty() || request.argv.first().isEmpty())
        return {-1, ENOENT};
    if (request.descriptors.size() > 16)
        return {-1, EMFILE};
    ChildPlan plan;
    plan.argv.reserve(size_t(request.argv.size()) + 1);
    for (const QByteArray &arg : request.argv)
        plan.argv.push_back(const_cast<char *>(arg.constData()));
    plan.argv.push_back(nullptr);
    plan.descriptors.assign(request.descriptors.cbegin(), request.descriptors.cend());
    planEnvironment(request, plan);

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
        becomeChild(request, plan, parent, report[1]);
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
