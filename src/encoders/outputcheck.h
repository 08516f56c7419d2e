#pragma once

#include "common/report.h"
#include "plan.h"

#include <QList>
#include <QString>

// Opens a finished output with libavformat, as a player would, and compares it
// with what was expected: its streams, the size and shape it is shown at, its
// colour (SDR where HDR was tone-mapped), its length, and whether its first
// picture decodes. Returns what differs, empty when
// nothing does. Reads the headers and a few packets only.
// Needs libav loaded (libav() answered).
QList<Report::CheckDifference> checkOutput(const QString &path, const ExpectedOutput &expected);

// A difference in words for people, as the last line of the run says it.
QString describe(const Report::CheckDifference &difference);
