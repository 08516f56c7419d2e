#include "batchestimate.h"

#include <algorithm>
#include <cmath>

void BatchEstimate::start(double nowSeconds)
{
    *this = {};
    m_startSeconds = nowSeconds;
}

void BatchEstimate::setWaiting(int knownJobs, double knownSeconds, int unknownJobs)
{
    m_waitingKnown = std::max(0, knownJobs);
    m_waitingKnownSeconds = m_waitingKnown > 0 ? std::max(0.0, knownSeconds) : 0;
    m_waitingUnknown = std::max(0, unknownJobs);
}

void BatchEstimate::setRunning(quint64 id, double durationSeconds, double fraction)
{
    m_running.insert(id, {std::max(0.0, durationSeconds), std::clamp(fraction, 0.0, 1.0)});
}

void BatchEstimate::jobEnded(quint64 id, bool converted)
{
    const auto job = m_running.constFind(id);
    if (job == m_running.cend())
        return;
    if (converted) {
        // A converted job of unknown length counts as long as the others.
        if (job->duration > 0) {
            m_convertedSeconds += job->duration;
            ++m_convertedKnown;
        } else {
            ++m_convertedUnknown;
        }
    }
    m_running.erase(job);
}

double BatchEstimate::averageDuration() const
{
    double total = m_convertedSeconds + m_waitingKnownSeconds;
    int known = m_convertedKnown + m_waitingKnown;
    for (const Running &job : m_running) {
        if (job.duration > 0) {
            total += job.duration;
            ++known;
        }
    }
    // Nothing known: every job weighs the same.
    return known > 0 && total > 0 ? total / known : 1.0;
}

double BatchEstimate::durationOf(const Running &job) const
{
    return job.duration > 0 ? job.duration : averageDuration();
}

double BatchEstimate::doneSeconds() const
{
    double done = m_convertedSeconds + m_convertedUnknown * averageDuration();
    for (const Running &job : m_running)
        done += durationOf(job) * job.fraction;
    return done;
}

double BatchEstimate::leftSeconds() const
{
    double left = m_waitingKnownSeconds + m_waitingUnknown * averageDuration();
    for (const Running &job : m_running)
        left += durationOf(job) * (1 - job.fraction);
    return left;
}

double BatchEstimate::fraction() const
{
    const double done = doneSeconds(), left = leftSeconds();
    return done + left > 0 ? std::clamp(done / (done + left), 0.0, 1.0) : 0.0;
}

std::optional<int> BatchEstimate::remainingSeconds(double nowSeconds) const
{
    const double elapsed = nowSeconds - m_startSeconds;
    const double left = leftSeconds();
    if (left <= 0 && elapsed > 0)
        return 0; // nothing left: the end is now
    const double done = doneSeconds();
    if (elapsed < MinElapsedSeconds || done <= 0)
        return std::nullopt;
    const double seconds = left * elapsed / done;
    if (!std::isfinite(seconds))
        return std::nullopt;
    return int(std::lround(std::min(seconds, 1e7)));
}
