#include "media.h"

#include "common/paths.h"
#include "libav.h"

#include <cerrno>
#include <cmath>
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

const int32_t *displayMatrix(const Libav &av, const AVStream *stream)
{
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
    const AVPacketSideData *sd =
        av.av_packet_side_data_get(stream->codecpar->coded_side_data,
                                   stream->codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    return sd && sd->size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t *>(sd->data)
                                                 : nullptr;
#else
    size_t size = 0;
    const uint8_t *data = av.av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t *>(data) : nullptr;
#endif
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
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream *stream = context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    }
    return -1;
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

MediaInfo probeMedia(const QString &path, const Cancelled &cancelled)
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
        return info;
    }
    // Without stream details ffmpeg still tries; so do we.
    av->avformat_find_stream_info(context.get(), nullptr);
    info.valid = true;
    info.duration = inRange(seconds(context->duration), 0, 1e7);
    const double start = seconds(context->start_time);
    info.start = std::abs(start) <= 1e7 ? start : 0;
    if (const AVDictionaryEntry *entry =
            av->av_dict_get(context->metadata, "creation_time", nullptr, 0))
        info.creationTime = QString::fromUtf8(entry->value);
    info.hasDate = av->av_dict_get(context->metadata, "date", nullptr, 0) != nullptr;
    const int video = firstVideoStream(context.get());
    if (video >= 0) {
        const AVStream *stream = context->streams[video];
        const AVCodecParameters *par = stream->codecpar;
        info.hasVideo = true;
        info.videoCodec = QString::fromLatin1(av->avcodec_get_name(par->codec_id));
        info.frameRate = inRange(av_q2d(stream->avg_frame_rate), 0, 1000);
        if (info.frameRate == 0)
            info.frameRate = inRange(av_q2d(stream->r_frame_rate), 0, 1000);
        if (par->width > 0 && par->height > 0)
            info.codedSize = QSize(par->width, par->height);
        info.display = displayTransform(stream);
        info.videoDuration = streamSeconds(stream);
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream *stream = context->streams[i];
        const AVCodecParameters *par = stream->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            info.hasAudio = true;
            info.audioCodec = QString::fromLatin1(av->avcodec_get_name(par->codec_id));
            info.sampleRate = int(inRange(par->sample_rate, 1000, 768000));
            info.audioDuration = streamSeconds(stream);
            break;
        }
    }
    return info;
}

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
