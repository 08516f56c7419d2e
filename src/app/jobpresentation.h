#pragma once

#include "joblist/job.h"

#include <QVariant>

// How the list shows a job: the status column in words, failed rows red with a
// mark that stays visible when the row is selected, the running row bold;
// paused: the batch is, and a running row says so.
QVariant presentJob(const Job &job, int column, int role, bool paused = false);

// The job's rotation as the rotation list says it, and whether its source's
// orientation tag is ignored; its format by its short name.
QString rotationText(const JobSettings &settings);
QString formatText(const JobSettings &settings);
