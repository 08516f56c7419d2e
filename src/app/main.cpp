#include "mainwindow.h"
#include "process/singleinstance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int sig)
{
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace
#endif

int main(int argc, char *argv[])
{
    // Answered before the lock, so asking a running copy's version opens nothing.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::puts("torvane " TORVANE_VERSION) < 0 ? 1 : 0;

    // A second copy ends at once and silently, before it opens anything.
    SingleInstance instance;
    if (!instance.tryAcquire())
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Torvane"_qs);
    QApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
    // Lets the desktop match the window with its entry (icon, name) under Wayland.
    QGuiApplication::setDesktopFileName(u"io.github.torvane.Torvane"_qs);

    // Qt's own dialogs and buttons speak Chinese like the rest of the window.
    QTranslator qtTranslator;
    if (qtTranslator.load(u"qtbase_zh_CN"_qs, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    MainWindow window;
    QObject::connect(&window, &MainWindow::unloaded, &app, &QApplication::quit);

#ifdef Q_OS_UNIX
    // SIGTERM and SIGINT end a running batch cleanly, like closing the window.
    std::unique_ptr<QSocketNotifier> signals;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(sig, &action, nullptr);
        signals = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signals.get(), &QSocketNotifier::activated, &window, [&window] {
            unsigned char byte = 0;
            while (::read(signalPipe[0], &byte, 1) == 1) {
            }
            window.requestQuit();
        });
    }
#endif

    window.show();
    return QApplication::exec();
}
