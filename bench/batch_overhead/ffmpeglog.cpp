// Stands in for ffmpeg: runs the real one (TORVANE_BENCH_FFMPEG) with the same
// arguments, then appends a record of the run to the file named by
// TORVANE_BENCH_LOG: the argument count (4 bytes), the monotonic start and end
// in ns (8 bytes each), then each argument NUL-terminated; one append, so
// records never interleave. The exit status is ffmpeg's.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::int64_t nowNs()
{
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

template<typename T> void append(std::string &record, T value)
{
    record.append(reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace

int main(int argc, char **argv)
{
    const char *log = std::getenv("TORVANE_BENCH_LOG");
    const char *ffmpeg = std::getenv("TORVANE_BENCH_FFMPEG");
    if (!log || !ffmpeg) {
        std::fputs("ffmpeglog: set TORVANE_BENCH_LOG and TORVANE_BENCH_FFMPEG\n", stderr);
        return 127;
    }
    const std::int64_t start = nowNs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        argv[0] = const_cast<char *>(ffmpeg);
        ::execv(ffmpeg, argv);
        std::perror("ffmpeglog: exec");
        ::_exit(127);
    }
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::int64_t end = nowNs();

    std::string record;
    append(record, std::uint32_t(argc - 1));
    append(record, start);
    append(record, end);
    for (int i = 1; i < argc; ++i)
        record.append(argv[i], std::strlen(argv[i]) + 1);
    const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, record.data(), record.size()) != ssize_t(record.size())) {
        std::perror("ffmpeglog");
        return 127;
    }
    ::close(fd);
    if (pid < 0 || WIFSIGNALED(status))
        return 128 + (pid < 0 ? 0 : WTERMSIG(status));
    return WEXITSTATUS(status);
}
