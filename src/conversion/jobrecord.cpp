#include "jobrecord.h"

#include "common/paths.h"
#include "common/platform.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<std::pair<JobRecord::Outcome, const char16_t *>, 3> outcomeWords{{
    {JobRecord::Outcome::Converted, u"converted"},
    {JobRecord::Outcome::Failed, u"failed"},
    {JobRecord::Outcome::Stopped, u"stopped"},
}};

// A file name as the file system has it: as text when it is valid UTF-8,
// else as its bytes, percent-encoded.
void putPath(QJsonObject &object, const QString &key, const QString &path)
{
    if (path.isEmpty())
        return;
    if (displayPath(path) == path)
        object.insert(key, path);
    else
        object.insert(key + u"_bytes"_qs,
                      QString::fromLatin1(pathToBytes(path).toPercentEncoding("/")));
}

QString takePath(const QJsonObject &object, const QString &key)
{
    if (object.contains(key + u"_bytes"_qs))
        return pathFromBytes(QByteArray::fromPercentEncoding(
            object.value(key + u"_bytes"_qs).toString().toLatin1()));
    return object.value(key).toString();
}

} // namespace

QString JobHistory::defaultFile()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!isAbsolutePath(state))
        state = withTrailingSeparator(Platform::homeFolder()) + u".local/state"_qs;
    return withTrailingSeparator(state) + u"Torvane/history.jsonl"_qs;
}

QByteArray JobHistory::toJsonLine(const JobRecord &record)
{
    QJsonObject object;
    object.insert(u"ended"_qs, record.ended.toString(Qt::ISODate));
    putPath(object, u"source"_qs, record.source);
    for (const auto &[outcome, word] : outcomeWords)
        if (outcome == record.outcome)
            object.insert(u"outcome"_qs, QString::fromUtf16(word));
    putPath(object, u"output"_qs, record.output);
    if (record.outputBytes >= 0)
        object.insert(u"bytes"_qs, record.outputBytes);
    object.insert(u"seconds"_qs, record.seconds);
    if (record.sourceSeconds > 0)
        object.insert(u"source_seconds"_qs, record.sourceSeconds);
    if (record.failure != FailureReason::None) {
        object.insert(u"failure"_qs, failureWord(record.failure));
        object.insert(u"detail"_qs, record.failureDetail);
    }
    if (!record.losslessRefusal.isEmpty())
        object.insert(u"lossless_refused"_qs, record.losslessRefusal);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<JobRecord> JobHistory::fromJsonLine(QByteArrayView line)
{
    const QJsonObject object = QJsonDocument::fromJson(line.toByteArray()).object();
    if (object.isEmpty())
        return std::nullopt;
    JobRecord record;
    record.ended = QDateTime::fromString(object.value(u"ended").toString(), Qt::ISODate);
    record.source = takePath(object, u"source"_qs);
    const QString outcome = object.value(u"outcome").toString();
    bool known = false;
    for (const auto &[value, word] : outcomeWords) {
        if (outcome == QStringView(word)) {
            record.outcome = value;
            known = true;
        }
    }
    if (!known || !record.ended.isValid() || record.source.isEmpty())
        return std::nullopt;
    record.output = takePath(object, u"output"_qs);
    record.outputBytes = object.value(u"bytes").toInteger(-1);
    record.seconds = std::max(0.0, object.value(u"seconds").toDouble());
    record.sourceSeconds = std::max(0.0, object.value(u"source_seconds").toDouble());
    record.failure = failureFromWord(object.value(u"failure").toString());
    record.failureDetail = object.value(u"detail").toString();
    record.losslessRefusal = object.value(u"lossless_refused").toString();
    return record;
}

namespace {

// The record file opened without waiting: a pipe or device put in its place
// would otherwise hold the program for good. -1 for anything but a regular file.
int openRecord(const QString &file, int flags)
{
    const int fd = ::open(pathToBytes(file).constData(),
                          flags | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    struct stat st = {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool JobHistory::append(const JobRecord &record)
{
    if (!RawFile::makePath(folderOf(m_file)).isEmpty())
        return false;
    const int fd = openRecord(m_file, O_RDWR | O_APPEND | O_CREAT);
    if (fd < 0)
        return false;
    QByteArray line = toJsonLine(record);
    // A line cut short (a program killed as it wrote) must not swallow this one.
    struct stat st = {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n')
        line.prepend('\n');
    // One write of a whole line with O_APPEND: two programs' lines never mix.
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size();
    ::close(fd);
    return written;
}

QList<JobRecord> JobHistory::last(int count) const
{
    if (count <= 0)
        return {};
    const int fd = openRecord(m_file, O_RDONLY);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    // Enough of the end for the lines asked for; a long history is not read whole.
    constexpr qint64 MaxLine = 8192;
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - qint64(count) * MaxLine);
    file.seek(from);
    QList<QByteArray> lines = file.readAll().split('\n');
    if (from > 0 && !lines.isEmpty())
        lines.removeFirst(); // cut in the middle
    QList<JobRecord> records;
    for (const QByteArray &line : std::as_const(lines)) {
        if (const auto record = fromJsonLine(line))
            records << *record;
    }
    return records.mid(std::max<qsizetype>(0, records.size() - count));
}
