#include "jobqueue.h"

#include "common/paths.h"

#include <QHash>
#include <QSet>

#include <algorithm>

JobQueue::JobQueue(QObject *parent) : QObject(parent) {}

void JobQueue::addJob(const QString &path)
{
    addJobs(QStringList{path});
}

void JobQueue::addJobs(const QStringList &paths, const QString &root)
{
    const QString within = withTrailingSeparator(root);
    QList<Job> jobs;
    jobs.reserve(paths.size());
    for (const QString &p : paths) {
        Job job;
        job.source = p;
        if (!root.isEmpty() && p.startsWith(within))
            job.subfolder = folderOf(p.mid(within.size()));
        job.settings = m_newJobSettings;
        jobs.append(std::move(job));
    }
    addJobs(jobs);
}

void JobQueue::addJobs(const QList<Job> &jobs)
{
    if (jobs.isEmpty())
        return;
    const int first = count(), last = count() + int(jobs.size()) - 1;
    Q_EMIT aboutToInsert(first, last);
    m_jobs.reserve(m_jobs.size() + jobs.size());
    for (Job job : jobs) {
        job.id = m_nextId++;
        job.typeLabel = typeLabel(job.source);
        // Nothing runs that this queue did not start.
        if (job.state == JobState::Running)
            job.state = JobState::Waiting;
        job.fraction = 0;
        m_waiting += job.state == JobState::Waiting;
        m_jobs.append(std::move(job));
    }
    Q_EMIT inserted(first, last);
    Q_EMIT contentChanged();
}

JobQueue::SettingsBefore JobQueue::changeSettings(const QList<quint64> &ids,
                                                  const std::function<void(JobSettings &)> &change)
{
    const QSet<quint64> wanted(ids.cbegin(), ids.cend());
    SettingsBefore before;
    int first = -1, last = -1;
    for (int row = 0; row < count(); ++row) {
        Job &job = m_jobs[row];
        if (job.state == JobState::Running || !wanted.contains(job.id))
            continue;
        const JobSettings old = job.settings;
        change(job.settings);
        if (job.settings == old)
            continue;
        before.append({job.id, old});
        first = first < 0 ? row : first;
        last = row;
    }
    if (first >= 0) {
        Q_EMIT changed(first, last);
        Q_EMIT contentChanged();
    }
    return before;
}

void JobQueue::restoreSettings(const SettingsBefore &before)
{
    QHash<quint64, JobSettings> settings;
    for (const auto &[id, s] : before)
        settings.insert(id, s);
    int first = -1, last = -1;
    for (int row = 0; row < count(); ++row) {
        Job &job = m_jobs[row];
        const auto found = settings.constFind(job.id);
        if (job.state == JobState::Running || found == settings.cend() || job.settings == *found)
            continue;
        job.settings = *found;
        first = first < 0 ? row : first;
        last = row;
    }
    if (first >= 0) {
        Q_EMIT changed(first, last);
        Q_EMIT contentChanged();
    }
}

void JobQueue::removeRows(int first, int last)
{
    Q_EMIT aboutToRemove(first, last);
    for (int r = first; r <= last; ++r)
        m_waiting -= m_jobs[r].state == JobState::Waiting;
    m_jobs.remove(first, last - first + 1);
    Q_EMIT removed(first, last);
}

void JobQueue::removeJobAt(int row)
{
    if (row < 0 || row >= count() || m_jobs[row].state == JobState::Running)
        return;
    removeRows(row, row);
    Q_EMIT contentChanged();
}

void JobQueue::removeAllJobs()
{
    if (m_jobs.isEmpty())
        return;
    const auto isRunning = [](const Job &j) { return j.state == JobState::Running; };
    if (std::none_of(m_jobs.cbegin(), m_jobs.cend(), isRunning)) {
        Q_EMIT aboutToClear();
        m_jobs.clear();
        m_waiting = 0;
        Q_EMIT cleared();
        Q_EMIT contentChanged();
        return;
    }
    QList<quint64> ids;
    for (const Job &job : std::as_const(m_jobs))
        ids << job.id;
    removeJobs(ids);
}

void JobQueue::removeJob(quint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    removeRows(row, row);
    Q_EMIT contentChanged();
}

void JobQueue::removeJobs(const QList<quint64> &ids)
{
    const QSet<quint64> wanted(ids.cbegin(), ids.cend());
    const auto goes = [&](int row) {
        return wanted.contains(m_jobs[row].id) && m_jobs[row].state != JobState::Running;
    };
    bool any = false;
    // From the end, a run of neighbours at a time, so rows above keep their place.
    for (int row = count() - 1; row >= 0;) {
        if (!goes(row)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && goes(first - 1))
            --first;
        removeRows(first, row);
        any = true;
        row = first - 1;
    }
    if (any)
        Q_EMIT contentChanged();
}

void JobQueue::setState(Job &job, JobState state)
{
    m_waiting += (state == JobState::Waiting) - (job.state == JobState::Waiting);
    job.state = state;
}

const Job *JobQueue::jobById(quint64 id) const
{
    const int row = rowOf(id);
    return row < 0 ? nullptr : &m_jobs[row];
}

Job *JobQueue::find(quint64 id)
{
    const int row = rowOf(id);
    return row < 0 ? nullptr : &m_jobs[row];
}

QStringList JobQueue::paths() const
{
    QStringList paths;
    paths.reserve(m_jobs.size());
    for (const Job &j : m_jobs)
        paths << j.source;
    return paths;
}

int JobQueue::rowOf(quint64 id) const
{
    // The running job is almost always near the top.
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].id == id)
            return row;
    }
    return -1;
}

int JobQueue::nextWaitingRow() const
{
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].state == JobState::Waiting)
            return row;
    }
    return -1;
}

int JobQueue::failedCount() const
{
    return countIn(JobState::Failed);
}

int JobQueue::countIn(JobState state) const
{
    return int(std::count_if(m_jobs.cbegin(), m_jobs.cend(),
                             [state](const Job &j) { return j.state == state; }));
}

void JobQueue::rowChanged(int row)
{
    Q_EMIT changed(row, row);
}

void JobQueue::setRunning(quint64 id, int pass, int passCount, double fraction)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Job &j = m_jobs[row];
    const bool started = j.state != JobState::Running;
    if (started) {
        j.failure = FailureReason::None;
        j.failureDetail.clear();
        j.losslessRefusal.clear();
    }
    setState(j, JobState::Running);
    j.pass = pass;
    j.passCount = passCount;
    j.fraction = fraction;
    rowChanged(row);
    if (started)
        Q_EMIT contentChanged();
}

void JobQueue::setFailed(quint64 id, FailureReason reason, const QString &detail,
                         const QList<Report::CheckDifference> &checks, const QString &keptOutput)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Job &j = m_jobs[row];
    setState(j, JobState::Failed);
    j.failure = reason;
    j.failureDetail = detail;
    j.failureChecks = checks;
    j.keptOutput = keptOutput;
    rowChanged(row);
    Q_EMIT contentChanged();
}

void JobQueue::setStopped(quint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    setState(m_jobs[row], JobState::Stopped);
    m_jobs[row].fraction = 0;
    rowChanged(row);
    Q_EMIT contentChanged();
}

void JobQueue::setEncoderOutput(quint64 id, const QString &output)
{
    if (Job *j = find(id))
        j->encoderOutput = output;
}

void JobQueue::setLosslessRefusal(quint64 id, const QString &refusal)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_jobs[row].losslessRefusal = refusal;
    rowChanged(row);
}

void JobQueue::retry(quint64 id)
{
    if (retryRow(rowOf(id), true))
        Q_EMIT contentChanged();
}

bool JobQueue::retryRow(int row, bool failedToo)
{
    if (row < 0 || row >= count())
        return false;
    Job &j = m_jobs[row];
    if (j.state != JobState::Stopped && !(failedToo && j.state == JobState::Failed))
        return false;
    setState(j, JobState::Waiting);
    j.failure = FailureReason::None;
    j.failureDetail.clear();
    j.failureChecks.clear();
    j.keptOutput.clear();
    j.fraction = 0;
    rowChanged(row);
    return true;
}

void JobQueue::retryRows(bool failedToo)
{
    bool any = false;
    for (int row = 0; row < count(); ++row)
        any = retryRow(row, failedToo) || any;
    if (any)
        Q_EMIT contentChanged();
}

QString JobQueue::typeLabel(const QString &path)
{
    // Only spaces are trimmed, as the label has always done.
    qsizetype begin = 0, end = path.size();
    while (begin < end && path[begin] == u' ')
        ++begin;
    while (end > begin && path[end - 1] == u' ')
        --end;
    const QStringView trimmed = QStringView(path).sliced(begin, end - begin);
    return displayPath(trimmed.size() <= 3 ? trimmed : trimmed.last(3)).toUpper();
}
