// torvane-cli: the batch of the window, without the window.
#include "cliarguments.h"
#include "common/paths.h"
#include "conversion/batchcontroller.h"
#include "conversion/conversionsettings.h"
#include "conversion/previewmaker.h"
#include "joblist/foldersearch.h"
#include "joblist/jobqueue.h"
#include "jsonreporter.h"
#include "printing.h"
#include "process/scratchfolder.h"
#include "process/signalpipe.h"
#include "process/stopsignals.h"
#include "textreporters.h"
#include "texts/statustexts.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <memory>

namespace {

int usageError(const QString &message)
{
    printLine(stderr, u"torvane-cli: "_qs + message);
    writeBytes(stderr, cliUsage());
    return 2;
}

// --help, --list and --version: prints what was asked; false when none was.
bool printRequestedInfo(const CliArguments &args)
{
    if (args.help) {
        writeBytes(stdout, cliUsage());
    } else if (!args.list.isEmpty()) {
        const QStringList names =
            args.list == u"formats" ? Formats::cliNames() : ConversionSettings::rotationCliNames();
        for (const QString &name : names)
            printLine(stdout, name);
    } else if (args.version) {
        printLine(stdout, u"torvane-cli "_qs + QStringLiteral(TORVANE_VERSION));
    } else {
        return false;
    }
    return true;
}

// The window's start-up settings, then what the arguments change.
void applyArguments(ConversionSettings &settings, const CliArguments &args)
{
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
    settings.setSourceOrientation(args.sourceOrientation);
    if (args.clipFrom)
        settings.setClip(
            ClipRange{*args.clipFrom, args.clipTo ? *args.clipTo - *args.clipFrom : 0});
    if (!args.output.isEmpty())
        // Relative to where the command runs; "~" is the batch's to expand.
        settings.setOutputFolder(isAbsolutePath(args.output) || args.output.startsWith(u'~')
                                     ? args.output
                                     : QDir::current().filePath(args.output));
}

struct AddedJobs
{
    // Each job's source as reached from the path given: relative below a
    // relative path, which is how a copy to another machine places it.
    QStringList sourcesAsGiven;
    QStringList unreadableFolders;
};

// A job for every file given and every file in the folders given.
AddedJobs addJobs(JobQueue &jobs, const QStringList &paths)
{
    AddedJobs added;
    for (const QString &path : paths) {
        const QString absolute = QDir::current().absoluteFilePath(path);
        // The current folder put in front of a relative path, taken off again.
        const qsizetype currentFolder = absolute.size() - path.size();
        QStringList files{absolute};
        QString root; // a folder's files keep the folders below it
        if (RawFile::isDirectory(absolute)) {
            FolderSearchResult found = searchFolderReporting(absolute);
            files = std::move(found.files);
            added.unreadableFolders << found.unreadable;
            root = absolute;
        }
        jobs.addJobs(files, root);
        for (const QString &file : std::as_const(files))
            added.sourcesAsGiven << file.mid(currentFolder);
    }
    return added;
}

// --dry-run: what the batch would run, or with --print0 the job list itself,
// every name exactly its bytes. A folder left unread makes that list short,
// which is no success.
int printDryRun(const CliArguments &args, const BatchController &batch, const AddedJobs &added,
                BatchReporter &reporter)
{
    if (args.print0) {
        for (const QString &source : added.sourcesAsGiven)
            writeBytes(stdout, pathToBytes(source) + '\0');
    } else {
        for (const PassCommand &pass : batch.previewFirstPasses())
            printLine(stdout, pass.command.text);
    }
    for (const QString &folder : added.unreadableFolders)
        reporter.folderUnreadable(folder);
    return added.unreadableFolders.isEmpty() ? 0 : 1;
}

BatchOptions batchOptions(const CliArguments &args)
{
    BatchOptions options;
    options.playSound = false;
    options.lossless = args.lossless;
    options.keepMetadata = args.keepMetadata;
    options.parallelJobs = args.parallelJobs;
    options.nameTemplate = args.nameTemplate;
    options.keepTree = args.keepTree;
    return options;
}

std::unique_ptr<BatchReporter> reporterFor(const CliArguments &args)
{
    if (args.json)
        return std::make_unique<JsonReporter>();
    if (args.quiet)
        return std::make_unique<PlainReporter>(
            PlainReporter::Options{.progress = false, .notes = false});
    if (stdoutIsTerminal())
        return std::make_unique<TerminalReporter>();
    return std::make_unique<PlainReporter>(PlainReporter::Options{});
}

// Every event but the batch's end, which also decides the exit status.
void connectReporter(BatchController &batch, BatchReporter &reporter, QObject *context)
{
    using B = BatchController;
    QObject::connect(&batch, &B::jobStarted, context,
                     [&](const BatchPosition &position) { reporter.jobStarted(position); });
    QObject::connect(&batch, &B::passStarted, context,
                     [&](quint64, const PassCommand &pass) { reporter.passStarted(pass); });
    QObject::connect(&batch, &B::positionChanged, context,
                     [&](const BatchPosition &position) { reporter.positionChanged(position); });
    QObject::connect(&batch, &B::jobDone, context,
                     [&](quint64 id, const QString &source, const QString &output) {
                         reporter.jobDone(id, source, output);
                     });
    QObject::connect(&batch, &B::jobFailed, context,
                     [&](const JobFailure &failure) { reporter.jobFailed(failure); });
    QObject::connect(&batch, &B::losslessRefused, context,
                     [&](quint64 id, const QString &source, const QString &why) {
                         reporter.losslessRefused(id, source, why);
                     });
    QObject::connect(&batch, &B::jobStopped, context,
                     [&](quint64 id, const QString &source) { reporter.jobStopped(id, source); });
    QObject::connect(
        &batch, &B::batchFailed, context,
        [&](FailureReason reason, const QString &detail) { reporter.batchFailed(reason, detail); });
}

int batchExitStatus(const BatchSummary &summary, int caughtSignal, bool filesLeftOut)
{
    if (caughtSignal != 0)
        return 128 + caughtSignal;
    // A folder that could not be read left files out: not a clean run.
    return summary.failures.isEmpty() && !filesLeftOut ? 0 : 1;
}

// Nothing to convert is no failure; a folder unread or unusable is.
int unstartedExitStatus(BatchController::StartResult result, bool filesLeftOut)
{
    return result == BatchController::StartResult::EmptyList && !filesLeftOut ? 0 : 1;
}

// --preview: the one job's output frame, drawn by the encoder into the PNG.
int makePreview(QCoreApplication &app, BatchController &batch, const JobQueue &jobs,
                const QString &picture)
{
    if (jobs.count() != 1)
        return usageError(u"--preview takes one video file"_qs);
    const std::optional<EncoderCommand> command =
        previewCommand(batch.inputsFor(jobs.job(0)), QDir::current().absoluteFilePath(picture));
    if (!command) {
        printLine(stderr, u"torvane-cli: 这个格式只有声音，没有画面"_qs);
        return 1;
    }
    EncoderProcess encoder;
    Report::Reader reader;
    const QString asked = QDir::current().absoluteFilePath(picture);
    // Only the picture asked for, or one numbered beside it, is what was written.
    const auto written = [&] {
        const QString output = reader.report().output;
        return isNameOf(asked, output) ? output : QString();
    };
    QObject::connect(&encoder, &EncoderProcess::reportReceived, &app,
                     [&](const QByteArray &piece) { reader.feed(piece); });
    QObject::connect(&encoder, &EncoderProcess::finished, &app, [&](const RunOutcome &outcome) {
        app.exit(outcome.succeeded() && !written().isEmpty() ? 0 : 1);
    });
    int caughtSignal = 0;
    StopSignals signals;
    QObject::connect(&signals, &StopSignals::received, &app, [&](int sig) {
        caughtSignal = sig;
        encoder.stop();
    });
    if (!encoder.start(*command)) {
        printLine(stderr,
                  u"torvane-cli: "_qs + StatusTexts::failure(FailureReason::EncoderMissing));
        return 1;
    }
    if (app.exec() == 0) {
        // The encoder never replaces a file: the name it wrote may differ.
        printLine(stdout, displayPath(written()));
        return 0;
    }
    if (caughtSignal != 0)
        return 128 + caughtSignal;
    FailureReason reason = failureReasonOf(reader.report().error);
    if (reason == FailureReason::None)
        reason = FailureReason::EncoderFailed;
    printLine(stderr, u"torvane-cli: 无法预览："_qs + StatusTexts::failure(reason));
    if (!reader.report().detail.isEmpty())
        printLine(stderr, displayPath(reader.report().detail));
    return 1;
}

class QuietActions : public CompletionActions
{
public:
    bool openFolder(const QString &) override { return true; }
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
    if (printRequestedInfo(args))
        return 0;
    if (!args.error.isEmpty())
        return usageError(args.error);

    ConversionSettings settings;
    applyArguments(settings, args);
    JobQueue jobs;

    // Made before the batch, so it outlives anything the batch reports.
    const std::unique_ptr<BatchReporter> reporter = reporterFor(args);
    ScratchFolder scratch;
    QuietActions actions;
    BatchController batch(settings, jobs, &actions);
    batch.setStartDelay(0);
    if (scratch.isValid())
        batch.setScratchFolder(scratch.path());
    batch.setOptions(batchOptions(args));
    // Once the batch holds the settings: jobs take those of the moment they are added.
    const AddedJobs added = addJobs(jobs, args.paths);
    const QStringList &unreadable = added.unreadableFolders;
    const bool filesLeftOut = !unreadable.isEmpty();

    if (!args.preview.isEmpty())
        return makePreview(app, batch, jobs, args.preview);
    if (args.dryRun)
        return printDryRun(args, batch, added, *reporter);

    connectReporter(batch, *reporter, &app);
    // Every conversion made on this machine shows in the window's record,
    // whichever front end made it.
    JobHistory history;
    if (args.record)
        QObject::connect(&batch, &BatchController::jobRecorded, &app,
                         [&history](const JobRecord &record) { history.append(record); });
    int caughtSignal = 0;
    QObject::connect(&batch, &BatchController::batchEnded, &app, [&](const BatchSummary &summary) {
        const int status = batchExitStatus(summary, caughtSignal, filesLeftOut);
        reporter->batchEnded(summary, status);
        app.exit(status);
    });

    // A signal stops the batch from the event loop; the encoder's partial file goes.
    std::signal(SIGPIPE, SIG_IGN);
    StopSignals signals;
    // The encoders run in process groups of their own, out of the terminal's
    // reach: Ctrl+Z holds them before it stops this program, and they go on with it.
    StopSignalPipe::catchTerminalStop();
    QObject::connect(&signals, &StopSignals::received, &app, [&](int sig) {
        if (sig == SIGTSTP) {
            batch.pause();
            StopSignalPipe::stopUntilContinued();
            batch.resume();
            return;
        }
        if (caughtSignal == 0)
            caughtSignal = sig;
        if (batch.isBusy())
            batch.stop(BatchController::StopMode::Now);
        else
            app.exit(128 + caughtSignal);
    });

    reporter->batchStarted(jobs.count());
    for (const QString &folder : unreadable)
        reporter->folderUnreadable(folder);
    const BatchController::StartResult started = batch.start();
    if (started == BatchController::StartResult::Started)
        return app.exec();
    const int status = unstartedExitStatus(started, filesLeftOut);
    reporter->batchEnded({}, status);
    return status;
}
