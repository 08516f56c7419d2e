#include "platform.h"

#include "paths.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace Platform {

QString homeFolder()
{
    // Without HOME the account's own folder, not "/".
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd *account = ::getpwuid(::getuid()); account && account->pw_dir)
            home = pathFromBytes(account->pw_dir);
    }
    return home.isEmpty() ? QDir::homePath() : home;
}

QString runtimeFolder()
{
    // Asked directly: Qt's own lookup makes a folder of its own and warns on
    // standard error when the variable is not set, as under cron.
    return qEnvironmentVariable("XDG_RUNTIME_DIR");
}

QString stateFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!isAbsolutePath(state))
        state = withTrailingSeparator(homeFolder()) + u".local/state"_qs;
    return withTrailingSeparator(state) + u"Torvane"_qs;
}

QString userKey()
{
    return QString::number(::getuid());
}

} // namespace Platform
