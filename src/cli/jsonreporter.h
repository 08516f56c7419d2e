#pragma once

#include "batchreporter.h"

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
    void progressChanged(const ProgressState &) override {}
    void positionChanged(const BatchPosition &position) override;
    void jobDone(const QString &source, const QString &output) override;
    void jobFailed(const JobFailure &failure) override;
    void losslessRefused(const QString &source, const QString &why) override;
    void jobStopped(const QString &source) override;
    void batchFailed(FailureReason reason, const QString &detail) override;
    void batchEnded(const BatchSummary &summary, int exitStatus) override;

private:
    FILE *m_out;
    BatchPosition m_position; // the running job's number for the events that lack it
};
