#pragma once

#include "common/transform.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

struct AVFormatContext;
struct AVStream;

// A picture's colour as libav names it ("bt2020", "smpte2084", "bt2020nc",
// "tv"); empty where the source does not say.
struct Colour
{
    QString primaries;
    QString transfer;
    QString matrix;
    QString range;
    int bitDepth = 8;
    // What players use to show HDR: the mastering display's peak and the
    // brightest pixel of the content, in cd/m² (0 when not given), and a
    // Dolby Vision configuration with its profile.
    double masteringPeak = 0;
    int maxContentLight = 0;
    bool dolbyVision = false;
    int dolbyVisionProfile = 0;

    bool isPq() const { return transfer == u"smpte2084"; }
    bool isHlg() const { return transfer == u"arib-std-b67"; }
    // Brightness an 8-bit SDR picture can only show tone-mapped; raw, it looks grey.
    bool isHdr() const { return isPq() || isHlg() || dolbyVision; }
};

// A stream that holds neither picture nor sound: timecode, GPS, a phone's
// metadata track.
struct DataTrack
{
    int index = -1;
    QString codec; // libavcodec's name, "none" when it has no codec of libav's
    QString tag;   // the container's four letters ("gpmd", "mebx")
};

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
    // One picture and no sound: a photo, however it is stored.
    bool stillPicture = false;
    int sampleRate = 0;
    QString videoCodec; // libavcodec's names
    QString audioCodec;

    // The video converted: the first that is neither a cover picture nor a
    // single still picture beside a moving one (a motion photo's). Its index
    // among the file's streams, and how many video streams there are.
    int videoStream = -1;
    int videoStreams = 0;
    // Whether it is the first video that is no cover picture, as ffmpeg's 0:V:0 takes it.
    bool firstVideo = true;
    qint64 frames = 0; // of that video, 0 when unknown

    // Frame timing: the average rate, the rate its timestamps are counted in
    // (the shortest gap between frames), and whether the gaps differ.
    double frameRate = 0;
    double fastestRate = 0;
    bool variableRate = false;

    QSize codedSize; // of the picture as stored; invalid when unknown
    // The width of a pixel over its height, as the container or the codec says.
    double pixelAspect = 1;
    Colour colour;
    // What a player does to the picture by the video's display matrix; none
    // when that is no whole quarter turn or mirror.
    std::optional<PictureTransform> display = PictureTransform();
    // Each converted stream's own length in seconds, 0 when unknown.
    double videoDuration = 0;
    double audioDuration = 0;
    // The container's creation_time as libav spells it ("2024-05-01T10:20:30.000000Z"),
    // and whether it has a date of its own.
    QString creationTime;
    bool hasDate = false;
    // The container's metadata texts, as UTF-8.
    QList<std::pair<QByteArray, QByteArray>> tags;
    QList<DataTrack> dataTracks;
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

// The video a job converts, as MediaInfo::videoStream tells; -1 when there is none.
int mainVideoStream(const AVFormatContext *context);

// The source's colour as the stream's parameters and side data tell it.
Colour streamColour(const AVStream *stream);

// What a player does to the stream's picture by its display matrix: nothing
// without one; none when the matrix is no whole quarter turn or mirror.
std::optional<PictureTransform> displayTransform(const AVStream *stream);
