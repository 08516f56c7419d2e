// Compares a chatty program run with its output thrown away against the same
// program run through EncoderProcess, which decodes and hands on every piece and
// keeps the tail of the output.
#include "../common/machine.h"
#include "process/encoderprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000 + double(t.tv_usec) / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
#endif

// The lightest reader there is: a blocking read loop that keeps nothing. What
// the pipe itself costs the writer shows here.
qint64 drainedThroughPipe(const QString &writer)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        const QByteArray program = writer.toLocal8Bit();
        ::execl(program.constData(), program.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    static char buffer[64 * 1024];
    while (::read(fds[0], buffer, sizeof buffer) > 0) {
    }
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return timer.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString writer = QStringLiteral(BENCH_WRITER);
    const int rounds = 7;
    qint64 direct = std::numeric_limits<qint64>::max();
    qint64 runner = std::numeric_limits<qint64>::max();
    qint64 pieces = 0;
    qint64 drained = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        QProcess plain;
        plain.setStandardOutputFile(QProcess::nullDevice());
        timer.start();
        plain.start(writer, {});
        plain.waitForFinished(-1);
        direct = std::min(direct, timer.elapsed());

#ifdef Q_OS_UNIX
        drained = std::min(drained, drainedThroughPipe(writer));
#endif
        EncoderProcess process;
        pieces = 0;
        QObject::connect(&process, &EncoderProcess::outputReceived, &process,
                         [&pieces] { ++pieces; });
        QEventLoop loop;
        QObject::connect(&process, &EncoderProcess::finished, &loop, &QEventLoop::quit);
        timer.start();
        process.start({writer, {}, writer, {}});
        loop.exec();
        runner = std::min(runner, timer.elapsed());
    }
    printMachine();
    std::printf("100 MB of status text, best of %d runs\n", rounds);
    std::printf("direct to /dev/null:   %lld ms\n", static_cast<long long>(direct));
#ifdef Q_OS_UNIX
    std::printf("into a bare pipe:      %lld ms (a read loop that keeps nothing)\n",
                static_cast<long long>(drained));
#endif
    std::printf("through EncoderProcess: %lld ms (%lld pieces)\n", static_cast<long long>(runner),
                static_cast<long long>(pieces));
    std::printf("ratio:                 %.3f (target at most 1.10)\n",
                double(runner) / double(std::max<qint64>(direct, 1)));
#ifdef Q_OS_UNIX
    // Wall times on a shared machine wander; CPU times show whether the reader
    // could hold the writer up at all (it cannot while it needs less than the writer).
    const double reader = cpuMs(RUSAGE_SELF);
    std::printf("CPU, all runs:         reader %.0f ms, writers %.0f ms\n", reader,
                cpuMs(RUSAGE_CHILDREN));
    std::printf("reader CPU per MB:     %.2f ms\n", reader / (rounds * 100.0));
#endif
    return 0;
}
