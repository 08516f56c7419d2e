#pragma once

#include "commandline.h"

#include <QByteArray>
#include <QString>

// What the encoder prints. Progress and machine lines go to standard output,
// human messages to standard error; the batch reads both through one pipe,
// so line starts are tracked across the two.
namespace console {

// Raw text on standard output, as it is (progress with its "\r").
void progress(QByteArrayView text);

// "[torvane] KEY=VALUE" on a line of its own, for the batch to parse.
void machineLine(QByteArrayView keyValue);

// One human line on standard error; conv's caller reads parentheses as
// progress, so conv's own messages never carry any.
void message(Tool tool, const QByteArray &line);
void message(Tool tool, const QString &line);

// A failure: its machine code, then the human reason as the last line.
void failure(Tool tool, QByteArrayView code, const QString &line);

// True once a write found that nobody reads our output any more.
bool readerGone();

// Bytes of a path as a machine value: all but A-Z a-z 0-9 - . _ ~ / as %XX.
QByteArray percentEncoded(const QByteArray &bytes);

} // namespace console
