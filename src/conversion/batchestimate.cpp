#include "batchestimate.h"

#include <algorithm>
#include <cmath>

void BatchEstimate::start(double nowSeconds)
{
    *this = {};
    m_startSeconds = nowSeconds;
}

void BatchEstimate::jobEnded(double durationSeconds)
{
    if (durationSeconds > 0) {
        m_endedSeconds += durationSeconds;
        ++m_endedKnown;
    } else {
        ++m_endedUnknown;
    }
    m_hasCurrent = false;
    m_currentDuration = m_currentFraction = 0;
}

void BatchEstimate::setCurrent(double durationSeconds, double fraction)
{
    m_hasCurrent = true;
    m_currentDuration = std::max(0.0, durationSeconds);
    m_currentFraction = std::clamp(fraction, 0.0, 1.0);
}

double BatchEstimate::averageDuration() const
{
    const int known = m_endedKnown + (m_hasCurrent && m_currentDuration > 0 ? 1 : 0);
    const double total = m_endedSeconds + (m_hasCurrent ? m_currentDuration : 0);
    // Nothing known: every job weighs the same.
    return known > 0 ? total / known : 1.0;
}

double BatchEstimate::fraction() const
{
    const double average = averageDuration();
    const double current = m_hasCurrent ? (m_currentDuration > 0 ? m_currentDuration : average) : 0;
    const double done = m_endedSeconds + m_endedUnknown * average + current * m_currentFraction;
    const double total = m_endedSeconds + m_endedUnknown * average + current + m_waiting * average;
    return total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0.0;
}

std::optional<int> BatchEstimate::remainingSeconds(double nowSeconds) const
{
    const double elapsed = nowSeconds - m_startSeconds;
    const double done = fraction();
    if (elapsed < MinElapsedSeconds || done <= 0.0)
        return std::nullopt;
    const double left = elapsed * (1.0 - done) / done;
    if (!std::isfinite(left))
        return std::nullopt;
    return int(std::lround(std::min(left, 1e7)));
}
