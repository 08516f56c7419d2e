#include "transform.h"

#include <array>
#include <cmath>
#include <utility>

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

std::optional<PictureTransform> PictureTransform::fromDisplayMatrix(const int32_t matrix[9])
{
    // The 2x2 part, 16.16 fixed point; where each axis of the stored picture goes.
    const double a = matrix[0] / 65536.0, b = matrix[1] / 65536.0;
    const double c = matrix[3] / 65536.0, d = matrix[4] / 65536.0;
    const double scaleP = std::hypot(a, b), scaleQ = std::hypot(c, d);
    if (!(scaleP > 0) || !(scaleQ > 0) || std::abs(scaleP / scaleQ - 1) > 0.01)
        return std::nullopt;
    // Within a degree of one of the eight, as ffmpeg's autorotation takes them.
    const auto near = [](double value, int whole) { return std::abs(value - whole) < 0.017; };
    for (const Named &named : names) {
        const PictureTransform &n = named.transform;
        // The stored picture's right (1, 0) and down (0, 1) after the transform:
        // a mirror sends right to the left, each clockwise quarter sends right
        // down and down left.
        int px = n.m_mirrored ? -1 : 1, py = 0, qx = 0, qy = 1;
        for (int i = 0; i < n.m_quarters; ++i) {
            px = -std::exchange(py, px);
            qx = -std::exchange(qy, qx);
        }
        if (near(a / scaleP, px) && near(b / scaleP, py) && near(c / scaleQ, qx) &&
            near(d / scaleQ, qy))
            return n;
    }
    return std::nullopt;
}
