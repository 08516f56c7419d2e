#include "process/encoderprocess.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>

namespace {

// Records the runner's events in the order they arrive.
struct EventLog
{
    QStringList pieces;
    QStringList order;
    int piecesMissingFromTail = 0;
    int overCount = 0;
    RunOutcome outcome;

    void attach(EncoderProcess &runner)
    {
        QObject::connect(&runner, &EncoderProcess::outputReceived, &runner,
                         [this, &runner](const QString &piece) {
                             pieces << piece;
                             order << u"piece"_qs;
                             // The tail already holds each piece when it is handed on.
                             if (!runner.outputTail().endsWith(piece))
                                 ++piecesMissingFromTail;
                         });
        QObject::connect(&runner, &EncoderProcess::finished, &runner, [this](const RunOutcome &o) {
            ++overCount;
            outcome = o;
            order << u"over"_qs;
        });
    }
};

EncoderCommand helper(const QStringList &args)
{
    const QString program = QStringLiteral(RUNNER_HELPER);
    return {program, args, program + u' ' + args.join(u' '), {}};
}

} // namespace

class TestEncoderProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void silentProgramRaisesOnlyCommandOver()
    {
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        QCOMPARE(runner.runAndWait(helper({u"sleep"_qs, u"0"_qs})), QString());
        QCOMPARE(log.order, QStringList{u"over"_qs});
        QVERIFY(log.outcome.succeeded());
    }

    void piecesAreBoundedAndJoinToOutputs_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("one byte") << 1;
        QTest::newRow("exactly one piece") << 1024;
        QTest::newRow("one byte over") << 1025;
        QTest::newRow("large") << 300000;
    }

    void piecesAreBoundedAndJoinToOutputs()
    {
        QFETCH(int, size);
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        runner.runAndWait(helper({u"bytes"_qs, QString::number(size)}));
        const QString joined = log.pieces.join(QString());
        QCOMPARE(joined.size(), size);
        QCOMPARE(runner.outputTail(), joined.right(EncoderProcess::TailLimit));
        for (const QString &piece : std::as_const(log.pieces))
            QVERIFY(piece.toUtf8().size() <= EncoderProcess::PieceSize);
        QVERIFY(log.pieces.size() >= (size + 1023) / 1024);
        QCOMPARE(log.overCount, 1);
        QCOMPARE(log.order.last(), u"over"_qs);
        QCOMPARE(log.piecesMissingFromTail, 0);
    }

    void characterCutByAReadIsCompletedNotReplaced()
    {
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        runner.runAndWait(helper({u"utf8"_qs}));
        QCOMPARE(runner.outputTail(), u"旋转中 ±€😀视频文件名 done"_qs);
        QVERIFY(!runner.outputTail().contains(QChar::ReplacementCharacter));
        QCOMPARE(log.pieces.join(QString()), runner.outputTail());
    }

    void outputWrittenBeforeExitArrivesBeforeCommandOver()
    {
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        runner.runAndWait(helper({u"pause"_qs, u"200"_qs, u"late text"_qs}));
        QCOMPARE(log.order, (QStringList{u"piece"_qs, u"over"_qs}));
        QCOMPARE(runner.outputTail(), u"late text"_qs);
    }

    void outcomeTellsHowTheRunEnded_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("succeeded");
        QTest::newRow("success") << QStringList{u"exit"_qs, u"0"_qs}
                                 << int(RunOutcome::Status::Exited) << 0 << true;
        QTest::newRow("failure") << QStringList{u"exit"_qs, u"3"_qs}
                                 << int(RunOutcome::Status::Exited) << 3 << false;
        QTest::newRow("crash") << QStringList{u"crash"_qs} << int(RunOutcome::Status::Crashed) << -1
                               << false;
    }

    void outcomeTellsHowTheRunEnded()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(int, exitCode);
        QFETCH(bool, succeeded);
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        runner.runAndWait(helper(args));
        QCOMPARE(log.overCount, 1);
        QCOMPARE(int(log.outcome.status), status);
        if (exitCode >= 0)
            QCOMPARE(log.outcome.exitCode, exitCode);
        QCOMPARE(log.outcome.succeeded(), succeeded);
    }

    void runsThatCannotStartSayWhyAndRaiseNothing_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("error");
        QTest::newRow("empty") << QString() << int(StartFailure::Kind::EmptyCommand) << 0;
        QTest::newRow("missing") << u"/nonexistent/data/conv"_qs
                                 << int(StartFailure::Kind::CannotRun) << ENOENT;
        QTest::newRow("not executable")
            << QDir::tempPath() << int(StartFailure::Kind::CannotRun) << EACCES;
    }

    void runsThatCannotStartSayWhyAndRaiseNothing()
    {
        QFETCH(QString, program);
        QFETCH(int, kind);
        QFETCH(int, error);
        EncoderProcess runner;
        runner.runAndWait(helper({u"args"_qs, u"previous"_qs}));
        EventLog log;
        log.attach(runner);
        QCOMPARE(runner.runAndWait({program, {}, program, {}}), QString());
        QCOMPARE(int(runner.startFailure().kind), kind);
        QCOMPARE(runner.startFailure().error, error);
        QVERIFY(log.order.isEmpty());
        QCOMPARE(runner.outputTail(), u"previous\n"_qs);
        QVERIFY(!runner.isRunning());
    }

    void secondStartWhileRunningIsRefused()
    {
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        QVERIFY(runner.start(helper({u"pause"_qs, u"300"_qs, u"first"_qs})));
        QVERIFY(!runner.start(helper({u"args"_qs, u"second"_qs})));
        QCOMPARE(runner.startFailure().kind, StartFailure::Kind::AlreadyRunning);
        QTRY_COMPARE_WITH_TIMEOUT(log.overCount, 1, 10000);
        QCOMPARE(runner.outputTail(), u"first"_qs);
    }

    void stopEndsTheWholeProcessGroup()
    {
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        // The helper starts a child of its own, as an encoder starts ffmpeg.
        QVERIFY(runner.start(helper({u"family"_qs})));
        QTRY_VERIFY_WITH_TIMEOUT(!log.pieces.isEmpty(), 5000);
        const pid_t grandchild = log.pieces.join(QString()).trimmed().toInt();
        QVERIFY(grandchild > 0);
        runner.stop();
        QTRY_COMPARE_WITH_TIMEOUT(log.overCount, 1, 10000);
        QCOMPARE(log.outcome.status, RunOutcome::Status::Stopped);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(grandchild, 0) != 0, 5000);
    }

    void stoppedRunEndsWithStoppedOutcome()
    {
        EncoderProcess runner;
        EventLog log;
        log.attach(runner);
        QVERIFY(runner.start(helper({u"sleep"_qs, u"60000"_qs})));
        runner.stop();
        QTRY_COMPARE_WITH_TIMEOUT(log.overCount, 1, 10000);
        QCOMPARE(log.outcome.status, RunOutcome::Status::Stopped);
        QVERIFY(!log.outcome.succeeded());
    }

    void argumentsReachTheProgramUnchanged()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A program folder with spaces, and arguments that a shell would mangle.
        const QString folder = dir.filePath(u"Program Files/视频 工具"_qs);
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + u"/runner helper"_qs;
        QVERIFY(QFile::copy(QStringLiteral(RUNNER_HELPER), program));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        const QStringList args{u"args"_qs, u"/tmp/my \"quoted\" 视频.avi"_qs, u"$HOME;ls"_qs,
                               QString()};
        EncoderProcess runner;
        runner.runAndWait({program, args, QString(), {}});
        QCOMPARE(runner.outputTail(), u"/tmp/my \"quoted\" 视频.avi\n$HOME;ls\n\n"_qs);
        QVERIFY(runner.outcome().succeeded());
    }

    void encoderRunsWithClosedInputInTheTemporaryFolder()
    {
        EncoderProcess runner;
        QCOMPARE(runner.runAndWait(helper({u"stdin"_qs})), u"EOF"_qs);
        QCOMPARE(QDir(runner.runAndWait(helper({u"cwd"_qs}))).canonicalPath(),
                 QDir(QDir::tempPath()).canonicalPath());
    }

    // The report comes on its own channel, whole, before the end of the run;
    // nothing printed on the output ever reaches it.
    void reportTravelsApartFromTheOutput()
    {
        EncoderProcess runner;
        QByteArray report;
        QStringList order;
        connect(&runner, &EncoderProcess::reportReceived, &runner, [&](const QByteArray &piece) {
            report += piece;
            order << u"report"_qs;
        });
        connect(&runner, &EncoderProcess::finished, &runner, [&] { order << u"over"_qs; });
        const QByteArray sent = "[torvane] position=1.5\n[torvane] output=/out/a.mp4\n";
        QCOMPARE(runner.runAndWait(helper({u"report"_qs, QString::fromLatin1(sent)})),
                 u"[torvane] output=/forged\n"_qs);
        QCOMPARE(runner.outcome().exitCode, 0);
        QCOMPARE(report, sent);
        QCOMPARE(order.last(), u"over"_qs);
        QVERIFY(!order.contains(u"report"_qs) || order.indexOf(u"report"_qs) < order.size() - 1);
    }
};

QTEST_GUILESS_MAIN(TestEncoderProcess)
#include "tst_encoderprocess.moc"
