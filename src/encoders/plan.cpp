#include "plan.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

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

struct ContainerDefaults
{
    const char16_t *extension;
    const char16_t *muxer;
    const char16_t *videoCodec; // nullptr: the container carries no video here
    const char16_t *audioCodec;
};

// RealMedia gets AC-3 audio: it is the only audio codec both ffmpeg's rm muxer
// accepts and ffmpeg can encode (RealAudio's own codecs have no encoder).
// 3GP gets MPEG-4 video rather than ffmpeg's H.263, which only takes fixed sizes.
constexpr ContainerDefaults containers[] = {
    {u"flv", u"flv", u"flv", u"libmp3lame"},
    {u"mp4", u"mp4", u"libx264", u"aac"},
    {u"m4v", u"mp4", u"libx264", u"aac"},
    {u"mov", u"mov", u"libx264", u"aac"},
    {u"avi", u"avi", u"mpeg4", u"libmp3lame"},
    {u"mpg", u"mpeg", u"mpeg1video", u"mp2"},
    {u"mpeg", u"mpeg", u"mpeg1video", u"mp2"},
    {u"rm", u"rm", u"rv10", u"ac3"},
    {u"3gp", u"3gp", u"mpeg4", u"aac"},
    {u"mp3", u"mp3", nullptr, u"libmp3lame"},
    {u"mkv", u"matroska", u"libx264", u"libmp3lame"},
};

const ContainerDefaults *containerFor(const QString &fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    for (const ContainerDefaults &c : containers)
        if (ext == QStringView(c.extension))
            return &c;
    return nullptr;
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

} // namespace

MediaInfo MediaInfo::fromProbeJson(const QByteArray &json)
{
    MediaInfo info;
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    const QJsonObject format = root.value(u"format"_s).toObject();
    if (format.isEmpty())
        return info;
    info.valid = true;
    bool ok = false;
    info.duration = std::max(0.0, parseNumber(format.value(u"duration"_s).toString(), &ok));
    info.start = parseNumber(format.value(u"start_time"_s).toString(), &ok);
    for (const QJsonValue &value : root.value(u"streams"_s).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(u"codec_type"_s).toString();
        const bool picture =
            stream.value(u"disposition"_s).toObject().value(u"attached_pic"_s).toInt() != 0;
        if (type == u"video" && !picture && !info.hasVideo) {
            info.hasVideo = true;
            info.frameRate = rationalValue(stream.value(u"avg_frame_rate"_s).toString());
            if (info.frameRate == 0)
                info.frameRate = rationalValue(stream.value(u"r_frame_rate"_s).toString());
        } else if (type == u"audio" && !info.hasAudio) {
            info.hasAudio = true;
            info.sampleRate = int(parseNumber(stream.value(u"sample_rate"_s).toString(), &ok));
        }
    }
    return info;
}

QString muxerForExtension(const QString &fileName)
{
    const ContainerDefaults *c = containerFor(fileName);
    return c ? QString::fromUtf16(c->muxer) : QString();
}

QString ffmpegUrl(const QString &path)
{
    return u"file:"_s + QFileInfo(path).absoluteFilePath();
}

QStringList ffmpegArguments(const EncodeJob &job, const MediaInfo &info, const QString &writePath)
{
    const ContainerDefaults *container = containerFor(job.output);
    const QString muxer = container ? QString::fromUtf16(container->muxer) : job.fallbackMuxer;

    QStringList args = {u"-nostdin"_s, u"-hide_banner"_s,   u"-v"_s,     u"error"_s,
                        u"-nostats"_s, u"-progress"_s,      u"pipe:1"_s, u"-y"_s,
                        u"-i"_s,       ffmpegUrl(job.input)};

    QString videoCodec = job.videoCodec;
    if (videoCodec.isEmpty() && container && container->videoCodec)
        videoCodec = QString::fromUtf16(container->videoCodec);
    const bool video =
        job.video && (!info.valid || info.hasVideo) && !(container && !container->videoCodec);
    const bool audio = job.audio && (!info.valid || info.hasAudio);

    if (video) {
        // V, not v: a cover picture is no video to convert.
        args << u"-map"_s << u"0:V:0?"_s;
        if (!videoCodec.isEmpty())
            args << u"-c:v"_s << videoCodec;
        if (job.videoBitrate > 0)
            args << u"-b:v"_s << QString::number(job.videoBitrate);

        QString rate = job.frameRate;
        if (videoCodec == u"mpeg1video" || videoCodec == u"mpeg2video")
            rate = mpegFrameRate(rate.isEmpty() ? (info.frameRate > 0 ? info.frameRate : 25)
                                                : rationalValue(rate));
        if (!rate.isEmpty())
            args << u"-r"_s << rate;

        // RealVideo 1 wants sides in multiples of 16, 4:2:0 video even ones;
        // round down so the picture never grows.
        const int step = videoCodec == u"rv10" ? 16 : 2;
        QStringList filters = job.videoFilters;
        if (job.frameSize.isValid()) {
            const int w = std::max(step, job.frameSize.width() / step * step);
            const int h = std::max(step, job.frameSize.height() / step * step);
            filters << u"scale=%1:%2"_s.arg(w).arg(h);
        } else {
            filters << u"scale='max(%1,trunc(iw/%1)*%1)':'max(%1,trunc(ih/%1)*%1)'"_s.arg(step);
        }
        filters << u"format=yuv420p"_s;
        args << u"-vf"_s << filters.join(u',');
    }

    if (audio) {
        args << u"-map"_s << u"0:a:0?"_s;
        QString audioCodec = job.audioCodec;
        if (audioCodec.isEmpty() && container)
            audioCodec = QString::fromUtf16(container->audioCodec);
        if (!audioCodec.isEmpty()) {
            const AudioLimits limits = audioLimits(audioCodec, muxer);
            args << u"-c:a"_s << audioCodec;
            if (job.audioBitrate > 0)
                args << u"-b:a"_s
                     << QString::number(
                            std::clamp(job.audioBitrate, limits.minBitrate, limits.maxBitrate));
            const int wanted = job.sampleRate > 0 ? job.sampleRate : info.sampleRate;
            const int rate = nearest(wanted > 0 ? wanted : 44100, limits.rates);
            if (job.sampleRate > 0 || rate != info.sampleRate)
                args << u"-ar"_s << QString::number(rate);
            if (job.channels > 0)
                args << u"-ac"_s << QString::number(std::min(job.channels, limits.maxChannels));
        }
    }
    if (!video && !audio)
        args << u"-map"_s << u"0?"_s; // let ffmpeg say what is missing

    args << u"-sn"_s << u"-dn"_s;
    if (!muxer.isEmpty())
        args << u"-f"_s << muxer;
    args << ffmpegUrl(writePath);
    return args;
}
