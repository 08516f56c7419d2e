#include "media.h"

#include "phaselog.h"

#include "common/paths.h"
#include "libav.h"

#include <QStringList>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

double inRange(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high ? value : 0;
}

double seconds(int64_t value)
{
    return value == AV_NOPTS_VALUE ? 0 : double(value) / AV_TIME_BASE;
}

double streamSeconds(const AVStream *stream)
{
    return stream->duration == AV_NOPTS_VALUE
               ? 0
               : inRange(double(stream->duration) * av_q2d(stream->time_base), 0, 1e7);
}

// The stream's side data of that type, or nullptr; *size gets its size.
const uint8_t *sideData(const Libav &av, const AVStream *stream, AVPacketSideDataType type,
                        size_t *size)
{
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
    const AVPacketSideData *sd = av.av_packet_side_data_get(
        stream->codecpar->coded_side_data, stream->codecpar->nb_coded_side_data, type);
    *size = sd ? sd->size : 0;
    return sd ? sd->data : nullptr;
#else
    return av.av_stream_get_side_data(stream, type, size);
#endif
}

const int32_t *displayMatrix(const Libav &av, const AVStream *stream)
{
    size_t size = 0;
    const uint8_t *data = sideData(av, stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t *>(data) : nullptr;
}

bool isVideo(const AVStream *stream)
{
    return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

// "00:00:04.000000000", as Matroska gives each track's length in a tag.
double clockSeconds(const char *text)
{
    const QStringList parts = QString::fromLatin1(text).split(u':');
    if (parts.size() != 3)
        return 0;
    bool okH = false, okM = false, okS = false;
    const double s =
        parts[0].toInt(&okH) * 3600.0 + parts[1].toInt(&okM) * 60.0 + parts[2].toDouble(&okS);
    return okH && okM && okS ? inRange(s, 0, 1e7) : 0;
}

double trackSeconds(const Libav &av, const AVStream *stream)
{
    if (const double s = streamSeconds(stream); s > 0)
        return s;
    const AVDictionaryEntry *entry = av.av_dict_get(stream->metadata, "DURATION", nullptr, 0);
    return entry ? clockSeconds(entry->value) : 0;
}

// Formats that hold one picture a file: image2 and the like ("png_pipe").
bool pictureFormat(const AVFormatContext *context)
{
    const QByteArray name(context->iformat->name);
    return name == "image2" || name.endsWith("_pipe") || name == "gif" || name == "apng";
}

// Up to `enough` packets of the stream, counted from where reading stands.
int countPackets(const Libav &av, AVFormatContext *context, int index, int enough)
{
    AVPacket *packet = av.av_packet_alloc();
    if (!packet)
        return enough;
    int found = 0;
    for (int read = 0; read < 256 && found < enough; ++read) {
        if (av.av_read_frame(context, packet) < 0)
            break;
        found += packet->stream_index == index;
        av.av_packet_unref(packet);
    }
    av.av_packet_free(&packet);
    return found;
}

// A stream of a single picture: a photo, or the still of a motion photo.
// Only a file that says so little that it may be one is read further.
bool singlePicture(const Libav &av, AVFormatContext *context, int index)
{
    const AVStream *stream = context->streams[index];
    if (stream->nb_frames > 0)
        return stream->nb_frames == 1;
    double seconds = trackSeconds(av, stream);
    if (seconds <= 0 && context->duration != AV_NOPTS_VALUE)
        seconds = double(context->duration) / AV_TIME_BASE;
    if (!pictureFormat(context) && seconds >= 0.1)
        return false;
    return countPackets(av, context, index, 2) <= 1;
}

// What photos are stored in that libav cannot read: HEIF and AVIF pictures,
// told by the brand of their ftyp box. Regular files only, never waiting.
bool heifPicture(const QString &path)
{
    const int fd =
        ::open(pathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st = {};
    char head[12] = {};
    const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                      ::read(fd, head, sizeof head) == ssize_t(sizeof head);
    ::close(fd);
    static const QList<QByteArray> brands = {"heic", "heix", "heim", "heis", "mif1", "avif"};
    return read && QByteArrayView(head + 4, 4) == "ftyp" &&
           brands.contains(QByteArray(head + 8, 4));
}

QString colourName(const char *name)
{
    return name && std::strcmp(name, "unknown") && std::strcmp(name, "unspecified")
               ? QString::fromLatin1(name)
               : QString();
}

QString fourLetters(uint32_t tag)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char(tag >> (8 * i));
        text += c >= ' ' && c < 127 ? QChar::fromLatin1(c) : u'.';
    }
    return text;
}

} // namespace

void CloseInput::operator()(AVFormatContext *context) const
{
    libav()->avformat_close_input(&context);
}

int openInput(const QString &path, InputContext *input, const Cancelled &cancelled)
{
    // Looked at without blocking first: opening a pipe or some devices waits
    // until someone writes, which no cancel could interrupt.
    const int fd =
        ::open(pathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return AVERROR(errno);
    struct stat st = {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return AVERROR(EINVAL);
    const Libav &av = *libav();
    AVFormatContext *opened = av.avformat_alloc_context();
    if (!opened)
        return AVERROR(ENOMEM);
    if (cancelled) {
        opened->interrupt_callback.callback = [](void *check) -> int {
            return (*static_cast<const Cancelled *>(check))();
        };
        opened->interrupt_callback.opaque = const_cast<Cancelled *>(&cancelled);
    }
    // Frees the context when it fails.
    const int status = av.avformat_open_input(
        &opened, QByteArray("file:" + pathToBytes(path)).constData(), nullptr, nullptr);
    input->reset(status < 0 ? nullptr : opened);
    return status;
}

int firstVideoStream(const AVFormatContext *context)
{
    for (unsigned i = 0; i < context->nb_streams; ++i)
        if (isVideo(context->streams[i]))
            return int(i);
    return -1;
}

int mainVideoStream(const AVFormatContext *context)
{
    const int first = firstVideoStream(context);
    if (first < 0)
        return first;
    // Frame counts from the header only: reading on could cost a long file dear.
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream *stream = context->streams[i];
        if (isVideo(stream) && stream->nb_frames != 1)
            return int(i);
    }
    return first;
}

Colour streamColour(const AVStream *stream)
{
    const Libav &av = *libav();
    const AVCodecParameters *par = stream->codecpar;
    Colour colour;
    colour.primaries = colourName(av.av_color_primaries_name(par->color_primaries));
    colour.transfer = colourName(av.av_color_transfer_name(par->color_trc));
    colour.matrix = colourName(av.av_color_space_name(par->color_space));
    colour.range = colourName(av.av_color_range_name(par->color_range));
    if (const AVPixFmtDescriptor *format =
            av.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par->format)))
        colour.bitDepth = format->comp[0].depth;
    size_t size = 0;
    if (const auto *mastering = reinterpret_cast<const AVMasteringDisplayMetadata *>(
            sideData(av, stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size));
        mastering && size >= sizeof(AVMasteringDisplayMetadata) && mastering->has_luminance)
        colour.masteringPeak = inRange(av_q2d(mastering->max_luminance), 0, 100000);
    if (const auto *light = reinterpret_cast<const AVContentLightMetadata *>(
            sideData(av, stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size));
        light && size >= sizeof(AVContentLightMetadata))
        colour.maxContentLight = int(inRange(light->MaxCLL, 0, 100000));
    if (const auto *dovi = reinterpret_cast<const AVDOVIDecoderConfigurationRecord *>(
            sideData(av, stream, AV_PKT_DATA_DOVI_CONF, &size));
        dovi && size >= sizeof(AVDOVIDecoderConfigurationRecord)) {
        colour.dolbyVision = true;
        colour.dolbyVisionProfile = dovi->dv_profile;
    }
    return colour;
}

std::optional<PictureTransform> displayTransform(const AVStream *stream)
{
    const int32_t *matrix = displayMatrix(*libav(), stream);
    return matrix ? PictureTransform::fromDisplayMatrix(matrix) : PictureTransform();
}

QString libavError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    libav()->av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

namespace {

MediaInfo probeMediaNow(const QString &path, const Cancelled &cancelled);

} // namespace

MediaInfo probeMedia(const QString &path, const Cancelled &cancelled)
{
    PhaseLog::mark(PhaseLog::Mark::ProbeStart);
    MediaInfo info = probeMediaNow(path, cancelled);
    PhaseLog::mark(PhaseLog::Mark::ProbeEnd);
    return info;
}

namespace {

MediaInfo probeMediaNow(const QString &path, const Cancelled &cancelled)
{
    MediaInfo info;
    const Libav *av = libav(&info.error);
    if (!av) {
        info.libavMissing = true;
        return info;
    }
    // Reasons reach the user through our own messages; libav's would repeat them.
    av->av_log_set_level(AV_LOG_QUIET);
    InputContext context;
    if (const int status = openInput(path, &context, cancelled); status < 0) {
        info.error = libavError(status);
        // A photo libav cannot read is still a photo, not a broken video.
        if (status != AVERROR_EXIT && heifPicture(path)) {
            info.valid = true;
            info.stillPicture = true;
        }
        return info;
    }
    // Without stream details ffmpeg still tries; so do we.
    av->avformat_find_stream_info(context.get(), nullptr);
    info.valid = true;
    info.duration = inRange(seconds(context->duration), 0, 1e7);
    const double start = seconds(context->start_time);
    info.start = std::abs(start) <= 1e7 ? start : 0;
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av->av_dict_get(context->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)))
        info.tags.append({QByteArray(entry->key), QByteArray(entry->value)});
    if (const AVDictionaryEntry *time =
            av->av_dict_get(context->metadata, "creation_time", nullptr, 0))
        info.creationTime = QString::fromUtf8(time->value);
    info.hasDate = av->av_dict_get(context->metadata, "date", nullptr, 0) != nullptr;

    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream *stream = context->streams[i];
        const AVCodecParameters *par = stream->codecpar;
        if (isVideo(stream)) {
            ++info.videoStreams;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && !info.hasAudio) {
            info.hasAudio = true;
            info.audioCodec = QString::fromLatin1(av->avcodec_get_name(par->codec_id));
            info.sampleRate = int(inRange(par->sample_rate, 1000, 768000));
            info.audioDuration = trackSeconds(*av, stream);
        } else if (par->codec_type == AVMEDIA_TYPE_DATA) {
            info.dataTracks.append({int(i),
                                    QString::fromLatin1(av->avcodec_get_name(par->codec_id)),
                                    fourLetters(par->codec_tag)});
        }
    }

    const int video = mainVideoStream(context.get());
    if (video >= 0) {
        AVStream *stream = context->streams[video];
        const AVCodecParameters *par = stream->codecpar;
        info.hasVideo = true;
        info.videoStream = video;
        info.firstVideo = video == firstVideoStream(context.get());
        info.videoCodec = QString::fromLatin1(av->avcodec_get_name(par->codec_id));
        info.frames = stream->nb_frames;
        info.frameRate = inRange(av_q2d(stream->avg_frame_rate), 0, 1000);
        info.fastestRate = inRange(av_q2d(stream->r_frame_rate), 0, 1000);
        if (info.frameRate == 0)
            info.frameRate = info.fastestRate;
        info.variableRate = info.frameRate > 0 && info.fastestRate > 0 &&
                            std::abs(info.fastestRate - info.frameRate) > info.frameRate * 0.02;
        if (par->width > 0 && par->height > 0)
            info.codedSize = QSize(par->width, par->height);
        const AVRational sar = av->av_guess_sample_aspect_ratio(context.get(), stream, nullptr);
        if (sar.num > 0 && sar.den > 0)
            info.pixelAspect = inRange(av_q2d(sar), 0.01, 100);
        if (info.pixelAspect == 0)
            info.pixelAspect = 1;
        info.colour = streamColour(stream);
        info.display = displayTransform(stream);
        info.videoDuration = trackSeconds(*av, stream);
        info.stillPicture = !info.hasAudio && singlePicture(*av, context.get(), video);
    }
    return info;
}

} // namespace

bool muxerCarries(const QString &muxer, const QString &codec)
{
    const Libav *av = libav();
    if (!av)
        return false;
    const AVOutputFormat *format =
        av->av_guess_format(muxer.toLatin1().constData(), nullptr, nullptr);
    const AVCodecDescriptor *descriptor =
        av->avcodec_descriptor_get_by_name(codec.toLatin1().constData());
    return format && descriptor &&
           av->avformat_query_codec(format, descriptor->id, FF_COMPLIANCE_NORMAL) == 1;
}

QString guessedMuxer(const QString &fileName)
{
    const Libav *av = libav();
    const AVOutputFormat *format =
        av ? av->av_guess_format(nullptr, pathToBytes(fileName).constData(), nullptr) : nullptr;
    return format ? QString::fromLatin1(format->name) : QString();
}
