#include "skin.h"

#include <QApplication>
#include <QFile>

namespace {

bool attached = false;
QString previousSheet;

QApplication *application()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance());
}

} // namespace

void attachSkin()
{
    QApplication *app = application();
    if (!app || attached)
        return;
    QFile file(u":/skin/torvane.qss"_qs);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString sheet = QString::fromUtf8(file.readAll());
    if (sheet.trimmed().isEmpty())
        return;
    previousSheet = app->styleSheet();
    app->setStyleSheet(sheet);
    attached = true;
}

void detachSkin()
{
    QApplication *app = application();
    if (!attached)
        return;
    attached = false;
    if (app)
        app->setStyleSheet(previousSheet);
    previousSheet.clear();
}
