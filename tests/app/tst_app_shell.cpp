// Start-up from the settings files, the command channel and menus, exit, and
// the single running copy.
#include "fakes.h"
#include "joblist/savedqueue.h"

#include "app/instancechannel.h"
#include "common/platform.h"
#include "process/singleinstance.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QTreeView>

#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A socket file as a copy that died leaves it: bound, never listened on.
void leaveDeadSocket(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    QVERIFY(size_t(name.size()) < sizeof(address.sun_path));
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::close(fd);
    QCOMPARE(bound, 0);
}

} // namespace

class tst_AppShell : public QObject
{
    Q_OBJECT

    QString setupPath() const { return settingsFilePath(u"setup.ini"_qs, m_program->path()); }
    QString optionsPath() const { return settingsFilePath(u"options.ini"_qs, m_program->path()); }
    void start() { h = std::make_unique<Harness>(m_program->path()); }

    QTemporaryDir m_runtime;
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<Harness> h;

private Q_SLOTS:
    void initTestCase() { isolateTestRun(m_runtime); }
    void init()
    {
        m_program = std::make_unique<QTemporaryDir>();
        // No file beside the program: the per-user copies are used, and start empty.
        QFile::remove(setupPath());
        QFile::remove(optionsPath());
    }
    void cleanup()
    {
        h.reset();
        QFile::remove(setupPath());
        QFile::remove(optionsPath());
    }

    void commandWords_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("effect");
        QTest::newRow("RemoveSelected") << u"RemoveSelected"_qs << u"removed"_qs;
        QTest::newRow("A") << u"A"_qs << u"about"_qs;
        QTest::newRow("AddaFile") << u"AddaFile"_qs << u"open dialog"_qs;
        QTest::newRow("menuAddaFolder") << u"menuAddaFolder"_qs << u"folder browser"_qs;
        QTest::newRow("menuExit") << u"menuExit"_qs << u"exit"_qs;
        QTest::newRow("menuHelp") << u"menuHelp"_qs << u"help"_qs;
        QTest::newRow("menuOption") << u"menuOption"_qs << u"options"_qs;
        QTest::newRow("lower-case a") << u"a"_qs << QString();
        QTest::newRow("trailing blank") << u"RemoveSelected "_qs << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void commandWords()
    {
        QFETCH(QString, word);
        QFETCH(QString, effect);
        start();
        h->window->jobList().addJobs({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs});
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        view->setCurrentIndex(view->model()->index(0, 0));
        QSignalSpy unloaded(h->window.get(), &MainWindow::unloaded);
        h->window->commandChannel().setText(word);
        QVERIFY(h->window->commandChannel().text().isEmpty());

        // Every effect a word can have, counted: one word runs its one action once.
        QStringList effects;
        effects += QStringList(2 - h->window->jobList().count(), u"removed"_qs);
        effects += QStringList(h->sink.messages.size(), u"about"_qs);
        effects += QStringList(h->dialogs.openCalls.size(), u"open dialog"_qs);
        effects += QStringList(h->dialogs.folderTitles.size(), u"folder browser"_qs);
        effects += QStringList(unloaded.size(), u"exit"_qs);
        effects += QStringList(h->urls.size(), u"help"_qs);
        effects += QStringList(h->optionsFiles.size(), u"options"_qs);
        QCOMPARE(effects, effect.isEmpty() ? QStringList() : QStringList{effect});
        QCOMPARE(QFile::exists(setupPath()), effect == u"exit"_qs);
        if (effect == u"help"_qs)
            QCOMPARE(h->urls[0], QUrl::fromLocalFile(m_program->filePath(u"help.html"_qs)));
        if (effect == u"options"_qs)
            QCOMPARE(h->optionsFiles[0], optionsPath());
    }

    void removeMenu()
    {
        start();
        h->window->jobList().addJobs({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs, u"/m/3.mp4"_qs});
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        view->setCurrentIndex(view->model()->index(1, 0));
        h->click(u"removeVideoButton"_qs);
        QMenu *menu = h->window->removeMenu();
        QVERIFY(menu->isVisible());
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 2);
        // Remove-selected goes through the command channel, remove-all acts directly.
        QSignalSpy words(&h->window->commandChannel(), &CommandChannel::textChanged);
        actions[0]->trigger();
        menu->hide();
        QCOMPARE(words.size(), 2);
        QCOMPARE(h->window->jobList().paths(), (QStringList{u"/m/1.mp4"_qs, u"/m/3.mp4"_qs}));
        actions[1]->trigger();
        QCOMPARE(words.size(), 2);
        QVERIFY(h->window->jobList().isEmpty());
        QVERIFY(h->hintShown());
    }

    void exitWritesSetup()
    {
        start();
        ConversionSettings &settings = h->window->conversionSettings();
        settings.selectEntry(ConversionSettings::AudioBitrate, 7);
        settings.selectEntry(ConversionSettings::SampleRate, 3);
        const QString folder = u"/srv/视频, 输出"_qs;
        settings.setOutputFolder(folder);
        QSignalSpy unloaded(h->window.get(), &MainWindow::unloaded);
        h->click(u"startOverlay"_qs);
        h->click(u"exitButton"_qs);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(h->window->isHidden());
        QCOMPARE(QString::fromUtf8(readBytes(setupPath())),
                 u"\"7\"\r\n\"3\"\r\n\"1\"\r\n\""_qs + folder + u"\"\r\n\"4\"\r\n"_qs);
        // The next start reads the folder back, comma and all.
        start();
        QCOMPARE(h->control<QLineEdit>(u"outputFolderEdit"_qs)->text(), folder);
    }

    void closeBoxKeepsSetup_data()
    {
        QTest::addColumn<bool>("fileBefore");
        QTest::newRow("no file") << false;
        QTest::newRow("earlier file") << true;
    }
    void closeBoxKeepsSetup()
    {
        QFETCH(bool, fileBefore);
        const QByteArray before = "\"3\"\r\n\"2\"\r\n\"0\"\r\n\"/old\"\r\n\"5\"\r\n";
        if (fileBefore)
            writeBytes(setupPath(), before);
        start();
        h->window->conversionSettings().setOutputFolder(u"/changed"_qs);
        QSignalSpy unloaded(h->window.get(), &MainWindow::unloaded);
        QVERIFY(h->window->close());
        QCOMPARE(unloaded.size(), 1);
        QCOMPARE(readBytes(setupPath()), fileBefore ? before : QByteArray());
        QCOMPARE(QFile::exists(setupPath()), fileBefore);
    }

    void startupFromSetup_data()
    {
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<bool>("besideProgram");
        QTest::addColumn<QString>("folder");
        const QString defaultFolder = ConversionSettings::defaultOutputFolder();
        QTest::newRow("format 2 still ends on 4")
            << QByteArray("\"7\"\r\n\"1\"\r\n\"1\"\r\n\"/x/out\"\r\n\"2\"\r\n") << false
            << u"/x/out"_qs;
        QTest::newRow("portable copy beside the program")
            << QByteArray("\"1\"\r\n\"2\"\r\n\"0\"\r\n\"/p/out\"\r\n\"8\"\r\n") << true
            << u"/p/out"_qs;
        QTest::newRow("empty folder gives the default")
            << QByteArray("\"7\"\r\n\"1\"\r\n\"1\"\r\n\"\"\r\n\"4\"\r\n") << false << defaultFolder;
        QTest::newRow("garbage") << QByteArray("\xff\xfe\x00garbage\r\n\"\r\n,,,") << false
                                 << defaultFolder;
        QTest::newRow("empty file") << QByteArray() << false << defaultFolder;
    }
    void startupFromSetup()
    {
        QFETCH(QByteArray, setup);
        QFETCH(bool, besideProgram);
        QFETCH(QString, folder);
        writeBytes(besideProgram ? m_program->filePath(u"setup.ini"_qs) : setupPath(), setup);
        start();
        const ConversionSettings &settings = h->window->conversionSettings();
        QCOMPARE(settings.format(), int(Formats::Mp4));
        QCOMPARE(h->control<QComboBox>(u"formatList"_qs)->currentIndex(), 0);
        // The MP4 presets win over the restored audio entries.
        QCOMPARE(settings.text(ConversionSettings::AudioBitrate), u"320"_qs);
        QCOMPARE(h->control<QLineEdit>(u"outputFolderEdit"_qs)->text(), folder);
    }

    void startupOptions_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("no file") << QByteArray() << QList<int>{0, 0, 0, 0};
        QTest::newRow("all set") << QByteArray("1\r\n1\r\n90\r\n150\r\n")
                                 << QList<int>{1, 1, 90, 150};
    }
    void startupOptions()
    {
        QFETCH(QByteArray, options);
        QFETCH(QList<int>, values);
        if (!options.isEmpty())
            writeBytes(optionsPath(), options);
        start();
        const OptionValues &v = h->window->optionValues();
        QCOMPARE((QList<int>{v.soundChoice, v.clipEnabled, v.clipFromSeconds, v.clipToSeconds}),
                 values);

        // The completion sound plays only when the option says so.
        h->window->jobList().addJob(u"/nonexistent/x.mp4"_qs);
        QSignalSpy finished(&h->window->batch(), &BatchController::batchEnded);
        QTemporaryDir out;
        h->window->conversionSettings().setOutputFolder(out.path());
        h->window->startBatch();
        QVERIFY(finished.wait(30000));
        QCOMPARE(h->completion.sounds.size(), values[0] == 0 ? 1 : 0);
    }

    // A second start's request reaches the copy that holds the lock and
    // brings its minimized window back; a copy without the lock cannot take
    // the socket over.
    void secondStartBringsWindowForward()
    {
        QTemporaryDir run;
        const QString socket = run.filePath(u"t.sock"_qs);
        SingleInstance lock(run.filePath(u"t.lock"_qs)), other(run.filePath(u"t.lock"_qs));
        QVERIFY(lock.tryAcquire());
        QVERIFY(!other.tryAcquire());
        InstanceChannel channel(socket), intruder(socket);
        QVERIFY(channel.listen(lock));
        QVERIFY(!intruder.listen(other));
        QVERIFY(QFileInfo::exists(socket));

        start();
        h->window->showMinimized();
        QVERIFY(h->window->isMinimized());
        QObject::connect(&channel, &InstanceChannel::comeForwardRequested, h->window.get(),
                         [this] { bringToFront(h->window.get()); });
        QObject::connect(&channel, &InstanceChannel::filesReceived, h->window.get(),
                         &MainWindow::addFiles);
        QSignalSpy asked(&channel, &InstanceChannel::comeForwardRequested);
        // The files of a second start join the list, any name byte for byte.
        const QStringList files{u"/v/a b.mp4"_qs, pathFromBytes("/v/\xff\n.avi")};
        bool answered = false;
        const std::unique_ptr<QThread> second(QThread::create([&] {
            answered =
                InstanceChannel::askToComeForward(socket, InstanceChannel::AnswerWait, files);
        }));
        second->start();
        QTRY_VERIFY(second->isFinished());
        QVERIFY(answered);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(h->window->jobList().paths(), files);
        QVERIFY(!h->window->isMinimized());
        QVERIFY(h->window->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
    }

    // Nobody to answer: the asking copy gives up at once, or, when a hung copy
    // took the request, once the wait is over, never later.
    void askWithoutAnswer_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::newRow("nothing there") << u"none"_qs;
        QTest::newRow("socket of a copy that died") << u"dead"_qs;
        QTest::newRow("copy that hangs") << u"hung"_qs;
    }
    void askWithoutAnswer()
    {
        QFETCH(QString, peer);
        QTemporaryDir run;
        const QString socket = run.filePath(u"t.sock"_qs);
        SingleInstance lock(run.filePath(u"t.lock"_qs));
        QVERIFY(lock.tryAcquire());
        InstanceChannel channel(socket);
        if (peer == u"dead"_qs)
            leaveDeadSocket(socket);
        // Listening, but its event loop does not run while the request waits.
        if (peer == u"hung"_qs)
            QVERIFY(channel.listen(lock));

        constexpr int wait = 300;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!InstanceChannel::askToComeForward(socket, wait));
        const qint64 took = clock.elapsed();
        if (peer == u"hung"_qs)
            QVERIFY2(took >= wait - 5 && took < wait + 1000, qPrintable(QString::number(took)));
        else
            QVERIFY2(took < wait, qPrintable(QString::number(took)));
        // The holder of the lock clears what a dead copy left.
        QVERIFY(channel.listen(lock));
    }

    void secondInstanceExits()
    {
        const QString program = QStringLiteral(TORVANE_BUILD_DIR) + u"/torvane"_qs;
        if (!QFileInfo(program).isExecutable())
            QSKIP("the torvane program is not built");
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(u"run"_qs));
        QFile::setPermissions(home.filePath(u"run"_qs),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_qs, home.filePath(u"run"_qs));
        env.insert(u"HOME"_qs, home.path());
        env.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
        env.insert(u"XDG_STATE_HOME"_qs, home.filePath(u"state"_qs));
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        // Each copy gets long enough to take the lock and show its window.
        auto launch = [&](QProcess &copy, const QStringList &files = {}) {
            copy.setProcessEnvironment(env);
            copy.start(program, files);
            return copy.waitForStarted() && !copy.waitForFinished(1500);
        };
        // The running copy's list, as it keeps it.
        const QString queue = home.filePath(u"state/Torvane/queue.json"_qs);
        const auto listed = [&] {
            QStringList paths;
            for (const Job &job : SavedQueue::read(queue))
                paths << job.source;
            return paths;
        };

        // The running copy answers on a socket beside its lock, the user's alone.
        const QString socket =
            home.filePath(u"run/torvane-"_qs + Platform::userKey() + u".sock"_qs);

        // Open with: the first start takes its file, a second start hands its
        // own to the running copy.
        QProcess first, second, third;
        QVERIFY(launch(first, {u"/v/one.mp4"_qs}));
        QTRY_COMPARE(listed(), QStringList{u"/v/one.mp4"_qs});
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(home.path());
        second.start(program, {u"two.mp4"_qs});
        QVERIFY(second.waitForFinished(10000));
        QTRY_COMPARE(listed(), (QStringList{u"/v/one.mp4"_qs, home.filePath(u"two.mp4"_qs)}));
        QVERIFY(InstanceChannel::askToComeForward(socket, 5000));
        QCOMPARE(QFileInfo(socket).permissions() &
                     ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                       QFile::WriteUser | QFile::ExeUser),
                 QFile::Permissions());
        second.setProcessEnvironment(env);
        second.start(program, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        // The refused copy does not take the lock with it when it goes.
        second.start(program, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(first.state(), QProcess::Running);
        // A running copy that answers nothing does not hold the second one up.
        QCOMPARE(::kill(pid_t(first.processId()), SIGSTOP), 0);
        second.start(program, {});
        const bool ended = second.waitForFinished(10000);
        ::kill(pid_t(first.processId()), SIGCONT);
        QVERIFY(ended);
        QCOMPARE(second.exitCode(), 0);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QFile::remove(queue); // the next copy would offer it back first

        // A lock and a socket left by a copy that died do not keep the next one out.
        QVERIFY(launch(third));
        QVERIFY(InstanceChannel::askToComeForward(socket, 5000));
        // SIGTERM closes the window as its close box does: a clean exit, no signal death.
        third.terminate();
        QVERIFY(third.waitForFinished(10000));
        QCOMPARE(third.exitStatus(), QProcess::NormalExit);
        QCOMPARE(third.exitCode(), 0);
    }
};

QTEST_MAIN(tst_AppShell)
#include "tst_app_shell.moc"
