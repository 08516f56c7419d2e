#pragma once

#include "commandline.h"

#include <QString>
#include <QStringList>

// What ffprobe told about the source; valid is false when it could not read it.
struct MediaInfo
{
    bool valid = false;
    double duration = 0; // seconds, 0 when unknown
    double start = 0;
    bool hasVideo = false;
    bool hasAudio = false;
    int sampleRate = 0;
    double frameRate = 0;

    static MediaInfo fromProbeJson(const QByteArray &json);
};

// ffmpeg's muxer for an output name, from its extension only; empty when unknown.
QString muxerForExtension(const QString &fileName);

// The complete ffmpeg argument list writing job's result to writePath.
QStringList ffmpegArguments(const EncodeJob &job, const MediaInfo &info, const QString &writePath);

// Local files go to ffmpeg as file: URLs, so a name holding a colon is never
// taken for a protocol.
QString ffmpegUrl(const QString &path);
