#include "frmmain.h"
#include "process/singleinstance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    // A second copy ends at once and silently, before it opens anything.
    SingleInstance instance;
    if (!instance.tryAcquire())
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Torvane"_qs);
    QApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));

    // Qt's own dialogs and buttons speak Chinese like the rest of the window.
    QTranslator qtTranslator;
    if (qtTranslator.load(u"qtbase_zh_CN"_qs, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    frmMain window;
    QObject::connect(&window, &frmMain::unloaded, &app, &QApplication::quit);
    window.show();
    return QApplication::exec();
}
