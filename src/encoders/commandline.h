#pragma once

#include "common/transform.h"

#include <QSize>
#include <QString>
#include <QStringList>

// The three names the encoder answers to; each speaks the command-line dialect
// of the program it stands in for.
enum class Tool { Conv, Coder, Coder2 };

// What the caller asked for, already translated into ffmpeg terms. Zero or
// empty means "as the source has it" or "the container's usual choice".
struct EncodeJob
{
    Tool tool = Tool::Conv;
    QString input;
    QString output;
    QString fallbackMuxer; // only used when the output's extension names no container

    bool video = true;
    QString videoCodec;
    qint64 videoBitrate = 0; // bit/s
    int threads = 0;         // of the H.264 encoder; 0: as many as it likes
    QString frameRate;       // as ffmpeg's -r takes it
    QSize frameSize;
    PictureTransform orientation; // applied before anything else

    bool audio = true;
    QString audioCodec;
    qint64 audioBitrate = 0; // bit/s
    int sampleRate = 0;
    int channels = 0;

    // Part of the source only: from clipStart, clipLength seconds (0: to the end).
    double clipStart = 0;
    double clipLength = 0;
    bool clipped() const { return clipStart > 0 || clipLength > 0; }

    // conv: turn a quarter by the display matrix alone where the source allows.
    bool lossless = false;

    // The source's recording date, place, camera and title go to the output as
    // far as its container holds them, and its file time; -nometadata: none.
    bool keepMetadata = true;
    // conv: the picture as the source's display matrix shows it; -noautorotate:
    // as stored, for a source whose orientation tag is wrong.
    bool autorotate = true;

    // conv -preview: instead of encoding, one PNG picture of the output, as
    // it will look, is written under this name.
    QString preview;
};

struct ParseResult
{
    EncodeJob job;
    // conv -probe PATH...: only the lengths of these sources are asked, in order.
    bool probe = false;
    QStringList probePaths;
    QString error; // empty when the command line was understood
};

ParseResult parseCommandLine(Tool tool, const QStringList &arguments);

// A plain decimal number ("12.2", " 28000 "); *ok tells whether the whole text was one.
double parseNumber(const QString &text, bool *ok);
