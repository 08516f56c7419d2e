#include "remux.h"

#include "libav.h"
#include "media.h"

#include "common/paths.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

RemuxResult failed(Report::Error error, const QString &what, int status)
{
    return {error, what + u": "_s + libavError(status), 0};
}

RemuxResult writeFailed(int status)
{
    if (status == AVERROR(ENOSPC) || status == AVERROR(EDQUOT))
        return failed(Report::Error::DiskFull, u"cannot write the output"_s, status);
    if (status == AVERROR(EIO) || status == AVERROR(EBADF) || status == AVERROR(EFBIG) ||
        status == AVERROR(EROFS))
        return failed(Report::Error::Output, u"cannot write the output"_s, status);
    // The muxer's own refusal: the folder is fine, a stream is not.
    return failed(Report::Error::Failed, u"the container refuses the copy"_s, status);
}

struct CloseOutput
{
    void operator()(AVFormatContext *c) const
    {
        if (c->pb)
            libav()->avio_closep(&c->pb);
        libav()->avformat_free_context(c);
    }
};
struct FreePacket
{
    void operator()(AVPacket *p) const { libav()->av_packet_free(&p); }
};
struct FreeFilter
{
    void operator()(AVBSFContext *f) const { libav()->av_bsf_free(&f); }
};

// ffmpeg keeps the source's codec tag when the output container knows it
// for that codec; so does this copy, so players see the same stream.
unsigned codecTag(const Libav &av, const AVOutputFormat *format, const AVCodecParameters *par)
{
    unsigned tag = 0;
    if (!format->codec_tag ||
        av.av_codec_get_id(format->codec_tag, par->codec_tag) == par->codec_id ||
        !av.av_codec_get_tag2(format->codec_tag, par->codec_id, &tag))
        return par->codec_tag;
    return 0;
}

// Side data of the source stream that players use (HDR metadata and the
// like), without its display matrix, which is replaced.
int copySideData(const Libav &av, const AVStream *from, AVStream *to, int rotation)
{
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
    av.av_packet_side_data_remove(to->codecpar->coded_side_data, &to->codecpar->nb_coded_side_data,
                                  AV_PKT_DATA_DISPLAYMATRIX);
    (void)from;
    if (rotation == 0)
        return 0;
    AVPacketSideData *sd = av.av_packet_side_data_new(
        &to->codecpar->coded_side_data, &to->codecpar->nb_coded_side_data,
        AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t), 0);
    if (!sd)
        return AVERROR(ENOMEM);
    av.av_display_rotation_set(reinterpret_cast<int32_t *>(sd->data), -rotation);
    return 0;
#else
    for (int i = 0; i < from->nb_side_data; ++i) {
        const AVPacketSideData &sd = from->side_data[i];
        if (sd.type == AV_PKT_DATA_DISPLAYMATRIX)
            continue;
        uint8_t *data = av.av_stream_new_side_data(to, sd.type, sd.size);
        if (!data)
            return AVERROR(ENOMEM);
        memcpy(data, sd.data, sd.size);
    }
    if (rotation == 0)
        return 0;
    auto *matrix = reinterpret_cast<int32_t *>(
        av.av_stream_new_side_data(to, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
    if (!matrix)
        return AVERROR(ENOMEM);
    av.av_display_rotation_set(matrix, -rotation);
    return 0;
#endif
}

// Some phones store a frame shown before it is decoded, which the muxer
// refuses; ffmpeg mends such timestamps as here, so a copy plays as its encode would.
void mendTimestamps(AVPacket *p, int64_t &lastDts)
{
    if (p->pts != AV_NOPTS_VALUE && p->dts != AV_NOPTS_VALUE && p->dts > p->pts) {
        // The middle one of the two and the next free tick.
        const int64_t next = lastDts == AV_NOPTS_VALUE ? p->pts : lastDts + 1;
        p->pts = p->dts =
            std::max(std::min(p->pts, p->dts), std::min(std::max(p->pts, p->dts), next));
    }
    if (p->dts != AV_NOPTS_VALUE && lastDts != AV_NOPTS_VALUE && p->dts <= lastDts) {
        if (p->pts != AV_NOPTS_VALUE && p->pts >= p->dts)
            p->pts = std::max(p->pts, lastDts + 1);
        p->dts = lastDts + 1;
    }
    if (p->dts != AV_NOPTS_VALUE)
        lastDts = p->dts;
}

} // namespace

RemuxResult remux(const RemuxJob &job, const std::function<void(double, qint64)> &position,
                  const std::function<int()> &stopRequested)
{
    QString why;
    const Libav *loaded = libav(&why);
    if (!loaded)
        return {Report::Error::Failed, why, 0};
    const Libav &av = *loaded;
    InputContext in;
    int status = openInput(job.input, &in);
    if (status < 0)
        return failed(Report::Error::Source, displayPath(job.input), status);
    if ((status = av.avformat_find_stream_info(in.get(), nullptr)) < 0)
        return failed(Report::Error::Source, displayPath(job.input), status);

    AVFormatContext *created = nullptr;
    status = av.avformat_alloc_output_context2(&created, nullptr, job.muxer.toLatin1().constData(),
                                               nullptr);
    if (status < 0)
        return failed(Report::Error::Failed, u"no muxer "_s + job.muxer, status);
    const std::unique_ptr<AVFormatContext, CloseOutput> out(created);
    if (job.keepMetadata) {
        av.av_dict_copy(&out->metadata, in->metadata, 0);
        // The source's container brands are no story; as keys of their own
        // they would pass for the output's.
        for (const char *key : {"major_brand", "minor_version", "compatible_brands"})
            av.av_dict_set(&out->metadata, key, nullptr, 0);
    }

    // Input stream index to output stream, as the plan's maps pick them.
    QList<int> mapping(int(in->nb_streams), -1);
    const int video = mainVideoStream(in.get());
    int audio = -1;
    for (unsigned i = 0; i < in->nb_streams && job.audio && audio < 0; ++i)
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio = int(i);
    if (video < 0)
        return {Report::Error::Source, displayPath(job.input) + u": no video stream"_s, 0};
    QList<int> copied = {video, audio};
    for (const int track : job.dataTracks)
        if (track >= 0 && track < int(in->nb_streams))
            copied << track;

    // Packed B-frames are an AVI habit that MP4 does not know.
    std::unique_ptr<AVBSFContext, FreeFilter> unpack;
    if (in->streams[video]->codecpar->codec_id == AV_CODEC_ID_MPEG4) {
        AVBSFContext *filter = nullptr;
        if ((status = av.av_bsf_alloc(av.av_bsf_get_by_name("mpeg4_unpack_bframes"), &filter)) < 0)
            return failed(Report::Error::Failed, u"mpeg4_unpack_bframes"_s, status);
        unpack.reset(filter);
        av.avcodec_parameters_copy(filter->par_in, in->streams[video]->codecpar);
        filter->time_base_in = in->streams[video]->time_base;
        if ((status = av.av_bsf_init(filter)) < 0)
            return failed(Report::Error::Failed, u"mpeg4_unpack_bframes"_s, status);
    }

    for (const int index : std::as_const(copied)) {
        if (index < 0)
            continue;
        const AVStream *from = in->streams[index];
        AVStream *to = av.avformat_new_stream(out.get(), nullptr);
        if (!to)
            return failed(Report::Error::Failed, u"no memory"_s, AVERROR(ENOMEM));
        const AVCodecParameters *par = index == video && unpack ? unpack->par_out : from->codecpar;
        if ((status = av.avcodec_parameters_copy(to->codecpar, par)) < 0)
            return failed(Report::Error::Failed, u"cannot copy the stream"_s, status);
        to->codecpar->codec_tag = codecTag(av, out->oformat, par);
        to->time_base = from->time_base;
        to->disposition = from->disposition;
        // The container's pixel shape, which players take over the codec's.
        if (index == video) {
            to->sample_aspect_ratio =
                av.av_guess_sample_aspect_ratio(in.get(), in->streams[index], nullptr);
            to->codecpar->sample_aspect_ratio = to->sample_aspect_ratio;
        }
        // Track names and titles are someone's words; without them the file still plays.
        if (job.keepMetadata) {
            av.av_dict_copy(&to->metadata, from->metadata, 0);
            av.av_dict_set(&to->metadata, "rotate", nullptr, 0);
        }
        if ((status = copySideData(av, from, to, index == video ? job.rotation : 0)) < 0)
            return failed(Report::Error::Failed, u"cannot copy the stream"_s, status);
        mapping[index] = to->index;
    }

    // Our own part file, reopened through its descriptor.
    const QByteArray url = "file:/dev/fd/" + QByteArray::number(job.outputFd);
    if ((status = av.avio_open(&out->pb, url.constData(), AVIO_FLAG_WRITE)) < 0)
        return writeFailed(status);
    AVDictionary *options = nullptr;
    if (job.keepMetadata && job.metadataTags)
        av.av_dict_set(&options, "movflags", "+use_metadata_tags", 0);
    // The muxer writes a Dolby Vision configuration only when told that
    // players outside the standard read it.
    if (streamColour(in->streams[video]).dolbyVision)
        out->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    status = av.avformat_write_header(out.get(), &options);
    av.av_dict_free(&options);
    if (status < 0)
        return failed(Report::Error::Failed, u"cannot start the output"_s, status);

    // Timestamps start at 0 in the output, as ffmpeg makes them.
    const int64_t start = in->start_time == AV_NOPTS_VALUE ? 0 : in->start_time;
    const std::unique_ptr<AVPacket, FreePacket> packet(av.av_packet_alloc());
    bool keyFrameSeen = false;
    qint64 frames = 0;
    QList<int64_t> lastDts(int(out->nb_streams), AV_NOPTS_VALUE);
    const auto write = [&](AVPacket *p, int index) {
        const AVStream *from = in->streams[index];
        AVStream *to = out->streams[mapping[index]];
        const int64_t offset = av.av_rescale_q(start, AV_TIME_BASE_Q, from->time_base);
        if (p->pts != AV_NOPTS_VALUE)
            p->pts -= offset;
        if (p->dts != AV_NOPTS_VALUE)
            p->dts -= offset;
        if (index == video) {
            ++frames;
            if (p->pts != AV_NOPTS_VALUE)
                position(std::max(0.0, double(p->pts) * av_q2d(from->time_base)), frames);
        }
        av.av_packet_rescale_ts(p, from->time_base, to->time_base);
        mendTimestamps(p, lastDts[to->index]);
        p->stream_index = to->index;
        p->pos = -1;
        return av.av_interleaved_write_frame(out.get(), p);
    };

    while ((status = av.av_read_frame(in.get(), packet.get())) >= 0) {
        const int index = packet->stream_index;
        if (const int sig = stopRequested())
            return {Report::Error::Interrupted, QString(), sig};
        // Like ffmpeg, the copy starts at the first key frame of the video.
        if (index == video && !keyFrameSeen && !(packet->flags & AV_PKT_FLAG_KEY)) {
            av.av_packet_unref(packet.get());
            continue;
        }
        if (index == video)
            keyFrameSeen = true;
        if (index < 0 || index >= mapping.size() || mapping[index] < 0) {
            av.av_packet_unref(packet.get());
            continue;
        }
        if (index == video && unpack) {
            if ((status = av.av_bsf_send_packet(unpack.get(), packet.get())) < 0)
                return failed(Report::Error::Source, displayPath(job.input), status);
            while ((status = av.av_bsf_receive_packet(unpack.get(), packet.get())) >= 0) {
                if ((status = write(packet.get(), index)) < 0)
                    return writeFailed(status);
            }
            if (status != AVERROR(EAGAIN))
                return failed(Report::Error::Source, displayPath(job.input), status);
            continue;
        }
        if ((status = write(packet.get(), index)) < 0)
            return writeFailed(status);
    }
    if (status != AVERROR_EOF)
        return failed(Report::Error::Source, displayPath(job.input), status);
    if (unpack) {
        av.av_bsf_send_packet(unpack.get(), nullptr);
        while (av.av_bsf_receive_packet(unpack.get(), packet.get()) >= 0) {
            if ((status = write(packet.get(), video)) < 0)
                return writeFailed(status);
        }
    }
    if ((status = av.av_write_trailer(out.get())) < 0 || (status = out->pb->error) < 0)
        return writeFailed(status);
    if ((status = av.avio_closep(&out->pb)) < 0)
        return writeFailed(status);
    return {};
}
