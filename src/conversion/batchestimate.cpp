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

void BatchEstimate::setCurrent(double durationSeconds, double fraction)
{
    m_hasCurrent = true;
    m_currentDuration = std::max(0.0, durationSeconds);
    m_currentFraction = std::clamp(fraction, 0.0, 1.0);
}

void BatchEstimate::jobEnded(bool converted)
{
    if (converted && m_hasCurrent) {
        // A converted job of unknown length counts as long as the others.
        if (m_currentDuration > 0) {
            m_convertedSeconds += m_currentDuration;
            ++m_convertedKnown;
        } else {
            ++m_convertedUnknown;
        }
    }
    m_hasCurrent = false;
    m_currentDuration = m_currentFraction = 0;
}

double BatchEstimate::averageDuration() const
{
    double total = m_convertedSeconds + m_waitingKnownSeconds;
    int known = m_convertedKnown + m_waitingKnown;
    if (m_hasCurrent && m_currentDuration > 0) {
        total += m_currentDuration;
        ++known;
    }
    // Nothing known: every job weighs the same.
    return known > 0 && total > 0 ? total / known : 1.0;
}

double BatchEstimate::currentDuration() const
{
    if (!m_hasCurrent)
        return 0;
    return m_currentDuration > 0 ? m_currentDuration : averageDuration();
}

double BatchEstimate::doneSeconds() const
{
    return m_convertedSeconds + m_convertedUnknown * averageDuration() +
           currentDuration() * m_currentFraction;
}

double BatchEstimate::leftSeconds() const
{
    return currentDuration() * (1 - m_currentFraction) + m_waitingKnownSeconds +
           m_waitingUnknown * averageDuration();
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
