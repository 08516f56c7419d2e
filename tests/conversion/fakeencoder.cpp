// Stands in for conv, coder and coder2 in the batch tests. It reports like the
// real encoders, writes its output under a part name and gives it the final
// name at the end, and logs each run. A source whose name holds "fail" makes it
// fail, "crash" makes it crash, "slow" makes it take its time, "nooutput"
// makes it write nothing, "badcheck" makes its output fail the check, "hold"
// makes it write its pid into the pipe FAKE_READY once it runs and wait for a
// byte from the pipe FAKE_GO. SIGTERM
// removes the part file, as the real one does. "conv -probe" gives every path
// ten seconds, or none for a name holding "unknown", and logs the paths to
// FAKE_PROBE_LOG; FAKE_PROBED_LOG gets each run's source and the probe's info
// the batch handed it. FAKE_SPAN_LOG gets when each run began and ended.
#include "common/report.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

std::string partFile;

// On the batch's report channel, as the real encoders write.
void writeReport(const QByteArray &line)
{
    const char *named = std::getenv(Report::ChannelVariable);
    const int fd = named ? std::atoi(named) : STDOUT_FILENO;
    [[maybe_unused]] const ssize_t n = ::write(fd, line.constData(), size_t(line.size()));
}

extern "C" void onTerm(int)
{
    if (!partFile.empty())
        ::unlink(partFile.c_str());
    ::_exit(143);
}

// Says it runs, then waits for the word.
void holdUntilTold()
{
    if (const char *ready = std::getenv("FAKE_READY")) {
        const int fd = ::open(ready, O_WRONLY);
        const std::string pid = std::to_string(::getpid()) + '\n';
        [[maybe_unused]] const ssize_t n = ::write(fd, pid.data(), pid.size());
        ::close(fd);
    }
    if (const char *go = std::getenv("FAKE_GO")) {
        const int fd = ::open(go, O_RDONLY);
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd, &byte, 1);
        ::close(fd);
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGTERM, onTerm);
    const std::string self = argv[0];
    const std::string name = self.substr(self.find_last_of('/') + 1);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (name == "conv" && !args.empty() && args[0] == "-probe") {
        std::ofstream log;
        if (const char *file = std::getenv("FAKE_PROBE_LOG"))
            log.open(file, std::ios::app);
        for (size_t i = 1; i < args.size(); ++i) {
            const bool known = args[i].find("unknown") == std::string::npos;
            writeReport(Report::probedLine(int(i - 1),
                                           known ? std::optional<double>(10) : std::nullopt,
                                           "probed " + QByteArray::fromStdString(args[i])));
            log << args[i] << '\n';
        }
        return 0;
    }
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

    if (const char *log = std::getenv("FAKE_PROBED_LOG")) {
        const char *info = std::getenv(Report::SourceInfoVariable);
        std::ofstream(log, std::ios::app) << source << ": " << (info ? info : "") << '\n';
    }
    if (const char *log = std::getenv("FAKE_ENCODER_LOG")) {
        std::ofstream(log, std::ios::app) << name << ' ' << source << " -> " << output << '\n';
    }
    const auto report = [&](const QByteArray &line) {
        std::fflush(stdout);
        writeReport(line);
    };
    const auto started = std::chrono::steady_clock::now();
    // Names the source as ffmpeg does, whatever the name holds.
    std::printf("Input #0, from '%s':\n", source.c_str());
    std::fflush(stdout);
    report(Report::durationLine(10));
    const bool slow = source.find("slow") != std::string::npos;
    if (source.find("crash") != std::string::npos)
        std::abort();
    if (source.find("fail") != std::string::npos) {
        std::printf("( 3%%)\r\n");
        report(Report::errorLine(Report::Error::Source,
                                 u"Error: cannot decode "_s + QString::fromStdString(source)));
        std::printf("Error: cannot decode %s\n", source.c_str());
        return 1;
    }
    const bool writes = source.find("nooutput") == std::string::npos;
    if (writes) {
        partFile = output + ".part";
        std::ofstream(partFile) << "converting " << source << '\n';
    }
    if (source.find("hold") != std::string::npos)
        holdUntilTold();
    const char *lines[] = {"( 5%)\r", "(50%)\r", "(100%)\r"};
    const char *ffLines[] = {"  Duration: 00:00:10.00, start: 0.000000\n", "size= 1kB time=5.00 \r",
                             "size= 2kB time=10.00 \r"};
    const double positions[] = {0.5, 5, 10};
    for (int i = 0; i < 3; ++i) {
        std::fputs((name == "conv" ? lines : ffLines)[i], stdout);
        std::fputs("\n", stdout);
        report(Report::positionLine(positions[i]));
        std::this_thread::sleep_for(std::chrono::milliseconds(slow ? 200 : 20));
    }
    // When it ran, for the tests of jobs side by side: milliseconds on the
    // clock every process shares.
    if (const char *spans = std::getenv("FAKE_SPAN_LOG")) {
        const auto ms = [](std::chrono::steady_clock::time_point t) {
            return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch())
                .count();
        };
        std::ofstream(spans, std::ios::app)
            << ms(started) << ' ' << ms(std::chrono::steady_clock::now()) << ' ' << source << '\n';
    }
    if (writes) {
        std::ofstream(partFile, std::ios::app) << "converted\n";
        if (std::rename(partFile.c_str(), output.c_str()) != 0)
            return 1;
        partFile.clear();
        report(Report::outputLine(QByteArray::fromStdString(output)));
        // Written and kept, but not what was asked for.
        if (source.find("badcheck") != std::string::npos) {
            report(Report::checkLine({Report::CheckFinding::Size, u"176x144"_s, u"144x176"_s}));
            report(Report::errorLine(Report::Error::CheckFailed,
                                     u"Output check failed: 176x144 shown, 144x176 expected"_s));
            std::printf("Output check failed: 176x144 shown, 144x176 expected\n");
            return 3;
        }
    }
    return 0;
}
