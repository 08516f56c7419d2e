// Writes about 100 MB of encoder-like status text as fast as it can.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    const long total = argc > 1 ? std::atol(argv[1]) : 100L * 1000 * 1000;
    static char buffer[1 << 16];
    size_t used = 0;
    long written = 0;
    for (long frame = 0; written < total; ++frame) {
        char line[128];
        const int n = std::snprintf(line, sizeof line,
                                    "frame=%8ld fps= 25 q=28.0 size=%8ldkB time=%ld.%02ld "
                                    "bitrate= 512.0kbits/s speed=1.00x\r",
                                    frame, frame / 3, frame / 25, (frame % 25) * 4);
        if (used + size_t(n) > sizeof buffer) {
            if (::write(1, buffer, used) < 0)
                return 1;
            used = 0;
        }
        std::memcpy(buffer + used, line, size_t(n));
        used += size_t(n);
        written += n;
    }
    if (used > 0 && ::write(1, buffer, used) < 0)
        return 1;
    return 0;
}
