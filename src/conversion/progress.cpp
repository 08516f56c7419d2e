#include "progress.h"

#include "common/numbers.h"

#include <algorithm>
#include <cmath>

namespace {

// "12.3456" stays "12.3456"; no exponent form, no trailing zeros.
QString plainNumber(double value)
{
    QString text = QString::number(value, 'g', 15);
    if (text.contains(u'e')) {
        text = QString::number(value, 'f', 15);
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

// The seconds as the encoder's own progress line shows them, to the hundredth.
double shownSeconds(double seconds)
{
    return std::round(seconds * 100) / 100;
}

} // namespace

QString nextSpinner(const QString &spinner)
{
    if (spinner == u"-")
        return u"\\"_qs;
    if (spinner == u"\\")
        return u"|"_qs;
    if (spinner == u"|")
        return u"/"_qs;
    return u"-"_qs;
}

bool ProgressState::rotationPosition(double seconds, double total)
{
    spinner = nextSpinner(spinner);
    if (!(total > 0))
        return false;
    // The whole percentage conv shows, which reaches 100 only once written.
    const double p = std::clamp(std::floor(seconds * 100 / total), 0.0, 99.0);
    display.percent = p;
    display.caption = u"旋转中 "_qs + spinner + u' ' + QString::number(p) + u'%';
    return true;
}

void ProgressState::rotationFinished()
{
    display = {100, u"进行最后一步... 100%"_qs};
}

void ProgressState::formatPosition(double seconds, double total)
{
    spinner = nextSpinner(spinner);
    // Whole seconds, as the coders' "Duration:" and "time=" lines give them.
    const double duration = roundHalfEven(shownSeconds(total));
    const double t = roundHalfEven(shownSeconds(seconds));
    if (!(duration > 0) || t / duration * 100 >= 100) {
        display = {100, u"Done 100%"_qs};
        return;
    }
    const QString number = plainNumber(t / duration * 100).left(4);
    display.percent = std::clamp(leadingNumber(number), 0.0, 100.0);
    display.caption = u"生成中..."_qs + spinner + u' ' + number + u'%';
}
