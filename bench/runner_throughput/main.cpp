// Compares a chatty program run with its output thrown away against the same
// program run through DOSOutputs, which decodes, collects and hands on every piece.
#include "process/dosoutputs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString writer = QStringLiteral(BENCH_WRITER);
    const int rounds = 3;
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
        timer.start();
        dos.ExecuteCommand({writer, {}, writer});
        runner = std::min(runner, timer.elapsed());
    }
    std::printf("100 MB of status text, best of %d runs\n", rounds);
    std::printf("direct to /dev/null:   %lld ms\n", static_cast<long long>(direct));
    std::printf("through DOSOutputs:    %lld ms (%lld pieces)\n", static_cast<long long>(runner),
                static_cast<long long>(pieces));
    std::printf("ratio:                 %.3f (target at most 1.10)\n",
                double(runner) / double(std::max<qint64>(direct, 1)));
    return 0;
}
