#pragma once

#include "common/report.h"
#include "common/transform.h"
#include "plan.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

// What ffmpeg tells of the file it writes, read off its log at level info
// ("-loglevel level+info"): the streams of its output and whether it closed
// the file. Enough to check an encode without opening the file again, which an
// encoder that never loaded libav could not do cheaply.
struct FfmpegOutputStream
{
    bool video = false; // else sound
    QString codec;
    QString pixelFormat; // "yuv420p", "yuv420p10le"
    QString transfer;    // as ffmpeg names it, empty when it does not say
    QSize size;
    double pixelAspect = 1;
    // The output's display matrix, when ffmpeg gives it one.
    std::optional<PictureTransform> display = PictureTransform();
};

struct FfmpegOutput
{
    QList<FfmpegOutputStream> streams;
    bool closed = false; // its closing summary ("video:…kB audio:…kB") came
};

// Reads ffmpeg's log one line at a time.
class FfmpegLogReader
{
public:
    // The line as ffmpeg wrote it ("[info] …", "[libx264 @ 0x…] [info] …").
    // Returns its level ("info", "error" …; empty when it has none) and, in
    // *message, the line without the level.
    QByteArray feed(const QByteArray &line, QByteArray *message);
    const FfmpegOutput &output() const { return m_output; }

private:
    enum class Section { Other, Output, OutputStream };
    Section m_section = Section::Other;
    FfmpegOutput m_output;
};

// The check of an encode from ffmpeg's own word: its output's streams, and the
// seconds it wrote as its progress last said. A picture that will not decode
// is not found this way.
QList<Report::CheckDifference> checkReported(const FfmpegOutput &output, double seconds,
                                             const ExpectedOutput &expected);
