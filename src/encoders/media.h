#pragma once

#include "common/transform.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>

struct AVFormatContext;
struct AVStream;

// What libavformat tells about the source. A figure outside what a real file
// could hold counts as unknown, so the container's usual choice applies.
struct MediaInfo
{
    bool valid = false;
    QString error;             // why the source could not be opened, when not valid
    bool libavMissing = false; // libav could not be loaded: nothing is known
    double duration = 0;       // seconds, 0 when unknown
    double start = 0;
    bool hasVideo = false; // a cover picture is no video
    bool hasAudio = false;
    int sampleRate = 0;
    double frameRate = 0;
    QString videoCodec; // libavcodec's names
    QString audioCodec;
    QSize codedSize; // of the picture as stored; invalid when unknown
    // What a player does to the picture by the video's display matrix; none
    // when that is no whole quarter turn or mirror.
    std::optional<PictureTransform> display = PictureTransform();
    // Each stream's own length in seconds, 0 when unknown.
    double videoDuration = 0;
    double audioDuration = 0;
    // The container's creation_time as libav spells it ("2024-05-01T10:20:30.000000Z"),
    // and whether it has a date of its own.
    QString creationTime;
    bool hasDate = false;
};

// Asked now and then while libav reads: true makes it give up.
using Cancelled = std::function<bool()>;

// Gives up, as invalid, soon after cancelled() turns true.
MediaInfo probeMedia(const QString &path, const Cancelled &cancelled = {});

// Whether ffmpeg's muxer of that name stores the codec as it is; false without libav.
bool muxerCarries(const QString &muxer, const QString &codec);

// ffmpeg's own muxer for a file name, from its extension; empty when it has
// none, or without libav.
QString guessedMuxer(const QString &fileName);

// An input opened by libavformat, closed when it goes.
struct CloseInput
{
    void operator()(AVFormatContext *context) const;
};
using InputContext = std::unique_ptr<AVFormatContext, CloseInput>;

// What follows needs libav loaded (libav() answered).

// Opens a local file as a file: URL, so that a colon in its name is never
// read as a protocol; returns a negative AVERROR when it cannot. Reading
// stops with AVERROR_EXIT once cancelled() turns true; it must outlive the input.
int openInput(const QString &path, InputContext *input, const Cancelled &cancelled = {});

// libav's text for an AVERROR.
QString libavError(int code);

// The first video stream that is no cover picture; -1 when there is none.
int firstVideoStream(const AVFormatContext *context);

// What a player does to the stream's picture by its display matrix: nothing
// without one; none when the matrix is no whole quarter turn or mirror.
std::optional<PictureTransform> displayTransform(const AVStream *stream);
