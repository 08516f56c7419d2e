// How long the window's event loop can be held up while a batch runs over a
// list of 100 000 jobs on screen: a timer that should tick every millisecond
// measures the longest gap.
#include "../common/machine.h"
#include "../common/windowservices.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int jobCount = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int runMs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 15000;

    QTemporaryDir program, out;
    QDir().mkpath(program.filePath(u"data"_qs));
    for (const char *name : {"conv", "coder", "coder2"})
        QFile::link(QStringLiteral(STANDIN_ENCODER),
                    program.filePath(u"data/"_qs + QLatin1String(name)));

    BenchServices bench;
    MainWindow window(bench.services(program.path()));
    window.findChild<QWidget *>(u"startOverlay"_qs)->hide();
    window.show();
    window.conversionSettings().setOutputFolder(out.path());

    QStringList paths;
    paths.reserve(jobCount);
    for (int i = 0; i < jobCount; ++i)
        paths << u"/srv/videos/folder %1/clip_%2.mp4"_qs.arg(i / 1000).arg(i);
    window.jobList().addJobs(paths);
    QApplication::processEvents();

    std::vector<double> gaps;
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
        gaps.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
    });
    QTimer::singleShot(runMs, &app, [&] {
        window.stopBatch(BatchController::StopMode::Now);
        QTimer::singleShot(500, &app, &QApplication::quit);
    });
    window.startBatch();
    clock.start();
    ticker.start();
    app.exec();
    ticker.stop();

    const int converted = jobCount - window.jobList().count();
    if (window.jobList().count() > 0 && window.jobList().job(0).state == JobState::Failed)
        std::printf("first job failed: %s\n", qPrintable(window.jobList().job(0).failureDetail));
    std::sort(gaps.begin(), gaps.end());
    const double longest = gaps.empty() ? 0 : gaps.back();
    const double p99 = gaps.empty() ? 0 : gaps[size_t(double(gaps.size() - 1) * 0.99)];
    printMachine();
    std::printf("list of %d jobs on screen, batch ran %.1f s, %d jobs converted\n", jobCount,
                runMs / 1000.0, converted);
    std::printf("event loop gaps: longest %.1f ms, 99th percentile %.1f ms (target under 50 ms)\n",
                longest, p99);
    return longest < 50 ? 0 : 1;
}
