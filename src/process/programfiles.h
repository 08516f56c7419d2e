#pragma once

#include <QString>

// Where the program's own files are, for a build tree (everything beside the
// executable) and for an installed copy (bin, libexec/torvane, share/torvane).
// programFolder is the folder of the running executable.

// The folder holding the encoders conv, coder and coder2: data beside the
// program when it holds them, otherwise ../libexec/torvane when that does,
// otherwise data beside the program.
QString encoderFolder(const QString &programFolder);

// A data file such as help.html or sound.wav: beside the program when it is
// there, otherwise in ../share/torvane when it is there, otherwise beside the
// program.
QString programDataFile(const QString &programFolder, const QString &name);
