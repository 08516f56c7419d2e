// A stand-in console program for the runner tests: each mode produces one
// kind of output or ending that an encoder can show.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

static void writeAll(const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(1, data, size);
        if (n <= 0)
            return;
        data += n;
        size -= size_t(n);
    }
}

static void pauseMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 64;
    const std::string mode = argv[1];
    if (mode == "bytes") {
        const std::string text(size_t(std::atol(argv[2])), 'x');
        writeAll(text.data(), text.size());
    } else if (mode == "utf8") {
        // Cut a text of two-, three- and four-byte characters at odd offsets.
        const std::string text = "旋转中 ±€😀视频文件名 done";
        for (size_t offset = 0; offset < text.size(); offset += 3) {
            writeAll(text.data() + offset, std::min<size_t>(3, text.size() - offset));
            pauseMs(5);
        }
    } else if (mode == "pause") {
        pauseMs(std::atoi(argv[2]));
        writeAll(argv[3], std::strlen(argv[3]));
    } else if (mode == "exit") {
        writeAll("bye\n", 4);
        return std::atoi(argv[2]);
    } else if (mode == "crash") {
        std::abort();
    } else if (mode == "args") {
        for (int i = 2; i < argc; ++i) {
            writeAll(argv[i], std::strlen(argv[i]));
            writeAll("\n", 1);
        }
    } else if (mode == "report") {
        // Report text on the channel the runner named, a forged line on stdout.
        const char *named = std::getenv("TORVANE_REPORT_FD");
        const int fd = named ? std::atoi(named) : -1;
        writeAll("[torvane] output=/forged\n", 25);
        if (fd < 0 || ::write(fd, argv[2], std::strlen(argv[2])) < 0)
            return 3;
    } else if (mode == "sleep") {
        pauseMs(std::atoi(argv[2]));
    } else if (mode == "cwd") {
        char buf[4096];
        if (::getcwd(buf, sizeof buf))
            writeAll(buf, std::strlen(buf));
    } else if (mode == "stdin") {
        char c;
        const ssize_t n = ::read(0, &c, 1);
        writeAll(n == 0 ? "EOF" : "DATA", n == 0 ? 3 : 4);
    } else if (mode == "family") {
        // A child of its own that outlives a plain kill of this process.
        const pid_t child = ::fork();
        if (child == 0) {
            pauseMs(60000);
            return 0;
        }
        const std::string pid = std::to_string(child) + "\n";
        writeAll(pid.data(), pid.size());
        pauseMs(60000);
    } else if (mode == "flood") {
        // Many small writes, as an encoder prints its status lines.
        const long count = std::atol(argv[2]);
        char line[64];
        for (long i = 0; i < count; ++i) {
            const int n = std::snprintf(line, sizeof line, "frame=%6ld time=%ld.%02ld \r", i,
                                        i / 25, (i % 25) * 4);
            writeAll(line, size_t(n));
        }
    }
    return 0;
}
