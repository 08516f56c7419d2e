#include "process/signalpipe.h"

#include <QTest>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

class TestSignalPipe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Ctrl+Z stops the program once it has held what it must; a fg that came
    // before it got there (within a millisecond) must not leave it stopped for good.
    void terminalStopWaitsOnlyForAContinueStillToCome_data()
    {
        QTest::addColumn<bool>("continuedAtOnce");
        QTest::newRow("fg later") << false;
        QTest::newRow("fg at once") << true;
    }
    void terminalStopWaitsOnlyForAContinueStillToCome()
    {
        QFETCH(bool, continuedAtOnce);
        const pid_t child = ::fork();
        if (child == 0) {
            StopSignalPipe::install();
            StopSignalPipe::catchTerminalStop();
            ::raise(SIGTSTP);
            if (continuedAtOnce)
                ::raise(SIGCONT);
            StopSignalPipe::stopUntilContinued();
            ::_exit(StopSignalPipe::take() == QList<int>{SIGTSTP} ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, WUNTRACED), child);
        if (WIFSTOPPED(status)) {
            ::kill(child, continuedAtOnce ? SIGKILL : SIGCONT);
            ::waitpid(child, &status, 0);
            QVERIFY2(!continuedAtOnce, "stopped for good after a fg that had come already");
        } else {
            QVERIFY2(continuedAtOnce, "went on without being stopped");
        }
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_GUILESS_MAIN(TestSignalPipe)
#include "tst_signalpipe.moc"
