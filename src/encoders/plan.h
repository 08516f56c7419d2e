#pragma once

#include "commandline.h"
#include "common/report.h"
#include "media.h"

#include <QList>
#include <QString>
#include <QStringList>

// The container the output is written in: the one its extension names, else
// the one the command line gave, else ffmpeg's own guess; empty when none.
QString outputMuxer(const EncodeJob &job);

// Whether ffmpeg's arguments wait for the probe: a lossless rotation decides
// between copying and encoding; codecs of fixed sizes, frame rates or square
// pixels, and containers of one frame rate (AVI), are fitted to the source's
// picture and timing; AVI and MP3 get the source's recording date spelt out;
// and a picture taken as stored (-noautorotate) needs the source's display
// matrix. Other jobs start ffmpeg first and probe while it runs; when the
// source then asks for other arguments (HDR, another video track, a text too
// long for the container), ffmpeg starts again with those.
bool probeFirst(const EncodeJob &job);

// Whether the muxer writes any metadata key only when told to write them all
// as tags of their own (mov's and mp4's mdta keys, which phones use).
bool writesMetadataTags(const QString &muxer);

// How a -lossless job is done: by copying the streams and turning the
// picture through the display matrix, or, when the source does not allow
// it, by encoding as usual.
struct LosslessChoice
{
    bool copy = false;
    Report::LosslessRefusal refusal = Report::LosslessRefusal::None; // why not
    QString codec;         // the source's video codec, when that is why
    int rotation = 0;      // the output's display rotation, degrees counter-clockwise
    QString audioCodec;    // empty: the audio is copied as it is
    QList<int> dataTracks; // the source's data tracks the container holds, copied too
};
LosslessChoice losslessChoice(const EncodeJob &job, const MediaInfo &info, const QString &muxer);

// Seconds that will be encoded: the clip range cut at the end of the streams
// the output takes from the source; 0 when unknown.
double encodedDuration(const EncodeJob &job, const MediaInfo &info);

// What a finished output must be like, from the job and its source; nothing
// is asked of it when the source could not be probed.
struct ExpectedOutput
{
    bool video = false; // it must hold a video stream
    bool audio = false; // and sound
    QSize shown;        // the video's displayed size; invalid when unknown
    // The picture's width over its height as a player shows it, its pixels'
    // shape included; 0 when unknown.
    double aspect = 0;
    // An 8-bit picture in SDR colours: the source's HDR was tone-mapped.
    bool sdr = false;
    double seconds = 0; // its length, 0 when unknown
};
ExpectedOutput expectedOutput(const EncodeJob &job, const MediaInfo &info,
                              const LosslessChoice &lossless);

// The complete ffmpeg argument list writing the job's result to outputUrl.
// info is the probe's answer for the jobs of probeFirst(); the others pass
// an empty MediaInfo.
QStringList ffmpegArguments(const EncodeJob &job, const MediaInfo &info, const QString &muxer,
                            const LosslessChoice &lossless, const QString &outputUrl);

// What the job's log tells of how the source is taken, once it is known: the
// video track among several, HDR tone-mapped, what a lossless copy leaves out.
QStringList planNotes(const EncodeJob &job, const MediaInfo &info, const QString &muxer,
                      const LosslessChoice &lossless);

// Local files go to ffmpeg as absolute file: URLs, so a name holding a colon
// is never taken for a protocol.
QString ffmpegUrl(const QString &path);

// conv -preview: the longest side of the picture, in pixels.
inline constexpr int PreviewSide = 640;

// Where in the source the preview is taken, in seconds: a tenth into what will
// be encoded, or its first frame when its length is unknown or under a second.
double previewTime(const EncodeJob &job, const MediaInfo &info);

// ffmpeg's arguments writing one PNG picture to outputUrl: the output's frame
// at `at` seconds of the source as a player will show it, turned, mirrored and
// sized by the filters of ffmpegArguments(), then brought down to at most
// PreviewSide pixels on its longer side. Empty when the output has no video.
QStringList previewArguments(const EncodeJob &job, const MediaInfo &info,
                             const LosslessChoice &lossless, double at, const QString &outputUrl);
