#include "savedqueue.h"

#include "common/formats.h"
#include "common/paths.h"
#include "common/platform.h"
#include "jobqueue.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

namespace {

constexpr int FileVersion = 1;

// The encoding settings by the keys the file gives them, in JobSettings' order.
const char16_t *const textKeys[JobSettings::TextCount] = {u"video_bitrate", u"frame_rate", u"size",
                                                          u"sample_rate", u"audio_bitrate"};

const std::pair<JobState, const char16_t *> stateWords[] = {{JobState::Waiting, u"waiting"},
                                                            {JobState::Failed, u"failed"},
                                                            {JobState::Stopped, u"stopped"}};

// A path as its bytes, percent-encoded: any name comes back as it was.
QString pathText(const QString &path)
{
    return QString::fromLatin1(pathToBytes(path).toPercentEncoding("/"));
}

QString pathOf(const QJsonValue &text)
{
    return pathFromBytes(QByteArray::fromPercentEncoding(text.toString().toLatin1()));
}

QJsonObject toJson(const Job &job)
{
    QJsonObject o;
    o.insert(u"source"_qs, pathText(job.source));
    if (!job.subfolder.isEmpty())
        o.insert(u"subfolder"_qs, pathText(job.subfolder));
    const JobSettings &s = job.settings;
    o.insert(u"format"_qs, Formats::cliNames().value(s.format));
    o.insert(u"quarters"_qs, s.rotation.clockwiseQuarters());
    o.insert(u"mirrored"_qs, s.rotation.isMirrored());
    for (int i = 0; i < JobSettings::TextCount; ++i)
        o.insert(QString::fromUtf16(textKeys[i]), s.texts[size_t(i)]);
    o.insert(u"channels"_qs, s.channelEntry + 1);
    if (s.clip) {
        o.insert(u"clip_start"_qs, s.clip->startSeconds);
        o.insert(u"clip_length"_qs, s.clip->lengthSeconds);
    }
    if (s.sourceOrientation == SourceOrientation::Ignore)
        o.insert(u"source_orientation"_qs, u"ignore"_qs);
    // A job cut short by the end of the program waits again.
    const JobState state = job.state == JobState::Running ? JobState::Waiting : job.state;
    for (const auto &[value, word] : stateWords)
        if (value == state)
            o.insert(u"state"_qs, QString::fromUtf16(word));
    if (state == JobState::Failed) {
        o.insert(u"failure"_qs, failureWord(job.failure));
        o.insert(u"detail"_qs, job.failureDetail);
    }
    return o;
}

std::optional<Job> fromJson(const QJsonObject &o)
{
    Job job;
    job.source = pathOf(o.value(u"source"_qs));
    // Only folders below the output folder: a kept list is no way out of it.
    job.subfolder = isSafeSubfolder(pathOf(o.value(u"subfolder"_qs)))
                        ? pathOf(o.value(u"subfolder"_qs))
                        : QString();
    const int format = int(Formats::cliNames().indexOf(o.value(u"format"_qs).toString()));
    if (job.source.isEmpty() || format < 0)
        return std::nullopt;
    JobSettings &s = job.settings;
    s.setFormat(format);
    s.rotation = PictureTransform::turn(o.value(u"quarters"_qs).toInt());
    if (o.value(u"mirrored"_qs).toBool())
        s.rotation = PictureTransform::mirror().then(s.rotation);
    for (int i = 0; i < JobSettings::TextCount; ++i) {
        const QJsonValue text = o.value(QString::fromUtf16(textKeys[i]));
        if (text.isString())
            s.texts[size_t(i)] = text.toString();
    }
    s.channelEntry = o.value(u"channels"_qs).toInt(2) == 1 ? 0 : 1;
    if (o.contains(u"clip_start"_qs))
        s.clip = ClipRange{std::max(0, o.value(u"clip_start"_qs).toInt()),
                           std::max(0, o.value(u"clip_length"_qs).toInt())};
    if (o.value(u"source_orientation"_qs).toString() == u"ignore")
        s.sourceOrientation = SourceOrientation::Ignore;
    for (const auto &[value, word] : stateWords)
        if (o.value(u"state"_qs).toString() == QStringView(word))
            job.state = value;
    if (job.state == JobState::Failed) {
        job.failure = failureFromWord(o.value(u"failure"_qs).toString());
        if (job.failure == FailureReason::None)
            job.failure = FailureReason::EncoderFailed;
        job.failureDetail = o.value(u"detail"_qs).toString();
    }
    return job;
}

} // namespace

SavedQueue::SavedQueue(JobQueue &queue, const QString &file, QObject *parent)
    : QObject(parent), m_queue(queue), m_file(file), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(WriteDelayMs);
    connect(m_timer, &QTimer::timeout, this, &SavedQueue::writeNow);
    // Many changes in a row (a batch of short jobs) make one write.
    connect(&m_queue, &JobQueue::contentChanged, this, [this] {
        if (m_keeping && !m_timer->isActive())
            m_timer->start();
    });
}

SavedQueue::~SavedQueue()
{
    if (m_timer->isActive())
        writeNow();
}

QString SavedQueue::defaultFile()
{
    return withTrailingSeparator(Platform::stateFolder()) + u"queue.json"_qs;
}

QList<Job> SavedQueue::read(const QString &file)
{
    // Only a regular file: a pipe in its place must not hold the start up.
    QFile in(file);
    if (!QFileInfo(file).isFile() || !in.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    if (root.value(u"version"_qs).toInt() != FileVersion)
        return {};
    QList<Job> jobs;
    for (const QJsonValue &entry : root.value(u"jobs"_qs).toArray()) {
        if (const std::optional<Job> job = fromJson(entry.toObject()))
            jobs << *job;
    }
    return jobs;
}

bool SavedQueue::write(const QString &file, const QList<Job> &jobs)
{
    QJsonArray entries;
    for (const Job &job : jobs)
        entries.append(toJson(job));
    const QJsonObject root{{u"version"_qs, FileVersion}, {u"jobs"_qs, entries}};
    if (!RawFile::makePath(folderOf(file)).isEmpty())
        return false;
    QSaveFile out(file);
    return out.open(QIODevice::WriteOnly) &&
           out.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) >= 0 && out.commit();
}

void SavedQueue::keep()
{
    m_keeping = true;
    writeNow();
}

void SavedQueue::writeNow()
{
    m_timer->stop();
    Q_EMIT written(write(m_file, m_queue.jobs()));
}
