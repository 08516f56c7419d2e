#include "joblistmodel.h"

#include "common/paths.h"

JobListModel::JobListModel(const JobQueue &queue, QObject *parent)
    : QAbstractTableModel(parent), m_queue(queue)
{
    // The queue says before and after each change, as a model must.
    connect(&queue, &JobQueue::aboutToInsert, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(&queue, &JobQueue::inserted, this, [this] { endInsertRows(); });
    connect(&queue, &JobQueue::aboutToRemove, this,
            [this](int first, int last) { beginRemoveRows({}, first, last); });
    connect(&queue, &JobQueue::removed, this, [this] { endRemoveRows(); });
    connect(&queue, &JobQueue::aboutToClear, this, [this] { beginResetModel(); });
    connect(&queue, &JobQueue::cleared, this, [this] { endResetModel(); });
    connect(&queue, &JobQueue::changed, this, [this](int first, int last) {
        Q_EMIT dataChanged(index(first, 0), index(last, ColumnCount - 1));
    });
}

void JobListModel::presentationChanged()
{
    if (const int rows = rowCount(); rows > 0)
        Q_EMIT dataChanged(index(0, 0), index(rows - 1, ColumnCount - 1));
}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_queue.count();
}

int JobListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_queue.count())
        return {};
    const Job &j = m_queue.job(index.row());
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
