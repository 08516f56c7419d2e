// Ten short clips converted through torvane-cli, against the same encoder
// commands run one after another directly: what the batch adds on top.
#include "conversion/commands.h"
#include "conversion/conversionsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>

#include <cstdio>

namespace {

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(-1))
        return false;
    p.readAll();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString build = QStringLiteral(TORVANE_BUILD_DIR);
    if (!QFile::exists(build + u"/data/conv"_qs)) {
        std::printf("batch overhead: no encoders in %s/data\n", qPrintable(build));
        return 1;
    }
    QTemporaryDir dir;
    QStringList clips;
    for (int i = 0; i < 10; ++i) {
        const QString clip = dir.filePath(u"clip%1.avi"_qs.arg(i));
        if (!run(u"ffmpeg"_qs, {u"-nostdin"_qs, u"-v"_qs, u"error"_qs, u"-f"_qs, u"lavfi"_qs,
                                u"-i"_qs, u"testsrc=size=320x240:rate=25"_qs, u"-f"_qs, u"lavfi"_qs,
                                u"-i"_qs, u"sine"_qs, u"-t"_qs, u"2"_qs, clip}))
            return 1;
        clips << clip;
    }

    QDir().mkpath(dir.filePath(u"direct"_qs));
    ConversionSettings settings;
    settings.applyStartupDefaults();
    settings.applyStartupFormat();
    QElapsedTimer timer;
    timer.start();
    for (const QString &clip : std::as_const(clips)) {
        CommandInputs in = commandInputs(settings);
        in.source = clip;
        in.outputFolder = dir.filePath(u"direct/"_qs);
        in.encoderFolder = build + u"/data"_qs;
        in.time = QTime::currentTime();
        in.exists = [](const QString &p) { return QFile::exists(p); };
        const PassCommand pass = firstPassCommand(in);
        if (!run(pass.command.program, pass.command.arguments))
            return 1;
    }
    const qint64 direct = timer.elapsed();

    timer.start();
    if (!run(QStringLiteral(TORVANE_CLI),
             QStringList{u"--quiet"_qs, u"--output"_qs, dir.filePath(u"cli"_qs)} + clips))
        return 1;
    const qint64 cli = timer.elapsed();

    std::printf("ten 2-second clips to MP4, rotated 90 degrees\n");
    std::printf("encoders run directly:  %lld ms\n", static_cast<long long>(direct));
    std::printf("through torvane-cli:    %lld ms\n", static_cast<long long>(cli));
    std::printf("ratio:                  %.3f (target at most 1.05)\n",
                double(cli) / double(std::max<qint64>(direct, 1)));
    return 0;
}
