// The README's GNU parallel recipe, run here on this machine alone (-j 2
// instead of --sshlogin): every good clip comes back converted, and the
// README's jq line lists the corrupt one as failed. Keep the argument lists in
// step with the README and torvane-cli(1).
#include "tools.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestParallel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"parallel", "jq", "ffmpeg"}) {
            if (QStandardPaths::findExecutable(QString::fromUtf8(tool)).isEmpty())
                QSKIP(
                    qPrintable(QString::fromUtf8(tool) + u" is not installed (scripts/setup)"_qs));
        }
        const Run json =
            run(QStringLiteral(TORVANE_CLI), {u"--json"_qs, u"--dry-run"_qs, u"missing.mp4"_qs});
        if (json.exitCode == 2 && json.err.contains(u"Unknown option"_qs))
            QSKIP(qPrintable(u"torvane-cli does not know --json yet: "_qs +
                             json.err.section(u'\n', 0, 0)));
    }

    void recipe()
    {
        QTemporaryDir work;
        const QDir batch(work.path());
        const QStringList good{u"videos/a.mp4"_qs, u"videos/sub/b c.mp4"_qs,
                               u"videos/sub/deeper/c.avi"_qs};
        const QString corrupt = u"videos/broken.mp4"_qs;
        for (const QString &clip : good) {
            QVERIFY(batch.mkpath(QFileInfo(clip).path()));
            QVERIFY(makeClip(batch.filePath(clip)));
        }
        QVERIFY(makeCorruptClip(batch.filePath(corrupt)));

        // find videos -type f -print0 | parallel ... > results.jsonl
        QProcess find, parallel;
        find.setWorkingDirectory(batch.path());
        parallel.setWorkingDirectory(batch.path());
        find.setStandardOutputProcess(&parallel);
        parallel.setStandardOutputFile(batch.filePath(u"results.jsonl"_qs));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PATH"_qs,
                   QFileInfo(QStringLiteral(TORVANE_CLI)).path() + u':' + env.value(u"PATH"_qs));
        parallel.setProcessEnvironment(env);
        parallel.start(u"parallel"_qs,
                       {u"-0"_qs, u"-j"_qs, u"2"_qs, u"--joblog"_qs, u"torvane-jobs.tsv"_qs,
                        u"--transferfile"_qs, u"{}"_qs, u"--return"_qs, u"torvane-out/{#}"_qs,
                        u"--cleanup"_qs, u"torvane-cli"_qs, u"--json"_qs, u"--output"_qs,
                        u"torvane-out/{#}"_qs, u"{}"_qs});
        find.start(u"find"_qs, {u"videos"_qs, u"-type"_qs, u"f"_qs, u"-print0"_qs});
        QVERIFY(find.waitForFinished(60000));
        QVERIFY(parallel.waitForFinished(300000));
        // parallel's exit status counts the failed jobs: the corrupt clip's.
        QVERIFY2(parallel.exitCode() == 1, parallel.readAllStandardError().constData());

        // Every good clip converted, into a folder of the batch.
        QFile results(batch.filePath(u"results.jsonl"_qs));
        QVERIFY(results.open(QIODevice::ReadOnly));
        QStringList converted;
        for (const QByteArray &line : results.readAll().split('\n')) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event[u"event"] != u"job-done"_qs)
                continue;
            const QString output = event[u"output"].toString();
            QVERIFY2(QFileInfo(output).isFile(), qPrintable(output));
            QVERIFY2(output.startsWith(batch.filePath(u"torvane-out/"_qs)), qPrintable(output));
            converted << QDir(batch).relativeFilePath(event[u"source"].toString());
        }
        converted.sort();
        QCOMPARE(converted, good);

        // The failures, listed from the JSON lines as the README does.
        const Run failed = run(
            u"jq"_qs,
            {u"-r"_qs, u"select(.event == \"job-failed\") | [.source, .reason, .message] | @tsv"_qs,
             batch.filePath(u"results.jsonl"_qs)});
        QCOMPARE(failed.exitCode, 0);
        const QStringList lines = failed.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(batch.filePath(corrupt) + u'\t'), qPrintable(lines[0]));

        // No job died without a word, and the local sources were left alone.
        const Run silent = run(u"awk"_qs, {u"-F"_qs, u"\t"_qs, u"NR > 1 && $7 != 0 && $7 != 1"_qs,
                                           batch.filePath(u"torvane-jobs.tsv"_qs)});
        QCOMPARE(silent.exitCode, 0);
        QCOMPARE(silent.out, QString());
        for (const QString &clip : good + QStringList{corrupt})
            QVERIFY2(QFileInfo::exists(batch.filePath(clip)), qPrintable(clip));
    }
};

QTEST_GUILESS_MAIN(TestParallel)
#include "tst_parallel.moc"
