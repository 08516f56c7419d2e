#include "settingsfiles.h"

#include <algorithm>

#include "common/numbers.h"
#include "common/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The files hold a few short lines; anything past this is junk and is not read,
// so a huge or garbage file costs nothing.
constexpr qint64 kReadLimit = 64 * 1024;

// Only a regular file is read: a FIFO or a device put in its place must not
// hold the program up at start-up, where it waits with the single-copy lock.
bool readBytes(const QString &path, QByteArray &bytes)
{
    const int fd =
        ::open(pathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bytes.resize(kReadLimit);
    qsizetype got = 0;
    while (got < kReadLimit) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(kReadLimit - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return true;
}

bool readText(const QString &path, QString &text)
{
    QByteArray bytes;
    if (!readBytes(path, bytes))
        return false;

    // Stateful decoding: a character cut by the read limit stays pending
    // instead of counting as invalid UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8);
    text = utf8.decode(bytes);
    if (!utf8.hasError())
        return true;

    // Files from older Chinese systems are in the ANSI code page.
    QStringDecoder gbk("GBK");
    if (gbk.isValid()) {
        text = gbk.decode(bytes);
        return true;
    }
    QStringDecoder latin1(QStringDecoder::Latin1);
    text = latin1.decode(bytes);
    return true;
}

bool writeText(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QStringEncoder encoder(QStringEncoder::System);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

// Reads comma/line delimited fields in sequence, quoted or bare.
class FieldReader
{
public:
    explicit FieldReader(const QString &text) : m_text(text) {}

    // nullopt once the text is used up.
    std::optional<QString> next()
    {
        const qsizetype n = m_text.size();
        while (m_pos < n && m_text[m_pos] == u' ')
            ++m_pos;
        if (m_pos >= n)
            return std::nullopt;

        QString field;
        if (m_text[m_pos] == u'"') {
            // A doubled quote inside stands for one quote, so any name comes back.
            qsizetype at = m_pos + 1;
            for (;;) {
                qsizetype end = m_text.indexOf(u'"', at);
                if (end < 0)
                    end = n;
                field += m_text.sliced(at, end - at);
                if (end + 1 < n && m_text[end + 1] == u'"') {
                    field += u'"';
                    at = end + 2;
                    continue;
                }
                m_pos = end < n ? end + 1 : n;
                break;
            }
            // Whatever follows the closing quote up to the delimiter is dropped.
            while (m_pos < n && !isDelimiter(m_text[m_pos]))
                ++m_pos;
        } else {
            const qsizetype start = m_pos;
            while (m_pos < n && !isDelimiter(m_text[m_pos]))
                ++m_pos;
            field = m_text.sliced(start, m_pos - start);
        }
        skipDelimiter();
        return field;
    }

private:
    static bool isDelimiter(QChar c) { return c == u',' || c == u'\r' || c == u'\n'; }

    void skipDelimiter()
    {
        const qsizetype n = m_text.size();
        if (m_pos >= n)
            return;
        if (m_text[m_pos] == u'\r') {
            ++m_pos;
            if (m_pos < n && m_text[m_pos] == u'\n')
                ++m_pos;
        } else {
            ++m_pos; // comma or lone LF
        }
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

// leadingNumber reads 0 for text without a number; here that must stay
// distinguishable from a written 0.
bool hasLeadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    if (i < text.size() && text[i] == u'.')
        ++i;
    return i < text.size() && text[i] >= u'0' && text[i] <= u'9';
}

std::optional<int> entryFrom(const std::optional<QString> &field)
{
    if (!field || !hasLeadingNumber(*field))
        return std::nullopt;
    return toInt32(leadingNumber(*field));
}

double numberFrom(const std::optional<QString> &field)
{
    return field ? leadingNumber(*field) : 0.0;
}

QString quoted(QString value)
{
    value.replace(u'"', u"\"\""_qs);
    return u'"' + value + u"\"\r\n"_qs;
}

} // namespace

SetupValues readSetupFile(const QString &path)
{
    SetupValues values;
    QString text;
    if (!readText(path, text))
        return values;
    FieldReader reader(text);
    values.bitrateEntry = entryFrom(reader.next());
    values.sampleRateEntry = entryFrom(reader.next());
    values.channelEntry = entryFrom(reader.next());
    values.outputFolder = reader.next();
    values.formatEntry = entryFrom(reader.next());
    return values;
}

bool writeSetupFile(const QString &path, int bitrateEntry, int sampleRateEntry, int channelEntry,
                    const QString &outputFolder, int formatEntry)
{
    const QString text = quoted(QString::number(bitrateEntry)) +
                         quoted(QString::number(sampleRateEntry)) +
                         quoted(QString::number(channelEntry)) + quoted(outputFolder) +
                         quoted(QString::number(formatEntry));
    return writeText(path, text);
}

bool readOptionsFile(const QString &path, OptionValues &values)
{
    QString text;
    if (!readText(path, text))
        return false;
    FieldReader reader(text);
    values.soundChoice = toInt16(numberFrom(reader.next()));
    values.clipEnabled = toInt16(numberFrom(reader.next()));
    values.clipFromSeconds = toInt32(numberFrom(reader.next()));
    values.clipToSeconds = toInt32(numberFrom(reader.next()));
    values.losslessRotation = toInt16(numberFrom(reader.next()));
    // Files written before the line existed kept everything, as this does by default.
    const std::optional<QString> keep = reader.next();
    values.keepMetadata = keep ? toInt16(numberFrom(keep)) : int16_t(1);
    // Older files ran one job at a time for want of a choice, not by one:
    // they read as automatic.
    const std::optional<QString> jobs = reader.next();
    values.parallelJobs = jobs ? std::max<int16_t>(0, toInt16(numberFrom(jobs))) : int16_t(0);
    return true;
}

bool writeOptionsFile(const QString &path, const OptionValues &values)
{
    const QString text = QString::number(values.soundChoice) + u"\r\n"_qs +
                         QString::number(values.clipEnabled) + u"\r\n"_qs +
                         QString::number(values.clipFromSeconds) + u"\r\n"_qs +
                         QString::number(values.clipToSeconds) + u"\r\n"_qs +
                         QString::number(values.losslessRotation) + u"\r\n"_qs +
                         QString::number(values.keepMetadata) + u"\r\n"_qs +
                         QString::number(values.parallelJobs) + u"\r\n"_qs;
    return writeText(path, text);
}

std::optional<QString> readFoldersFile(const QString &path)
{
    QString text;
    if (!readText(path, text))
        return std::nullopt;
    FieldReader reader(text);
    std::optional<QString> folder = reader.next();
    if (folder && folder->trimmed().isEmpty())
        return std::nullopt;
    return folder;
}

bool writeFoldersFile(const QString &path, const QString &lastFolder)
{
    return writeText(path, quoted(lastFolder));
}

namespace {

// The values of a keyed file by their keys; nothing when it cannot be read or
// is of another version.
QHash<QString, QString> readKeyedFile(const QString &path, int version)
{
    QString text;
    if (!readText(path, text))
        return {};
    QHash<QString, QString> values;
    for (const QString &line : text.split(u'\n')) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            values.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    if (values.value(u"version"_qs) != QString::number(version))
        return {};
    return values;
}

} // namespace

OutputNaming readOutputFile(const QString &path)
{
    const QHash<QString, QString> values = readKeyedFile(path, OutputNaming::Version);
    OutputNaming naming;
    naming.nameTemplate = values.value(u"name"_qs);
    naming.keepTree = values.value(u"keep-tree"_qs) == u"true";
    return naming;
}

bool writeOutputFile(const QString &path, const OutputNaming &naming)
{
    // A name on one line: control characters never make it into a template.
    QString name = naming.nameTemplate;
    name.remove(u'\n').remove(u'\r');
    return writeText(path, u"version=%1\nname=%2\nkeep-tree=%3\n"_qs.arg(OutputNaming::Version)
                               .arg(name, naming.keepTree ? u"true"_qs : u"false"_qs));
}

WindowLayout readWindowFile(const QString &path)
{
    WindowLayout layout;
    const QHash<QString, QString> values = readKeyedFile(path, WindowLayout::Version);
    if (values.isEmpty())
        return layout;
    const auto number = [&](const QString &key) -> std::optional<int> {
        bool ok = false;
        const int n = values.value(key).toInt(&ok);
        return ok ? std::optional(n) : std::nullopt;
    };
    const auto x = number(u"window/x"_qs), y = number(u"window/y"_qs);
    const auto width = number(u"window/width"_qs), height = number(u"window/height"_qs);
    if (x && y && width > 0 && height > 0)
        layout.geometry = QRect(*x, *y, *width, *height);
    layout.maximized = values.value(u"window/maximized"_qs) == u"true";
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.key().startsWith(u"columns/"))
            continue;
        if (const auto w = number(it.key()); w > 0)
            layout.columnWidths.insert(it.key().mid(8), *w);
    }
    return layout;
}

bool writeWindowFile(const QString &path, const WindowLayout &layout)
{
    QString text = u"version=%1\n"_qs.arg(WindowLayout::Version);
    if (layout.geometry)
        text += u"window/x=%1\nwindow/y=%2\nwindow/width=%3\nwindow/height=%4\n"_qs
                    .arg(layout.geometry->x())
                    .arg(layout.geometry->y())
                    .arg(layout.geometry->width())
                    .arg(layout.geometry->height());
    text += u"window/maximized=%1\n"_qs.arg(layout.maximized ? u"true" : u"false");
    QStringList keys = layout.columnWidths.keys();
    keys.sort();
    for (const QString &key : std::as_const(keys))
        text += u"columns/%1=%2\n"_qs.arg(key).arg(layout.columnWidths.value(key));
    return writeText(path, text);
}

QString settingsFilePath(const QString &fileName, const QString &programFolder)
{
    const QString portable = QDir(programFolder).filePath(fileName);
    if (!programFolder.isEmpty() && QFileInfo(portable).isFile())
        return portable;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(fileName);
}
