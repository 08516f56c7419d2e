#pragma once

#include "common/report.h"
#include "process/encoderprocess.h"

#include <QList>
#include <QObject>
#include <QString>

#include <utility>

// Reads the lengths of sources in the background through the encoder's probe
// mode (libavformat, as the encoder itself reads them), a chunk of paths per
// run, so a long list neither waits for one huge command nor starts a process
// per file. What the probe found is kept for each job's encoder too, which then
// starts without loading libav.
class DurationProber : public QObject
{
    Q_OBJECT

public:
    static constexpr int ChunkSize = 64;
    using Source = std::pair<quint64, QString>; // job id, path

    explicit DurationProber(QObject *parent = nullptr);

    // The encoder program with the probe mode ("conv").
    void setProgram(const QString &program) { m_program = program; }
    void setWorkingDirectory(const QString &folder) { m_process.setWorkingDirectory(folder); }

    // Queues these sources after those still waiting and starts if idle.
    void add(const QList<Source> &sources);
    // Forgets what waits and ends the running probe; nothing more is reported.
    void stop();
    bool isBusy() const { return !m_chunk.isEmpty() || !m_waiting.isEmpty(); }

Q_SIGNALS:
    // Only for the sources whose length could be read.
    void durationRead(quint64 id, double seconds);
    // All the probe found of a source, for the encoder of its first pass.
    void sourceRead(quint64 id, const QByteArray &info);
    // Everything queued has been probed.
    void idle();

private:
    void runNext();
    void takeLines();

    EncoderProcess m_process;
    Report::Reader m_reader;
    QString m_program;
    QList<Source> m_waiting;
    QList<Source> m_chunk;
    qsizetype m_seen = 0;
    bool m_stopping = false;
};
