#include "outputcompare.h"

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

QString sizeText(QSize size)
{
    return u"%1x%2"_s.arg(size.width()).arg(size.height());
}

} // namespace

QList<Report::CheckDifference> compareOutput(const ShownOutput &output,
                                             const ExpectedOutput &expected)
{
    using Report::CheckFinding;
    QList<Report::CheckDifference> differences;
    if (expected.video && !output.video)
        differences << Report::CheckDifference{CheckFinding::NoVideo, {}, {}};
    if (expected.audio && !output.audio)
        differences << Report::CheckDifference{CheckFinding::NoSound, {}, {}};
    if (output.video) {
        const bool sizeDiffers = expected.shown.isValid() && output.shown != expected.shown;
        if (sizeDiffers)
            differences << Report::CheckDifference{CheckFinding::Size, sizeText(output.shown),
                                                   sizeText(expected.shown)};
        // Of the right size, the pixels' shape may still be wrong; rounding a
        // side to the codec's step moves the shape by a little.
        if (!sizeDiffers && expected.aspect > 0 &&
            !(std::abs(output.aspect / expected.aspect - 1) <= 0.02))
            differences << Report::CheckDifference{CheckFinding::Aspect,
                                                   QString::number(output.aspect, 'f', 3),
                                                   QString::number(expected.aspect, 'f', 3)};
        if (expected.sdr && !output.sdr8)
            differences << Report::CheckDifference{CheckFinding::Colour, output.colour,
                                                   u"bt709 8-bit"_s};
    }
    if (expected.seconds > 0 &&
        !(std::abs(output.seconds - expected.seconds) <= std::max(0.5, expected.seconds * 0.02)))
        differences << Report::CheckDifference{CheckFinding::Duration,
                                               QString::number(output.seconds, 'f', 2),
                                               QString::number(expected.seconds, 'f', 2)};
    return differences;
}
