// Fills the window's job list with 100 000 jobs by one drop and empties it
// again, with the list on screen, and prints how long each took.
#include "../common/machine.h"
#include "../common/windowservices.h"
#include "app/messagesink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int jobs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;

    QTemporaryDir programFolder;
    BenchServices bench;
    MainWindow window(bench.services(programFolder.path()));
    window.show();
    QApplication::processEvents();

    QList<QUrl> urls;
    urls.reserve(jobs);
    for (int i = 0; i < jobs; ++i)
        urls << QUrl::fromLocalFile(u"/srv/videos/folder %1/clip_%2.mp4"_qs.arg(i / 1000).arg(i));
    QMimeData drop;
    drop.setUrls(urls);

    QElapsedTimer timer;
    timer.start();
    window.dropOnJobList(&drop);
    // Count the repaint of the list with its new rows too.
    window.repaint();
    QApplication::processEvents();
    const qint64 addMs = timer.elapsed();
    const int added = window.jobList().count();

    // One job after another leaves the top of the list, as a batch goes on.
    constexpr int headRemovals = 200;
    timer.restart();
    qint64 slowestHead = 0;
    for (int i = 0; i < headRemovals; ++i) {
        QElapsedTimer one;
        one.start();
        window.jobList().removeJob(window.jobList().job(0).id);
        QApplication::processEvents();
        slowestHead = std::max(slowestHead, one.elapsed());
    }
    const qint64 headMs = timer.elapsed();

    timer.restart();
    window.removeAllJobs();
    window.repaint();
    QApplication::processEvents();
    const qint64 removeMs = timer.elapsed();

    printMachine();
    QTextStream out(stdout);
    out << "jobs added:   " << added << " in " << addMs << " ms\n"
        << "first job removed " << headRemovals << " times: " << headMs << " ms, slowest "
        << slowestHead << " ms\n"
        << "jobs removed: " << added - headRemovals - window.jobList().count() << " in " << removeMs
        << " ms\n";
    const bool ok = added == jobs && window.jobList().isEmpty() && slowestHead < 50 &&
                    addMs < 1000 && removeMs < 1000;
    out << (ok ? "within one second each\n" : "TOO SLOW or wrong count\n");
    return ok ? 0 : 1;
}
