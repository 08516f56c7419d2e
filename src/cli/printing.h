#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// Flushed at once, so a pipe or a terminal has each piece as it happens.
void writeBytes(FILE *to, const QByteArray &bytes);

// The text and a newline; paths go out byte for byte, as the file system has them.
void printLine(FILE *to, const QString &text);
