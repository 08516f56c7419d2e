#pragma once

#include <optional>

// How far a batch has come and how long the rest will take, from the share of
// the total source duration converted so far. Jobs whose duration is not
// known yet count as long as the average of those that are.
class BatchEstimate
{
public:
    // Before an estimate is given: enough time to have a rate worth showing.
    static constexpr double MinElapsedSeconds = 2.0;

    void start(double nowSeconds);
    // The job that has just ended (converted or not) took part of the batch.
    void jobEnded(double durationSeconds);
    void setCurrent(double durationSeconds, double fraction);
    void setJobsLeft(int waitingJobs) { m_waiting = waitingJobs; }

    // Converted share of the batch, 0..1.
    double fraction() const;
    // Whole seconds left, or nothing while it cannot be estimated.
    std::optional<int> remainingSeconds(double nowSeconds) const;

private:
    double averageDuration() const;

    double m_startSeconds = 0;
    double m_endedSeconds = 0; // source seconds of ended jobs with a known duration
    int m_endedKnown = 0;
    int m_endedUnknown = 0;
    double m_currentDuration = 0;
    double m_currentFraction = 0;
    bool m_hasCurrent = false;
    int m_waiting = 0;
};
