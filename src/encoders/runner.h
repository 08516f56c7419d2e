#pragma once

#include "commandline.h"

#include <QStringList>

// Runs ffmpeg into a part file beside the output, probing the source while it
// runs (before, for the jobs of probeFirst()), reports progress in the dialect
// of job.tool and machine lines for the batch, and publishes the result under
// a free name only when ffmpeg succeeded. Returns the process exit code.
int runJob(const EncodeJob &job);

// conv -probe: a probed report line for each path, in order, its length as
// libavformat reads it (no ffmpeg runs); a path that cannot be read has its
// line without one. Returns 0 once every path has its line.
int runProbes(const QStringList &paths);

// conv -preview: instead of encoding, one PNG picture of the output's frame a
// tenth into it, as the command would encode it and a player show it, brought
// down to at most 640 pixels on its longer side; written into a part file and
// published under job.preview, or a free name beside it. No progress.
int runPreview(const EncodeJob &job);
