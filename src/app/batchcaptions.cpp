#include "batchcaptions.h"

#include "common/paths.h"
#include "texts/statustexts.h"

namespace {

// Enough rows to say what went wrong without a message box taller than the screen.
constexpr int MaxListedFailures = 15;

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
    if (m_running || !m_lastSummary)
        return false;
    m_lastSummary.reset();
    return true;
}

QString BatchCaptions::caption() const
{
    if (m_running)
        return m_paused ? u"已暂停 · "_qs + m_display.caption : m_display.caption;
    if (m_lastSummary)
        return StatusTexts::batchEnd(int(m_lastSummary->failures.size()), m_lastSummary->stopped);
    return ProgressDisplay().caption;
}

QString BatchCaptions::position() const
{
    if (!m_running || m_position.number == 0)
        return {};
    QString text = StatusTexts::position(m_position.number, m_position.total);
    if (m_position.remainingSeconds)
        text += u"  "_qs + StatusTexts::remaining(*m_position.remainingSeconds);
    return text;
}

QString failureSummary(const QList<JobFailure> &failures)
{
    QString text = u"以下 %1 个视频没有转换成功，它们留在列表中（红色）。\n"
                   u"再次点击%2可以重试：\n"_qs.arg(failures.size())
                       .arg(unbroken(u"“开始旋转视频！”"_qs));
    for (int i = 0; i < failures.size() && i < MaxListedFailures; ++i) {
        text += u"\n%1\n    %2"_qs.arg(displayPath(failures[i].source),
                                       StatusTexts::failure(failures[i].reason));
        if (!failures[i].detail.isEmpty())
            text += u"\n    "_qs + failures[i].detail;
    }
    if (failures.size() > MaxListedFailures) {
        text +=
            u"\n\n……另有 %1 个，原因见列表的状态一栏。"_qs.arg(failures.size() - MaxListedFailures);
    }
    return text;
}
