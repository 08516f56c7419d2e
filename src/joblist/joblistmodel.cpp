#include "joblistmodel.h"

#include "common/paths.h"

#include <QSet>

#include <algorithm>

JobListModel::JobListModel(QObject *parent) : QAbstractTableModel(parent) {}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int JobListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Job &j = m_jobs[index.row()];
    if (m_presentation) {
        QVariant shown = m_presentation(j, index.column(), role);
        if (shown.isValid())
            return shown;
    }
    switch (role) {
    case Qt::DisplayRole:
        // The status column is worded by the window; the core only keeps the state.
        if (index.column() == NameColumn)
            return displayPath(j.source);
        return index.column() == TypeColumn ? QVariant(j.typeLabel) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == NameColumn ? QVariant(displayPath(j.source)) : QVariant();
    case StateRole:
        return int(j.state);
    case FailureRole:
        return QVariant::fromValue(j.failure);
    case FailureDetailRole:
        return j.failureDetail;
    case FractionRole:
        return j.fraction;
    case PathRole:
        return j.source;
    case IdRole:
        return j.id;
    case LosslessRefusalRole:
        return j.losslessRefusal;
    default:
        return {};
    }
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return u"视频文件名"_qs;
    case TypeColumn:
        return u"视频格式"_qs;
    case RotationColumn:
        return u"旋转方式"_qs;
    case FormatColumn:
        return u"输出格式"_qs;
    default:
        return u"状态"_qs;
    }
}

Qt::ItemFlags JobListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void JobListModel::addJob(const QString &path)
{
    addJobs({path});
}

void JobListModel::addJobs(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    beginInsertRows({}, count(), count() + int(paths.size()) - 1);
    m_jobs.reserve(m_jobs.size() + paths.size());
    for (const QString &p : paths) {
        Job job;
        job.id = m_nextId++;
        job.source = p;
        job.typeLabel = typeLabel(p);
        job.settings = m_newJobSettings;
        m_jobs.append(std::move(job));
    }
    m_waiting += int(paths.size());
    endInsertRows();
}

void JobListModel::changeSettings(const QList<quint64> &ids,
                                  const std::function<void(JobSettings &)> &change)
{
    const QSet<quint64> wanted(ids.cbegin(), ids.cend());
    int first = -1, last = -1;
    for (int row = 0; row < count(); ++row) {
        Job &job = m_jobs[row];
        if (job.state == JobState::Running || !wanted.contains(job.id))
            continue;
        change(job.settings);
        first = first < 0 ? row : first;
        last = row;
    }
    if (first >= 0)
        Q_EMIT dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

void JobListModel::removeJobAt(int row)
{
    if (row < 0 || row >= count() || m_jobs[row].state == JobState::Running)
        return;
    beginRemoveRows({}, row, row);
    if (m_jobs[row].state == JobState::Waiting)
        --m_waiting;
    m_jobs.removeAt(row);
    endRemoveRows();
}

void JobListModel::removeAllJobs()
{
    if (m_jobs.isEmpty())
        return;
    const auto isRunning = [](const Job &j) { return j.state == JobState::Running; };
    if (std::none_of(m_jobs.cbegin(), m_jobs.cend(), isRunning)) {
        beginResetModel();
        m_jobs.clear();
        m_waiting = 0;
        endResetModel();
        return;
    }
    // The running jobs stay; each stretch between them goes, from the end, so
    // the rows still to remove keep their numbers.
    m_waiting = 0;
    for (int last = count() - 1; last >= 0;) {
        if (isRunning(m_jobs[last])) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !isRunning(m_jobs[first - 1]))
            --first;
        beginRemoveRows({}, first, last);
        m_jobs.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }
}

void JobListModel::removeJob(quint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    if (m_jobs[row].state == JobState::Waiting)
        --m_waiting;
    m_jobs.removeAt(row);
    endRemoveRows();
}

void JobListModel::removeJobs(const QList<quint64> &ids)
{
    const QSet<quint64> wanted(ids.cbegin(), ids.cend());
    const auto goes = [&](int row) {
        return wanted.contains(m_jobs[row].id) && m_jobs[row].state != JobState::Running;
    };
    // From the end, a run of neighbours at a time, so rows above keep their place.
    for (int row = count() - 1; row >= 0;) {
        if (!goes(row)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && goes(first - 1))
            --first;
        beginRemoveRows({}, first, row);
        for (int r = first; r <= row; ++r)
            m_waiting -= m_jobs[r].state == JobState::Waiting;
        m_jobs.remove(first, row - first + 1);
        endRemoveRows();
        row = first - 1;
    }
}

void JobListModel::setState(Job &job, JobState state)
{
    m_waiting += (state == JobState::Waiting) - (job.state == JobState::Waiting);
    job.state = state;
}

const Job *JobListModel::jobById(quint64 id) const
{
    const int row = rowOf(id);
    return row < 0 ? nullptr : &m_jobs[row];
}

Job *JobListModel::find(quint64 id)
{
    const int row = rowOf(id);
    return row < 0 ? nullptr : &m_jobs[row];
}

QStringList JobListModel::paths() const
{
    QStringList paths;
    paths.reserve(m_jobs.size());
    for (const Job &j : m_jobs)
        paths << j.source;
    return paths;
}

int JobListModel::rowOf(quint64 id) const
{
    // The running job is almost always near the top.
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].id == id)
            return row;
    }
    return -1;
}

int JobListModel::nextWaitingRow() const
{
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].state == JobState::Waiting)
            return row;
    }
    return -1;
}

int JobListModel::failedCount() const
{
    return int(std::count_if(m_jobs.cbegin(), m_jobs.cend(),
                             [](const Job &j) { return j.state == JobState::Failed; }));
}

void JobListModel::rowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void JobListModel::setRunning(quint64 id, int pass, int passCount, double fraction)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Job &j = m_jobs[row];
    if (j.state != JobState::Running) {
        j.failure = FailureReason::None;
        j.failureDetail.clear();
        j.losslessRefusal.clear();
    }
    setState(j, JobState::Running);
    j.pass = pass;
    j.passCount = passCount;
    j.fraction = fraction;
    rowChanged(row);
}

void JobListModel::setFailed(quint64 id, FailureReason reason, const QString &detail,
                             const QList<Report::CheckDifference> &checks,
                             const QString &keptOutput)
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
}

void JobListModel::setStopped(quint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    setState(m_jobs[row], JobState::Stopped);
    m_jobs[row].fraction = 0;
    rowChanged(row);
}

void JobListModel::setEncoderOutput(quint64 id, const QString &output)
{
    if (Job *j = find(id))
        j->encoderOutput = output;
}

void JobListModel::setLosslessRefusal(quint64 id, const QString &refusal)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_jobs[row].losslessRefusal = refusal;
    rowChanged(row);
}

void JobListModel::retry(quint64 id)
{
    retryRow(rowOf(id));
}

bool JobListModel::retryRow(int row)
{
    if (row < 0 || row >= count())
        return false;
    Job &j = m_jobs[row];
    if (j.state != JobState::Failed && j.state != JobState::Stopped)
        return false;
    setState(j, JobState::Waiting);
    j.failure = FailureReason::None;
    j.failureDetail.clear();
    j.fraction = 0;
    rowChanged(row);
    return true;
}

void JobListModel::retryAll()
{
    for (int row = 0; row < count(); ++row)
        retryRow(row);
}

QString JobListModel::typeLabel(const QString &path)
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
