#include "outputcheck.h"

#include "outputcompare.h"

#include "libav.h"
#include "media.h"

#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

struct FreeDecoder
{
    void operator()(AVCodecContext *c) const { libav()->avcodec_free_context(&c); }
};
struct FreeFrame
{
    void operator()(AVFrame *f) const { libav()->av_frame_free(&f); }
};
struct FreePacket
{
    void operator()(AVPacket *p) const { libav()->av_packet_free(&p); }
};

// Enough for any decoder's delay before its first picture, and for the sound
// muxed ahead of it; a damaged file is not read to its end.
constexpr int VideoPacketBudget = 64;
constexpr int PacketBudget = 1024;

bool firstPictureDecodes(AVFormatContext *context, int index)
{
    const Libav &av = *libav();
    const AVCodecParameters *par = context->streams[index]->codecpar;
    const AVCodec *codec = av.avcodec_find_decoder(par->codec_id);
    if (!codec)
        return false;
    const std::unique_ptr<AVCodecContext, FreeDecoder> decoder(av.avcodec_alloc_context3(codec));
    if (!decoder || av.avcodec_parameters_to_context(decoder.get(), par) < 0)
        return false;
    // Threads would only hold the one picture back.
    decoder->thread_count = 1;
    if (av.avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return false;
    const std::unique_ptr<AVPacket, FreePacket> packet(av.av_packet_alloc());
    const std::unique_ptr<AVFrame, FreeFrame> frame(av.av_frame_alloc());
    if (!packet || !frame)
        return false;
    int videoPackets = 0;
    for (int read = 0; read < PacketBudget && videoPackets < VideoPacketBudget; ++read) {
        if (av.av_read_frame(context, packet.get()) < 0)
            break;
        if (packet->stream_index == index) {
            ++videoPackets;
            // A damaged packet may be followed by good ones.
            av.avcodec_send_packet(decoder.get(), packet.get());
        }
        av.av_packet_unref(packet.get());
        if (av.avcodec_receive_frame(decoder.get(), frame.get()) >= 0)
            return true;
    }
    // A decoder may hold its pictures back until the stream ends.
    av.avcodec_send_packet(decoder.get(), nullptr);
    return av.avcodec_receive_frame(decoder.get(), frame.get()) >= 0;
}

} // namespace

QString describe(const Report::CheckDifference &difference)
{
    using Report::CheckFinding;
    switch (difference.finding) {
    case CheckFinding::Unreadable:
        return u"it cannot be read: %1"_s.arg(difference.found);
    case CheckFinding::NoVideo:
        return u"no video, the source has some"_s;
    case CheckFinding::NoSound:
        return u"no sound, the source has some"_s;
    case CheckFinding::Size:
        return u"%1 shown, %2 expected"_s.arg(difference.found, difference.expected);
    case CheckFinding::Duration:
        return u"%1 s long, %2 s expected"_s.arg(difference.found, difference.expected);
    case CheckFinding::Aspect:
        return u"shown %1 wide to 1 high, %2 expected"_s.arg(difference.found, difference.expected);
    case CheckFinding::Colour:
        return u"%1 colour, SDR %2 expected"_s.arg(difference.found, difference.expected);
    case CheckFinding::Undecodable:
        break;
    }
    return u"its first picture does not decode"_s;
}

QList<Report::CheckDifference> checkOutput(const QString &path, const ExpectedOutput &expected)
{
    using Report::CheckFinding;
    const Libav &av = *libav();
    av.av_log_set_level(AV_LOG_QUIET);
    InputContext context;
    if (const int status = openInput(path, &context); status < 0)
        return {{CheckFinding::Unreadable, libavError(status), {}}};
    av.avformat_find_stream_info(context.get(), nullptr);

    ShownOutput output;
    const int video = firstVideoStream(context.get());
    output.video = video >= 0;
    output.audio = std::any_of(
        context->streams, context->streams + context->nb_streams,
        [](const AVStream *s) { return s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO; });
    if (video >= 0) {
        AVStream *stream = context->streams[video];
        // As a player shows it: turned by the output's own display matrix.
        output.shown = QSize(stream->codecpar->width, stream->codecpar->height);
        const AVRational sar = av.av_guess_sample_aspect_ratio(context.get(), stream, nullptr);
        output.aspect =
            output.shown.height() > 0 ? double(output.shown.width()) / output.shown.height() : 0;
        if (sar.num > 0 && sar.den > 0)
            output.aspect *= av_q2d(sar);
        if (const auto display = displayTransform(stream); display && display->swapsSides()) {
            output.shown.transpose();
            output.aspect = output.aspect > 0 ? 1 / output.aspect : 0;
        }
        const Colour colour = streamColour(stream);
        output.sdr8 = !colour.isHdr() && colour.bitDepth <= 8;
        output.colour =
            u"%1 %2-bit"_s.arg(colour.transfer.isEmpty() ? u"untagged"_s : colour.transfer)
                .arg(colour.bitDepth);
    }
    output.seconds =
        context->duration == AV_NOPTS_VALUE ? 0 : double(context->duration) / AV_TIME_BASE;
    QList<Report::CheckDifference> differences = compareOutput(output, expected);
    if (video >= 0 && !firstPictureDecodes(context.get(), video))
        differences << Report::CheckDifference{CheckFinding::Undecodable, {}, {}};
    return differences;
}
