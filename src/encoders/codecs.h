#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringView>

#include <optional>

// What each encoder the plan may ask ffmpeg for can take, and what each
// container can hold, one row each: the plan reads its limits to scale, pad,
// resample or lower a bitrate, so that a limit never first shows as a failure
// of ffmpeg's.

struct FrameRate
{
    int num = 0, den = 1;
    double value() const { return double(num) / den; }
    // As ffmpeg's -r takes it: "25", "30000/1001".
    QString text() const;
};

struct VideoCodec
{
    const char16_t *encoder;     // ffmpeg's encoder
    int sizeStep;                // each side a multiple of this
    QSize largest;               // neither side longer
    int maxMacroblocks;          // 16x16 blocks in a picture; 0: any number
    QList<QSize> sizes;          // the only sizes it takes; empty: any within the above
    QList<FrameRate> frameRates; // the only rates it takes; empty: any
    int maxTimeScale;            // ticks per second it can count; 0: any
    // Whether it tells players the shape of a pixel; without that a picture
    // of other than square pixels shows distorted.
    bool pixelAspect;
    const char16_t *pixelFormat; // what it is given
    int bitDepth;                // of each sample in that format

    bool fixedSizes() const { return !sizes.isEmpty(); }
    bool fixedRates() const { return !frameRates.isEmpty(); }
};

// The bitrates an audio codec can make at a range of sample rates.
struct AudioBitrates
{
    int lowestRate, highestRate; // Hz
    qint64 lowest, highest;      // bit/s
    QList<int> only;             // kbit/s, the only bitrates it takes; empty: any within
};

struct AudioCodec
{
    const char16_t *name;    // as the commands and the formats name it
    const char16_t *encoder; // ffmpeg's encoder that makes it
    QList<int> sampleRates;  // Hz, ascending
    QList<AudioBitrates> bitrates;
    int maxChannels;

    // The bitrate nearest the one wanted that it can make at that rate.
    qint64 bitrateAt(int sampleRate, qint64 wanted) const;
    // Whether it can make that bitrate at that rate as asked.
    bool makes(int sampleRate, qint64 bitrate) const
    {
        return bitrateAt(sampleRate, bitrate) == bitrate;
    }
};

// What a container holds of what goes into it.
struct MuxerLimits
{
    const char16_t *muxer;  // ffmpeg's
    int maxTextBytes;       // of each metadata text; 0: any length
    int maxVideoFrameBytes; // of one coded picture; 0: any size
    // Sample rates it holds for a codec; empty: what the codec makes.
    const char16_t *ratesCodec;
    QList<int> rates;
    bool dolbyVision; // keeps a Dolby Vision stream's configuration on a copy
    // Counts video frames at one rate, without timestamps: a source of
    // uneven frames must be made even, and sound must start with the picture.
    bool oneFrameRate;
};

// Where to resample the sound to, and at what bitrate.
struct AudioChoice
{
    QList<int> rates; // ffmpeg takes the one nearest the source's
    qint64 bitrate = 0;
};

namespace Codecs {

// nullptr for an encoder the table does not know: nothing is asked of it.
const VideoCodec *video(QStringView encoder);
// By the codec's name, or by its encoder's; nullptr when unknown.
const AudioCodec *audio(QStringView name);
// The row of a muxer; one without limits for those the table does not know.
const MuxerLimits &muxer(QStringView name);

// The sample rates the codec makes in that container, ascending.
QList<int> sampleRates(const AudioCodec &codec, QStringView muxer);
// At the sample rate asked, the nearest it makes, and the bitrate nearest the
// one asked there. Without one, the rates at which it makes that bitrate, or
// else those at which it comes nearest it, and that bitrate: the sound is
// resampled rather than made at less than asked. 0 asks for neither.
AudioChoice audioChoice(const AudioCodec &codec, QStringView muxer, int sampleRate, qint64 bitrate);

// The rate among the codec's own nearest fps; else fps itself as a fraction
// whose denominator the codec can count in (30000/1001, 2997/100, 30).
FrameRate frameRate(const VideoCodec *codec, double fps);

// A text cut to at most maxBytes of UTF-8, in whole characters.
QByteArray cutText(const QByteArray &utf8, int maxBytes);

} // namespace Codecs
