#include "codecs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

using namespace Qt::Literals::StringLiterals;

namespace {

const QList<FrameRate> mpegRates = {{24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                    {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};

// MPEG-1's sizes reach 4095 and H.263's only a handful; RealVideo 1 writes the
// number of 16x16 blocks of a picture in 12 bits; MPEG-4 part 2 counts time
// in 16 bits. Only H.264 and MPEG-4 tell players a pixel's shape freely.
const QList<VideoCodec> videoCodecs = {
    {u"libx264", 2, {16384, 16384}, 0, {}, {}, 0, true, u"yuv420p", 8},
    {u"mpeg4", 2, {8190, 8190}, 0, {}, {}, 65535, true, u"yuv420p", 8},
    {u"mpeg1video", 2, {4094, 4094}, 0, {}, mpegRates, 0, false, u"yuv420p", 8},
    {u"mpeg2video", 2, {16382, 16382}, 0, {}, mpegRates, 0, false, u"yuv420p", 8},
    {u"rv10", 16, {4080, 4080}, 4095, {}, {}, 0, false, u"yuv420p", 8},
    {u"h263",
     2,
     {1408, 1152},
     0,
     {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}},
     {},
     0,
     false,
     u"yuv420p",
     8},
    {u"flv", 2, {4094, 4094}, 0, {}, {}, 0, false, u"yuv420p", 8},
};

// MPEG audio's bitrates depend on the rate: MPEG-1 at 32 kHz and above,
// MPEG-2 at half those, MPEG-2.5 at a quarter.
const QList<AudioCodec> audioCodecs = {
    {u"libmp3lame",
     u"libmp3lame",
     {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000},
     {{8000, 12000, 8000, 64000, {}},
      {16000, 24000, 8000, 160000, {}},
      {32000, 48000, 32000, 320000, {}}},
     2},
    {u"mp2",
     u"mp2",
     {16000, 22050, 24000, 32000, 44100, 48000},
     {{16000, 24000, 8000, 160000, {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
      {32000,
       48000,
       32000,
       384000,
       {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384}}},
     2},
    // ffmpeg's encoder takes none of AC-3's reduced rates.
    {u"ac3", u"ac3", {32000, 44100, 48000}, {{32000, 48000, 32000, 640000, {}}}, 6},
    {u"aac",
     u"aac",
     {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000},
     {{8000, 96000, 8000, 512000, {}}},
     8},
    // No AMR narrow-band encoder in this ffmpeg: AAC at AMR's settings is the
    // nearest thing phones still play.
    {u"amr_nb", u"aac", {8000}, {{8000, 8000, 4750, 12200, {}}}, 1},
};

// RealMedia writes each text with a 16-bit length, and each packet: a longer
// one makes a file no player reads. FLV's texts have 16-bit lengths too, but
// libav's reader, behind most players, drops all of the metadata when one
// text reaches 256 bytes. FLV codes only four sample rates (48 kHz goes in
// as 44.1 for MP3); MP4 has no code for MP3 below 16 kHz.
// AVI has no timestamps: a frame's place is its number; RealMedia counts its
// frames at the rate of its header.
const QList<MuxerLimits> muxers = {
    {u"rm", 65535, 65535, nullptr, {}, false, true},
    {u"flv", 255, 0, u"libmp3lame", {11025, 22050, 44100, 48000}, false, false},
    {u"mp4", 0, 0, u"libmp3lame", {16000, 22050, 24000, 32000, 44100, 48000}, true, false},
    {u"avi", 0, 0, nullptr, {}, false, true},
};
const MuxerLimits anyMuxer = {u"", 0, 0, nullptr, {}, false, false};

} // namespace

QString FrameRate::text() const
{
    return den == 1 ? QString::number(num) : u"%1/%2"_s.arg(num).arg(den);
}

qint64 AudioCodec::bitrateAt(int sampleRate, qint64 wanted) const
{
    const auto range =
        std::find_if(bitrates.begin(), bitrates.end(), [sampleRate](const AudioBitrates &b) {
            return sampleRate >= b.lowestRate && sampleRate <= b.highestRate;
        });
    if (range == bitrates.end())
        return wanted;
    const qint64 held = std::clamp(wanted, range->lowest, range->highest);
    if (range->only.isEmpty())
        return held;
    const int best =
        *std::min_element(range->only.begin(), range->only.end(), [held](int a, int b) {
            return std::abs(a * 1000LL - held) < std::abs(b * 1000LL - held);
        });
    return best * 1000LL;
}

namespace Codecs {

const VideoCodec *video(QStringView encoder)
{
    for (const VideoCodec &codec : videoCodecs)
        if (encoder == QStringView(codec.encoder))
            return &codec;
    return nullptr;
}

const AudioCodec *audio(QStringView name)
{
    for (const AudioCodec &codec : audioCodecs)
        if (name == QStringView(codec.name))
            return &codec;
    return nullptr;
}

const MuxerLimits &muxer(QStringView name)
{
    for (const MuxerLimits &limits : muxers)
        if (name == QStringView(limits.muxer))
            return limits;
    return anyMuxer;
}

QList<int> sampleRates(const AudioCodec &codec, QStringView muxerName)
{
    const MuxerLimits &limits = muxer(muxerName);
    if (!limits.ratesCodec || QStringView(limits.ratesCodec) != QStringView(codec.encoder))
        return codec.sampleRates;
    QList<int> rates;
    for (const int rate : codec.sampleRates)
        if (limits.rates.contains(rate))
            rates << rate;
    return rates.isEmpty() ? codec.sampleRates : rates;
}

AudioChoice audioChoice(const AudioCodec &codec, QStringView muxerName, int sampleRate,
                        qint64 bitrate)
{
    const QList<int> all = sampleRates(codec, muxerName);
    if (sampleRate > 0) {
        const int rate = *std::min_element(all.begin(), all.end(), [sampleRate](int a, int b) {
            return std::abs(a - sampleRate) < std::abs(b - sampleRate);
        });
        return {{rate}, bitrate > 0 ? codec.bitrateAt(rate, bitrate) : 0};
    }
    if (bitrate <= 0)
        return {all, 0};
    // The bitrate it comes nearest, the higher on a tie, and every rate it makes it at.
    qint64 best = -1;
    for (const int rate : all) {
        const qint64 made = codec.bitrateAt(rate, bitrate);
        const qint64 off = std::abs(made - bitrate), bestOff = std::abs(best - bitrate);
        if (best < 0 || off < bestOff || (off == bestOff && made > best))
            best = made;
    }
    AudioChoice choice{{}, best};
    for (const int rate : all)
        if (codec.bitrateAt(rate, bitrate) == best)
            choice.rates << rate;
    return choice;
}

FrameRate frameRate(const VideoCodec *codec, double fps)
{
    if (codec && codec->fixedRates())
        return *std::min_element(codec->frameRates.begin(), codec->frameRates.end(),
                                 [fps](const FrameRate &a, const FrameRate &b) {
                                     return std::abs(a.value() - fps) < std::abs(b.value() - fps);
                                 });
    for (const int ntsc : {24000, 30000, 48000, 60000, 120000})
        if (std::abs(fps - ntsc / 1001.0) < 0.0005)
            return {ntsc, 1001};
    const int most = codec && codec->maxTimeScale > 0 ? codec->maxTimeScale : 1000000;
    for (int den = 1000; den >= 1; den /= 10) {
        const long long num = std::llround(fps * den);
        if (num >= 1 && num <= most) {
            const int common = std::gcd(int(num), den);
            return {int(num) / common, den / common};
        }
    }
    return {int(std::max(1LL, std::llround(fps))), 1};
}

QByteArray cutText(const QByteArray &utf8, int maxBytes)
{
    if (maxBytes <= 0 || utf8.size() <= maxBytes)
        return utf8;
    qsizetype end = maxBytes;
    // Back to the start of the character that would be cut.
    while (end > 0 && (uchar(utf8[end]) & 0xC0) == 0x80)
        --end;
    return utf8.left(end);
}

} // namespace Codecs
