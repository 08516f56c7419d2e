#pragma once

#include "common/report.h"
#include "plan.h"

#include <QList>
#include <QSize>
#include <QString>

// A finished output as a player would show it, however it was read: opened
// with libav, or from what ffmpeg said as it wrote it.
struct ShownOutput
{
    bool video = false;
    bool audio = false;
    QSize shown;        // turned by its display matrix
    double aspect = 0;  // width over height as shown, the pixels' shape included; 0: unknown
    bool sdr8 = true;   // an 8-bit picture with no HDR transfer
    QString colour;     // for the finding when it is not: "smpte2084 10-bit"
    double seconds = 0; // its length
};

// What differs from what was expected, in the order the check reports it.
QList<Report::CheckDifference> compareOutput(const ShownOutput &output,
                                             const ExpectedOutput &expected);
