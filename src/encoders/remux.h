#pragma once

#include "common/report.h"

#include <QList>
#include <QString>

#include <functional>

// Lossless rotation without starting ffmpeg: the source's main video stream,
// its first audio stream when the container takes it as it is, and the data
// tracks the container holds, are copied packet by packet into outputFd, with
// the video's HDR and pixel shape; the video track's display matrix says how
// far players turn the picture. Starting ffmpeg would cost more than the
// whole copy of a short clip.
struct RemuxJob
{
    QString input;
    int outputFd = -1;
    QString muxer;
    int rotation = 0; // degrees counter-clockwise, as players turn the picture
    bool audio = true;
    QList<int> dataTracks;     // the source's streams, by index
    bool keepMetadata = true;  // the source's date, place, camera, title and track names
    bool metadataTags = false; // every key as a tag of its own (mov's and mp4's mdta)
};

struct RemuxResult
{
    Report::Error error = Report::Error::None;
    QString reason; // what went wrong, for people
    int stopSignal = 0;
};

// position gets the seconds copied so far and the video frames among them;
// stopRequested is asked between packets and gives the signal that stops the copy.
RemuxResult remux(const RemuxJob &job, const std::function<void(double, qint64)> &position,
                  const std::function<int()> &stopRequested);
