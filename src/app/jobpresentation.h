#pragma once

#include "joblist/job.h"

#include <QVariant>

// How the list shows a job: the status column in words, failed rows red with a
// mark that stays visible when the row is selected, the running row bold.
QVariant presentJob(const Job &job, int column, int role);
