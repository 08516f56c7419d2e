#include "commandline.h"
#include "runner.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char *argv[])
{
    installSignalForwarding();
    QCoreApplication app(argc, argv);

    QString name = QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : "")).fileName();
    if (name.endsWith(u".exe"_s, Qt::CaseInsensitive))
        name.chop(4);
    Tool tool;
    if (name == u"conv")
        tool = Tool::Conv;
    else if (name == u"coder")
        tool = Tool::Coder;
    else if (name == u"coder2")
        tool = Tool::Coder2;
    else {
        printMessage(Tool::Conv, u"Started as %1: run me as conv, coder or coder2"_s.arg(name));
        return 2;
    }

    QStringList arguments = app.arguments();
    arguments.removeFirst();
    const ParseResult parsed = parseCommandLine(tool, arguments);
    if (!parsed.error.isEmpty()) {
        printMessage(tool, name + u": "_s + parsed.error);
        return 2;
    }
    return runJob(parsed.job);
}
