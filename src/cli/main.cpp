// torvane-cli: the batch of the window, without the window.
#include "conversion/batchdriver.h"
#include "conversion/conversionsettings.h"
#include "joblist/foldersearch.h"
#include "joblist/joblistmodel.h"
#include "process/messagesink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace {

const char usage[] =
    "usage: torvane-cli [--rotate R] [--format F] [--output DIR] [--dry-run] [--quiet]\n"
    "                   [--video-bitrate T] [--frame-rate T] [--size T] [--sample-rate T]\n"
    "                   [--audio-bitrate T] [--channels 1|2] PATH...\n"
    "  R: 0-4 or cw, ccw, hmirror, vflip, none (default cw)\n"
    "  F: 0-8 or flv, rm, mpg, avi, mp4, mov, phone-mp4, 3gp, mp3 (default mp4)\n";

void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

int usageError(const QString &message)
{
    print(stderr, u"torvane-cli: "_qs + message);
    std::fputs(usage, stderr);
    return 2;
}

// An index in range, or one of the names; -1 otherwise.
int choice(const QString &value, const QStringList &names)
{
    bool isNumber = false;
    const int index = value.toInt(&isNumber);
    if (isNumber)
        return index >= 0 && index < names.size() ? index : -1;
    return int(names.indexOf(value));
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

    QCommandLineParser parser;
    const QCommandLineOption rotate(u"rotate"_qs, QString(), u"R"_qs);
    const QCommandLineOption format(u"format"_qs, QString(), u"F"_qs);
    const QCommandLineOption output(u"output"_qs, QString(), u"DIR"_qs);
    const QCommandLineOption dryRun(u"dry-run"_qs);
    const QCommandLineOption quiet(u"quiet"_qs);
    const QCommandLineOption channels(u"channels"_qs, QString(), u"N"_qs);
    const QCommandLineOption help(QStringList{u"h"_qs, u"help"_qs});
    const std::pair<const char16_t *, ConversionSettings::Setting> settingOptions[] = {
        {u"video-bitrate", ConversionSettings::VideoBitrate},
        {u"frame-rate", ConversionSettings::FrameRate},
        {u"size", ConversionSettings::FrameSize},
        {u"sample-rate", ConversionSettings::SampleRate},
        {u"audio-bitrate", ConversionSettings::AudioBitrate},
    };
    parser.addOptions({rotate, format, output, dryRun, quiet, channels, help});
    for (const auto &[name, setting] : settingOptions)
        parser.addOption(QCommandLineOption(QString::fromUtf16(name), QString(), u"T"_qs));
    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (parser.positionalArguments().isEmpty())
        return usageError(u"no video file or folder given"_qs);

    ConversionSettings settings;
    settings.applyStartupDefaults();
    settings.applyStartupFormat();
    if (parser.isSet(rotate)) {
        const int r = choice(parser.value(rotate),
                             {u"cw"_qs, u"ccw"_qs, u"hmirror"_qs, u"vflip"_qs, u"none"_qs});
        if (r < 0)
            return usageError(u"unknown rotation: "_qs + parser.value(rotate));
        settings.selectRotation(r);
    }
    if (parser.isSet(format)) {
        const int f =
            choice(parser.value(format), {u"flv"_qs, u"rm"_qs, u"mpg"_qs, u"avi"_qs, u"mp4"_qs,
                                          u"mov"_qs, u"phone-mp4"_qs, u"3gp"_qs, u"mp3"_qs});
        if (f < 0)
            return usageError(u"unknown format: "_qs + parser.value(format));
        settings.selectFormat(f);
    }
    for (const auto &[name, setting] : settingOptions) {
        if (parser.isSet(QString::fromUtf16(name)))
            settings.setText(setting, parser.value(QString::fromUtf16(name)));
    }
    if (parser.isSet(channels)) {
        const QString n = parser.value(channels);
        if (n != u"1" && n != u"2")
            return usageError(u"--channels takes 1 or 2"_qs);
        settings.selectChannel(n.toInt() - 1);
    }
    if (parser.isSet(output))
        settings.setOutputFolder(QFileInfo(parser.value(output)).absoluteFilePath());

    JobListModel jobs;
    for (const QString &path : parser.positionalArguments()) {
        const QFileInfo info(path);
        if (info.isDir())
            jobs.addJobs(searchFolder(info.absoluteFilePath()));
        else
            jobs.addJob(info.absoluteFilePath());
    }

    StderrMessageSink messages;
    QuietActions actions;
    BatchDriver driver(settings, jobs, &messages, &actions);
    driver.setSoundReminder(1);

    if (parser.isSet(dryRun)) {
        for (const PassCommand &pass : driver.previewFirstPasses())
            print(stdout, pass.command.text);
        return 0;
    }

    const bool verbose = !parser.isSet(quiet);
    int failures = 0;
    QString lastCaption;
    if (verbose) {
        QObject::connect(&driver, &BatchDriver::passStarted, &app, [&](const PassCommand &pass) {
            print(stdout, pass.command.text);
            lastCaption.clear();
        });
        // One line per change of the figure; the busy indicator alone prints nothing.
        QObject::connect(&driver, &BatchDriver::progressChanged, &app,
                         [&](const ProgressDisplay &d) {
                             QString caption = d.caption;
                             caption.replace(driver.progress().spinner + u' ', QString());
                             if (caption != lastCaption && d.caption != u"Done.")
                                 print(stdout, caption);
                             lastCaption = caption;
                         });
    }
    QObject::connect(&driver, &BatchDriver::jobDone, &app,
                     [](const QString &, const QString &out) { print(stdout, u"OK "_qs + out); });
    QObject::connect(&driver, &BatchDriver::jobFailed, &app,
                     [&failures](const QString &source, const QString &reason) {
                         ++failures;
                         print(stdout, u"FAILED "_qs + source + u": "_qs + reason);
                     });
    QObject::connect(&driver, &BatchDriver::batchFinished, &app,
                     [&app, &failures] { app.exit(failures == 0 ? 0 : 1); });
    if (!driver.Start())
        return 1;
    return app.exec();
}
