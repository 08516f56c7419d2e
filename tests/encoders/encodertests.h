#pragma once

// What the encoders' tests share: running programs, asking ffprobe, reading
// the encoders' report lines.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

struct Result
{
    int code = -1;
    QByteArray output; // stdout and stderr joined, as the caller reads them
};

inline const QString encoders = QStringLiteral(TORVANE_BUILD_DIR "/data/");

// environment: "NAME=value" entries added to ours. A run that has not ended
// within timeoutMs is killed and gives code -2.
inline Result run(const QString &program, const QStringList &args,
                  const QStringList &environment = {}, int timeoutMs = -1)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!environment.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : environment)
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process.setProcessEnvironment(env);
    }
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
        return {-2, process.readAll()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll()};
}

inline bool ffmpeg(const QStringList &args)
{
    return run(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + args).code == 0;
}

inline QJsonObject probe(const QString &path)
{
    const Result r = run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-print_format"_s, u"json"_s,
                                        u"-show_format"_s, u"-show_streams"_s, path});
    return QJsonDocument::fromJson(r.output).object();
}

inline QJsonObject firstStream(const QJsonObject &info, const QString &type)
{
    for (const QJsonValue &s : info.value(u"streams"_s).toArray())
        if (s[u"codec_type"_s].toString() == type)
            return s.toObject();
    return {};
}

inline QSize frameSize(const QJsonObject &video)
{
    return {video[u"width"_s].toInt(), video[u"height"_s].toInt()};
}

// A command line from a space-separated text; placeholders such as %SRC are
// replaced afterwards, so the paths they stand for may hold spaces.
inline QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

// The "[torvane] KEY=" value of a machine line, with the fields after it, or a
// null array without one.
inline QByteArray machineValue(const QByteArray &output, const QByteArray &key)
{
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("[torvane] " + key + '='))
            return line.mid(11 + key.size());
    }
    return {};
}
