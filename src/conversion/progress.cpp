#include "progress.h"

#include "common/numbers.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// The text after a marker up to the next space (or the end of the piece).
std::optional<QStringView> fieldAfter(QStringView piece, QStringView marker)
{
    const qsizetype at = piece.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    const QStringView rest = piece.sliced(at + marker.size());
    const qsizetype space = rest.indexOf(u' ');
    return space < 0 ? rest : rest.first(space);
}

bool isNumber(QStringView text)
{
    bool ok = false;
    (void)text.toDouble(&ok);
    return ok;
}

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

std::optional<QString> findPercentText(QStringView piece)
{
    const qsizetype n = piece.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (piece[i] != u'(')
            continue;
        if (i + 4 < n && piece[i + 4] == u')')
            return piece.sliced(i + 1, 3).toString();
        if (i + 5 < n && piece[i + 5] == u')')
            return piece.sliced(i + 1, 4).toString();
    }
    return std::nullopt;
}

std::optional<int> findDuration(QStringView piece)
{
    const auto field = fieldAfter(piece, u"Duration: ");
    if (!field)
        return std::nullopt;
    const QList<QStringView> parts = field->split(u':');
    if (parts.size() != 3)
        return std::nullopt;
    QStringView seconds = parts[2];
    const qsizetype comma = seconds.indexOf(u',');
    if (comma >= 0)
        seconds = seconds.first(comma);
    if (!isNumber(parts[0]) || !isNumber(parts[1]) || !isNumber(seconds))
        return std::nullopt;
    const double total = parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + seconds.toDouble();
    return toInt32(total);
}

std::optional<double> findElapsed(QStringView piece)
{
    const auto field = fieldAfter(piece, u"time=");
    if (!field)
        return std::nullopt;
    const QList<QStringView> parts = field->split(u':');
    if (parts.size() == 3 && isNumber(parts[0]) && isNumber(parts[1]))
        return parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + leadingNumber(parts[2]);
    return leadingNumber(*field);
}

bool ProgressState::firstPassPiece(QStringView piece)
{
    spinner = nextSpinner(spinner);
    const auto percent = findPercentText(piece);
    if (!percent)
        return false;
    if (*percent == u"100%") {
        display = {ProgressDisplay::FullWidth, 100, u"进行最后一步... 100%"_qs};
        return true;
    }
    const double p = roundHalfEven(leadingNumber(*percent));
    const double shown = std::clamp(p, 0.0, 100.0);
    display.fillWidth = shown / 100 * ProgressDisplay::FullWidth;
    display.percent = shown;
    display.caption = u"旋转中 "_qs + spinner + u' ' + QString::number(p) + u'%';
    return true;
}

bool ProgressState::secondPassPiece(QStringView piece)
{
    if (durationSeconds == 0) {
        if (const auto duration = findDuration(piece))
            durationSeconds = *duration;
    }
    const auto elapsed = findElapsed(piece);
    spinner = nextSpinner(spinner);
    if (!elapsed)
        return false;
    const double t = roundHalfEven(*elapsed);
    if (durationSeconds == 0 || t / durationSeconds * 100 >= 100) {
        display = {ProgressDisplay::FullWidth, 100, u"Done 100%"_qs};
        return true;
    }
    const double f = t / durationSeconds;
    const QString number = plainNumber(f * 100).left(4);
    display.fillWidth = std::max(0.0, f) * ProgressDisplay::FullWidth;
    display.percent = std::clamp(leadingNumber(number), 0.0, 100.0);
    display.caption = u"生成中..."_qs + spinner + u' ' + number + u'%';
    return true;
}
