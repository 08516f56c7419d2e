#include "process/singleinstance.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondCopyRefusedUntilRelease()
    {
        QTemporaryDir tmp;
        const QString lock = tmp.filePath(u"torvane.lock"_qs);
        SingleInstance first(lock);
        QVERIFY(first.tryAcquire());
        {
            SingleInstance second(lock);
            QVERIFY(!second.tryAcquire());
        }
        // The refused copy going away must not take the lock with it.
        QVERIFY(QFile::exists(lock));
        first.release();
        SingleInstance third(lock);
        QVERIFY(third.tryAcquire());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
