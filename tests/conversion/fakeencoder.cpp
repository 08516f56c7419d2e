// Stands in for conv, coder and coder2 in the batch tests. It writes its output
// file, prints progress in the encoder's form, and logs each run. A source whose
// name holds "fail" makes it fail; "crash" makes it crash; "slow" makes it wait.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char **argv)
{
    const std::string self = argv[0];
    const std::string name = self.substr(self.find_last_of('/') + 1);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string source, output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-i" && i + 1 < args.size())
            source = args[i + 1];
        if (args[i] == "-o" && i + 1 < args.size())
            output = args[i + 1];
    }
    if (name == "conv" && !args.empty())
        source = args[0];
    if (output.empty() && !args.empty())
        output = args.back();

    if (const char *log = std::getenv("FAKE_ENCODER_LOG")) {
        std::ofstream(log, std::ios::app) << name << ' ' << source << " -> " << output << '\n';
    }
    if (source.find("slow") != std::string::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    if (source.find("crash") != std::string::npos)
        std::abort();
    if (source.find("fail") != std::string::npos) {
        std::printf("( 3%%)\rError: cannot decode %s\n", source.c_str());
        return 1;
    }
    const char *lines[] = {"( 5%)\r", "(50%)\r", "(100%)\r"};
    const char *ffLines[] = {"  Duration: 00:00:10.00, start: 0.000000\n", "size= 1kB time=5.00 \r",
                             "size= 2kB time=10.00 \r"};
    for (const char *line : name == "conv" ? lines : ffLines) {
        std::fputs(line, stdout);
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (source.find("nooutput") == std::string::npos)
        std::ofstream(output) << "converted " << source << '\n';
    return 0;
}
