// Compares a chatty program run with its output thrown away against the same
// program run through DOSOutputs, which decodes, collects and hands on every piece.
#include "process/dosoutputs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString writer = QStringLiteral(BENCH_WRITER);
    const int rounds = 7;
    qint64 direct = std::numeric_limits<qint64>::max();
    qint64 runner = std::numeric_limits<qint64>::max();
    qint64 pieces = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        QProcess plain;
        plain.setStandardOutputFile(QProcess::nullDevice());
        timer.start();
        plain.start(writer, {});
        plain.waitForFinished(-1);
        direct = std::min(direct, timer.elapsed());

        DOSOutputs dos;
        pieces = 0;
        QObject::connect(&dos, &DOSOutputs::ReceiveOutputs, &dos, [&pieces] { ++pieces; });
        // Until the run is over; decoding the whole collected text afterwards is
        // not time the program spends waiting.
        QEventLoop loop;
        QObject::connect(&dos, &DOSOutputs::CommandOver, &loop, &QEventLoop::quit);
        timer.start();
        dos.start({writer, {}, writer});
        loop.exec();
        runner = std::min(runner, timer.elapsed());
    }
    std::printf("100 MB of status text, best of %d runs\n", rounds);
    std::printf("direct to /dev/null:   %lld ms\n", static_cast<long long>(direct));
    std::printf("through DOSOutputs:    %lld ms (%lld pieces)\n", static_cast<long long>(runner),
                static_cast<long long>(pieces));
    std::printf("ratio:                 %.3f (target at most 1.10)\n",
                double(runner) / double(std::max<qint64>(direct, 1)));
#ifdef Q_OS_UNIX
    // Wall times on a shared machine wander; CPU times show whether the reader
    // could hold the writer up at all (it cannot while it needs less than the writer).
    std::printf("CPU, all runs:         reader %.0f ms, writers %.0f ms\n", cpuMs(RUSAGE_SELF),
                cpuMs(RUSAGE_CHILDREN));
#endif
    return 0;
}
