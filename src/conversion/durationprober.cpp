#include "durationprober.h"

DurationProber::DurationProber(QObject *parent) : QObject(parent)
{
    connect(&m_process, &EncoderProcess::reportReceived, this, [this](const QByteArray &piece) {
        if (m_reader.feed(piece))
            takeLines();
    });
    connect(&m_process, &EncoderProcess::finished, this, [this] {
        // A probe that failed as a whole leaves its lengths unknown; the
        // estimate then counts those jobs by the batch's own average.
        m_chunk.clear();
        m_stopping = false;
        runNext();
    });
}

void DurationProber::add(const QList<Source> &sources)
{
    m_waiting += sources;
    if (m_chunk.isEmpty() && !m_stopping)
        runNext();
}

void DurationProber::stop()
{
    m_waiting.clear();
    if (!m_chunk.isEmpty() && m_process.isRunning()) {
        m_chunk.clear();
        m_stopping = true;
        m_process.stop();
    }
}

void DurationProber::runNext()
{
    while (!m_waiting.isEmpty()) {
        m_chunk = m_waiting.mid(0, ChunkSize);
        m_waiting.remove(0, m_chunk.size());
        EncoderCommand command;
        command.program = m_program;
        command.arguments << u"-probe"_qs;
        for (const Source &source : std::as_const(m_chunk))
            command.arguments << source.second;
        command.text = m_program + u" -probe …"_qs;
        m_reader.reset();
        m_seen = 0;
        if (m_process.start(command))
            return;
        m_chunk.clear();
    }
    Q_EMIT idle();
}

void DurationProber::takeLines()
{
    const auto &probed = m_reader.report().probed;
    for (; m_seen < probed.size(); ++m_seen) {
        const auto &[index, seconds, info] = probed[m_seen];
        if (index < 0 || index >= m_chunk.size())
            continue;
        if (seconds && *seconds > 0)
            Q_EMIT durationRead(m_chunk[index].first, *seconds);
        if (!info.isEmpty())
            Q_EMIT sourceRead(m_chunk[index].first, info);
    }
}
