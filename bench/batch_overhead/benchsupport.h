#pragma once

#include "../common/machine.h"

// Pieces the encoder benchmarks share: the machine they ran on, clips made
// with ffmpeg, and programs run without anything of ours in between.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

using namespace Qt::Literals::StringLiterals;

using ::printMachine;

inline bool run(const QString &program, const QStringList &args,
                const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                QByteArray *output = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(-1))
        return false;
    const QByteArray text = p.readAll();
    if (output)
        *output = text;
    const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        std::fprintf(stderr, "%s failed:\n%s\n", qPrintable(program), text.constData());
    return ok;
}

// A test picture with a tone, H.264 and AAC in MP4, as a camera would leave it.
inline bool makeClip(const QString &path, int seconds, const QString &size,
                     const QStringList &videoOptions = {u"-preset"_s, u"ultrafast"_s})
{
    return run(u"ffmpeg"_s,
               QStringList{u"-nostdin"_s, u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s,
                           u"-i"_s, u"testsrc2=s=%1:r=25:d=%2"_s.arg(size).arg(seconds), u"-f"_s,
                           u"lavfi"_s, u"-i"_s, u"sine=d=%1"_s.arg(seconds), u"-c:v"_s,
                           u"libx264"_s} +
                   videoOptions + QStringList{u"-c:a"_s, u"aac"_s, path});
}

// Runs a program as a shell would: plain fork and exec, output thrown away.
// environment: "NAME=value" entries added to ours.
inline bool spawn(const QList<QByteArray> &argv, const QList<QByteArray> &environment = {})
{
    QList<char *> pointers;
    for (const QByteArray &arg : argv)
        pointers.append(const_cast<char *>(arg.constData()));
    pointers.append(nullptr);
    QList<char *> env;
    for (char **entry = environ; *entry; ++entry)
        env.append(*entry);
    for (const QByteArray &entry : environment)
        env.append(const_cast<char *>(entry.constData()));
    env.append(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// CPU time of every finished child, grandchildren included: steadier than the
// clock on a machine that is busy with other work.
inline double childCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000 + double(t.tv_usec) / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// One ffmpeg run as the logging stand-in (ffmpeglog.cpp) saw it.
struct Record
{
    QList<QByteArray> args;
    qint64 start = 0; // monotonic, in ns
    qint64 ns = 0;    // how long ffmpeg ran
};

inline QList<Record> readRecords(const QString &log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    QList<Record> records;
    qsizetype at = 0;
    while (at + qsizetype(sizeof(quint32) + 2 * sizeof(qint64)) <= data.size()) {
        quint32 count = 0;
        qint64 start = 0, end = 0;
        std::memcpy(&count, data.constData() + at, sizeof count);
        std::memcpy(&start, data.constData() + at + sizeof count, sizeof start);
        std::memcpy(&end, data.constData() + at + sizeof count + sizeof start, sizeof end);
        at += sizeof count + sizeof start + sizeof end;
        Record record;
        record.start = start;
        record.ns = end - start;
        for (quint32 i = 0; i < count && at < data.size(); ++i) {
            const qsizetype stop = data.indexOf('\0', at);
            if (stop < 0)
                return {};
            record.args.append(data.mid(at, stop - at));
            at = stop + 1;
        }
        records.append(record);
    }
    return records;
}

} // namespace bench
