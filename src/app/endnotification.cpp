#include "endnotification.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString Service = u"org.freedesktop.Notifications"_qs;
const QString Path = u"/org/freedesktop/Notifications"_qs;
const QString OpenFolder = u"open-folder"_qs;

} // namespace

EndNotification::EndNotification(const QDBusConnection &bus, const QString &desktopId,
                                 QObject *parent)
    : QObject(parent), m_bus(bus), m_desktopId(desktopId)
{
    m_bus.connect(Service, Path, Service, u"ActionInvoked"_qs, this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Service, u"NotificationClosed"_qs, this, SLOT(closed(uint)));
}

void EndNotification::notify(const QString &summary, const QString &body, const QString &folder)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, u"Notify"_qs);
    // "default" is a click on the notification itself.
    const QStringList actions{u"default"_qs, u"打开输出文件夹"_qs, OpenFolder,
                              u"打开输出文件夹"_qs};
    const QVariantMap hints{{u"desktop-entry"_qs, m_desktopId}};
    call << u"Torvane"_qs << m_id << m_desktopId << summary << body << actions << hints
         << qint32(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, folder](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<uint> reply = *finished;
                finished->deleteLater();
                if (reply.isError())
                    return;
                m_id = reply.value();
                m_folder = folder;
                Q_EMIT shown();
            });
}

void EndNotification::actionInvoked(uint id, const QString &action)
{
    if (id != 0 && id == m_id && (action == u"default" || action == OpenFolder))
        Q_EMIT openFolderRequested(m_folder);
}

void EndNotification::closed(uint id)
{
    if (id == m_id)
        m_id = 0;
}
