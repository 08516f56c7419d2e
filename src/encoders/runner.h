#pragma once

#include "commandline.h"

// Probes the source, runs ffmpeg on a temporary name beside the output, reports
// progress in the dialect of job.tool and moves the result into place only when
// ffmpeg succeeded. Returns the process exit code.
int runJob(const EncodeJob &job);

// Forwards SIGTERM/SIGINT to the running child instead of dying at once, so the
// temporary output can be cleaned up. Call once, before runJob.
void installSignalForwarding();

// Writes one line to standard error; conv's caller reads parentheses as
// progress, so conv's own messages never carry any.
void printMessage(Tool tool, const QString &line);
