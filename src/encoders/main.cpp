#include "childprocess.h"
#include "commandline.h"
#include "common/paths.h"
#include "console.h"
#include "phaselog.h"
#include "runner.h"

#include "process/signalpipe.h"

#include <QByteArray>
#include <QStringList>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char *argv[])
{
    PhaseLog::mark(PhaseLog::Mark::Exec);
    // Before anything can take descriptor 3 or write a report.
    console::openReportChannel();
    ensureStandardDescriptors();
    // A stop is passed on to ffmpeg and the part file removed; a reader that
    // went away shows as a failed write, not as sudden death.
    StopSignalPipe::install();
    std::signal(SIGPIPE, SIG_IGN);

    // Names are bytes: Qt's own decoding of argv would lose those that are not UTF-8.
    QByteArray name = argc > 0 ? QByteArray(argv[0]) : QByteArray();
    name = name.mid(name.lastIndexOf('/') + 1);
    Tool tool;
    if (name == "conv")
        tool = Tool::Conv;
    else if (name == "coder")
        tool = Tool::Coder;
    else if (name == "coder2")
        tool = Tool::Coder2;
    else {
        console::failure(Tool::Conv, Report::Error::Usage,
                         u"Started as %1: run me as conv, coder or coder2"_s.arg(
                             displayPath(pathFromBytes(name))));
        return 2;
    }

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(pathFromBytes(argv[i]));
    const ParseResult parsed = parseCommandLine(tool, arguments);
    if (!parsed.error.isEmpty()) {
        console::failure(tool, Report::Error::Usage,
                         QString::fromLatin1(name) + u": "_s + parsed.error);
        return 2;
    }
    if (parsed.probe)
        return runProbes(parsed.probePaths);
    if (!parsed.job.preview.isEmpty())
        return runPreview(parsed.job);
    return runJob(parsed.job);
}
