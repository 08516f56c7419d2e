#pragma once

#include "job.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The job list: the rows the window shows and the queue the batch takes its
// jobs from are one sequence, so they cannot drift apart. Jobs are found by
// id, so rows may come and go while a batch runs.
class JobListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, TypeColumn, RotationColumn, FormatColumn, StatusColumn, ColumnCount };
    enum Role {
        StateRole = Qt::UserRole + 1,
        FailureRole,
        FailureDetailRole,
        FractionRole,
        PathRole,
        IdRole,
        LosslessRefusalRole,
    };

    explicit JobListModel(QObject *parent = nullptr);

    // How a front end shows a job: asked first for every role of every cell;
    // an invalid answer leaves the role to the model. The model itself words
    // nothing, so the status column is empty without it.
    using Presentation = std::function<QVariant(const Job &job, int column, int role)>;
    void setPresentation(Presentation presentation) { m_presentation = std::move(presentation); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // What the jobs added from now on are converted with.
    void setSettingsForNewJobs(const JobSettings &settings) { m_newJobSettings = settings; }
    const JobSettings &settingsForNewJobs() const { return m_newJobSettings; }

    void addJob(const QString &path);
    // Many at once, as one insertion: a folder of 100 000 files stays quick.
    void addJobs(const QStringList &paths);
    // Changes the settings of these jobs; a running job keeps its own.
    void changeSettings(const QList<quint64> &ids,
                        const std::function<void(JobSettings &)> &change);
    // Removes the job of the given row; -1 removes nothing. A running job stays.
    void removeJobAt(int row);
    // Removes every job but a running one.
    void removeAllJobs();
    void removeJob(quint64 id);
    // Removes these jobs, but a running one.
    void removeJobs(const QList<quint64> &ids);

    int count() const { return int(m_jobs.size()); }
    bool isEmpty() const { return m_jobs.isEmpty(); }
    const Job &job(int row) const { return m_jobs[row]; }
    const Job *jobById(quint64 id) const;
    QString path(int row) const { return m_jobs[row].source; }
    // The paths in list order.
    QStringList paths() const;
    int rowOf(quint64 id) const;

    // The first waiting job, or -1.
    int nextWaitingRow() const;
    int waitingCount() const { return m_waiting; }
    int failedCount() const;

    void setRunning(quint64 id, int pass, int passCount, double fraction);
    void setFailed(quint64 id, FailureReason reason, const QString &detail,
                   const QList<Report::CheckDifference> &checks = {},
                   const QString &keptOutput = {});
    void setStopped(quint64 id);
    void setEncoderOutput(quint64 id, const QString &output);
    void setLosslessRefusal(quint64 id, const QString &refusal);
    // A failed or stopped job waits again.
    void retry(quint64 id);
    // Every failed or stopped job waits again: Start converts them anew.
    void retryAll();

    // The last three characters of the path without surrounding spaces, upper case.
    static QString typeLabel(const QString &path);

private:
    Job *find(quint64 id);
    void rowChanged(int row);
    void setState(Job &job, JobState state);
    bool retryRow(int row);

    QList<Job> m_jobs;
    JobSettings m_newJobSettings;
    Presentation m_presentation;
    int m_waiting = 0; // kept as jobs change, so a batch can ask often
    quint64 m_nextId = 1;
};
