#include "ffmpegreport.h"

#include "outputcompare.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// "a, b(c, d), e [f, g]" at its top-level commas.
QStringList topLevelParts(const QString &text)
{
    QStringList parts;
    int depth = 0;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'(' || c == u'[')
            ++depth;
        else if ((c == u')' || c == u']') && depth > 0)
            --depth;
        else if (c == u',' && depth == 0) {
            parts << text.mid(begin, i - begin).trimmed();
            begin = i + 1;
        }
    }
    parts << text.mid(begin).trimmed();
    return parts;
}

// "yuv420p10le(tv, bt2020nc/bt2020/smpte2084, progressive)": the pixel
// format, and the transfer where ffmpeg names one.
void readPixels(const QString &part, FfmpegOutputStream &stream)
{
    static const QRegularExpression pixels(u"^([a-z0-9_]+)(?:\\((.*)\\))?$"_s);
    const QRegularExpressionMatch m = pixels.match(part);
    if (!m.hasMatch())
        return;
    stream.pixelFormat = m.captured(1);
    static const QStringList notColours = {u"tv"_s,
                                           u"pc"_s,
                                           u"progressive"_s,
                                           u"top first"_s,
                                           u"bottom first"_s,
                                           u"top coded first (swapped)"_s,
                                           u"bottom coded first (swapped)"_s};
    for (const QString &word : m.captured(2).split(u','))
        if (const QString w = word.trimmed(); !w.isEmpty() && !notColours.contains(w)) {
            // "space/primaries/transfer", or one name for all three.
            const QStringList names = w.split(u'/');
            stream.transfer = names.last();
        }
}

// "480x640 [SAR 1:1 DAR 3:4]"
bool readSize(const QString &part, FfmpegOutputStream &stream)
{
    static const QRegularExpression size(
        u"^(\\d+)x(\\d+)(?: \\[SAR (\\d+):(\\d+) DAR [^\\]]*\\])?"_s);
    const QRegularExpressionMatch m = size.match(part);
    if (!m.hasMatch())
        return false;
    stream.size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    const int num = m.captured(3).toInt(), den = m.captured(4).toInt();
    if (num > 0 && den > 0)
        stream.pixelAspect = double(num) / den;
    return true;
}

} // namespace

QByteArray FfmpegLogReader::feed(const QByteArray &line, QByteArray *message)
{
    // "[context @ 0x…] [level] text" or "[level] text"; a line of another
    // form (from an ffmpeg that was not asked for levels) is its own text.
    static const QRegularExpression tagged(u"^(\\[[^\\]]* @ [^\\]]*\\] )?\\[([a-z]+)\\] "_s);
    const QString text = QString::fromUtf8(line);
    const QRegularExpressionMatch m = tagged.match(text);
    if (!m.hasMatch()) {
        *message = line;
        return {};
    }
    const QByteArray level = m.captured(2).toLatin1();
    const QString rest = text.mid(m.capturedEnd());
    *message = (m.captured(1) + rest).toUtf8();
    if (level != "info" || !m.captured(1).isEmpty())
        return level;

    // What ffmpeg writes under "Output #0": two spaces lead a stream, more a
    // stream's own lines; any text of the source's (a title) is indented
    // further still and begins with ": ", so it never reads as a stream.
    static const QRegularExpression streamLine(
        u"^  Stream #0:\\d+(?:\\[[^\\]]*\\])?(?:\\([^)]*\\))?: (Video|Audio): (.*)$"_s);
    static const QRegularExpression matrix(u"^ +displaymatrix: rotation of (-?[0-9.]+) degrees$"_s);
    if (rest.startsWith(u"Output #0, "_s)) {
        m_section = Section::Output;
    } else if (rest.startsWith(u"video:"_s) && rest.contains(u" audio:"_s)) {
        m_output.closed = true;
        m_section = Section::Other;
    } else if (m_section != Section::Other) {
        if (const QRegularExpressionMatch s = streamLine.match(rest); s.hasMatch()) {
            FfmpegOutputStream stream;
            stream.video = s.captured(1) == u"Video";
            const QStringList parts = topLevelParts(s.captured(2));
            stream.codec = parts.value(0).section(u' ', 0, 0);
            if (stream.video) {
                for (qsizetype i = 1; i < parts.size(); ++i)
                    if (!readSize(parts[i], stream) && stream.pixelFormat.isEmpty())
                        readPixels(parts[i], stream);
            }
            m_output.streams << stream;
            m_section = Section::OutputStream;
        } else if (const QRegularExpressionMatch d = matrix.match(rest);
                   d.hasMatch() && m_section == Section::OutputStream &&
                   m_output.streams.last().video) {
            const double degrees = QLocale::c().toDouble(d.captured(1));
            const long quarters = std::lround(degrees / 90);
            // ffmpeg counts counter-clockwise; a turn that is no whole quarter is none of ours.
            m_output.streams.last().display =
                std::abs(degrees - quarters * 90.0) < 0.5
                    ? std::optional(PictureTransform::turn(int(((-quarters % 4) + 4) % 4)))
                    : std::nullopt;
        } else if (!rest.startsWith(u"  "_s)) {
            m_section = Section::Other;
        }
    }
    return level;
}

QList<Report::CheckDifference> checkReported(const FfmpegOutput &output, double seconds,
                                             const ExpectedOutput &expected)
{
    if (!output.closed)
        return {{Report::CheckFinding::Unreadable, u"ffmpeg did not close the file"_s, {}}};
    const FfmpegOutputStream *video = nullptr;
    ShownOutput shown;
    for (const FfmpegOutputStream &stream : output.streams) {
        if (stream.video && !video)
            video = &stream;
        shown.audio = shown.audio || !stream.video;
    }
    shown.video = video != nullptr;
    if (video) {
        shown.shown = video->size;
        shown.aspect = shown.shown.height() > 0
                           ? double(shown.shown.width()) / shown.shown.height() * video->pixelAspect
                           : 0;
        if (video->display && video->display->swapsSides()) {
            shown.shown.transpose();
            shown.aspect = shown.aspect > 0 ? 1 / shown.aspect : 0;
        }
        static const QStringList hdr = {u"smpte2084"_s, u"arib-std-b67"_s};
        const bool deep = video->pixelFormat.contains(u"10"_s) ||
                          video->pixelFormat.contains(u"12"_s) ||
                          video->pixelFormat.contains(u"16"_s);
        shown.sdr8 = !hdr.contains(video->transfer) && !deep;
        shown.colour = u"%1 %2"_s.arg(video->transfer.isEmpty() ? u"untagged"_s : video->transfer,
                                      video->pixelFormat);
    }
    shown.seconds = seconds;
    return compareOutput(shown, expected);
}
