#include "report.h"

#include "paths.h"

#include <QLocale>

#include <array>
#include <cmath>
#include <utility>

namespace Report {
namespace {

constexpr QStringView PrefixView = u"[torvane] ";
// Report lines are short; a longer line is someone else's text.
constexpr qsizetype MaxLine = 8192;

constexpr std::array<std::pair<Error, const char *>, 12> errorWords{{
    {Error::Usage, "usage"},
    {Error::Source, "source"},
    {Error::NotAFile, "not-a-file"},
    {Error::Output, "output"},
    {Error::NameTooLong, "name-too-long"},
    {Error::DiskFull, "disk-full"},
    {Error::FfmpegMissing, "ffmpeg-missing"},
    {Error::ClipRange, "clip-range"},
    {Error::Interrupted, "interrupted"},
    {Error::Failed, "failed"},
    {Error::CheckFailed, "check-failed"},
    {Error::StillPicture, "still-picture"},
}};

constexpr std::array<std::pair<LosslessRefusal, const char *>, 7> refusalWords{{
    {LosslessRefusal::Libav, "libav"},
    {LosslessRefusal::Filter, "filter"},
    {LosslessRefusal::Container, "container"},
    {LosslessRefusal::NoVideo, "no-video"},
    {LosslessRefusal::Codec, "codec"},
    {LosslessRefusal::DisplayMatrix, "display-matrix"},
    {LosslessRefusal::Clip, "clip"},
}};

constexpr std::array<std::pair<CheckFinding, const char *>, 8> findingWords{{
    {CheckFinding::Unreadable, "unreadable"},
    {CheckFinding::NoVideo, "no-video"},
    {CheckFinding::NoSound, "no-sound"},
    {CheckFinding::Size, "size"},
    {CheckFinding::Duration, "duration"},
    {CheckFinding::Undecodable, "undecodable"},
    {CheckFinding::Aspect, "aspect"},
    {CheckFinding::Colour, "colour"},
}};

template<typename Enum, size_t N>
QByteArray wordOf(const std::array<std::pair<Enum, const char *>, N> &words, Enum value)
{
    for (const auto &[known, word] : words)
        if (known == value)
            return word;
    return {};
}

template<typename Enum, size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, const char *>, N> &words,
                            QStringView word)
{
    for (const auto &[value, known] : words)
        if (word == QLatin1StringView(known))
            return value;
    return std::nullopt;
}

QByteArray line(QByteArrayView keyValue)
{
    return Prefix + keyValue.toByteArray() + '\n';
}

std::optional<double> seconds(QStringView text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

} // namespace

QByteArray errorWord(Error error)
{
    return wordOf(errorWords, error);
}

Error errorFromWord(QStringView word)
{
    return valueOf(errorWords, word).value_or(Error::Failed);
}

QByteArray refusalWord(LosslessRefusal refusal)
{
    return wordOf(refusalWords, refusal);
}

LosslessRefusal refusalFromWord(QStringView word)
{
    return valueOf(refusalWords, word).value_or(LosslessRefusal::None);
}

QByteArray durationLine(double value)
{
    return line("duration=" + QByteArray::number(value, 'f', 3));
}

QByteArray positionLine(double value)
{
    return line("position=" + QByteArray::number(value, 'f', 6));
}

QByteArray errorLine(Error error)
{
    return line("error=" + errorWord(error));
}

QByteArray losslessCopyLine()
{
    return line("lossless=copy");
}

QByteArray losslessEncodeLine(LosslessRefusal why, const QString &codec)
{
    QByteArray text = "lossless=encode reason=" + refusalWord(why);
    if (!codec.isEmpty())
        text += " codec=" + codec.toLatin1();
    return line(text);
}

QByteArray outputLine(const QByteArray &path)
{
    return line("output=" + path.toPercentEncoding("/"));
}

QByteArray checkLine(const CheckDifference &difference)
{
    QByteArray text = "check=" + wordOf(findingWords, difference.finding);
    // Figures only: a space would end the field.
    if (!difference.found.isEmpty())
        text += " found=" + difference.found.toUtf8().toPercentEncoding();
    if (!difference.expected.isEmpty())
        text += " expected=" + difference.expected.toUtf8().toPercentEncoding();
    return line(text);
}

QByteArray probedLine(int index, std::optional<double> seconds)
{
    QByteArray text = "probed=" + QByteArray::number(index);
    if (seconds)
        text += " duration=" + QByteArray::number(*seconds, 'f', 3);
    return line(text);
}

QString RunReport::losslessWhy() const
{
    if (losslessRefusal == LosslessRefusal::Codec && !losslessCodec.isEmpty())
        return losslessCodec;
    return QString::fromLatin1(refusalWord(losslessRefusal));
}

void Reader::reset()
{
    m_line.clear();
    m_skipping = false;
    m_report = {};
}

bool Reader::feed(QStringView piece)
{
    bool moved = false;
    for (const QChar c : piece) {
        if (c == u'\n' || c == u'\r') {
            if (!m_skipping && readLine(m_line))
                moved = true;
            m_line.clear();
            m_skipping = false;
            continue;
        }
        if (m_skipping)
            continue;
        m_line.append(c);
        // Anything else is dropped as soon as it cannot be a report line, so
        // a long run of progress text costs nothing.
        const qsizetype n = std::min(m_line.size(), PrefixView.size());
        if (QStringView(m_line).first(n) != PrefixView.first(n) || m_line.size() > MaxLine) {
            m_line.clear();
            m_skipping = true;
        }
    }
    return moved;
}

bool Reader::readLine(QStringView text)
{
    if (!text.startsWith(PrefixView))
        return false;
    const QList<QStringView> fields =
        text.sliced(PrefixView.size()).split(u' ', Qt::SkipEmptyParts);
    if (fields.isEmpty())
        return false;
    const qsizetype eq = fields.first().indexOf(u'=');
    if (eq <= 0)
        return false;
    const QStringView key = fields.first().first(eq);
    const QStringView value = fields.first().sliced(eq + 1);
    if (key == u"duration") {
        if (const auto s = seconds(value))
            m_report.duration = *s;
    } else if (key == u"position") {
        if (const auto s = seconds(value)) {
            m_report.position = *s;
            return true;
        }
    } else if (key == u"output") {
        m_report.output = pathFromBytes(QByteArray::fromPercentEncoding(value.toUtf8()));
        return true;
    } else if (key == u"probed") {
        bool ok = false;
        const int index = value.toInt(&ok);
        if (!ok || index < 0)
            return false;
        std::optional<double> length;
        for (const QStringView field : fields.sliced(1))
            if (field.startsWith(u"duration="))
                length = seconds(field.sliced(9));
        m_report.probed.append({index, length});
        return true;
    } else if (key == u"error") {
        m_report.error = errorFromWord(value);
    } else if (key == u"check") {
        CheckDifference difference;
        difference.finding = valueOf(findingWords, value).value_or(CheckFinding::Unreadable);
        for (const QStringView field : fields.sliced(1)) {
            const auto decoded = [&](qsizetype at) {
                return QString::fromUtf8(
                    QByteArray::fromPercentEncoding(field.sliced(at).toUtf8()));
            };
            if (field.startsWith(u"found="))
                difference.found = decoded(6);
            else if (field.startsWith(u"expected="))
                difference.expected = decoded(9);
        }
        m_report.checks << difference;
    } else if (key == u"lossless") {
        m_report.losslessAsked = true;
        m_report.losslessCopied = value == u"copy";
        m_report.losslessRefusal = LosslessRefusal::None;
        m_report.losslessCodec.clear();
        for (const QStringView field : fields.sliced(1)) {
            if (field.startsWith(u"reason="))
                m_report.losslessRefusal = refusalFromWord(field.sliced(7));
            else if (field.startsWith(u"codec="))
                m_report.losslessCodec = field.sliced(6).toString();
        }
    }
    return false;
}

} // namespace Report
