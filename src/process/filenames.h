#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the file system holds them. On Linux a name is any byte
// string, not always valid UTF-8; Qt's own conversion turns the invalid bytes
// into U+FFFD and so loses the name. These two keep every byte: a byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte - 0x80)
// and comes back as the same byte.
QString pathFromBytes(QByteArrayView bytes);
QByteArray pathToBytes(QStringView path);

// The path with every kept byte shown as U+FFFD, for labels and messages.
QString displayPath(QStringView path);
