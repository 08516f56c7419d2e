// The JSON lines byte for byte: scripts match keys, their order and the number
// forms, which a test that parses the lines would not see change.
#include "cli/jsonreporter.h"
#include "common/paths.h"
#include "texts/statustexts.h"
#include "version.h"

#include <QTest>

#include <cstdio>
#include <functional>

using Events = std::function<void(BatchReporter &)>;
Q_DECLARE_METATYPE(Events)

namespace {

// The second of four jobs, in its first of two passes.
BatchPosition secondJob()
{
    BatchPosition position;
    position.id = 7;
    position.number = 2;
    position.total = 4;
    position.source = u"/v/a.avi"_qs;
    position.pass = 1;
    position.passes = 2;
    return position;
}

// JSON with ' for ", so the expected lines read as they are printed.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

void row(const char *name, const QByteArray &expected, const Events &events)
{
    QTest::newRow(name) << events << expected;
}

} // namespace

class TestJsonReporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row: the line of the last event, and the events.
    void lines_data()
    {
        QTest::addColumn<Events>("events");
        QTest::addColumn<QByteArray>("expected");
        using R = FailureReason;
        const QByteArray unreadable = StatusTexts::failure(R::SourceUnreadable).toUtf8();
        const QByteArray unusable = StatusTexts::failure(R::OutputFolderUnusable).toUtf8();
        const QByteArray vp9 = StatusTexts::losslessRefusal(u"vp9"_qs).toUtf8();

        row("batch start", json("{'event':'batch-start','version':'" TORVANE_VERSION "','jobs':4}"),
            [](BatchReporter &r) { r.batchStarted(4); });
        row("folder unreadable",
            json("{'event':'warning','reason':'unreadable-folder','path':'/v/locked'}"),
            [](BatchReporter &r) { r.folderUnreadable(u"/v/locked"_qs); });
        row("job start",
            json("{'event':'job-start','job':2,'jobs':4,'source':'/v/a.avi','passes':2}"),
            [](BatchReporter &r) { r.jobStarted(secondJob()); });
        row("progress, time left unknown",
            json("{'event':'progress','job':2,'jobs':4,'source':'/v/a.avi','pass':1,'passes':2,"
                 "'fraction':0.3333,'batch_fraction':0.6667,'remaining_seconds':null}"),
            [](BatchReporter &r) {
                BatchPosition p = secondJob();
                p.fraction = 1.0 / 3;
                p.batchFraction = 2.0 / 3;
                r.positionChanged(p);
            });
        row("progress, whole numbers",
            json("{'event':'progress','job':2,'jobs':4,'source':'/v/a.avi','pass':1,'passes':2,"
                 "'fraction':1,'batch_fraction':0,'remaining_seconds':95}"),
            [](BatchReporter &r) {
                BatchPosition p = secondJob();
                p.fraction = 1;
                p.remainingSeconds = 95;
                r.positionChanged(p);
            });
        // The job's number comes from its own start.
        row("job done, names that are not UTF-8",
            json("{'event':'job-done','job':2,'jobs':4,'source':'/v/caf\xef\xbf\xbd.avi',"
                 "'source_bytes':'/v/caf%E9.avi','output':'/o/caf\xef\xbf\xbd 1.mp4',"
                 "'output_bytes':'/o/caf%E9%201.mp4'}"),
            [](BatchReporter &r) {
                r.jobStarted(secondJob());
                r.jobDone(7, pathFromBytes("/v/caf\xe9.avi"), pathFromBytes("/o/caf\xe9 1.mp4"));
            });
        row("job failed, detail escaped",
            json("{'event':'job-failed','job':2,'jobs':4,'source':'/v/a.avi',"
                 "'reason':'source-unreadable','message':'") +
                unreadable + json("','detail':'say \\'no\\'\\\\␊␉␁'}"),
            [](BatchReporter &r) {
                r.jobStarted(secondJob());
                r.jobFailed(
                    {7, u"/v/a.avi"_qs, R::SourceUnreadable, u"say \"no\"\\\n\t\x01"_qs, {}, {}});
            });
        row("lossless refused",
            json("{'event':'note','job':2,'jobs':4,'source':'/v/a.avi',"
                 "'reason':'lossless-refused','message':'") +
                vp9 + json("','detail':'vp9'}"),
            [](BatchReporter &r) {
                r.jobStarted(secondJob());
                r.losslessRefused(7, u"/v/a.avi"_qs, u"vp9"_qs);
            });
        row("job stopped", json("{'event':'job-stopped','job':2,'jobs':4,'source':'/v/a.avi'}"),
            [](BatchReporter &r) {
                r.jobStarted(secondJob());
                r.jobStopped(7, u"/v/a.avi"_qs);
            });
        // Two jobs side by side: the one that started first ends after the other.
        row("interleaved jobs",
            json("{'event':'job-done','job':2,'jobs':5,'source':'/v/a.avi',"
                 "'output':'/o/a.mp4'}"),
            [](BatchReporter &r) {
                r.jobStarted(secondJob());
                BatchPosition third = secondJob();
                third.id = 8;
                third.number = 3;
                third.total = 5;
                third.source = u"/v/b.avi"_qs;
                r.jobStarted(third);
                r.jobDone(8, u"/o/b.mp4"_qs, u"/o/b.mp4"_qs);
                r.jobDone(7, u"/v/a.avi"_qs, u"/o/a.mp4"_qs);
            });
        row("batch failed",
            json("{'event':'batch-failed','reason':'output-folder-unusable','message':'") +
                unusable + json("','detail':'/o: denied'}"),
            [](BatchReporter &r) { r.batchFailed(R::OutputFolderUnusable, u"/o: denied"_qs); });
        row("batch end",
            json("{'event':'batch-end','converted':2,'failed':1,'stopped':1,'exit_status':130}"),
            [](BatchReporter &r) {
                BatchSummary summary;
                summary.converted = 2;
                summary.failures = {JobFailure{}};
                summary.stoppedJobs = 1;
                r.batchEnded(summary, 130);
            });
    }

    void lines()
    {
        QFETCH(Events, events);
        QFETCH(QByteArray, expected);
        FILE *file = std::tmpfile();
        QVERIFY(file);
        JsonReporter reporter(file);
        events(reporter);
        std::rewind(file);
        QByteArray written;
        char buffer[4096];
        while (const size_t n = std::fread(buffer, 1, sizeof buffer, file))
            written.append(buffer, qsizetype(n));
        std::fclose(file);
        QVERIFY(written.endsWith('\n'));
        QCOMPARE(written.chopped(1).split('\n').last(), expected);
    }
};

QTEST_GUILESS_MAIN(TestJsonReporter)
#include "tst_jsonreporter.moc"
