#pragma once

#include "commandline.h"
#include "common/report.h"

#include <QByteArray>
#include <QString>

// What the encoder prints. Progress and report lines go to standard output,
// human messages to standard error; the batch reads both through one pipe,
// so line starts are tracked across the two.
namespace console {

// Raw text on standard output, as it is (progress with its "\r").
void progress(QByteArrayView text);

// A line of the report language (common/report.h), on a line of its own.
void report(const QByteArray &line);

// Whether a person watches standard output: then the report lines that only
// repeat the progress are left out.
bool toTerminal();

// One human line on standard error; conv's caller reads parentheses as
// progress, so conv's own messages never carry any.
void message(Tool tool, const QByteArray &line);
void message(Tool tool, const QString &line);

// A failure: its report line, then the human reason as the last line.
void failure(Tool tool, Report::Error error, const QString &line);

// True once a write found that nobody reads our output any more.
bool readerGone();

} // namespace console
