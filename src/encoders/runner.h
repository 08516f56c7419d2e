#pragma once

#include "commandline.h"

// Runs ffmpeg into a part file beside the output, probing the source while it
// runs (before, for the jobs of probeFirst()), reports progress in the dialect
// of job.tool and machine lines for the batch, and publishes the result under
// a free name only when ffmpeg succeeded. Returns the process exit code.
int runJob(const EncodeJob &job);
