#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

// The job list: the rows the window shows and the queue the batch takes its
// jobs from are one sequence, so they cannot drift apart.
class JobListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class State { Waiting, Failed };
    enum Column { NameColumn, TypeColumn, ColumnCount };
    enum Role { StateRole = Qt::UserRole + 1, FailReasonRole, PathRole, IdRole };

    struct Job
    {
        quint64 id;
        QString path;
        QString typeLabel;
        State state = State::Waiting;
        QString failReason;
    };

    explicit JobListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void addJob(const QString &path);
    // Many at once, as one insertion: a folder of 100 000 files stays quick.
    void addJobs(const QStringList &paths);
    // Removes the job of the given row (the selected one); -1 removes nothing.
    void removeJobAt(int row);
    void removeAllJobs();
    // Removes the job the batch has just finished, wherever it now stands.
    void removeJob(quint64 id);

    int count() const { return int(m_jobs.size()); }
    bool isEmpty() const { return m_jobs.isEmpty(); }
    const Job &job(int row) const { return m_jobs[row]; }
    QString path(int row) const { return m_jobs[row].path; }
    // paths: the paths in list order.
    QStringList paths() const;
    int rowOf(quint64 id) const;

    // The first job of the queue that has not failed in this batch, or -1.
    int nextWaitingRow() const;
    void markFailed(quint64 id, const QString &reason);
    // Failed jobs wait again: pressing Start retries them.
    void resetFailed();
    int failedCount() const;

    // The last three characters of the path without surrounding spaces, upper case.
    static QString typeLabel(const QString &path);

private:
    QList<Job> m_jobs;
    quint64 m_nextId = 1;
};

// The folder part of a path, up to and including its last separator ("" when none).
QString folderOf(const QString &path);
