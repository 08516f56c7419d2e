#pragma once

#include <QList>

#include <csignal>

// SIGINT, SIGTERM and SIGHUP caught into a pipe instead of acted on at an
// arbitrary point of the program: the handler only writes the signal's number,
// and the program reads it where it waits for other things anyway (the event
// loop of the window and torvane-cli, the poll loop of an encoder).
namespace StopSignalPipe {

// Installs the handlers, once per program; false when no pipe could be made.
bool install();
// Also catches SIGTSTP (Ctrl+Z on a terminal) into the pipe, for a program
// that must hold its encoders before it lets itself be stopped.
void catchTerminalStop();
// Stops this program as SIGTSTP would have, and returns once it goes on (SIGCONT).
void stopUntilContinued();
// Puts the default handlers back.
void uninstall();
// Readable once a stop signal has arrived; -1 before install().
int readDescriptor();
// The signals that arrived since the last call, in order; empties the pipe.
QList<int> take();
// The last stop signal that ever arrived, 0 if none. A plain read, for tight loops.
int last();
// SIGINT, SIGTERM and SIGHUP.
sigset_t signals();

} // namespace StopSignalPipe
