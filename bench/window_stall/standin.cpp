// An encoder that converts nothing, quickly: it reports like the real ones
// (a duration, a percentage per step, the file written) and writes a tiny file.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char **argv)
{
    std::string output;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "-o")
            output = argv[i + 1];
    }
    std::printf("[torvane] duration=5.000\n");
    for (int percent = 0; percent < 100; ++percent) {
        std::printf("Pos: %4.1fs %6df (%2d%%)\r", percent * 0.05, percent, percent);
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (FILE *f = std::fopen(output.c_str(), "w")) {
        std::fputs("converted\n", f);
        std::fclose(f);
    }
    std::printf("(100%%)\r\n[torvane] output=%s\n", output.c_str());
    return 0;
}
