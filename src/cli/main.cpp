// torvane-cli: the batch of the window, without the window.
#include "cliarguments.h"
#include "common/paths.h"
#include "conversion/batchcontroller.h"
#include "conversion/conversionsettings.h"
#include "joblist/foldersearch.h"
#include "joblist/joblistmodel.h"
#include "jsonreporter.h"
#include "printing.h"
#include "process/scratchfolder.h"
#include "process/stopsignals.h"
#include "texts/statustexts.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>

#include <cmath>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int usageError(const QString &message)
{
    printLine(stderr, u"torvane-cli: "_qs + message);
    writeBytes(stderr, cliUsage());
    return 2;
}

int terminalColumns()
{
    winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

bool stdoutIsTerminal()
{
    const QByteArray term = qgetenv("TERM");
    return ::isatty(STDOUT_FILENO) && term != "dumb";
}

// Columns a text takes on a terminal: East Asian characters take two.
int columnsOf(QStringView text)
{
    int columns = 0;
    for (const QChar c : text)
        columns += c.unicode() >= 0x1100 && !c.isLowSurrogate() ? 2 : 1;
    return columns;
}

QString fitTo(QString text, int columns)
{
    while (columnsOf(text) > columns && !text.isEmpty())
        text.chop(1);
    return text;
}

class QuietActions : public CompletionActions
{
public:
    void openFolder(const QString &) override {}
    void playSound(const QString &, std::function<void()> done) override { done(); }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Torvane"_qs);

    // The arguments byte for byte: a file name need not be valid UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << pathFromBytes(argv[i]);
    const CliArguments args = parseCliArguments(arguments);
    if (args.help) {
        writeBytes(stdout, cliUsage());
        return 0;
    }
    if (!args.list.isEmpty()) {
        const QStringList names =
            args.list == u"formats" ? Formats::cliNames() : ConversionSettings::rotationCliNames();
        for (const QString &name : names)
            printLine(stdout, name);
        return 0;
    }
    if (args.version) {
        printLine(stdout, u"torvane-cli "_qs + QStringLiteral(TORVANE_VERSION));
        return 0;
    }
    if (!args.error.isEmpty())
        return usageError(args.error);

    ConversionSettings settings;
    settings.applyStartupDefaults();
    settings.applyStartupFormat();
    if (args.rotation >= 0)
        settings.selectRotation(args.rotation);
    if (args.format >= 0)
        settings.selectFormat(args.format);
    for (int s = 0; s < ConversionSettings::SettingCount; ++s) {
        if (args.settings[size_t(s)])
            settings.setText(ConversionSettings::Setting(s), *args.settings[size_t(s)]);
    }
    if (args.channels > 0)
        settings.selectChannel(args.channels - 1);
    if (!args.output.isEmpty())
        settings.setOutputFolder(args.output.startsWith(u'/') || args.output.startsWith(u'~')
                                     ? args.output
                                     : QDir::current().filePath(args.output));

    JobListModel jobs;
    QStringList unreadable;
    for (const QString &path : args.paths) {
        const QString absolute = QDir::current().absoluteFilePath(path);
        if (RawFile::isDirectory(absolute)) {
            const FolderSearchResult found = searchFolderReporting(absolute);
            jobs.addJobs(found.files);
            unreadable << found.unreadable;
        } else {
            jobs.addJob(absolute);
        }
    }

    ScratchFolder scratch;
    QuietActions actions;
    BatchController batch(settings, jobs, &actions);
    batch.setStartDelay(0);
    if (scratch.isValid())
        batch.setScratchFolder(scratch.path());
    BatchOptions options;
    options.playSound = false;
    options.lossless = args.lossless;
    if (args.clipFrom)
        options.clip = ClipRange{*args.clipFrom, args.clipTo ? *args.clipTo - *args.clipFrom : 0};
    batch.setOptions(options);

    if (args.dryRun) {
        for (const PassCommand &pass : batch.previewFirstPasses())
            printLine(stdout, pass.command.text);
        return 0;
    }

    const bool json = args.json;
    const bool terminal = !json && !args.quiet && stdoutIsTerminal();
    const bool plain = !json && !args.quiet && !terminal;
    JsonReporter jsonReporter;
    int caughtSignal = 0;
    bool lineOpen = false; // the terminal's progress line is showing
    QString lastLine;
    BatchPosition position;

    auto closeLine = [&] {
        if (lineOpen)
            writeBytes(stdout, "\r\x1b[K");
        lineOpen = false;
    };
    auto result = [&](const QString &text) {
        closeLine();
        printLine(stdout, text);
    };
    auto showProgress = [&](const ProgressDisplay &display) {
        QString line = StatusTexts::position(position.number, position.total);
        if (terminal) {
            line += u' ' + displayPath(QDir(position.source).dirName());
            if (position.passes > 1)
                line += u" 第 %1/%2 遍"_qs.arg(position.pass).arg(position.passes);
            line += u" %1%"_qs.arg(int(std::floor(position.fraction * 100)));
        } else {
            QString caption = display.caption;
            caption.replace(batch.progress().spinner + u' ', QString());
            line += u' ' + caption;
        }
        if (position.remainingSeconds)
            line += u' ' + StatusTexts::remaining(*position.remainingSeconds);
        if (line == lastLine)
            return;
        lastLine = line;
        if (terminal) {
            writeBytes(stdout, "\r\x1b[K" + fitTo(line, terminalColumns() - 1).toUtf8());
            lineOpen = true;
        } else {
            printLine(stdout, line);
        }
    };

    QObject::connect(&batch, &BatchController::jobStarted, &app, [&](const BatchPosition &p) {
        position = p;
        if (json)
            jsonReporter.jobStarted(p);
    });
    QObject::connect(&batch, &BatchController::passStarted, &app,
                     [&](quint64, const PassCommand &pass) {
                         if (plain)
                             printLine(stdout, pass.command.text);
                         lastLine.clear();
                     });
    QObject::connect(&batch, &BatchController::positionChanged, &app, [&](const BatchPosition &p) {
        position = p;
        if (json)
            jsonReporter.positionChanged(p);
    });
    QObject::connect(&batch, &BatchController::progressChanged, &app,
                     [&](const ProgressDisplay &display) {
                         if (terminal || plain)
                             showProgress(display);
                     });
    QObject::connect(&batch, &BatchController::jobDone, &app,
                     [&](quint64, const QString &source, const QString &output) {
                         if (json)
                             jsonReporter.jobDone(source, output);
                         else
                             result(u"OK "_qs + output);
                     });
    QObject::connect(&batch, &BatchController::jobFailed, &app, [&](const JobFailure &f) {
        if (json) {
            jsonReporter.jobFailed(f);
            return;
        }
        QString text = u"FAILED "_qs + f.source + u": "_qs + StatusTexts::failure(f.reason);
        if (!f.detail.isEmpty())
            text += u" ("_qs + f.detail + u')';
        result(text);
    });
    QObject::connect(&batch, &BatchController::losslessRefused, &app,
                     [&](quint64, const QString &source, const QString &why) {
                         if (json)
                             jsonReporter.losslessRefused(source, why);
                         else if (!args.quiet)
                             result(u"NOTE "_qs + source + u": "_qs +
                                    StatusTexts::losslessRefusal(why));
                     });
    QObject::connect(&batch, &BatchController::jobStopped, &app,
                     [&](quint64, const QString &source) {
                         if (json)
                             jsonReporter.jobStopped(source);
                         else
                             result(u"STOPPED "_qs + source);
                     });
    QObject::connect(&batch, &BatchController::batchFailed, &app,
                     [&](FailureReason reason, const QString &detail) {
                         if (json)
                             jsonReporter.batchFailed(reason, detail);
                         else
                             printLine(stderr, u"torvane-cli: "_qs + StatusTexts::failure(reason) +
                                                   u" ("_qs + detail + u')');
                     });
    auto exitStatus = [&](const BatchSummary &summary) {
        if (caughtSignal != 0)
            return 128 + caughtSignal;
        // A folder that could not be read left files out: not a clean run.
        return summary.failures.isEmpty() && unreadable.isEmpty() ? 0 : 1;
    };
    auto printBatchEnd = [&](const BatchSummary &s, int status) {
        if (json)
            jsonReporter.batchEnded(s, status);
    };
    QObject::connect(&batch, &BatchController::batchEnded, &app, [&](const BatchSummary &s) {
        closeLine();
        const int status = exitStatus(s);
        printBatchEnd(s, status);
        app.exit(status);
    });

    // A signal stops the batch from the event loop; the encoder's partial file goes.
    std::signal(SIGPIPE, SIG_IGN);
    StopSignals signals;
    QObject::connect(&signals, &StopSignals::received, &app, [&](int sig) {
        if (caughtSignal == 0)
            caughtSignal = sig;
        if (batch.isBusy())
            batch.stop(BatchController::StopMode::Now);
        else
            app.exit(128 + caughtSignal);
    });

    if (json)
        jsonReporter.batchStarted(jobs.count());
    for (const QString &folder : std::as_const(unreadable)) {
        if (json)
            jsonReporter.folderUnreadable(folder);
        else
            printLine(stderr, u"torvane-cli: 无法读取文件夹，其中的文件没有加入："_qs + folder);
    }
    const BatchController::StartResult started = batch.start();
    if (started == BatchController::StartResult::Started)
        return app.exec();
    // Nothing to convert is no failure; a folder unread or unusable is.
    const int status =
        started == BatchController::StartResult::EmptyList && unreadable.isEmpty() ? 0 : 1;
    printBatchEnd({}, status);
    return status;
}
