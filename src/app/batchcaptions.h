#pragma once

#include "conversion/batchcontroller.h"

#include <QString>

#include <optional>

// What the progress caption and the position label say, kept from the
// batch's events: the running batch's progress, then the last batch's end
// until the list changes.
class BatchCaptions
{
public:
    // A batch starts from a clean display, not the last one's caption.
    void batchStarted();
    void batchStopped() { m_running = false; }
    void setProgress(const ProgressDisplay &display) { m_display = display; }
    void setPaused(bool paused) { m_paused = paused; }
    void setPosition(const BatchPosition &position) { m_position = position; }
    void batchEnded(const BatchSummary &summary) { m_lastSummary = summary; }
    // Where the output went, when nothing could open the folder; empty otherwise.
    QString unopenedFolder() const
    {
        return m_lastSummary && !m_running ? m_lastSummary->unopenedFolder : QString();
    }
    // The user changed the list: the last batch's word is stale. True when
    // the caption changes.
    bool listChanged();
    // What a change of job settings did, said until the list or the batch moves
    // on; during a batch, until noteSeen(), when the progress is said again.
    void setNote(const QString &note) { m_note = note; }
    void noteSeen()
    {
        if (m_running)
            m_note.clear();
    }

    QString caption() const;
    QString position() const;
    // The bar shows the batch's share done when several jobs may run at once,
    // the running pass's otherwise: 0 to 100.
    int barValue() const;
    // The batch's share done, 0 to 100, whatever runs at once.
    int batchPercent() const;

private:
    bool m_running = false;
    bool m_paused = false;
    ProgressDisplay m_display;
    BatchPosition m_position;
    std::optional<BatchSummary> m_lastSummary;
    QString m_note;
};

// The failure summary at the end of a batch: what it is about, then each
// video that failed and why.
QString failureSummaryIntro(int failed);
QStringList failureSummaryItems(const QList<JobFailure> &failures);
