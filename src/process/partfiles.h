#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// An encoder writes its output under a hidden name of its own first
// (".XXXXXXXXXX.part" beside the output) and gives it the final name only when
// it is whole. It holds an flock on the part file while it writes, so one
// whose lock is free was left by an encoder that was killed outright.
namespace PartFiles {

// A new random name of the pattern.
QByteArray newName();
bool isPartFileName(QByteArrayView name);

// Removes the part files of the pattern in the folder that are ours and whose
// writer is gone; links and other users' files are left alone. Returns how
// many went.
int removeAbandoned(const QString &folder);

} // namespace PartFiles
