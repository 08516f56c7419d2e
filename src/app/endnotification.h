#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// The end of a batch as a desktop notification (org.freedesktop.Notifications),
// with an action that opens the output folder. Nothing happens where no
// notification service runs.
class EndNotification : public QObject
{
    Q_OBJECT

public:
    EndNotification(const QDBusConnection &bus, const QString &desktopId,
                    QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body, const QString &folder);

Q_SIGNALS:
    // The desktop has shown it.
    void shown();
    // The user chose the notification or its action.
    void openFolderRequested(const QString &folder);

private Q_SLOTS:
    void actionInvoked(uint id, const QString &action);
    void closed(uint id);

private:
    QDBusConnection m_bus;
    QString m_desktopId;
    uint m_id = 0; // the notification shown, 0 for none
    QString m_folder;
};
