#pragma once

#include "plan.h"

#include <QString>
#include <QStringList>

// Opens a finished output with libavformat, as a player would, and compares it
// with what was expected: its streams, the size it is shown at, its length,
// and whether its first picture decodes. Returns what differs, in words for
// people, empty when nothing does. Reads the headers and a few packets only.
// Needs libav loaded (libav() answered).
QStringList checkOutput(const QString &path, const ExpectedOutput &expected);
