#include "launcherprogress.h"

#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

LauncherProgress::LauncherProgress(const QDBusConnection &bus, const QString &desktopId)
    : m_bus(bus), m_appUri(u"application://"_qs + desktopId + u".desktop"_qs)
{}

void LauncherProgress::show(std::optional<double> fraction)
{
    // Whole percents: a dock redraws on every signal.
    const int percent = fraction ? int(std::floor(std::clamp(*fraction, 0.0, 1.0) * 100)) : -1;
    if (percent == m_shown || !m_bus.isConnected())
        return;
    m_shown = percent;
    QDBusMessage update = QDBusMessage::createSignal(
        u"/io/github/torvane/Torvane"_qs, u"com.canonical.Unity.LauncherEntry"_qs, u"Update"_qs);
    const QVariantMap properties{{u"progress"_qs, percent < 0 ? 0.0 : percent / 100.0},
                                 {u"progress-visible"_qs, percent >= 0}};
    update << m_appUri << properties;
    m_bus.send(update);
}
