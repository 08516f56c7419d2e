#pragma once

#include "job.h"

#include <QList>
#include <QObject>
#include <QString>

class JobQueue;
class QTimer;

// The job list kept on disk as it changes, with each job's settings and a
// failure's reason, so that a program closed, killed or cut off by a power
// failure finds it again. The file is replaced whole, atomically, at most
// once per WriteDelayMs; a job that was running is kept as waiting.
class SavedQueue : public QObject
{
    Q_OBJECT

public:
    static constexpr int WriteDelayMs = 500;

    SavedQueue(JobQueue &queue, const QString &file, QObject *parent = nullptr);
    // A change not yet written is written now: the queue must still be there.
    ~SavedQueue() override;

    // In the user's state folder ($XDG_STATE_HOME, else ~/.local/state).
    static QString defaultFile();
    QString file() const { return m_file; }

    // The jobs kept there, ready for JobQueue::addJobs; none when there is no
    // such file or it cannot be read. Entries that cannot be read are passed over.
    static QList<Job> read(const QString &file);
    static bool write(const QString &file, const QList<Job> &jobs);

    // Writes the list now, and again whenever it changes.
    void keep();
    bool isKeeping() const { return m_keeping; }

Q_SIGNALS:
    // The file has been written, or could not be.
    void written(bool ok);

private:
    void writeNow();

    JobQueue &m_queue;
    QString m_file;
    QTimer *m_timer;
    bool m_keeping = false;
};
