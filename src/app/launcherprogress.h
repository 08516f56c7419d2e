#pragma once

#include <QDBusConnection>
#include <QString>

#include <optional>

// The batch's progress on the program's launcher icon, where the desktop shows
// one: the Unity LauncherEntry signal, which KDE's and GNOME's docks follow.
// Nothing happens on a bus nobody listens to.
class LauncherProgress
{
public:
    LauncherProgress(const QDBusConnection &bus, const QString &desktopId);

    // 0 to 1, or nothing shown.
    void show(std::optional<double> fraction);

private:
    QDBusConnection m_bus;
    QString m_appUri;
    int m_shown = -1; // the percent last sent, -1 for none
};
