#include "report.h"

#include "paths.h"

#include <QLocale>

#include <array>
#include <cmath>
#include <utility>

namespace Report {
namespace {

const QByteArrayView PrefixView(Prefix);
// Report lines are short, but for a probe's info with its tags; a longer
// line is no report.
constexpr qsizetype MaxLine = 4 * MaxSourceInfo;

constexpr std::array<std::pair<Error, const char *>, 13> errorWords{{
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
    {Error::NoSound, "no-sound"},
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
                            QByteArrayView word)
{
    for (const auto &[value, known] : words)
        if (word == QByteArrayView(known))
            return value;
    return std::nullopt;
}

QByteArray line(QByteArrayView keyValue)
{
    return Prefix + keyValue.toByteArray() + '\n';
}

std::optional<double> seconds(QByteArrayView text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(QLatin1StringView(text), &ok);
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
    return valueOf(errorWords, QByteArrayView(word.toLatin1())).value_or(Error::Failed);
}

QByteArray refusalWord(LosslessRefusal refusal)
{
    return wordOf(refusalWords, refusal);
}

LosslessRefusal refusalFromWord(QStringView word)
{
    return valueOf(refusalWords, QByteArrayView(word.toLatin1())).value_or(LosslessRefusal::None);
}

QByteArray durationLine(double value)
{
    return line("duration=" + QByteArray::number(value, 'f', 3));
}

QByteArray positionLine(double value)
{
    return line("position=" + QByteArray::number(value, 'f', 6));
}

QByteArray errorLine(Error error, const QString &detail)
{
    QByteArray text = "error=" + errorWord(error);
    if (!detail.isEmpty())
        text += " detail=" + detail.toUtf8().toPercentEncoding();
    return line(text);
}

QByteArray losslessCopyLine()
{
    return line("lossless=copy");
}

QByteArray losslessEncodeLine(LosslessRefusal why, const QString &codec)
{
    QByteArray text = "lossless=encode reason=" + refusalWord(why);
    if (!codec.isEmpty())
        text += " codec=" + codec.toUtf8().toPercentEncoding();
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

QByteArray probedLine(int index, std::optional<double> seconds, const QByteArray &info)
{
    QByteArray text = "probed=" + QByteArray::number(index);
    if (seconds)
        text += " duration=" + QByteArray::number(*seconds, 'f', 3);
    if (!info.isEmpty())
        text += " info=" + info.toPercentEncoding();
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

bool Reader::feed(QByteArrayView piece)
{
    bool moved = false;
    for (const char c : piece) {
        if (c == '\n' || c == '\r') {
            if (!m_skipping && readLine(m_line))
                moved = true;
            m_line.clear();
            m_skipping = false;
            continue;
        }
        if (m_skipping)
            continue;
        m_line.append(c);
        // Anything else is dropped as soon as it cannot be a report line.
        const qsizetype n = std::min(m_line.size(), PrefixView.size());
        if (QByteArrayView(m_line).first(n) != PrefixView.first(n) || m_line.size() > MaxLine) {
            m_line.clear();
            m_skipping = true;
        }
    }
    return moved;
}

namespace {

QString decoded(QByteArrayView value)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value.toByteArray()));
}

// The value of the "name=" field among fields; nullopt when it is not there.
std::optional<QByteArrayView> field(const QList<QByteArrayView> &fields, QByteArrayView name)
{
    for (const QByteArrayView f : fields.sliced(1))
        if (f.size() > name.size() && f.startsWith(name) && f[name.size()] == '=')
            return f.sliced(name.size() + 1);
    return std::nullopt;
}

} // namespace

bool Reader::readLine(QByteArrayView text)
{
    if (!text.startsWith(PrefixView))
        return false;
    QList<QByteArrayView> fields;
    const QByteArrayView rest = text.sliced(PrefixView.size());
    for (qsizetype begin = 0, end = 0; begin < rest.size(); begin = end + 1) {
        end = rest.indexOf(' ', begin);
        if (end < 0)
            end = rest.size();
        if (end > begin)
            fields << rest.sliced(begin, end - begin);
    }
    if (fields.isEmpty())
        return false;
    const qsizetype eq = fields.first().indexOf('=');
    if (eq <= 0)
        return false;
    const QByteArrayView key = fields.first().first(eq);
    const QByteArrayView value = fields.first().sliced(eq + 1);
    if (key == "duration") {
        if (const auto s = seconds(value))
            m_report.duration = *s;
    } else if (key == "position") {
        if (const auto s = seconds(value)) {
            m_report.position = *s;
            return true;
        }
    } else if (key == "output") {
        m_report.output = pathFromBytes(QByteArray::fromPercentEncoding(value.toByteArray()));
        return true;
    } else if (key == "probed") {
        bool ok = false;
        const int index = value.toInt(&ok);
        if (!ok || index < 0)
            return false;
        ProbedPath path{index, {}, {}};
        if (const auto d = field(fields, "duration"))
            path.duration = seconds(*d);
        if (const auto i = field(fields, "info"))
            path.info = QByteArray::fromPercentEncoding(i->toByteArray());
        m_report.probed.append(path);
        return true;
    } else if (key == "error") {
        m_report.error = errorFromWord(QString::fromLatin1(value));
        if (const auto d = field(fields, "detail"))
            m_report.detail = decoded(*d);
    } else if (key == "check") {
        CheckDifference difference;
        difference.finding = valueOf(findingWords, value).value_or(CheckFinding::Unreadable);
        if (const auto f = field(fields, "found"))
            difference.found = decoded(*f);
        if (const auto e = field(fields, "expected"))
            difference.expected = decoded(*e);
        m_report.checks << difference;
    } else if (key == "lossless") {
        m_report.losslessAsked = true;
        m_report.losslessCopied = value == "copy";
        m_report.losslessRefusal = LosslessRefusal::None;
        m_report.losslessCodec.clear();
        if (const auto r = field(fields, "reason"))
            m_report.losslessRefusal = refusalFromWord(QString::fromLatin1(*r));
        if (const auto c = field(fields, "codec"))
            m_report.losslessCodec = decoded(*c);
    }
    return false;
}

} // namespace Report
