// Stands in for ffmpeg: appends its argument vector to the file named by
// TORVANE_BENCH_LOG, then becomes the real ffmpeg (TORVANE_BENCH_FFMPEG).
// A record is the argument count as 4 bytes, then each argument NUL-terminated,
// written in one append so that records never interleave.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *log = std::getenv("TORVANE_BENCH_LOG");
    const char *ffmpeg = std::getenv("TORVANE_BENCH_FFMPEG");
    if (!log || !ffmpeg) {
        std::fputs("ffmpeglog: set TORVANE_BENCH_LOG and TORVANE_BENCH_FFMPEG\n", stderr);
        return 127;
    }
    const std::uint32_t count = std::uint32_t(argc - 1);
    std::string record(reinterpret_cast<const char *>(&count), sizeof count);
    for (int i = 1; i < argc; ++i)
        record.append(argv[i], std::strlen(argv[i]) + 1);
    const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, record.data(), record.size()) != ssize_t(record.size())) {
        std::perror("ffmpeglog");
        return 127;
    }
    ::close(fd);
    argv[0] = const_cast<char *>(ffmpeg);
    ::execv(ffmpeg, argv);
    std::perror("ffmpeglog: exec");
    return 127;
}
