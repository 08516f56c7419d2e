#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the runner starts: the program and its arguments as they are passed to
// the process, and the command line as the batch shows it to the user.
struct EncoderCommand
{
    QString program;
    QStringList arguments;
    QString text; // for people, on one line: a name's control characters show as pictures
    // "NAME=value" entries the encoder gets beside our environment; not part of the text.
    QList<QByteArray> environment;

    bool isEmpty() const { return program.isEmpty() && text.isEmpty(); }
};
