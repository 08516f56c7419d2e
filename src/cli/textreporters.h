#pragma once

#include "batchreporter.h"

#include <optional>

// What the plain lines and the terminal share: a line per result on standard
// output, problems with the batch as a whole on standard error.
class TextReporter : public BatchReporter
{
public:
    void batchStarted(int) override {}
    void folderUnreadable(const QString &folder) override;
    void jobStarted(const BatchPosition &position) override { m_position = position; }
    // A new pass shows its first line even when it reads as the last one did.
    void passStarted(const PassCommand &) override { m_lastProgress.clear(); }
    void positionChanged(const BatchPosition &position) override { m_position = position; }
    void jobDone(const QString &source, const QString &output) override;
    void jobFailed(const JobFailure &failure) override;
    void losslessRefused(const QString &source, const QString &why) override;
    void jobStopped(const QString &source) override;
    void batchFailed(FailureReason reason, const QString &detail) override;
    void batchEnded(const BatchSummary &, int) override {}

protected:
    virtual void printResult(const QString &text);
    const BatchPosition &position() const { return m_position; }
    // "第 2/4 个 <what> 剩余约 01:35"; nothing when that line is already showing.
    std::optional<QString> newProgressLine(const QString &what);

private:
    BatchPosition m_position;
    QString m_lastProgress;
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
    void progressChanged(const ProgressState &progress) override;
    void losslessRefused(const QString &source, const QString &why) override;

private:
    Options m_options;
};

// One line redrawn in place, as ffmpeg does, fitted to the terminal's width;
// the results are printed below it.
class TerminalReporter : public TextReporter
{
public:
    void progressChanged(const ProgressState &progress) override;
    void batchEnded(const BatchSummary &, int) override { closeLine(); }

protected:
    void printResult(const QString &text) override;

private:
    void closeLine();

    bool m_lineOpen = false; // the progress line is showing
};

// Whether standard output can take the redrawn line: a terminal that is not "dumb".
bool stdoutIsTerminal();
