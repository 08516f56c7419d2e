#include "batchcaptions.h"

#include "common/paths.h"
#include "texts/statustexts.h"

#include <algorithm>

namespace {

// A caption quoted in a message stays on one line: word joiners between its
// characters forbid the line breaks that Chinese text otherwise allows anywhere.
QString unbroken(const QString &caption)
{
    QString joined;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (i > 0 && !caption[i].isLowSurrogate())
            joined += QChar(0x2060);
        joined += caption[i];
    }
    return joined;
}

} // namespace

void BatchCaptions::batchStarted()
{
    *this = {};
    m_running = true;
}

bool BatchCaptions::listChanged()
{
    // Rows the batch itself removes are part of its progress.
    if (m_running || (!m_lastSummary && m_note.isEmpty()))
        return false;
    m_lastSummary.reset();
    m_note.clear();
    return true;
}

QString BatchCaptions::caption() const
{
    if (m_running) {
        if (!m_note.isEmpty())
            return m_note;
        // Several jobs at once: their rows have their own figures, the caption
        // says the batch's share, as the bar shows it.
        if (m_paused)
            return u"已暂停 %1%"_qs.arg(barValue());
        if (m_position.running > 1)
            return u"正在同时转换 %1 个视频 %2%"_qs.arg(m_position.running).arg(barValue());
        if (m_position.slots > 1)
            return u"转换中 %1%"_qs.arg(barValue());
        return m_display.caption;
    }
    if (!m_note.isEmpty())
        return m_note;
    if (m_lastSummary)
        return StatusTexts::batchEnd(int(m_lastSummary->failures.size()), m_lastSummary->stopped);
    return ProgressDisplay().caption;
}

QString BatchCaptions::position() const
{
    if (!m_running || m_position.started == 0)
        return {};
    QString text = StatusTexts::position(m_position.started, m_position.total);
    if (m_position.remainingSeconds)
        text += u"  "_qs + StatusTexts::remaining(*m_position.remainingSeconds);
    return text;
}

int BatchCaptions::barValue() const
{
    const double percent =
        m_position.slots > 1 ? m_position.batchFraction * 100 : m_display.percent;
    return std::clamp(int(percent), 0, 100);
}

int BatchCaptions::batchPercent() const
{
    return std::clamp(int(m_position.batchFraction * 100), 0, 100);
}

QString failureSummaryIntro(int failed)
{
    return u"以下 %1 个视频没有转换成功，它们留在列表中（红色）。\n"
           u"选择%2，或在视频上点右键选择%3，它们会在下次转换时重新处理。"_qs.arg(failed)
               .arg(unbroken(u"“重试失败的视频”"_qs), unbroken(u"“重试”"_qs));
}

QStringList failureSummaryItems(const QList<JobFailure> &failures)
{
    QStringList items;
    for (const JobFailure &failure : failures) {
        QString item =
            displayPath(failure.source) + u"\n    "_qs + StatusTexts::failure(failure.reason);
        const QString detail = StatusTexts::failureDetail(failure.reason, failure.detail,
                                                          failure.checks, failure.keptOutput);
        if (!detail.isEmpty())
            item += u"\n    "_qs + detail;
        items << item;
    }
    return items;
}
