#include "joblistmodel.h"

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
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == NameColumn ? j.path : j.typeLabel;
    case Qt::ToolTipRole:
        return j.state == State::Failed ? j.failReason : j.path;
    case StateRole:
        return int(j.state);
    case FailReasonRole:
        return j.failReason;
    case PathRole:
        return j.path;
    case IdRole:
        return j.id;
    default:
        return {};
    }
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == NameColumn ? u"视频文件名"_qs : u"视频格式"_qs;
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
    for (const QString &p : paths)
        m_jobs.append({m_nextId++, p, typeLabel(p), State::Waiting, {}});
    endInsertRows();
}

void JobListModel::removeJobAt(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    m_jobs.removeAt(row);
    endRemoveRows();
}

void JobListModel::removeAllJobs()
{
    if (m_jobs.isEmpty())
        return;
    beginRemoveRows({}, 0, count() - 1);
    m_jobs.clear();
    endRemoveRows();
}

void JobListModel::removeJob(quint64 id)
{
    removeJobAt(rowOf(id));
}

QStringList JobListModel::paths() const
{
    QStringList paths;
    paths.reserve(m_jobs.size());
    for (const Job &j : m_jobs)
        paths << j.path;
    return paths;
}

int JobListModel::rowOf(quint64 id) const
{
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].id == id)
            return row;
    }
    return -1;
}

int JobListModel::nextWaitingRow() const
{
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].state == State::Waiting)
            return row;
    }
    return -1;
}

void JobListModel::markFailed(quint64 id, const QString &reason)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    m_jobs[row].state = State::Failed;
    m_jobs[row].failReason = reason;
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void JobListModel::resetFailed()
{
    for (int row = 0; row < count(); ++row) {
        if (m_jobs[row].state == State::Failed) {
            m_jobs[row].state = State::Waiting;
            m_jobs[row].failReason.clear();
            Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
        }
    }
}

int JobListModel::failedCount() const
{
    return int(std::count_if(m_jobs.cbegin(), m_jobs.cend(),
                             [](const Job &j) { return j.state == State::Failed; }));
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
    return (trimmed.size() <= 3 ? trimmed : trimmed.last(3)).toString().toUpper();
}

QString folderOf(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
#ifdef Q_OS_WIN
        const bool separator = path[i] == u'\\' || path[i] == u'/' || path[i] == u':';
#else
        const bool separator = path[i] == u'/';
#endif
        if (separator)
            return path.left(i + 1);
    }
    return {};
}
