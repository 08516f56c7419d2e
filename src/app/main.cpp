#include "common/paths.h"
#include "instancechannel.h"
#include "mainwindow.h"
#include "process/singleinstance.h"
#include "process/stopsignals.h"
#include "version.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // Answered before the lock, so asking a running copy's version opens nothing.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::puts("torvane " TORVANE_VERSION) < 0 ? 1 : 0;

    // Files to convert, as the desktop's Open with gives them; byte for byte.
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString path = pathFromBytes(argv[i]);
        files << (isAbsolutePath(path) ? path : withTrailingSeparator(QDir::currentPath()) + path);
    }

    // A second copy opens no window: it hands its files to the running one,
    // which comes forward, waits a second at most for its answer, and ends.
    SingleInstance instance;
    if (!instance.tryAcquire()) {
        QCoreApplication app(argc, argv);
        InstanceChannel::askToComeForward(InstanceChannel::defaultServerPath(),
                                          InstanceChannel::AnswerWait, files);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Torvane"_qs);
    QApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
    // Lets the desktop match the window with its entry (icon, name) under Wayland.
    QGuiApplication::setDesktopFileName(MainWindow::desktopId());

    // Qt's own dialogs and buttons speak Chinese like the rest of the window.
    QTranslator qtTranslator;
    if (qtTranslator.load(u"qtbase_zh_CN"_qs, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    MainWindow window;
    QObject::connect(&window, &MainWindow::unloaded, &app, &QApplication::quit);

    // SIGTERM and SIGINT end a running batch cleanly, like closing the window.
    StopSignals signals;
    QObject::connect(&signals, &StopSignals::received, &window,
                     [&window] { window.requestQuit(); });

    // Without the socket the program runs on; a second start then only ends.
    InstanceChannel channel;
    channel.listen(instance);
    QObject::connect(&channel, &InstanceChannel::comeForwardRequested, &window,
                     [&window] { bringToFront(&window); });
    QObject::connect(&channel, &InstanceChannel::filesReceived, &window, &MainWindow::addFiles);

    window.show();
    // Once the window is up: what the last run left, then the files given now.
    QTimer::singleShot(0, &window, [&window, files] {
        window.offerSavedQueue();
        window.addFiles(files);
    });
    return QApplication::exec();
}
