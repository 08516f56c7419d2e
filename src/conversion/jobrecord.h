#pragma once

#include "joblist/job.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What became of one job of a batch, for the record: where its output went,
// how big it is, how long it took and how fast that was.
struct JobRecord
{
    enum class Outcome { Converted, Failed, Stopped };

    QDateTime ended; // local time
    QString source;
    Outcome outcome = Outcome::Converted;
    QString output;           // the file written (also one kept after a failed check)
    qint64 outputBytes = -1;  // -1: none
    double seconds = 0;       // the time it took, pauses left out
    double sourceSeconds = 0; // the length it converted, 0 when not known
    FailureReason failure = FailureReason::None;
    QString failureDetail;
    QString losslessRefusal; // why a lossless rotation asked for was not done

    // Seconds of video converted per second; 0 when not known.
    double speed() const { return seconds > 0 && sourceSeconds > 0 ? sourceSeconds / seconds : 0; }

    friend bool operator==(const JobRecord &, const JobRecord &) = default;
};

// The log of finished jobs kept across runs: one JSON object per line,
// appended as jobs end, so the last batches can be looked at after a restart.
class JobHistory
{
public:
    explicit JobHistory(const QString &file = defaultFile()) : m_file(file) {}

    // In the user's state folder ($XDG_STATE_HOME, else ~/.local/state).
    static QString defaultFile();
    QString file() const { return m_file; }

    // False when it could not be written; the record stays in memory all the same.
    bool append(const JobRecord &record);
    // The last records, oldest first; lines that cannot be read are passed over.
    QList<JobRecord> last(int count) const;

    static QByteArray toJsonLine(const JobRecord &record);
    static std::optional<JobRecord> fromJsonLine(QByteArrayView line);

private:
    QString m_file;
};
