#pragma once

#include "conversion/batchcontroller.h"

#include <QString>

// What torvane-cli tells about a batch, one function per event; each output
// mode (JSON lines, a redrawn terminal line, plain lines) is one implementation.
class BatchReporter
{
public:
    virtual ~BatchReporter() = default;

    virtual void batchStarted(int jobs) = 0;
    // The folder could not be listed, so what is in it is missing from the batch.
    virtual void folderUnreadable(const QString &folder) = 0;
    // Several jobs may run at once: each event names its job by id, and a
    // job's position says its number in the batch.
    virtual void jobStarted(const BatchPosition &position) = 0;
    virtual void passStarted(const PassCommand &pass) = 0;
    // Where one running job and the batch stand, with the job's own caption.
    virtual void positionChanged(const BatchPosition &position) = 0;
    virtual void jobDone(quint64 id, const QString &source, const QString &output) = 0;
    virtual void jobFailed(const JobFailure &failure) = 0;
    // why: the source's codec name or the encoder's reason word.
    virtual void losslessRefused(quint64 id, const QString &source, const QString &why) = 0;
    virtual void jobStopped(quint64 id, const QString &source) = 0;
    virtual void batchFailed(FailureReason reason, const QString &detail) = 0;
    // Also when the batch never started: summary is then empty.
    virtual void batchEnded(const BatchSummary &summary, int exitStatus) = 0;
};
