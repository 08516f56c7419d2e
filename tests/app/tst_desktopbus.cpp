// The launcher's progress and the notification at a batch's end, on a session
// bus the test starts itself, with a notification service of its own.
#include "fakes.h"

#include "app/endnotification.h"
#include "app/launcherprogress.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QVariantMap>

namespace {

const QString NotificationsPath = u"/org/freedesktop/Notifications"_qs;
const QString Notifications = u"org.freedesktop.Notifications"_qs;

} // namespace

// What a desktop's notification daemon and its dock hear.
class FakeDesktop : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown
    {
        QString summary, body;
        QStringList actions;
    };
    QList<Shown> shown;
    QList<QVariantMap> launcher;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        shown.append({summary, body, actions});
        return 7;
    }
    void update(const QString &uri, const QVariantMap &properties)
    {
        if (uri == u"application://io.github.torvane.Torvane.desktop")
            launcher << properties;
    }
};

class tst_DesktopBus : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime, m_program;
    QProcess m_daemon;
    QString m_address;
    FakeDesktop m_desktop;

    QDBusConnection bus(const QString &name) const
    {
        return QDBusConnection::connectToBus(m_address, name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        isolateTestRun(m_runtime);
        if (QStandardPaths::findExecutable(u"dbus-daemon"_qs).isEmpty())
            QSKIP("dbus-daemon is not installed");
        m_daemon.start(u"dbus-daemon"_qs, {u"--session"_qs, u"--nofork"_qs, u"--print-address"_qs});
        QVERIFY(m_daemon.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QDBusConnection desktop = bus(u"desktop"_qs);
        QVERIFY(desktop.isConnected());
        QVERIFY(desktop.registerService(Notifications));
        QVERIFY(
            desktop.registerObject(NotificationsPath, &m_desktop, QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.connect(QString(), QString(), u"com.canonical.Unity.LauncherEntry"_qs,
                                u"Update"_qs, &m_desktop, SLOT(update(QString, QVariantMap))));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(u"desktop"_qs);
        QDBusConnection::disconnectFromBus(u"torvane"_qs);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Whole percents reach the dock, each once; nothing shown hides the bar.
    void launcherFollowsTheBatch()
    {
        LauncherProgress launcher(bus(u"torvane"_qs), u"io.github.torvane.Torvane"_qs);
        launcher.show(0.421);
        launcher.show(0.425);
        launcher.show(std::nullopt);
        QTRY_COMPARE(m_desktop.launcher.size(), 2);
        QCOMPARE(m_desktop.launcher[0].value(u"progress"_qs).toDouble(), 0.42);
        QCOMPARE(m_desktop.launcher[0].value(u"progress-visible"_qs).toBool(), true);
        QCOMPARE(m_desktop.launcher[1].value(u"progress-visible"_qs).toBool(), false);
    }

    // Behind another window, the end of a batch is a notification with the
    // counts; its action opens the output folder.
    void batchEndIsNotified()
    {
        WindowServices services;
        RecordingSink sink;
        QList<QUrl> urls;
        services.messages = &sink;
        services.openUrl = [&](const QUrl &url) {
            urls << url;
            return true;
        };
        services.programFolder = m_program.path();
        services.windowFile = QString();
        services.queueFile = QString();
        services.desktopBus = bus(u"torvane"_qs);
        MainWindow window(services);
        window.show();
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));

        auto *notification = window.findChild<EndNotification *>();
        QSignalSpy shown(notification, &EndNotification::shown);
        QSignalSpy opened(notification, &EndNotification::openFolderRequested);
        BatchSummary summary;
        summary.converted = 3;
        summary.failures.append({1, u"/v/a.mp4"_qs, FailureReason::NoOutput, {}, {}, {}});
        Q_EMIT window.batch().batchEnded(summary);
        QVERIFY(shown.wait());
        QCOMPARE(m_desktop.shown.size(), 1);
        QCOMPARE(m_desktop.shown[0].summary, u"Torvane：转换完成"_qs);
        QCOMPARE(m_desktop.shown[0].body, u"已转换 3 个视频，1 个转换失败"_qs);
        QVERIFY(m_desktop.shown[0].actions.contains(u"打开输出文件夹"_qs));

        QDBusMessage invoked =
            QDBusMessage::createSignal(NotificationsPath, Notifications, u"ActionInvoked"_qs);
        invoked << uint(7) << u"open-folder"_qs;
        QVERIFY(bus(u"desktop"_qs).send(invoked));
        QVERIFY(opened.wait());
        QCOMPARE(urls.size(), 1);
        QCOMPARE(urls[0], QUrl::fromLocalFile(window.batch().outputFolder()));

        // In front, the window itself says it; the desktop is not bothered.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        Q_EMIT window.batch().batchEnded(summary);
        QTRY_COMPARE(sink.messages.size(), 1); // the failure summary
        QCOMPARE(m_desktop.shown.size(), 1);
    }
};

QTEST_MAIN(tst_DesktopBus)
#include "tst_desktopbus.moc"
