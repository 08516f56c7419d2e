#pragma once
// Running programs with argument lists, and making tiny clips, for the
// package tests.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

struct Run
{
    int exitCode = -1;
    QString out, err;
};

inline Run run(const QString &program, const QStringList &args,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(300000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// One second of test picture and tone; the container follows the extension.
inline bool makeClip(const QString &path)
{
    return run(u"ffmpeg"_qs, {u"-nostdin"_qs, u"-v"_qs, u"error"_qs, u"-f"_qs, u"lavfi"_qs,
                              u"-i"_qs, u"testsrc=s=64x48:r=10:d=1"_qs, u"-f"_qs, u"lavfi"_qs,
                              u"-i"_qs, u"sine=d=1"_qs, u"-shortest"_qs, path})
               .exitCode == 0;
}

// Bytes that no demuxer takes for a video.
inline bool makeCorruptClip(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QByteArray(4096, 'x')) == 4096;
}
