#pragma once

#include <QString>
#include <QStringList>

// What the runner starts: the program and its arguments as they are passed to
// the process, and the command line as the batch shows it to the user.
struct EncoderCommand
{
    QString program;
    QStringList arguments;
    QString text;

    bool isEmpty() const { return program.isEmpty() && text.isEmpty(); }
};
