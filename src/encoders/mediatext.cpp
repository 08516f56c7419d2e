#include "mediatext.h"

#include <QList>
#include <QLocale>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr QByteArrayView Version = "1";

// The fields, each a name and how it is written and read.
class Writer
{
public:
    void add(QByteArrayView name, const QByteArray &value)
    {
        if (!m_text.isEmpty())
            m_text += '&';
        m_text += name.toByteArray() + '=' + value.toPercentEncoding();
    }
    void add(QByteArrayView name, const QString &value) { add(name, value.toUtf8()); }
    void add(QByteArrayView name, double value) { add(name, QByteArray::number(value, 'g', 17)); }
    void add(QByteArrayView name, qint64 value) { add(name, QByteArray::number(value)); }
    void add(QByteArrayView name, int value) { add(name, QByteArray::number(value)); }
    void add(QByteArrayView name, bool value) { add(name, QByteArray(value ? "1" : "0")); }
    QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

class Fields
{
public:
    explicit Fields(QByteArrayView text)
    {
        for (const QByteArray &field : text.toByteArray().split('&')) {
            const qsizetype eq = field.indexOf('=');
            if (eq > 0)
                m_fields.append(
                    {field.left(eq), QByteArray::fromPercentEncoding(field.mid(eq + 1))});
        }
    }
    // Every value of the name, in order.
    QList<QByteArray> all(QByteArrayView name) const
    {
        QList<QByteArray> values;
        for (const auto &[key, value] : m_fields)
            if (key == name)
                values << value;
        return values;
    }
    QByteArray bytes(QByteArrayView name) const { return all(name).value(0); }
    QString text(QByteArrayView name) const { return QString::fromUtf8(bytes(name)); }
    double number(QByteArrayView name) const
    {
        bool ok = false;
        const double value = QLocale::c().toDouble(QString::fromLatin1(bytes(name)), &ok);
        return ok ? value : 0;
    }
    qint64 integer(QByteArrayView name) const { return bytes(name).toLongLong(); }
    bool flag(QByteArrayView name) const { return bytes(name) == "1"; }

private:
    QList<std::pair<QByteArray, QByteArray>> m_fields;
};

QByteArray transformText(const std::optional<PictureTransform> &t)
{
    if (!t)
        return "none";
    return QByteArray::number(t->clockwiseQuarters()) + (t->isMirrored() ? "m" : "");
}

std::optional<PictureTransform> transformFrom(const QByteArray &text)
{
    if (text == "none" || text.isEmpty())
        return std::nullopt;
    const bool mirrored = text.endsWith('m');
    const PictureTransform turn = PictureTransform::turn(text.left(1).toInt());
    return mirrored ? PictureTransform::mirror().then(turn) : turn;
}

} // namespace

QByteArray mediaText(const MediaInfo &info, const QByteArray &stamp)
{
    Writer w;
    w.add("v", Version.toByteArray());
    w.add("stamp", stamp);
    w.add("valid", info.valid);
    w.add("error", info.error);
    w.add("duration", info.duration);
    w.add("start", info.start);
    w.add("video", info.hasVideo);
    w.add("audio", info.hasAudio);
    w.add("still", info.stillPicture);
    w.add("rate", info.sampleRate);
    w.add("vcodec", info.videoCodec);
    w.add("acodec", info.audioCodec);
    w.add("vstream", info.videoStream);
    w.add("vstreams", info.videoStreams);
    w.add("firstvideo", info.firstVideo);
    w.add("frames", info.frames);
    w.add("fps", info.frameRate);
    w.add("fastest", info.fastestRate);
    w.add("vfr", info.variableRate);
    w.add("width", info.codedSize.width());
    w.add("height", info.codedSize.height());
    w.add("sar", info.pixelAspect);
    w.add("primaries", info.colour.primaries);
    w.add("transfer", info.colour.transfer);
    w.add("matrix", info.colour.matrix);
    w.add("range", info.colour.range);
    w.add("depth", info.colour.bitDepth);
    w.add("peak", info.colour.masteringPeak);
    w.add("maxcll", info.colour.maxContentLight);
    w.add("dv", info.colour.dolbyVision);
    w.add("dvprofile", info.colour.dolbyVisionProfile);
    w.add("display", transformText(info.display));
    w.add("vduration", info.videoDuration);
    w.add("aduration", info.audioDuration);
    w.add("created", info.creationTime);
    w.add("hasdate", info.hasDate);
    for (const auto &[key, value] : info.tags)
        w.add("tag", key.toPercentEncoding() + '=' + value.toPercentEncoding());
    for (const DataTrack &track : info.dataTracks)
        w.add("data", QByteArray::number(track.index) + ' ' +
                          track.codec.toUtf8().toPercentEncoding() + ' ' +
                          track.tag.toUtf8().toPercentEncoding());
    return w.text();
}

std::optional<MediaInfo> mediaFromText(QByteArrayView text, const QByteArray &stamp)
{
    const Fields f(text);
    if (f.bytes("v") != Version || stamp.isEmpty() || f.bytes("stamp") != stamp)
        return std::nullopt;
    MediaInfo info;
    info.valid = f.flag("valid");
    info.error = f.text("error");
    info.duration = f.number("duration");
    info.start = f.number("start");
    info.hasVideo = f.flag("video");
    info.hasAudio = f.flag("audio");
    info.stillPicture = f.flag("still");
    info.sampleRate = int(f.integer("rate"));
    info.videoCodec = f.text("vcodec");
    info.audioCodec = f.text("acodec");
    info.videoStream = int(f.integer("vstream"));
    info.videoStreams = int(f.integer("vstreams"));
    info.firstVideo = f.flag("firstvideo");
    info.frames = f.integer("frames");
    info.frameRate = f.number("fps");
    info.fastestRate = f.number("fastest");
    info.variableRate = f.flag("vfr");
    info.codedSize = QSize(int(f.integer("width")), int(f.integer("height")));
    info.pixelAspect = f.number("sar");
    info.colour.primaries = f.text("primaries");
    info.colour.transfer = f.text("transfer");
    info.colour.matrix = f.text("matrix");
    info.colour.range = f.text("range");
    info.colour.bitDepth = int(f.integer("depth"));
    info.colour.masteringPeak = f.number("peak");
    info.colour.maxContentLight = int(f.integer("maxcll"));
    info.colour.dolbyVision = f.flag("dv");
    info.colour.dolbyVisionProfile = int(f.integer("dvprofile"));
    info.display = transformFrom(f.bytes("display"));
    info.videoDuration = f.number("vduration");
    info.audioDuration = f.number("aduration");
    info.creationTime = f.text("created");
    info.hasDate = f.flag("hasdate");
    for (const QByteArray &tag : f.all("tag")) {
        const qsizetype eq = tag.indexOf('=');
        if (eq > 0)
            info.tags.append({QByteArray::fromPercentEncoding(tag.left(eq)),
                              QByteArray::fromPercentEncoding(tag.mid(eq + 1))});
    }
    for (const QByteArray &data : f.all("data")) {
        const QList<QByteArray> parts = data.split(' ');
        if (parts.size() == 3)
            info.dataTracks.append({parts[0].toInt(),
                                    QString::fromUtf8(QByteArray::fromPercentEncoding(parts[1])),
                                    QString::fromUtf8(QByteArray::fromPercentEncoding(parts[2]))});
    }
    return info;
}

QByteArray fileStamp(int fd)
{
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return {};
    return QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino)) +
           ':' + QByteArray::number(qint64(st.st_size)) + ':' +
           QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(st.st_mtim.tv_nsec));
}
