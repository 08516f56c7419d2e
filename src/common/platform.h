#pragma once

#include <QString>

// What this program asks of the system it runs on, beyond POSIX. Torvane is
// built and tested on Linux only; a port starts here and in process/.
namespace Platform {

// The user's home folder, also where HOME is not set (a service, a cron job).
QString homeFolder();
// The user's private runtime folder (XDG_RUNTIME_DIR); empty when there is none.
QString runtimeFolder();
// Torvane's folder in the user's state folder ($XDG_STATE_HOME, else
// ~/.local/state), where what it keeps across runs lies.
QString stateFolder();
// The user's id as text, to name per-user files in shared folders.
QString userKey();

} // namespace Platform
