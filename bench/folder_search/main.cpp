// Lists a tree of 100 000 files (100 folders of 1 000, with a few levels) the
// way a folder search of the window does, and prints how long it took.
#include "../common/machine.h"
#include "joblist/foldersearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const int folders = 100, perFolder = 1000;
    for (int d = 0; d < folders; ++d) {
        // Every tenth folder sits one level deeper, so the search recurses.
        const QString folder = dir.filePath(d % 10 == 0 ? u"deep/f%1"_qs.arg(d) : u"f%1"_qs.arg(d));
        QDir().mkpath(folder);
        for (int f = 0; f < perFolder; ++f) {
            QFile file(folder + u"/clip %1.mp4"_qs.arg(f));
            if (!file.open(QIODevice::WriteOnly))
                return 1;
        }
    }
    QElapsedTimer timer;
    timer.start();
    const QStringList files = searchFolder(dir.path());
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    printMachine();
    std::printf("folder search: %lld files in %.3f s (target: a few seconds)\n",
                static_cast<long long>(files.size()), seconds);
    return files.size() == folders * perFolder ? 0 : 1;
}
