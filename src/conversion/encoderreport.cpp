#include "encoderreport.h"

#include "common/paths.h"

#include <QByteArray>
#include <QLocale>

#include <cmath>

namespace {

constexpr QStringView Prefix = u"[torvane] ";
// Report lines are short; a longer line is someone else's text.
constexpr qsizetype MaxLine = 8192;

} // namespace

void EncoderReportReader::reset()
{
    m_line.clear();
    m_skipping = false;
    m_report = {};
}

void EncoderReportReader::feed(QStringView piece)
{
    for (const QChar c : piece) {
        if (c == u'\n' || c == u'\r') {
            if (!m_skipping)
                readLine(m_line);
            m_line.clear();
            m_skipping = false;
            continue;
        }
        if (m_skipping)
            continue;
        m_line.append(c);
        // Only report lines matter: anything else is dropped as soon as it
        // cannot be one, so a long progress run costs nothing.
        const qsizetype n = std::min(m_line.size(), Prefix.size());
        if (QStringView(m_line).first(n) != Prefix.first(n) || m_line.size() > MaxLine) {
            m_line.clear();
            m_skipping = true;
        }
    }
}

void EncoderReportReader::readLine(QStringView line)
{
    if (!line.startsWith(Prefix))
        return;
    const QStringView rest = line.sliced(Prefix.size());
    QString key;
    for (QStringView field : rest.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype eq = field.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QStringView name = field.first(eq);
        const QStringView value = field.sliced(eq + 1);
        if (key.isEmpty())
            key = name.toString();
        if (name == u"duration") {
            bool ok = false;
            const double seconds = QLocale::c().toDouble(value, &ok);
            if (ok && std::isfinite(seconds) && seconds >= 0)
                m_report.durationSeconds = seconds;
        } else if (name == u"output") {
            m_report.output = pathFromBytes(QByteArray::fromPercentEncoding(value.toUtf8()));
        } else if (name == u"error") {
            m_report.error = value.toString();
        } else if (name == u"lossless") {
            m_report.lossless = value.toString();
            m_report.losslessWhy.clear();
        } else if (key == u"lossless" && (name == u"codec" || name == u"reason")) {
            // The codec says more than the reason word "codec".
            if (name == u"codec" || m_report.losslessWhy.isEmpty())
                m_report.losslessWhy = value.toString();
        }
    }
}

FailureReason failureFromEncoderError(const QString &error)
{
    if (error == u"source")
        return FailureReason::SourceUnreadable;
    if (error == u"output")
        return FailureReason::OutputNotWritable;
    if (error == u"disk-full")
        return FailureReason::DiskFull;
    if (error == u"ffmpeg-missing")
        return FailureReason::FfmpegMissing;
    if (error == u"clip-range")
        return FailureReason::ClipRange;
    if (error == u"usage" || error == u"failed" || error == u"interrupted")
        return FailureReason::EncoderFailed;
    return FailureReason::None;
}
