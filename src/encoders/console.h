#pragma once

#include "commandline.h"
#include "common/report.h"

#include <QByteArray>
#include <QString>

// What the encoder prints. Progress goes to standard output, human messages to
// standard error; the batch reads both through one pipe, so line starts are
// tracked across the two. Report lines go to the report channel the batch
// handed over (common/report.h), or to standard output when there is none.
namespace console {

// Takes the report channel named in the environment, once, before anything is
// written; the variable is removed so that nothing we start inherits it.
void openReportChannel();
// The channel's descriptor, -1 when reports go to standard output.
int reportDescriptor();

// Raw text on standard output, as it is (progress with its "\r").
void progress(QByteArrayView text);

// A line of the report language (common/report.h).
void report(const QByteArray &line);

// Whether the report lines that only repeat the progress are left out: they
// would go to standard output, and a person watches it.
bool quietPositions();

// One human line on standard error; conv's caller reads parentheses as
// progress, so conv's own messages never carry any.
void message(Tool tool, const QByteArray &line);
void message(Tool tool, const QString &line);

// A failure: its report line with the reason, and the reason as the last line for people.
void failure(Tool tool, Report::Error error, const QString &line);

// True once a write found that nobody reads our output any more.
bool readerGone();

} // namespace console
