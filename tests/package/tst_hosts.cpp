// scripts/torvane-hosts against two real sshd on loopback, standing for two
// hosts with a login folder each: six clips go out and come back converted,
// nothing of the batch stays on a host, and a run killed half-way converts
// only the rest when started again. Each sshd runs as this user with its own
// config; libnss_wrapper gives the user a different home in each, so a host's
// login folder is the folder this test made for it.
#include "tools.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port nothing listens on at this moment.
int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &size) == 0;
    ::close(s);
    return bound ? ntohs(address.sin_port) : 0;
}

// /etc/passwd with this user's home replaced: the account as one host sees it.
QByteArray accountsWithHome(const QString &home)
{
    const passwd *me = ::getpwuid(::geteuid());
    const QByteArray name(me->pw_name);
    QByteArray accounts;
    QFile system(u"/etc/passwd"_qs);
    if (system.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : system.readAll().split('\n')) {
            if (!line.isEmpty() && !line.startsWith(name + ':'))
                accounts += line + '\n';
        }
    }
    const QByteArray shell = *me->pw_shell ? QByteArray(me->pw_shell) : QByteArray("/bin/sh");
    return accounts + name + ":x:" + QByteArray::number(me->pw_uid) + ':' +
           QByteArray::number(me->pw_gid) + "::" + QFile::encodeName(home) + ':' + shell + '\n';
}

// "video" and the length in seconds, one a line, when the file has a video stream.
QStringList videoAndLength(const QString &file)
{
    return run(u"ffprobe"_qs,
               {u"-v"_qs, u"error"_qs, u"-select_streams"_qs, u"v:0"_qs, u"-show_entries"_qs,
                u"stream=codec_type:format=duration"_qs, u"-of"_qs, u"default=nw=1:nk=1"_qs, file})
        .out.split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestHosts : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    std::vector<std::unique_ptr<QProcess>> servers;
    QStringList logins, homes;

    QString at(const QString &name) const { return work.filePath(name); }

    // An sshd on a free port whose user logs in to home; empty when it runs.
    QString startHost(const QString &home)
    {
        const QString sshd = QStandardPaths::findExecutable(
            u"sshd"_qs, {u"/usr/sbin"_qs, u"/usr/local/sbin"_qs, u"/sbin"_qs});
        if (sshd.isEmpty())
            return u"sshd is not installed (scripts/setup: openssh-server)"_qs;
        QDir().mkpath(home);
        const QString name = QFileInfo(home).fileName();
        QFile accounts(at(name + u".passwd"_qs));
        if (!accounts.open(QIODevice::WriteOnly) || accounts.write(accountsWithHome(home)) < 0)
            return u"cannot write "_qs + accounts.fileName();
        accounts.close();
        const QString buildFolder = QFileInfo(QStringLiteral(TORVANE_CLI)).path();
        QString error;
        // Another program may take the port between the look and the bind.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int port = freePort();
            QFile config(at(name + u".sshd_config"_qs));
            if (!config.open(QIODevice::WriteOnly))
                return u"cannot write "_qs + config.fileName();
            config.write(u"ListenAddress 127.0.0.1\nPort %1\nHostKey %2\nAuthorizedKeysFile %3\n"
                         "PidFile none\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                         "KbdInteractiveAuthentication no\nPrintMotd no\nPrintLastLog no\n"
                         "UseDNS no\nSetEnv \"PATH=%4:/usr/local/bin:/usr/bin:/bin\" "
                         "\"TORVANE_FFMPEG=%5\" \"ENCODER_RUNS=%6\" \"HOLD=%7\"\n"_qs.arg(port)
                             .arg(at(u"host_key"_qs), at(u"authorized_keys"_qs), buildFolder,
                                  at(u"ffmpeg"_qs), at(u"encoder-runs"_qs), at(u"hold"_qs))
                             .toUtf8());
            config.close();
            auto server = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"LD_PRELOAD"_qs, u"libnss_wrapper.so"_qs);
            env.insert(u"NSS_WRAPPER_PASSWD"_qs, accounts.fileName());
            env.insert(u"NSS_WRAPPER_GROUP"_qs, u"/etc/group"_qs);
            server->setProcessEnvironment(env);
            server->setProcessChannelMode(QProcess::MergedChannels);
            server->start(sshd, {u"-D"_qs, u"-e"_qs, u"-f"_qs, config.fileName()});
            QByteArray said;
            while (!said.contains("Server listening") && server->waitForReadyRead(10000))
                said += server->readAll();
            if (said.contains("Server listening")) {
                logins << u"1/ssh -p %1 -i %2 -o StrictHostKeyChecking=no "
                          "-o UserKnownHostsFile=/dev/null -o BatchMode=yes -o LogLevel=ERROR "
                          "127.0.0.1"_qs.arg(port)
                              .arg(at(u"user_key"_qs));
                servers.push_back(std::move(server));
                return {};
            }
            error = QString::fromUtf8(said.trimmed());
        }
        return u"sshd did not start: "_qs + error;
    }

    // torvane-hosts in the batch folder, with its own home for parallel.
    void startBatch(QProcess &script, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PATH"_qs,
                   QFileInfo(QStringLiteral(TORVANE_CLI)).path() + u':' + env.value(u"PATH"_qs));
        env.insert(u"HOME"_qs, at(u"client"_qs));
        script.setProcessEnvironment(env);
        script.setWorkingDirectory(at(u"batch"_qs));
        QStringList all;
        for (const QString &login : std::as_const(logins))
            all << u"-S"_qs << login;
        script.start(QStringLiteral(TORVANE_SOURCE_DIR "/scripts/torvane-hosts"), all + args);
    }

    // The lines of a file of the test's, empty ones left out.
    QList<QByteArray> linesOf(const QString &name) const
    {
        QFile file(at(name));
        QList<QByteArray> lines;
        if (file.open(QIODevice::ReadOnly))
            lines = file.readAll().split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

    // The jobs whose encoder ran in the parallel run of that process.
    QList<int> encoderRunsOf(pid_t parallel) const
    {
        QList<int> jobs;
        for (const QByteArray &line : linesOf(u"encoder-runs"_qs)) {
            if (line.split(' ').value(0).toInt() == parallel)
                jobs << line.split(' ').value(1).toInt();
        }
        std::sort(jobs.begin(), jobs.end());
        return jobs;
    }

    // The parallel runs so far, from the batch's own note of them.
    QList<pid_t> parallelRuns() const
    {
        QList<pid_t> pids;
        for (const QByteArray &line : linesOf(u"batch/torvane-batch/runs"_qs))
            pids << line.toInt();
        return pids;
    }

    // Each row of parallel's job log: the job's number and its exit status.
    QList<std::pair<int, int>> jobLog() const
    {
        QList<std::pair<int, int>> rows;
        for (const QByteArray &line : linesOf(u"batch/torvane-batch/joblog.tsv"_qs).mid(1))
            rows.append({line.split('\t').value(0).toInt(), line.split('\t').value(6).toInt()});
        return rows;
    }

    // What the hosts' login folders hold; nothing when the batch left nothing.
    QString leftOnHosts() const
    {
        QString left;
        for (const QString &home : homes) {
            const QStringList names =
                QDir(home).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            if (!names.isEmpty())
                left += home + u": "_qs + names.join(u", "_qs) + u'\n';
        }
        return left;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"parallel", "rsync", "ssh", "ssh-keygen", "ffmpeg", "ffprobe"}) {
            if (QStandardPaths::findExecutable(QString::fromUtf8(tool)).isEmpty())
                QSKIP(
                    qPrintable(QString::fromUtf8(tool) + u" is not installed (scripts/setup)"_qs));
        }
        // sshd started by root checks its privilege separation folder; the
        // service would make it at boot.
        if (::geteuid() == 0 && !QFileInfo::exists(u"/run/sshd"_qs))
            QVERIFY(QDir().mkpath(u"/run/sshd"_qs));
        for (const char *key : {"host_key", "user_key"})
            QCOMPARE(run(u"ssh-keygen"_qs, {u"-q"_qs, u"-t"_qs, u"ed25519"_qs, u"-N"_qs, QString(),
                                            u"-f"_qs, at(QString::fromUtf8(key))})
                         .exitCode,
                     0);
        QVERIFY(QFile::copy(at(u"user_key.pub"_qs), at(u"authorized_keys"_qs)));
        // ffmpeg as the encoders run it, noting the parallel run and job of each
        // run, which parallel gives its jobs on the hosts.
        QFile counter(at(u"ffmpeg"_qs));
        QVERIFY(counter.open(QIODevice::WriteOnly));
        counter.write("#!/bin/sh\necho \"$PARALLEL_PID $PARALLEL_SEQ\" >>\"$ENCODER_RUNS\"\n"
                      "[ -e \"$HOLD\" ] && [ \"$PARALLEL_SEQ\" -gt 2 ] && exec sleep 600\n"
                      "exec ffmpeg \"$@\"\n");
        counter.close();
        QVERIFY(counter.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        for (const QString &host : {u"host-a"_qs, u"host-b"_qs}) {
            const QString problem = startHost(at(host));
            if (!problem.isEmpty())
                QSKIP(qPrintable(problem));
            homes << at(host);
        }
        // Each host's login folder must be the test's, never this user's own.
        for (qsizetype i = 0; i < logins.size(); ++i) {
            QStringList ssh = logins[i].mid(2).split(u' ');
            const QString program = ssh.takeFirst();
            const Run pwd = run(program, ssh + QStringList{u"pwd"_qs});
            QVERIFY2(pwd.exitCode == 0, qPrintable(pwd.err));
            if (pwd.out.trimmed() != homes[i])
                QSKIP(qPrintable(u"no login folder of its own for a host (libnss-wrapper, "
                                 "scripts/setup): "_qs +
                                 pwd.out.trimmed() + pwd.err.trimmed()));
        }
    }

    void cleanupTestCase()
    {
        for (const auto &server : servers) {
            server->terminate();
            server->waitForFinished(10000);
        }
    }

    void killedHalfWayAndResumed()
    {
        const QStringList clips{u"videos/a b.mp4"_qs,
                                u"videos/it's.mp4"_qs,
                                u"videos/\"double\" & back\\slash.mp4"_qs,
                                u"videos/sub/$HOME.avi"_qs,
                                u"videos/sub/new\nline.mp4"_qs,
                                u"videos/sub/plain.mp4"_qs};
        const QDir batch(at(u"batch"_qs));
        QVERIFY(batch.mkpath(u"videos/sub"_qs));
        for (const QString &clip : clips)
            QVERIFY(makeClip(batch.filePath(clip)));

        // Each host converts one job at a time. The first two convert; the
        // next two are held in their encoder, so the kill finds them on their
        // hosts, as parallel's own kill would find a long video.
        QFile hold(at(u"hold"_qs));
        QVERIFY(hold.open(QIODevice::WriteOnly));
        hold.close();
        QProcess first;
        startBatch(first, {u"--rotate"_qs, u"ccw"_qs, u"--"_qs, u"videos"_qs});
        QTRY_COMPARE_WITH_TIMEOUT(parallelRuns().size(), 1, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(encoderRunsOf(parallelRuns()[0]), QList<int>({1, 2, 3, 4}),
                                  120000);
        QCOMPARE(::kill(parallelRuns()[0], SIGTERM), 0);
        QVERIFY(first.waitForFinished(120000));
        QVERIFY(first.exitCode() != 0);
        QVERIFY(hold.remove());
        QVERIFY2(leftOnHosts().isEmpty(), qPrintable(leftOnHosts()));
        const QList<int> left{3, 4, 5, 6};
        QList<std::pair<int, int>> done = jobLog();
        std::sort(done.begin(), done.end());
        QCOMPARE(done, (QList<std::pair<int, int>>{{1, 0}, {2, 0}}));

        // Again, without paths: only the jobs the log does not hold as done.
        QProcess second;
        startBatch(second, {});
        QVERIFY(second.waitForFinished(300000));
        QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
        QCOMPARE(parallelRuns().size(), 2);
        QCOMPARE(encoderRunsOf(parallelRuns()[1]), left);
        const QList<std::pair<int, int>> log = jobLog();
        QCOMPARE(log.size(), clips.size());
        for (const auto &[job, status] : log.mid(2)) {
            QCOMPARE(status, 0);
            QVERIFY(left.contains(job));
        }
        QVERIFY2(leftOnHosts().isEmpty(), qPrintable(leftOnHosts()));

        // Job N's output, and only it, is in out/N: a video as long as its clip.
        QFile list(batch.filePath(u"torvane-batch/jobs"_qs));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QStringList sources = QFile::decodeName(list.readAll()).split(QChar(0));
        QCOMPARE(sources.takeLast(), QString());
        QCOMPARE(sources.size(), clips.size());
        for (qsizetype job = 1; job <= sources.size(); ++job) {
            const QDir out(batch.filePath(u"torvane-batch/out/"_qs + QString::number(job)));
            const QStringList files = out.entryList(QDir::Files | QDir::Hidden);
            QCOMPARE(files.size(), 1);
            const QString base = QFileInfo(sources[job - 1]).fileName().section(u'.', 0, 0);
            QVERIFY2(files[0].startsWith(base + u'_'), qPrintable(files[0]));
            const QStringList probed = videoAndLength(out.filePath(files[0]));
            QCOMPARE(probed.value(0), u"video"_qs);
            const double seconds = probed.value(1).toDouble();
            QVERIFY2(qAbs(seconds - 1.0) < 0.3, qPrintable(QString::number(seconds)));
        }
        sources.sort();
        QStringList expected = clips;
        expected.sort();
        QCOMPARE(sources, expected);
    }
};

QTEST_GUILESS_MAIN(TestHosts)
#include "tst_hosts.moc"
