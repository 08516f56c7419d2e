#pragma once

#include "job.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

// The list of jobs in the order they are converted: the one thing the window's
// list shows, the batch takes its jobs from and the saved list is written from.
// Jobs are found by id, so rows may come and go while a batch runs. Every
// change is announced before it is made and after, so a view can follow.
class JobQueue : public QObject
{
    Q_OBJECT

public:
    explicit JobQueue(QObject *parent = nullptr);

    // What the jobs added from now on are converted with.
    void setSettingsForNewJobs(const JobSettings &settings) { m_newJobSettings = settings; }
    const JobSettings &settingsForNewJobs() const { return m_newJobSettings; }

    void addJob(const QString &path);
    // Many at once, as one insertion: a folder of 100 000 files stays quick.
    // root: the folder they were found in, whose own folders they keep as
    // their subfolder; empty for files added by themselves.
    void addJobs(const QStringList &paths, const QString &root = {});
    // Jobs as they were kept: their own settings, and a failure stays one.
    void addJobs(const QList<Job> &jobs);

    // The settings of a job before a change, to take the change back.
    using SettingsBefore = QList<std::pair<quint64, JobSettings>>;
    // Changes the settings of these jobs; a running job keeps its own. Gives
    // what the changed ones had before.
    SettingsBefore changeSettings(const QList<quint64> &ids,
                                  const std::function<void(JobSettings &)> &change);
    // Gives these jobs back the settings they had, those not running now.
    void restoreSettings(const SettingsBefore &before);

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
    const QList<Job> &jobs() const { return m_jobs; }
    const Job *jobById(quint64 id) const;
    QString path(int row) const { return m_jobs[row].source; }
    // The paths in list order.
    QStringList paths() const;
    int rowOf(quint64 id) const;

    // The first waiting job, or -1.
    int nextWaitingRow() const;
    int waitingCount() const { return m_waiting; }
    int failedCount() const;
    int countIn(JobState state) const;

    void setRunning(quint64 id, int pass, int passCount, double fraction);
    void setFailed(quint64 id, FailureReason reason, const QString &detail,
                   const QList<Report::CheckDifference> &checks = {},
                   const QString &keptOutput = {});
    void setStopped(quint64 id);
    void setEncoderOutput(quint64 id, const QString &output);
    void setLosslessRefusal(quint64 id, const QString &refusal);
    // A failed or stopped job waits again.
    void retry(quint64 id);
    // Every failed or stopped job waits again.
    void retryAll() { retryRows(true); }
    // Every stopped job waits again; failed ones stay failed.
    void resumeStopped() { retryRows(false); }

    // The last three characters of the path without surrounding spaces, upper case.
    static QString typeLabel(const QString &path);

Q_SIGNALS:
    // Rows first to last (inclusive) are about to come or go, and have.
    void aboutToInsert(int first, int last);
    void inserted(int first, int last);
    void aboutToRemove(int first, int last);
    void removed(int first, int last);
    void aboutToClear();
    void cleared();
    // What rows first to last show has changed, their progress included.
    void changed(int first, int last);
    // Something worth keeping changed: a job came or went, its settings or its
    // state; not its progress.
    void contentChanged();

private:
    Job *find(quint64 id);
    void rowChanged(int row);
    void setState(Job &job, JobState state);
    bool retryRow(int row, bool failedToo);
    void retryRows(bool failedToo);
    void removeRows(int first, int last);

    QList<Job> m_jobs;
    JobSettings m_newJobSettings;
    int m_waiting = 0; // kept as jobs change, so a batch can ask often
    quint64 m_nextId = 1;
};
