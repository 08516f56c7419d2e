#pragma once

#include "joblist/job.h"

#include <QString>
#include <QStringView>

#include <optional>

// What an encoder reports about its run on lines of their own that begin with
// "[torvane] ": the length it encodes, the file it actually wrote, why it
// failed, and whether a lossless rotation was possible.
struct EncoderReport
{
    std::optional<double> durationSeconds;
    QString output;      // the path written, byte for byte
    QString error;       // the encoder's failure word ("source", "disk-full" ...)
    QString lossless;    // "copy" or "encode"
    QString losslessWhy; // for "encode": the codec name, or the reason word
};

// Collects the report lines out of output pieces cut anywhere.
class EncoderReportReader
{
public:
    void feed(QStringView piece);
    void reset();
    const EncoderReport &report() const { return m_report; }

private:
    void readLine(QStringView line);

    QString m_line;
    bool m_skipping = false;
    EncoderReport m_report;
};

// The failure an encoder's error word stands for; None for an unknown word.
FailureReason failureFromEncoderError(const QString &error);
