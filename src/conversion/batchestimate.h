#pragma once

#include <QHash>

#include <optional>

// How far a batch has come and how long the rest will take: the source seconds
// still to convert over the speed this batch has shown so far. Only jobs that
// will run count; a job that failed or was passed over is no work at all.
class BatchEstimate
{
public:
    // Before an estimate is given: enough time to have a speed worth showing.
    static constexpr double MinElapsedSeconds = 2.0;

    // nowSeconds on the batch's own clock, which stands still while it is paused.
    void start(double nowSeconds);
    // The jobs that will still run after the running ones: how many have a known
    // length and how many seconds they make, and how many are not known yet.
    void setWaiting(int knownJobs, double knownSeconds, int unknownJobs);
    // A running job: its length (0 while not known) and the share of it done.
    // Several run at once; the speed measured is theirs together.
    void setRunning(quint64 id, double durationSeconds, double fraction);
    // A running job has ended; only a converted one was work done.
    void jobEnded(quint64 id, bool converted);

    // Converted share of the batch's work, 0..1.
    double fraction() const;
    // Whole seconds left, or nothing while it cannot be estimated.
    std::optional<int> remainingSeconds(double nowSeconds) const;

private:
    struct Running
    {
        double duration = 0;
        double fraction = 0;
    };

    double averageDuration() const;
    double durationOf(const Running &job) const;
    double doneSeconds() const;
    double leftSeconds() const;

    double m_startSeconds = 0;
    double m_convertedSeconds = 0; // of the converted jobs
    int m_convertedKnown = 0;      // of those, how many had a known length
    int m_convertedUnknown = 0;
    QHash<quint64, Running> m_running;
    double m_waitingKnownSeconds = 0;
    int m_waitingKnown = 0;
    int m_waitingUnknown = 0;
};
