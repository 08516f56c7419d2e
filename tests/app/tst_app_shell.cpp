// Start-up from the settings files, the command channel and menus, exit, and
// the single running copy.
#include "fakes.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace {

void writeText(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_AppShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void commandWords_data();
    void commandWords();
    void removeMenu();
    void exitWritesSetup();
    void closeBoxKeepsSetup_data();
    void closeBoxKeepsSetup();
    void startupFromSetup_data();
    void startupFromSetup();
    void startupOptions_data();
    void startupOptions();
    void secondInstanceExits();

private:
    QString setupPath() const { return settingsFilePath(u"setup.ini"_qs, m_program->path()); }
    QString optionsPath() const { return settingsFilePath(u"options.ini"_qs, m_program->path()); }

    QTemporaryDir m_runtime;
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<Harness> h;
};

void tst_AppShell::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void tst_AppShell::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    // No file beside the program: the per-user copies are used, and start empty.
    QFile::remove(setupPath());
    QFile::remove(optionsPath());
}

void tst_AppShell::cleanup()
{
    h.reset();
    QFile::remove(setupPath());
    QFile::remove(optionsPath());
    m_program.reset();
}

void tst_AppShell::commandWords_data()
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
    QTest::newRow("unknown") << u"menuS"_qs << QString();
}

void tst_AppShell::commandWords()
{
    QFETCH(QString, word);
    QFETCH(QString, effect);
    h = std::make_unique<Harness>(m_program->path());
    h->window->jobList().addJobs({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs});
    auto *view = h->control<QTreeView>(u"LV"_qs);
    view->setCurrentIndex(view->model()->index(0, 0));
    QSignalSpy unloaded(h->window.get(), &frmMain::unloaded);

    CommandChannel &channel = h->window->txtAction();
    channel.setText(word);
    QVERIFY(channel.text().isEmpty());

    QCOMPARE(h->window->jobList().lstFile(), effect == u"removed"_qs
                                                 ? QStringList{u"/m/2.mp4"_qs}
                                                 : (QStringList{u"/m/1.mp4"_qs, u"/m/2.mp4"_qs}));
    QCOMPARE(h->sink.messages.size(), effect == u"about"_qs ? 1 : 0);
    if (effect == u"about"_qs) {
        QCOMPARE(h->sink.messages[0].title, u"关于"_qs);
        QCOMPARE(h->sink.messages[0].icon, MessageSink::Icon::NoIcon);
        QVERIFY(h->sink.messages[0].text.startsWith(u"Torvane"_qs));
        QVERIFY(!h->sink.messages[0].text.contains(u'\n'));
    }
    QCOMPARE(h->dialogs.openCalls.size(), effect == u"open dialog"_qs ? 1 : 0);
    QCOMPARE(h->dialogs.folderTitles.size(), effect == u"folder browser"_qs ? 1 : 0);
    QCOMPARE(unloaded.size(), effect == u"exit"_qs ? 1 : 0);
    QCOMPARE(QFile::exists(setupPath()), effect == u"exit"_qs);
    QCOMPARE(h->urls.size(), effect == u"help"_qs ? 1 : 0);
    if (effect == u"help"_qs)
        QCOMPARE(h->urls[0], QUrl::fromLocalFile(m_program->filePath(u"help.html"_qs)));
    QCOMPARE(h->optionsFiles.size(), effect == u"options"_qs ? 1 : 0);
    if (effect == u"options"_qs)
        QCOMPARE(h->optionsFiles[0], optionsPath());
}

void tst_AppShell::removeMenu()
{
    h = std::make_unique<Harness>(m_program->path());
    h->window->jobList().addJobs({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs, u"/m/3.mp4"_qs});
    auto *view = h->control<QTreeView>(u"LV"_qs);
    view->setCurrentIndex(view->model()->index(1, 0));

    QTest::mouseClick(h->control(u"CmdToolsBar2"_qs), Qt::LeftButton);
    QMenu *menu = h->window->removeMenu();
    QVERIFY(menu->isVisible());
    QVERIFY(h->control(u"picDoor"_qs)->isHidden());
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->text(), u"移除选中视频"_qs);
    QCOMPARE(actions[1]->text(), u"移除所有视频"_qs);
    QSignalSpy words(&h->window->txtAction(), &CommandChannel::textChanged);
    actions[0]->trigger();
    menu->hide();
    QCOMPARE(words.size(), 2);
    QCOMPARE(words[0][0].toString(), u"RemoveSelected"_qs);
    QCOMPARE(h->window->jobList().lstFile(), (QStringList{u"/m/1.mp4"_qs, u"/m/3.mp4"_qs}));

    // Remove-all acts directly, not through the channel.
    actions[1]->trigger();
    QCOMPARE(words.size(), 2);
    QVERIFY(h->window->jobList().isEmpty());
    QVERIFY(!h->control(u"picText"_qs)->isHidden());
}

void tst_AppShell::exitWritesSetup()
{
    h = std::make_unique<Harness>(m_program->path());
    ConversionSettings &settings = h->window->conversionSettings();
    settings.selectEntry(ConversionSettings::AudioBitrate, 7);
    settings.selectEntry(ConversionSettings::SampleRate, 3);
    const QString folder = u"/srv/视频, 输出"_qs;
    settings.setOutputFolder(folder);
    QSignalSpy unloaded(h->window.get(), &frmMain::unloaded);

    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    QTest::mouseClick(h->control(u"CmdToolsBar5"_qs), Qt::LeftButton);
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(h->window->isHidden());
    const QStringList lines = QString::fromUtf8(readBytes(setupPath())).split(u"\r\n"_qs);
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], u"\"7\""_qs);
    QCOMPARE(lines[1], u"\"3\""_qs);
    QCOMPARE(lines[2], u"\"1\""_qs);
    QCOMPARE(lines[3], u"\""_qs + folder + u"\""_qs);
    QCOMPARE(lines[4], u"\"4\""_qs);
    QCOMPARE(lines[5], QString());

    // The next start reads the folder back, comma and all.
    h = std::make_unique<Harness>(m_program->path());
    QCOMPARE(h->control<QLineEdit>(u"txtPath"_qs)->text(), folder);
}

void tst_AppShell::closeBoxKeepsSetup_data()
{
    QTest::addColumn<bool>("fileBefore");
    QTest::newRow("no file") << false;
    QTest::newRow("earlier file") << true;
}

void tst_AppShell::closeBoxKeepsSetup()
{
    QFETCH(bool, fileBefore);
    const QByteArray before = "\"3\"\r\n\"2\"\r\n\"0\"\r\n\"/old\"\r\n\"5\"\r\n";
    if (fileBefore) {
        QDir().mkpath(QFileInfo(setupPath()).path());
        writeText(setupPath(), before);
    }
    h = std::make_unique<Harness>(m_program->path());
    h->window->conversionSettings().setOutputFolder(u"/changed"_qs);
    QSignalSpy unloaded(h->window.get(), &frmMain::unloaded);
    QVERIFY(h->window->close());
    QCOMPARE(unloaded.size(), 1);
    QCOMPARE(QFile::exists(setupPath()), fileBefore);
    if (fileBefore)
        QCOMPARE(readBytes(setupPath()), before);
}

void tst_AppShell::startupFromSetup_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<QString>("folder");
    const QString defaultFolder = ConversionSettings::defaultOutputFolder();
    QTest::newRow("format 2 still ends on 4")
        << QByteArray("\"7\"\r\n\"1\"\r\n\"1\"\r\n\"/x/out\"\r\n\"2\"\r\n") << false
        << u"/x/out"_qs;
    QTest::newRow("portable copy beside the program")
        << QByteArray("\"1\"\r\n\"2\"\r\n\"0\"\r\n\"/p/out\"\r\n\"8\"\r\n") << true << u"/p/out"_qs;
    QTest::newRow("empty folder gives the default")
        << QByteArray("\"7\"\r\n\"1\"\r\n\"1\"\r\n\"\"\r\n\"4\"\r\n") << false << defaultFolder;
    QTest::newRow("garbage") << QByteArray("\xff\xfe\x00garbage\r\n\"\r\n,,,") << false
                             << defaultFolder;
    QTest::newRow("empty file") << QByteArray() << false << defaultFolder;
}

void tst_AppShell::startupFromSetup()
{
    QFETCH(QByteArray, setup);
    QFETCH(bool, besideProgram);
    QFETCH(QString, folder);
    const QString path = besideProgram ? m_program->filePath(u"setup.ini"_qs) : setupPath();
    QDir().mkpath(QFileInfo(path).path());
    writeText(path, setup);

    h = std::make_unique<Harness>(m_program->path());
    const ConversionSettings &settings = h->window->conversionSettings();
    QCOMPARE(settings.format(), int(ConversionSettings::Mp4));
    QCOMPARE(settings.shortFormatEntry(), 0);
    QCOMPARE(h->control<QComboBox>(u"cmbOF1"_qs)->currentIndex(), 0);
    QCOMPARE(settings.rotationEntry(), 0);
    QCOMPARE(settings.strRotate(), u"-vf rotate=1"_qs);
    // The MP4 presets win over the restored audio entries.
    QCOMPARE(settings.text(ConversionSettings::AudioBitrate), u"320"_qs);
    QCOMPARE(settings.text(ConversionSettings::SampleRate), u"48000"_qs);
    QCOMPARE(settings.channelEntry(), 1);
    QCOMPARE(settings.outputFolder(), folder);
    QCOMPARE(h->control<QLineEdit>(u"txtPath"_qs)->text(), folder);
    QVERIFY(!h->control(u"picDoor"_qs)->isHidden());
}

void tst_AppShell::startupOptions_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<int>("sound");
    QTest::addColumn<int>("cutter");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("no file") << QByteArray() << 0 << 0 << 0 << 0;
    QTest::newRow("all set") << QByteArray("1\r\n1\r\n90\r\n150\r\n") << 1 << 1 << 90 << 150;
    QTest::newRow("garbage") << QByteArray("x\r\n\xff\r\n") << 0 << 0 << 0 << 0;
}

void tst_AppShell::startupOptions()
{
    QFETCH(QByteArray, options);
    QFETCH(int, sound);
    QFETCH(int, cutter);
    QFETCH(int, from);
    QFETCH(int, to);
    if (!options.isEmpty()) {
        QDir().mkpath(QFileInfo(optionsPath()).path());
        writeText(optionsPath(), options);
    }
    h = std::make_unique<Harness>(m_program->path());
    const OptionValues &values = h->window->optionValues();
    QCOMPARE(int(values.intSoundReminder), sound);
    QCOMPARE(int(values.intMusicCutter), cutter);
    QCOMPARE(int(values.lngCutFrom), from);
    QCOMPARE(int(values.lngCutTo), to);

    // The driver plays the completion sound only when the option says so.
    h->window->jobList().AddJob(u"/nonexistent/x.mp4"_qs);
    QSignalSpy finished(&h->window->batchDriver(), &BatchDriver::batchFinished);
    QTemporaryDir out;
    h->window->conversionSettings().setOutputFolder(out.path());
    h->window->Start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(h->completion.sounds.size(), sound == 0 ? 1 : 0);
}

void tst_AppShell::secondInstanceExits()
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
    env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    QVERIFY(first.waitForStarted());
    // Long enough for the first copy to hold its lock and show its window.
    QTest::qWait(1500);
    QCOMPARE(first.state(), QProcess::Running);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    first.kill();
    QVERIFY(first.waitForFinished(10000));

    // A lock left by a copy that died does not keep the next one out.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(program, {});
    QVERIFY(third.waitForStarted());
    QVERIFY(!third.waitForFinished(1500));
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(10000);
}

QTEST_MAIN(tst_AppShell)
#include "tst_app_shell.moc"
