#pragma once

#include "batchreporter.h"

#include <QHash>
#include <QMap>

#include <optional>

// What the plain lines and the terminal share: a line per result on standard
// output, problems with the batch as a whole on standard error. Several jobs
// may run at once; each result names its source.
class TextReporter : public BatchReporter
{
public:
    void batchStarted(int) override {}
    void folderUnreadable(const QString &folder) override;
    void jobStarted(const BatchPosition &position) override;
    // A new pass shows its first line even when it reads as the last one did.
    void passStarted(const PassCommand &) override { m_lastProgress.clear(); }
    void positionChanged(const BatchPosition &position) override;
    void jobDone(quint64 id, const QString &source, const QString &output) override;
    void jobFailed(const JobFailure &failure) override;
    void losslessRefused(quint64 id, const QString &source, const QString &why) override;
    void jobStopped(quint64 id, const QString &source) override;
    void batchFailed(FailureReason reason, const QString &detail) override;
    void batchEnded(const BatchSummary &, int) override {}

protected:
    virtual void printResult(const QString &text);
    // The running jobs by their number in the batch, and the latest position.
    const QMap<int, BatchPosition> &running() const { return m_running; }
    const BatchPosition &latest() const { return m_latest; }
    // The line with the time left added; nothing when that line is already showing.
    std::optional<QString> newProgressLine(quint64 id, QString line);

private:
    void jobEnded(quint64 id);

    QMap<int, BatchPosition> m_running;
    BatchPosition m_latest;
    QHash<quint64, QString> m_lastProgress;
};

// A line per change, for a pipe or a file: each pass's command, the encoder's
// caption, the results.
class PlainReporter : public TextReporter
{
public:
    struct Options
    {
        bool progress = true; // each pass's command and the progress lines
        bool notes = true;    // why a lossless rotation was not done
    };
    explicit PlainReporter(Options options) : m_options(options) {}

    void passStarted(const PassCommand &pass) override;
    // "第 2/4 个 a.avi 旋转中 45% 剩余约 01:35", a line for each job.
    void positionChanged(const BatchPosition &position) override;
    void losslessRefused(quint64 id, const QString &source, const QString &why) override;

private:
    Options m_options;
};

// One line redrawn in place, as ffmpeg does, fitted to the terminal's width;
// the results are printed below it. Jobs side by side share the line: a line
// for each would need the cursor moved up over results printed between them.
class TerminalReporter : public TextReporter
{
public:
    void positionChanged(const BatchPosition &position) override;
    void batchEnded(const BatchSummary &, int) override { closeLine(); }

protected:
    void printResult(const QString &text) override;

private:
    void closeLine();

    bool m_lineOpen = false; // the progress line is showing
};

// Whether standard output can take the redrawn line: a terminal that is not "dumb".
bool stdoutIsTerminal();
