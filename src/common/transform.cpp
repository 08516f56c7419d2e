#include "transform.h"

#include <array>
#include <cmath>

namespace {

struct Named
{
    PictureTransform transform;
    const char16_t *filters; // ffmpeg's, comma separated
    const char16_t *words;   // conv's, comma separated
};

// mencoder's rotate values follow its transpose modes: 1 and 2 are the plain
// quarter turns, 0 and 3 add a vertical flip.
const std::array<Named, 8> names{{
    {PictureTransform(), u"", u""},
    {PictureTransform::turn(1), u"transpose=clock", u"rotate=1"},
    {PictureTransform::turn(2), u"hflip,vflip", u"mirror,flip"},
    {PictureTransform::turn(3), u"transpose=cclock", u"rotate=2"},
    {PictureTransform::mirror(), u"hflip", u"mirror"},
    {PictureTransform::mirror().then(PictureTransform::turn(1)), u"transpose=clock_flip",
     u"rotate=3"},
    {PictureTransform::flip(), u"vflip", u"flip"},
    {PictureTransform::mirror().then(PictureTransform::turn(3)), u"transpose=cclock_flip",
     u"rotate=0"},
}};

const Named &named(PictureTransform transform)
{
    for (const Named &n : names)
        if (n.transform == transform)
            return n;
    return names[0];
}

QStringList split(const char16_t *text)
{
    return QString::fromUtf16(text).split(u',', Qt::SkipEmptyParts);
}

} // namespace

QStringList PictureTransform::ffmpegFilters() const
{
    return split(named(*this).filters);
}

QStringList PictureTransform::encoderWords() const
{
    return split(named(*this).words);
}

std::optional<PictureTransform> PictureTransform::fromEncoderWord(QStringView word)
{
    if (word == u"rotate") // mencoder's default mode
        return mirror().then(turn(3));
    for (const Named &n : names)
        if (split(n.words) == QStringList{word.toString()})
            return n.transform;
    return std::nullopt;
}

std::optional<PictureTransform> PictureTransform::fromDisplayRotation(double counterClockwise,
                                                                      bool mirrored)
{
    const double quarters = counterClockwise / 90;
    if (mirrored || !std::isfinite(quarters) || std::abs(quarters - std::round(quarters)) > 0.01)
        return std::nullopt;
    return turn(-int(std::lround(quarters)));
}
