#include "plan.h"

#include "codecs.h"
#include "common/formats.h"
#include "common/paths.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

double rationalValue(const QString &text)
{
    const QStringList parts = text.split(u'/');
    bool ok = false;
    double value = parseNumber(parts.first(), &ok);
    if (ok && parts.size() == 2) {
        const double den = parseNumber(parts.last(), &ok);
        value = ok && den > 0 ? value / den : 0;
    }
    return ok && value > 0 ? value : 0;
}

const Container *containerFor(const QString &fileName)
{
    return Formats::containerForExtension(QFileInfo(fileName).suffix());
}

// The audio codec the output gets: the command's, else its container's.
QString encodedAudioCodec(const EncodeJob &job)
{
    const Container *container = containerFor(job.output);
    if (job.audioCodec.isEmpty() && container && container->audioCodec)
        return QString::fromUtf16(container->audioCodec);
    return job.audioCodec;
}

QStringList audioArguments(const EncodeJob &job, const QString &codecName, const QString &muxer,
                           bool startWithPicture)
{
    const AudioCodec *codec = Codecs::audio(codecName);
    QStringList args = {u"-c:a"_s, codec ? QString::fromUtf16(codec->encoder) : codecName};
    QStringList filters;
    // A container without timestamps plays sound from its first sample on:
    // silence goes before a source's sound that starts after its picture.
    if (startWithPicture)
        filters << u"aresample=async=1:first_pts=0"_s;
    if (!codec) {
        if (job.audioBitrate > 0)
            args << u"-b:a"_s << QString::number(job.audioBitrate);
        if (job.sampleRate > 0)
            args << u"-ar"_s << QString::number(job.sampleRate);
        if (job.channels > 0)
            args << u"-ac"_s << QString::number(job.channels);
    } else {
        const AudioChoice choice =
            Codecs::audioChoice(*codec, muxer, job.sampleRate, job.audioBitrate);
        if (choice.bitrate > 0)
            args << u"-b:a"_s << QString::number(choice.bitrate);
        if (choice.rates.size() == 1) {
            args << u"-ar"_s << QString::number(choice.rates.first());
        } else {
            // ffmpeg's format negotiation picks the allowed rate nearest the
            // source's, so the arguments need not wait for the probe.
            QStringList rates;
            for (const int rate : choice.rates)
                rates << QString::number(rate);
            filters << u"aformat=sample_rates="_s + rates.join(u'|');
        }
        const int channels = job.channels > 0 ? job.channels : (codec->maxChannels == 1 ? 1 : 0);
        if (channels > 0)
            args << u"-ac"_s << QString::number(std::min(channels, codec->maxChannels));
    }
    if (!filters.isEmpty())
        args << u"-af"_s << filters.join(u',');
    return args;
}

// Audio the container takes as it is; the rest is encoded.
bool audioCopies(const QString &codec, const QString &muxer)
{
    static const QStringList anywhere = {u"aac"_s, u"mp3"_s, u"ac3"_s, u"eac3"_s, u"alac"_s};
    static const QStringList movOnly = {u"pcm_s16le"_s, u"pcm_s16be"_s, u"pcm_s24le"_s,
                                        u"pcm_s24be"_s, u"pcm_f32le"_s, u"pcm_f32be"_s};
    return (anywhere.contains(codec) || (muxer == u"mov" && movOnly.contains(codec))) &&
           muxerCarries(muxer, codec);
}

QString encodedVideoCodec(const EncodeJob &job)
{
    const Container *container = containerFor(job.output);
    if (job.videoCodec.isEmpty() && container && container->videoCodec)
        return QString::fromUtf16(container->videoCodec);
    return job.videoCodec;
}

// Whether the output gets the video: -vn drops it, and some containers take none.
bool writesVideo(const EncodeJob &job)
{
    const Container *container = containerFor(job.output);
    return job.video && !(container && !container->videoCodec);
}

const VideoCodec *videoCodecOf(const EncodeJob &job)
{
    return writesVideo(job) ? Codecs::video(encodedVideoCodec(job)) : nullptr;
}

// Codecs whose picture is fitted to the source's: fixed sizes, a limit on
// the picture's blocks, or square pixels only.
bool fitsSourceSize(const VideoCodec *codec)
{
    return codec && (codec->fixedSizes() || codec->maxMacroblocks > 0 || !codec->pixelAspect);
}

// The output's frames come at one rate: the codec's or the container's way,
// or the command's.
bool fixedFrameRate(const EncodeJob &job, const VideoCodec *codec, const QString &muxer)
{
    return !job.frameRate.isEmpty() ||
           (codec && (codec->fixedRates() || codec->maxTimeScale > 0)) ||
           Codecs::muxer(muxer).oneFrameRate;
}

// The source's recording date in the form the container's "date" takes, for
// those whose own date field ffmpeg writes from that key alone: AVI's ICRD
// (year-month-day, as RIFF has it) and ID3's recording time TDRC. Empty for
// the others, and when the source tells no time.
QString recordingDate(const QString &creationTime, const QString &muxer)
{
    // libav's form: "2024-05-01T10:20:30.000000Z", in UTC.
    const QDateTime time = QDateTime::fromString(creationTime.left(19), u"yyyy-MM-ddTHH:mm:ss"_s);
    if (!time.isValid())
        return {};
    if (muxer == u"avi")
        return time.toString(u"yyyy-MM-dd"_s);
    if (muxer == u"mp3")
        return time.toString(u"yyyy-MM-ddTHH:mm:ss"_s);
    return {};
}

bool needsRecordingDate(const QString &muxer)
{
    return muxer == u"avi" || muxer == u"mp3";
}

// The source's story (when, where, with what camera, under which title) as far
// as the container holds it, or none of it.
QStringList metadataArguments(const EncodeJob &job, const MediaInfo &info, const QString &muxer)
{
    if (!job.keepMetadata)
        return {u"-map_metadata"_s, u"-1"_s};
    // Mapped by hand, or ffmpeg leaves creation_time out.
    QStringList args = {u"-map_metadata"_s, u"0"_s};
    // The source's container brands are no story; as keys of their own they
    // would pass for the output's.
    for (const char16_t *key : {u"major_brand", u"minor_version", u"compatible_brands"})
        args << u"-metadata"_s << QString::fromUtf16(key) + u'=';
    if (writesMetadataTags(muxer))
        args << u"-movflags"_s << u"+use_metadata_tags"_s;
    if (!info.hasDate) {
        if (const QString date = recordingDate(info.creationTime, muxer); !date.isEmpty())
            args << u"-metadata"_s << u"date="_s + date;
    }
    // What the container cannot store whole is cut, in whole characters.
    if (const int most = Codecs::muxer(muxer).maxTextBytes; most > 0) {
        for (const auto &[key, value] : info.tags)
            if (value.size() > most)
                args << u"-metadata"_s
                     << QString::fromUtf8(key) + u'=' +
                            QString::fromUtf8(Codecs::cutText(value, most));
    }
    return args;
}

QString plainSeconds(double seconds)
{
    return QString::number(seconds, 'f', 3);
}

// The picture as stored: ffmpeg 5.1 then gives an encoded output the source's
// display matrix, and players would turn it after all. So where the probe
// tells the matrix, ffmpeg turns the picture by it and the filters turn it
// back; only a matrix that is none of the eight, or no probe, is left to
// -noautorotate.
bool undoesTurn(const EncodeJob &job, const MediaInfo &info)
{
    return !job.autorotate && info.valid && info.display;
}

// ffmpeg's arguments up to the source: from where, for how long, and whether
// it turns the picture by the source's display matrix.
QStringList sourceArguments(const EncodeJob &job, const MediaInfo &info, double start,
                            double length)
{
    QStringList args;
    // On the input side, so that the cut is exact when encoding.
    if (start > 0)
        args << u"-ss"_s << plainSeconds(start);
    if (length > 0)
        args << u"-t"_s << plainSeconds(length);
    if (!job.autorotate && !undoesTurn(job, info))
        args << u"-noautorotate"_s;
    args << u"-i"_s << ffmpegUrl(job.input);
    return args;
}

// The source's video: its first one, as ffmpeg counts them, or the one the
// probe found to be the main one.
QString videoMap(const MediaInfo &info, bool optional)
{
    if (info.valid && info.hasVideo && !info.firstVideo)
        return u"0:%1"_s.arg(info.videoStream);
    return optional ? u"0:V:0?"_s : u"0:V:0"_s;
}

// Whether the picture is turned so that its sides trade places, as the
// filters and players do: the source's matrix unless taken as stored, then ours.
bool sidesSwapped(const EncodeJob &job, const MediaInfo &info)
{
    bool swapped = job.orientation.swapsSides();
    if (job.autorotate && info.display && info.display->swapsSides())
        swapped = !swapped;
    return swapped;
}

// Rounded down, so that the picture never grows.
QSize roundedSize(QSize size, int step)
{
    return {std::max(step, size.width() / step * step),
            std::max(step, size.height() / step * step)};
}

// The source's picture turned as the output shows it, in square pixels; invalid when unknown.
QSizeF shownSource(const EncodeJob &job, const MediaInfo &info)
{
    if (!info.valid || !info.codedSize.isValid())
        return {};
    QSizeF size(info.codedSize.width() * info.pixelAspect, info.codedSize.height());
    return sidesSwapped(job, info) ? size.transposed() : size;
}

// How the output's picture is laid out.
struct Geometry
{
    QSize picture; // the source's picture scaled to this, in square pixels
    QSize frame;   // then laid on a black frame of this size; the same when it fills it
};

// For a codec that is fitted to the source: square pixels within its limits,
// inside the size asked for, or the nearest it takes, with black bars where
// the shapes differ. Invalid sizes when the source's is unknown.
Geometry fittedGeometry(const EncodeJob &job, const MediaInfo &info, const VideoCodec &codec)
{
    const QSizeF shown = shownSource(job, info);
    if (shown.isEmpty())
        return {};
    const int step = codec.sizeStep;
    QSize frame;
    if (codec.fixedSizes()) {
        // The size asked for, or else the smallest that holds the picture, or the largest.
        const QSizeF wanted = job.frameSize.isValid() ? QSizeF(job.frameSize) : shown;
        frame = codec.sizes.last();
        for (const QSize &size : codec.sizes) {
            if (size.width() >= wanted.width() - 0.5 && size.height() >= wanted.height() - 0.5) {
                frame = size;
                break;
            }
        }
    } else if (job.frameSize.isValid()) {
        frame = roundedSize(job.frameSize.boundedTo(codec.largest), step);
    }
    QSizeF box = frame.isValid() ? QSizeF(frame) : shown;
    box = box.boundedTo(codec.largest);
    // The picture keeps its shape within the box, the codec's sides and its blocks.
    double scale = std::min({1.0 * box.width() / shown.width(), box.height() / shown.height()});
    if (codec.maxMacroblocks > 0)
        scale = std::min(
            scale, std::sqrt(codec.maxMacroblocks * 256.0 / (shown.width() * shown.height())));
    // Sides of two for 4:2:0 inside a frame; the codec's own step when it is the frame.
    const int pictureStep = frame.isValid() ? 2 : step;
    QSize picture =
        roundedSize(QSize(int(shown.width() * scale + 0.001), int(shown.height() * scale + 0.001)),
                    pictureStep);
    if (frame.isValid()) {
        picture = picture.boundedTo(frame);
    } else {
        // Rounding each side down never adds blocks, so the picture stays within them.
        frame = picture;
    }
    return {picture, frame};
}

// Tone mapping of PQ, HLG and Dolby Vision into 8-bit SDR BT.709: to linear
// light, BT.709's primaries, Hable's curve, and back.
QStringList toneMapFilters(const Colour &colour)
{
    // Dolby Vision's own profile 5 says nothing of PQ; its base is still PQ in BT.2020.
    const QString transfer = colour.isHlg() ? u"arib-std-b67"_s : u"smpte2084"_s;
    const QString primaries = colour.primaries.isEmpty() ? u"bt2020"_s : colour.primaries;
    const QString matrix = colour.matrix.isEmpty() ? u"bt2020nc"_s : colour.matrix;
    const QString range = colour.range.isEmpty() ? u"tv"_s : colour.range;
    QString tonemap = u"tonemap=tonemap=hable:desat=0"_s;
    // Frames rarely carry the container's light levels; PQ's peak is taken from them.
    const double peak = colour.maxContentLight > 0 ? colour.maxContentLight : colour.masteringPeak;
    if (!colour.isHlg() && peak > 0)
        tonemap += u":peak="_s + QString::number(peak / 100, 'f', 2);
    return {u"zscale=tin=%1:pin=%2:min=%3:rin=%4:t=linear:npl=100"_s.arg(transfer, primaries,
                                                                         matrix, range),
            u"format=gbrpf32le"_s, u"zscale=p=bt709"_s, tonemap, u"zscale=t=bt709:m=bt709:r=tv"_s};
}

bool tonesMapped(const EncodeJob &job, const MediaInfo &info, const LosslessChoice &lossless)
{
    if (lossless.copy || !writesVideo(job) || !info.valid || !info.colour.isHdr())
        return false;
    const VideoCodec *codec = videoCodecOf(job);
    return !codec || codec->bitDepth == 8;
}

// The rate a fixed-rate output is written at: the command's, else the
// source's average; each the nearest the codec takes.
FrameRate outputRate(const EncodeJob &job, const MediaInfo &info, const VideoCodec *codec)
{
    double fps = job.frameRate.isEmpty() ? info.frameRate : rationalValue(job.frameRate);
    if (fps <= 0)
        fps = 25;
    return Codecs::frameRate(codec, fps);
}

// The output's picture from the source as ffmpeg decodes it: at the output's
// rate, turned, sized, tone-mapped and in the form the encoder takes. A
// lossless copy is shown as a player turns it by its display matrix, at its own size.
QStringList videoFilters(const EncodeJob &job, const MediaInfo &info,
                         const LosslessChoice &lossless, const QString &muxer)
{
    QStringList filters;
    const VideoCodec *codec = videoCodecOf(job);
    // Frames of uneven gaps made even by their timestamps, so that the length
    // stays within a frame; a video shorter than one new gap keeps its frame.
    if (!lossless.copy && fixedFrameRate(job, codec, muxer)) {
        const FrameRate rate = outputRate(job, info, codec);
        const bool brief =
            info.frames == 1 || (info.videoDuration > 0 && info.videoDuration * rate.value() < 1);
        filters << u"fps="_s + rate.text() + (brief ? u":eof_action=pass"_s : QString());
    }
    filters << (undoesTurn(job, info)
                    ? info.display->inverse().then(job.orientation).ffmpegFilters()
                    : job.orientation.ffmpegFilters());
    if (lossless.copy)
        return filters;
    const Geometry fitted = fitsSourceSize(codec) ? fittedGeometry(job, info, *codec) : Geometry();
    const int step = codec ? codec->sizeStep : 2;
    if (fitted.picture.isValid()) {
        // Square pixels: the codec cannot tell players any other shape.
        filters << u"scale=%1:%2"_s.arg(fitted.picture.width()).arg(fitted.picture.height())
                << u"setsar=1"_s;
    } else if (job.frameSize.isValid()) {
        // The scale keeps the picture's shape in the pixels' shape, once it
        // knows that of the source's: square unless told.
        const QSize size = roundedSize(job.frameSize, step);
        filters << u"setsar='if(sar,sar,1)':max=1000"_s
                << u"scale=%1:%2"_s.arg(size.width()).arg(size.height());
    } else {
        // As roundedSize() does.
        filters << u"scale='max(%1,trunc(iw/%1)*%1)':'max(%1,trunc(ih/%1)*%1)'"_s.arg(step);
    }
    if (tonesMapped(job, info, lossless))
        filters << toneMapFilters(info.colour);
    if (fitted.frame != fitted.picture)
        filters << u"pad=%1:%2:(ow-iw)/2:(oh-ih)/2"_s.arg(fitted.frame.width())
                       .arg(fitted.frame.height());
    filters << u"format="_s + (codec ? QString::fromUtf16(codec->pixelFormat) : u"yuv420p"_s);
    return filters;
}

// The source's seconds the output holds: those of the streams it takes, or
// the container's where they do not tell.
double mappedSeconds(const MediaInfo &info, bool video, bool audio)
{
    double seconds = 0;
    bool known = true;
    for (const auto &[taken, length] : {std::pair(video && info.hasVideo, info.videoDuration),
                                        std::pair(audio && info.hasAudio, info.audioDuration)}) {
        if (!taken)
            continue;
        known = known && length > 0;
        seconds = std::max(seconds, length);
    }
    return known && seconds > 0 ? seconds : info.duration;
}

double clippedSeconds(const EncodeJob &job, double sourceSeconds)
{
    double length = sourceSeconds > 0 ? std::max(0.0, sourceSeconds - job.clipStart) : 0;
    if (job.clipLength > 0)
        length = length > 0 ? std::min(length, job.clipLength) : job.clipLength;
    return length;
}

// The data tracks the container holds as they are: those of a codec libav
// knows for it. MOV takes any data of a codec of libav's (a GoPro's GPS,
// "gpmd") under its source's four letters, though libav does not say so.
QList<int> keptDataTracks(const MediaInfo &info, const QString &muxer)
{
    QList<int> kept;
    for (const DataTrack &track : info.dataTracks)
        if (track.codec != u"none" &&
            (muxerCarries(muxer, track.codec) || (muxer == u"mov" && track.codec == u"bin_data")))
            kept << track.index;
    return kept;
}

} // namespace

QString outputMuxer(const EncodeJob &job)
{
    if (const Container *c = containerFor(job.output))
        return QString::fromUtf16(c->muxer);
    return job.fallbackMuxer.isEmpty() ? guessedMuxer(job.output) : job.fallbackMuxer;
}

bool probeFirst(const EncodeJob &job)
{
    const QString muxer = outputMuxer(job);
    const VideoCodec *codec = videoCodecOf(job);
    return job.lossless || !job.autorotate || (job.keepMetadata && needsRecordingDate(muxer)) ||
           fitsSourceSize(codec) || (writesVideo(job) && fixedFrameRate(job, codec, muxer));
}

bool writesMetadataTags(const QString &muxer)
{
    return muxer == u"mp4" || muxer == u"mov";
}

LosslessChoice losslessChoice(const EncodeJob &job, const MediaInfo &info, const QString &muxer)
{
    LosslessChoice choice;
    // The source's own turn first, unless the picture is taken as stored, then
    // ours. Turns only: a mirror cannot be told to every player by the matrix.
    PictureTransform shown = job.orientation;
    bool told = !job.autorotate;
    if (job.autorotate && info.display) {
        shown = info.display->then(job.orientation);
        told = true;
    }
    told = told && !shown.isMirrored();
    static const QStringList codecs = {u"h264"_s, u"hevc"_s, u"mpeg4"_s};
    const Container *container = Formats::containerForMuxer(muxer);

    if (info.libavMissing)
        choice.refusal = Report::LosslessRefusal::Libav;
    else if (!job.orientation.isTurn())
        choice.refusal = Report::LosslessRefusal::Filter;
    else if (!container || !container->displayMatrix)
        choice.refusal = Report::LosslessRefusal::Container;
    else if (!info.hasVideo)
        choice.refusal = Report::LosslessRefusal::NoVideo;
    else if (!codecs.contains(info.videoCodec) || !muxerCarries(muxer, info.videoCodec))
        choice.refusal = Report::LosslessRefusal::Codec;
    else if (!told)
        choice.refusal = Report::LosslessRefusal::DisplayMatrix;
    else if (job.clipped()) // a copy could only start at a key frame
        choice.refusal = Report::LosslessRefusal::Clip;
    if (choice.refusal != Report::LosslessRefusal::None) {
        if (choice.refusal == Report::LosslessRefusal::Codec)
            choice.codec = info.videoCodec;
        return choice;
    }
    choice.copy = true;
    choice.rotation = shown.counterClockwiseDegrees();
    if (info.hasAudio && job.audio && !audioCopies(info.audioCodec, muxer))
        choice.audioCodec = u"aac"_s;
    choice.dataTracks = keptDataTracks(info, muxer);
    return choice;
}

double encodedDuration(const EncodeJob &job, const MediaInfo &info)
{
    return clippedSeconds(job, mappedSeconds(info, writesVideo(job), job.audio));
}

ExpectedOutput expectedOutput(const EncodeJob &job, const MediaInfo &info,
                              const LosslessChoice &lossless)
{
    ExpectedOutput expected;
    if (!info.valid)
        return expected;
    expected.video = info.hasVideo && (lossless.copy || writesVideo(job));
    expected.audio = info.hasAudio && job.audio;
    expected.seconds = clippedSeconds(job, mappedSeconds(info, expected.video, expected.audio));
    if (!expected.video)
        return expected;
    expected.sdr = tonesMapped(job, info, lossless);

    const QSizeF shown = shownSource(job, info);
    if (shown.isEmpty())
        return expected;
    // A copy, and a codec that tells players the pixels' shape, show the
    // source's shape at any size; the others show square pixels.
    expected.aspect = shown.width() / shown.height();
    QSize size = info.codedSize;
    if (sidesSwapped(job, info))
        size.transpose();
    if (lossless.copy) {
        expected.shown = size;
        return expected;
    }
    const VideoCodec *codec = videoCodecOf(job);
    if (fitsSourceSize(codec)) {
        const Geometry fitted = fittedGeometry(job, info, *codec);
        expected.shown = fitted.frame;
        expected.aspect = double(fitted.frame.width()) / fitted.frame.height();
        return expected;
    }
    expected.shown =
        roundedSize(job.frameSize.isValid() ? job.frameSize : size, codec ? codec->sizeStep : 2);
    return expected;
}

QStringList planNotes(const EncodeJob &job, const MediaInfo &info, const QString &muxer,
                      const LosslessChoice &lossless)
{
    QStringList notes;
    if (!info.valid || !info.hasVideo || !(lossless.copy || writesVideo(job)))
        return notes;
    if (info.videoStreams > 1)
        notes << u"Video: track %1 of the source's %2 video tracks, %3x%4%5"_s.arg(info.videoStream)
                     .arg(info.videoStreams)
                     .arg(info.codedSize.width())
                     .arg(info.codedSize.height())
                     .arg(info.frames > 0 ? u", %1 frames"_s.arg(info.frames) : QString());
    const QString hdr = info.colour.dolbyVision
                            ? u"Dolby Vision profile %1"_s.arg(info.colour.dolbyVisionProfile)
                        : info.colour.isHlg() ? u"HLG"_s
                                              : u"PQ"_s;
    if (tonesMapped(job, info, lossless))
        notes << u"HDR: the source's %1 picture is tone-mapped to SDR BT.709"_s.arg(hdr);
    if (!lossless.copy)
        return notes;
    if (info.colour.isHdr())
        notes << u"HDR: the source's %1 picture is kept as it is"_s.arg(hdr);
    if (info.colour.dolbyVision && !Codecs::muxer(muxer).dolbyVision)
        notes << u"Left out: the Dolby Vision configuration, which %1 does not hold; "
                 "players show the picture's %2 base"_s.arg(
                     muxer.toUpper(), info.colour.isHlg() ? u"HLG"_s : u"HDR10"_s);
    for (const DataTrack &track : info.dataTracks)
        if (!lossless.dataTracks.contains(track.index))
            notes << u"Left out: data track %1 [%2], which %3 does not hold"_s.arg(track.index)
                         .arg(track.tag, muxer.toUpper());
    return notes;
}

QString ffmpegUrl(const QString &path)
{
    if (path.startsWith(u'/'))
        return u"file:"_s + path;
    // Not QDir::currentPath(): it would lose a folder name that is not UTF-8.
    QByteArray cwd(4096, '\0');
    while (!::getcwd(cwd.data(), size_t(cwd.size())) && errno == ERANGE)
        cwd.resize(cwd.size() * 2);
    return u"file:"_s + pathFromBytes(cwd.constData()) + u'/' + path;
}

QStringList ffmpegArguments(const EncodeJob &job, const MediaInfo &info, const QString &muxer,
                            const LosslessChoice &lossless, const QString &outputUrl)
{
    // Its log at level info, each line with its level: besides the reasons of a
    // failure, it tells what ffmpeg wrote, which then needs no second look.
    QStringList args = {u"-nostdin"_s, u"-hide_banner"_s, u"-loglevel"_s, u"level+info"_s,
                        u"-nostats"_s, u"-progress"_s,    u"pipe:1"_s,    u"-y"_s};
    args << sourceArguments(job, info, job.clipStart, job.clipLength);
    const MuxerLimits &limits = Codecs::muxer(muxer);

    if (lossless.copy) {
        args << u"-map"_s << videoMap(info, false) << u"-c:v"_s << u"copy"_s;
        // Packed B-frames are an AVI habit that MP4 does not know.
        if (info.videoCodec == u"mpeg4")
            args << u"-bsf:v"_s << u"mpeg4_unpack_bframes"_s;
        // ffmpeg 5.1 turns this into the output's display matrix, replacing the source's.
        args << u"-metadata:s:v:0"_s << u"rotate=%1"_s.arg(lossless.rotation);
        if (job.audio && info.hasAudio) {
            args << u"-map"_s << u"0:a:0"_s;
            if (lossless.audioCodec.isEmpty())
                args << u"-c:a"_s << u"copy"_s;
            else
                args << audioArguments(job, lossless.audioCodec, muxer, false);
        }
        for (const int track : lossless.dataTracks)
            args << u"-map"_s << u"0:%1"_s.arg(track);
        if (!lossless.dataTracks.isEmpty())
            args << u"-c:d"_s << u"copy"_s;
        // ffmpeg writes a Dolby Vision configuration only when told that
        // players outside the standard read it.
        if (info.colour.dolbyVision && limits.dolbyVision)
            args << u"-strict"_s << u"unofficial"_s;
        args << metadataArguments(job, info, muxer);
        args << u"-sn"_s;
        if (lossless.dataTracks.isEmpty())
            args << u"-dn"_s;
        args << u"-f"_s << muxer << outputUrl;
        return args;
    }

    const QString videoCodec = encodedVideoCodec(job);
    const VideoCodec *codec = videoCodecOf(job);
    // Whether the source has these streams does not matter: the maps are optional.
    const bool video = writesVideo(job);
    const bool audio = job.audio;

    if (video) {
        // V, not v: a cover picture is no video to convert.
        args << u"-map"_s << videoMap(info, true);
        if (!videoCodec.isEmpty())
            args << u"-c:v"_s << videoCodec;
        // FLV has no edit list: the delay B-frames put between decoding and
        // showing would become a lead-in before both picture and sound, as long
        // as the source's first frames are apart, and add to the length.
        if (muxer == u"flv" && videoCodec == u"libx264")
            args << u"-bf"_s << u"0"_s;
        if (job.videoBitrate > 0)
            args << u"-b:v"_s << QString::number(job.videoBitrate);
        // A buffer that no coded picture outgrows, for a container that
        // cannot store a larger one.
        if (limits.maxVideoFrameBytes > 0 && videoCodec != u"libx264")
            args << u"-maxrate"_s << QString::number(std::max<qint64>(job.videoBitrate, 200000))
                 << u"-bufsize"_s << QString::number(limits.maxVideoFrameBytes * 8 * 3 / 4);
        // Its share of the machine when several jobs run at once.
        if (job.threads > 0 && videoCodec == u"libx264")
            args << u"-threads"_s << QString::number(job.threads);

        if (fixedFrameRate(job, codec, muxer))
            args << u"-r"_s << outputRate(job, info, codec).text();
        else
            args << u"-fps_mode"_s << u"vfr"_s; // each frame at its own time
        args << u"-vf"_s << videoFilters(job, info, lossless, muxer).join(u',');
        if (tonesMapped(job, info, lossless))
            args << u"-color_primaries"_s << u"bt709"_s << u"-color_trc"_s << u"bt709"_s
                 << u"-colorspace"_s << u"bt709"_s << u"-color_range"_s << u"tv"_s;
    }

    if (audio) {
        args << u"-map"_s << u"0:a:0?"_s;
        if (const QString audioCodec = encodedAudioCodec(job); !audioCodec.isEmpty())
            args << audioArguments(job, audioCodec, muxer, video && limits.oneFrameRate);
    }
    if (!video && !audio)
        args << u"-map"_s << u"0?"_s; // let ffmpeg say what is missing

    // A clip ends where it was asked to, also where a sparse source's last
    // frame in it would last longer.
    if (job.clipLength > 0)
        args << u"-t"_s << plainSeconds(job.clipLength);
    args << metadataArguments(job, info, muxer);
    args << u"-sn"_s << u"-dn"_s << u"-f"_s << muxer << outputUrl;
    return args;
}

double previewTime(const EncodeJob &job, const MediaInfo &info)
{
    const double length = encodedDuration(job, info);
    return job.clipStart + (length >= 1 ? length / 10 : 0);
}

QStringList previewArguments(const EncodeJob &job, const MediaInfo &info,
                             const LosslessChoice &lossless, double at, const QString &outputUrl)
{
    if (!lossless.copy && !writesVideo(job))
        return {};
    QStringList args = {u"-nostdin"_s, u"-hide_banner"_s, u"-v"_s, u"error"_s, u"-y"_s};
    // Seeking on the input side decodes from the key frame before, as the encode does.
    args << sourceArguments(job, info, at, 0);
    // The shape a player shows, its pixels' own shape included, never enlarged.
    QStringList filters = videoFilters(job, info, lossless, outputMuxer(job));
    // One picture needs no rate.
    if (!filters.isEmpty() && filters.first().startsWith(u"fps="))
        filters.removeFirst();
    // A PNG shows SDR, as a player shows a copy of HDR on most screens.
    if (lossless.copy && info.valid && info.colour.isHdr())
        filters << toneMapFilters(info.colour);
    const QString fit = u"min(1,%1/max(iw*sar,ih))"_s.arg(PreviewSide);
    filters << u"scale='max(1,round(iw*sar*%1))':'max(1,round(ih*%1))'"_s.arg(fit) << u"setsar=1"_s;
    args << u"-map"_s << videoMap(info, false) << u"-frames:v"_s << u"1"_s << u"-vf"_s
         << filters.join(u',') << u"-map_metadata"_s << u"-1"_s << u"-c:v"_s << u"png"_s << u"-f"_s
         << u"image2pipe"_s << outputUrl;
    return args;
}
