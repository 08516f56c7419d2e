#pragma once

#include "batchreporter.h"

#include <QHash>

#include <cstdio>

// One JSON object per event and line, as torvane-cli(1) lists them under
// JSON LINES: scripts read these, so keys and their order stay as they are.
class JsonReporter : public BatchReporter
{
public:
    explicit JsonReporter(FILE *out = stdout) : m_out(out) {}

    void batchStarted(int jobs) override;
    void folderUnreadable(const QString &folder) override;
    void jobStarted(const BatchPosition &position) override;
    void passStarted(const PassCommand &) override {}
    void positionChanged(const BatchPosition &position) override;
    void jobDone(quint64 id, const QString &source, const QString &output) override;
    void jobFailed(const JobFailure &failure) override;
    void losslessRefused(quint64 id, const QString &source, const QString &why) override;
    void jobStopped(quint64 id, const QString &source) override;
    void batchFailed(FailureReason reason, const QString &detail) override;
    void batchEnded(const BatchSummary &summary, int exitStatus) override;

private:
    // The position of a running job by its id, for the events that lack it.
    BatchPosition positionOf(quint64 id) const;

    FILE *m_out;
    QHash<quint64, BatchPosition> m_running;
    int m_total = 0;
};
