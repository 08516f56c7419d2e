#include "process/dosoutputs.h"
#include "process/messagesink.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct RecordingSink : MessageSink
{
    QStringList texts;
    void showMessage(Icon, const QString &, const QString &text) override { texts << text; }
};

// Records the runner's events in the order they arrive.
struct EventLog
{
    QStringList pieces;
    QStringList order;
    QStringList outputsAtPiece;
    int overCount = 0;
    RunOutcome outcome;

    void attach(DOSOutputs &runner)
    {
        QObject::connect(&runner, &DOSOutputs::ReceiveOutputs, &runner,
                         [this, &runner](const QString &piece) {
                             pieces << piece;
                             order << u"piece"_qs;
                             outputsAtPiece << runner.Outputs();
                         });
        QObject::connect(&runner, &DOSOutputs::CommandOver, &runner, [this](const RunOutcome &o) {
            ++overCount;
            outcome = o;
            order << u"over"_qs;
        });
    }
};

EncoderCommand helper(const QStringList &args)
{
    const QString program = QStringLiteral(RUNNER_HELPER);
    return {program, args, program + u' ' + args.join(u' ')};
}

} // namespace

class TestDOSOutputs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void silentProgramRaisesOnlyCommandOver()
    {
        DOSOutputs runner;
        EventLog log;
        log.attach(runner);
        QCOMPARE(runner.ExecuteCommand(helper({u"sleep"_qs, u"0"_qs})), QString());
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
        DOSOutputs runner;
        EventLog log;
        log.attach(runner);
        const QString result = runner.ExecuteCommand(helper({u"bytes"_qs, QString::number(size)}));
        QCOMPARE(result.size(), size);
        QCOMPARE(log.pieces.join(QString()), runner.Outputs());
        for (const QString &piece : std::as_const(log.pieces))
            QVERIFY(piece.toUtf8().size() <= DOSOutputs::PieceSize);
        QVERIFY(log.pieces.size() >= (size + 1023) / 1024);
        QCOMPARE(log.overCount, 1);
        QCOMPARE(log.order.last(), u"over"_qs);
        // Outputs already holds each piece when its event is raised.
        QString joined;
        for (int i = 0; i < log.pieces.size(); ++i) {
            joined += log.pieces[i];
            QCOMPARE(log.outputsAtPiece[i], joined);
        }
    }

    void characterCutByAReadIsCompletedNotReplaced()
    {
        DOSOutputs runner;
        EventLog log;
        log.attach(runner);
        runner.ExecuteCommand(helper({u"utf8"_qs}));
        QCOMPARE(runner.Outputs(), u"旋转中 ±€😀视频文件名 done"_qs);
        QVERIFY(!runner.Outputs().contains(QChar::ReplacementCharacter));
        QCOMPARE(log.pieces.join(QString()), runner.Outputs());
    }

    void outputWrittenBeforeExitArrivesBeforeCommandOver()
    {
        DOSOutputs runner;
        EventLog log;
        log.attach(runner);
        runner.ExecuteCommand(helper({u"pause"_qs, u"200"_qs, u"late text"_qs}));
        QCOMPARE(log.order, (QStringList{u"piece"_qs, u"over"_qs}));
        QCOMPARE(runner.Outputs(), u"late text"_qs);
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
        DOSOutputs runner;
        EventLog log;
        log.attach(runner);
        runner.ExecuteCommand(helper(args));
        QCOMPARE(log.overCount, 1);
        QCOMPARE(int(log.outcome.status), status);
        if (exitCode >= 0)
            QCOMPARE(log.outcome.exitCode, exitCode);
        QCOMPARE(log.outcome.succeeded(), succeeded);
    }

    void runsThatCannotStartShowTheirMessageAndRaiseNothing_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QString() << u"Command Line empty"_qs;
        QTest::newRow("missing") << u"/nonexistent/data/conv"_qs << u"File or command not found"_qs;
        QTest::newRow("not executable") << QDir::tempPath() << u"File or command not found"_qs;
    }

    void runsThatCannotStartShowTheirMessageAndRaiseNothing()
    {
        QFETCH(QString, program);
        QFETCH(QString, message);
        RecordingSink sink;
        DOSOutputs runner(&sink);
        runner.ExecuteCommand(helper({u"args"_qs, u"previous"_qs}));
        runner.setCommandLine({});
        EventLog log;
        log.attach(runner);
        QCOMPARE(runner.ExecuteCommand({program, {}, program}), QString());
        QCOMPARE(sink.texts, QStringList{message});
        QVERIFY(log.order.isEmpty());
        QCOMPARE(runner.Outputs(), u"previous\n"_qs);
        QVERIFY(!runner.isRunning());
    }

    void secondStartWhileRunningIsRefused()
    {
        RecordingSink sink;
        DOSOutputs runner(&sink);
        EventLog log;
        log.attach(runner);
        QVERIFY(runner.start(helper({u"pause"_qs, u"300"_qs, u"first"_qs})));
        QVERIFY(!runner.start(helper({u"args"_qs, u"second"_qs})));
        QCOMPARE(sink.texts.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(log.overCount, 1, 10000);
        QCOMPARE(runner.Outputs(), u"first"_qs);
    }

    void stoppedRunEndsWithStoppedOutcome()
    {
        DOSOutputs runner;
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
        DOSOutputs runner;
        runner.ExecuteCommand({program, args, QString()});
        QCOMPARE(runner.Outputs(), u"/tmp/my \"quoted\" 视频.avi\n$HOME;ls\n\n"_qs);
        QVERIFY(runner.outcome().succeeded());
    }

    void encoderRunsWithClosedInputInTheTemporaryFolder()
    {
        DOSOutputs runner;
        QCOMPARE(runner.ExecuteCommand(helper({u"stdin"_qs})), u"EOF"_qs);
        QCOMPARE(QDir(runner.ExecuteCommand(helper({u"cwd"_qs}))).canonicalPath(),
                 QDir(QDir::tempPath()).canonicalPath());
    }

    void lastLineSkipsBlankEndings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("last");
        QTest::newRow("status lines") << u"( 5%)\r(42%)\r"_qs << u"(42%)"_qs;
        QTest::newRow("reason after status")
            << u"(42%)\rError: bad input\n\n"_qs << u"Error: bad input"_qs;
        QTest::newRow("nothing") << u""_qs << u""_qs;
    }

    void lastLineSkipsBlankEndings()
    {
        QFETCH(QString, text);
        QFETCH(QString, last);
        DOSOutputs runner;
        runner.ExecuteCommand(helper({u"args"_qs, text}));
        QCOMPARE(runner.lastLine(), last);
    }
};

QTEST_GUILESS_MAIN(TestDOSOutputs)
#include "tst_dosoutputs.moc"
