#include "plan.h"

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

int nearest(int value, const QList<int> &allowed)
{
    return *std::min_element(allowed.begin(), allowed.end(), [value](int a, int b) {
        return std::abs(a - value) < std::abs(b - value);
    });
}

// MPEG-1 video only knows a handful of frame rates.
QString mpegFrameRate(double fps)
{
    static const QList<std::pair<QString, double>> rates = {
        {u"24000/1001"_s, 24000.0 / 1001}, {u"24"_s, 24}, {u"25"_s, 25},
        {u"30000/1001"_s, 30000.0 / 1001}, {u"30"_s, 30}, {u"50"_s, 50},
        {u"60000/1001"_s, 60000.0 / 1001}, {u"60"_s, 60}};
    const auto best = std::min_element(rates.begin(), rates.end(), [fps](auto &a, auto &b) {
        return std::abs(a.second - fps) < std::abs(b.second - fps);
    });
    return best->first;
}

const Container *containerFor(const QString &fileName)
{
    return Formats::containerForExtension(QFileInfo(fileName).suffix());
}

struct AudioLimits
{
    QList<int> rates;
    qint64 minBitrate, maxBitrate;
    int maxChannels;
};

AudioLimits audioLimits(const QString &codec, const QString &muxer)
{
    if (codec == u"libmp3lame") {
        if (muxer == u"flv") // FLV has no rate code for the others
            return {{11025, 22050, 44100, 48000}, 8000, 320000, 2};
        return {{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}, 8000, 320000, 2};
    }
    if (codec == u"ac3") // the reduced AC-3 rates are not accepted by ffmpeg's encoder
        return {{32000, 44100, 48000}, 32000, 640000, 6};
    if (codec == u"mp2")
        return {{16000, 22050, 24000, 32000, 44100, 48000}, 32000, 384000, 2};
    return {{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000},
            8000,
            512000,
            8};
}

QStringList audioArguments(const EncodeJob &job, const QString &codec, const QString &muxer)
{
    const AudioLimits limits = audioLimits(codec, muxer);
    QStringList args = {u"-c:a"_s, codec};
    if (job.audioBitrate > 0)
        args << u"-b:a"_s
             << QString::number(std::clamp(job.audioBitrate, limits.minBitrate, limits.maxBitrate));
    if (job.sampleRate > 0) {
        args << u"-ar"_s << QString::number(nearest(job.sampleRate, limits.rates));
    } else {
        // ffmpeg's format negotiation picks the allowed rate nearest the
        // source's, so the arguments need not wait for the probe.
        QStringList rates;
        for (const int rate : limits.rates)
            rates << QString::number(rate);
        args << u"-af"_s << u"aformat=sample_rates="_s + rates.join(u'|');
    }
    if (job.channels > 0)
        args << u"-ac"_s << QString::number(std::min(job.channels, limits.maxChannels));
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

bool isMpegVideo(const QString &codec)
{
    return codec == u"mpeg1video" || codec == u"mpeg2video";
}

QString encodedVideoCodec(const EncodeJob &job)
{
    const Container *container = containerFor(job.output);
    if (job.videoCodec.isEmpty() && container && container->videoCodec)
        return QString::fromUtf16(container->videoCodec);
    return job.videoCodec;
}

// RealVideo 1 wants sides in multiples of 16, 4:2:0 video even ones.
int sizeStep(const QString &videoCodec)
{
    return videoCodec == u"rv10" ? 16 : 2;
}

// Rounded down, so that the picture never grows.
QSize roundedSize(QSize size, int step)
{
    return {std::max(step, size.width() / step * step),
            std::max(step, size.height() / step * step)};
}

// Whether the output gets the video: -vn drops it, and some containers take none.
bool writesVideo(const EncodeJob &job)
{
    const Container *container = containerFor(job.output);
    return job.video && !(container && !container->videoCodec);
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

// The output's picture from the source as ffmpeg decodes it: turned, sized
// and in the form the encoder takes. A lossless copy is shown as a player
// turns it by its display matrix, at its own size.
QStringList videoFilters(const EncodeJob &job, const MediaInfo &info,
                         const LosslessChoice &lossless)
{
    QStringList filters = undoesTurn(job, info)
                              ? info.display->inverse().then(job.orientation).ffmpegFilters()
                              : job.orientation.ffmpegFilters();
    if (lossless.copy)
        return filters;
    const int step = sizeStep(encodedVideoCodec(job));
    if (job.frameSize.isValid()) {
        const QSize size = roundedSize(job.frameSize, step);
        filters << u"scale=%1:%2"_s.arg(size.width()).arg(size.height());
    } else {
        // As roundedSize() does.
        filters << u"scale='max(%1,trunc(iw/%1)*%1)':'max(%1,trunc(ih/%1)*%1)'"_s.arg(step);
    }
    filters << u"format=yuv420p"_s;
    return filters;
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
    return job.lossless ||
           (job.video && job.frameRate.isEmpty() && isMpegVideo(encodedVideoCodec(job))) ||
           (job.keepMetadata && needsRecordingDate(outputMuxer(job))) || !job.autorotate;
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
    if (info.hasAudio && !audioCopies(info.audioCodec, muxer))
        choice.audioCodec = u"aac"_s;
    return choice;
}

double encodedDuration(const EncodeJob &job, const MediaInfo &info)
{
    double length = info.duration > 0 ? std::max(0.0, info.duration - job.clipStart) : 0;
    if (job.clipLength > 0)
        length = length > 0 ? std::min(length, job.clipLength) : job.clipLength;
    return length;
}

ExpectedOutput expectedOutput(const EncodeJob &job, const MediaInfo &info,
                              const LosslessChoice &lossless)
{
    ExpectedOutput expected;
    if (!info.valid)
        return expected;
    expected.video = info.hasVideo && (lossless.copy || writesVideo(job));
    expected.audio = info.hasAudio && job.audio;

    if (expected.video && info.codedSize.isValid()) {
        // ffmpeg turns the picture as the source's matrix says, or leaves it
        // when that is no whole quarter; then ours.
        QSize size = info.codedSize;
        if (job.autorotate && info.display && info.display->swapsSides())
            size.transpose();
        if (job.orientation.swapsSides())
            size.transpose();
        if (!lossless.copy) {
            const int step = sizeStep(encodedVideoCodec(job));
            size = roundedSize(job.frameSize.isValid() ? job.frameSize : size, step);
        }
        expected.shown = size;
    }

    // Without one of the source's streams the output lasts as long as the other.
    MediaInfo kept = info;
    if (info.hasVideo && !expected.video && info.audioDuration > 0)
        kept.duration = info.audioDuration;
    else if (info.hasAudio && !expected.audio && info.videoDuration > 0)
        kept.duration = info.videoDuration;
    expected.seconds = encodedDuration(job, kept);
    return expected;
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
    const Container *container = containerFor(job.output);

    QStringList args = {u"-nostdin"_s, u"-hide_banner"_s, u"-v"_s,     u"error"_s,
                        u"-nostats"_s, u"-progress"_s,    u"pipe:1"_s, u"-y"_s};
    args << sourceArguments(job, info, job.clipStart, job.clipLength);

    if (lossless.copy) {
        args << u"-map"_s << u"0:V:0"_s << u"-c:v"_s << u"copy"_s;
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
                args << audioArguments(job, lossless.audioCodec, muxer);
        }
        args << metadataArguments(job, info, muxer);
        args << u"-sn"_s << u"-dn"_s << u"-f"_s << muxer << outputUrl;
        return args;
    }

    const QString videoCodec = encodedVideoCodec(job);
    // Whether the source has these streams does not matter: the maps are optional.
    const bool video = writesVideo(job);
    const bool audio = job.audio;

    if (video) {
        // V, not v: a cover picture is no video to convert.
        args << u"-map"_s << u"0:V:0?"_s;
        if (!videoCodec.isEmpty())
            args << u"-c:v"_s << videoCodec;
        // FLV has no edit list: the delay B-frames put between decoding and
        // showing would become a lead-in before both picture and sound, as long
        // as the source's first frames are apart, and add to the length.
        if (muxer == u"flv" && videoCodec == u"libx264")
            args << u"-bf"_s << u"0"_s;
        if (job.videoBitrate > 0)
            args << u"-b:v"_s << QString::number(job.videoBitrate);
        // Its share of the machine when several jobs run at once.
        if (job.threads > 0 && videoCodec == u"libx264")
            args << u"-threads"_s << QString::number(job.threads);

        QString rate = job.frameRate;
        if (isMpegVideo(videoCodec))
            rate = mpegFrameRate(rate.isEmpty() ? (info.frameRate > 0 ? info.frameRate : 25)
                                                : rationalValue(rate));
        if (!rate.isEmpty())
            args << u"-r"_s << rate;

        args << u"-vf"_s << videoFilters(job, info, lossless).join(u',');
    }

    if (audio) {
        args << u"-map"_s << u"0:a:0?"_s;
        QString audioCodec = job.audioCodec;
        if (audioCodec.isEmpty() && container)
            audioCodec = QString::fromUtf16(container->audioCodec);
        if (!audioCodec.isEmpty())
            args << audioArguments(job, audioCodec, muxer);
    }
    if (!video && !audio)
        args << u"-map"_s << u"0?"_s; // let ffmpeg say what is missing

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
    QStringList filters = videoFilters(job, info, lossless);
    const QString fit = u"min(1,%1/max(iw*sar,ih))"_s.arg(PreviewSide);
    filters << u"scale='max(1,round(iw*sar*%1))':'max(1,round(ih*%1))'"_s.arg(fit) << u"setsar=1"_s;
    args << u"-map"_s << u"0:V:0"_s << u"-frames:v"_s << u"1"_s << u"-vf"_s << filters.join(u',')
         << u"-map_metadata"_s << u"-1"_s << u"-c:v"_s << u"png"_s << u"-f"_s << u"image2pipe"_s
         << outputUrl;
    return args;
}
