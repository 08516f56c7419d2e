// The window's life: made, started up, closed.
#include "mainwindow.h"

#include "appicon.h"
#include "chromewidgets.h"
#include "designedlayout.h"
#include "desktopactions.h"
#include "endnotification.h"
#include "jobpresentation.h"
#include "launcherprogress.h"
#include "previewpanel.h"
#include "skin.h"
#include "windowcommands.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

MainWindow::MainWindow(const WindowServices &services, QWidget *parent)
    : QWidget(parent), m_services(services),
      m_programFolder(services.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                       : services.programFolder),
      m_windowFile(
          services.windowFile.value_or(settingsFilePath(u"window.ini"_qs, m_programFolder)))
{
    if (!m_services.messages)
        m_ownMessages = std::make_unique<MessageBoxSink>(this);
    CompletionActions *completion = m_services.completion;
    if (!completion) {
        auto *desktop =
            new DesktopCompletionActions([this](const QUrl &url) { return launch(url); });
        m_ownCompletion.reset(desktop);
        completion = desktop;
    }
    m_dialogRunner = m_services.dialogs;
    if (!m_dialogRunner) {
        m_ownDialogs = std::make_unique<QtDialogRunner>();
        m_dialogRunner = m_ownDialogs.get();
    }

    m_jobModel.setPresentation([this](const Job &job, int column, int role) {
        return presentJob(job, column, role, m_paused);
    });
    m_batch = new BatchController(m_settings, m_jobs, completion, this);
    m_batch->setProgramFolder(m_programFolder);
    if (m_scratch.isValid())
        m_batch->setScratchFolder(m_scratch.path());
    m_search = new FolderSearch(this);
    if (const QString file = services.queueFile.value_or(SavedQueue::defaultFile());
        !file.isEmpty())
        m_savedQueue = new SavedQueue(m_jobs, file, this);
    const QDBusConnection bus = services.desktopBus.value_or(QDBusConnection::sessionBus());
    m_launcher = std::make_unique<LauncherProgress>(bus, desktopId());
    m_endNotification = new EndNotification(bus, desktopId(), this);
    connect(m_endNotification, &EndNotification::openFolderRequested, this,
            [this](const QString &folder) { openUrl(QUrl::fromLocalFile(folder)); });

    setObjectName(u"mainWindow"_qs);
    setWindowTitle(u"Torvane"_qs);
    setFont(chooseWindowFont());
    // The designed layout is the smallest size; it opens with room for the preview.
    setMinimumSize(ClientWidth, ClientHeight);
    resize(ClientWidth + PreviewWidth + px(90), ClientHeight);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // Pointer movements over the bare background reset the hover look.
    setMouseTracking(true);

    // Before the controls, which show what the commands hold.
    m_commands = new WindowCommands(this);
    createControls();
    connectCommands();
    connectControls();
    connectPreview();
    startUp();
}

MainWindow::~MainWindow()
{
    // The batch's encoder may still report while members go away.
    delete m_batch;
    m_batch = nullptr;
    // Its last change is written while the list it reads is still there.
    delete m_savedQueue;
    m_savedQueue = nullptr;
}

MessageSink *MainWindow::messages() const
{
    return m_services.messages ? m_services.messages : m_ownMessages.get();
}

// What each command does; how it is given (button, key, menu, channel word)
// is WindowCommands' business.
void MainWindow::connectCommands()
{
    // Those of the toolbar take the start screen away, as a click on their button does.
    const auto toolbarCommand = [this](QAction *action, auto run) {
        connect(action, &QAction::triggered, this, [this, run] {
            startOverlay->hide();
            (this->*run)();
        });
    };
    toolbarCommand(m_commands->addVideo, &MainWindow::addFileByDialog);
    toolbarCommand(m_commands->addFolder, &MainWindow::addFolder);
    toolbarCommand(m_commands->removeVideo, &MainWindow::showRemoveMenu);
    toolbarCommand(m_commands->removeAll, &MainWindow::removeAllJobs);
    toolbarCommand(m_commands->webSite, &MainWindow::openWebSite);
    toolbarCommand(m_commands->options, &MainWindow::showOptionsDialog);
    toolbarCommand(m_commands->exit, &MainWindow::saveAndExit);
    toolbarCommand(m_commands->start, &MainWindow::startBatch);
    connect(m_commands->removeSelected, &QAction::triggered, this, &MainWindow::removeSelectedJob);
    connect(m_commands->retryFailed, &QAction::triggered, this, &MainWindow::retryFailedJobs);
    connect(m_commands->undo, &QAction::triggered, this, &MainWindow::undoSettingsChange);
    connect(m_commands->help, &QAction::triggered, this, &MainWindow::openHelp);
    connect(m_commands->about, &QAction::triggered, this, &MainWindow::showAbout);
    connect(m_commands->records, &QAction::triggered, this, &MainWindow::showRecords);
    connect(m_commands->pause, &QAction::triggered, this, [this] {
        if (m_batch->isPaused())
            m_batch->resume();
        else
            m_batch->pause();
    });
    connect(m_commands->stopNow, &QAction::triggered, this,
            [this] { stopBatch(BatchController::StopMode::Now); });
    connect(m_commands->stopAfterJob, &QAction::triggered, this,
            [this] { stopBatch(BatchController::StopMode::AfterCurrentJob); });
    connect(m_commands->continueBatch, &QAction::triggered, this,
            [this] { m_batch->cancelStop(); });
    m_commands->connectChannel(m_commandChannel);
}

void MainWindow::connectControls()
{
    for (int i = 0; i < ToolbarButtons; ++i) {
        connect(toolbarButtons[size_t(i)], &QToolButton::clicked, this,
                [this, i] { toolbarButtonClicked(i); });
    }
    helpMenuButton->setMenu(m_commands->aboutMenu);
    connect(startOverlay, &StartOverlay::clicked, startOverlay, &QWidget::hide);
    connect(startOverlay, &StartOverlay::dropped, this, &MainWindow::dropOnStartOverlay);
    connect(jobListView, &JobListView::dropped, this, &MainWindow::dropOnJobList);

    // The choice is for the selected jobs; with none selected, for the jobs
    // added from now on and the waiting ones.
    connect(formatList, &QComboBox::activated, this, [this](int entry) {
        const int format = Formats::formatOfListedEntry(entry);
        applyChoiceToJobs([format](JobSettings &job) { job.setFormat(format); },
                          [this, entry] { m_settings.selectListedFormat(entry); });
    });
    connect(rotationList, &QComboBox::activated, this, [this](int entry) {
        const PictureTransform rotation = ConversionSettings::rotationOfEntry(entry);
        applyChoiceToJobs([rotation](JobSettings &job) { job.rotation = rotation; },
                          [this, entry] { m_settings.selectRotation(entry); });
    });
    // The lists show the selected jobs' settings, else the new jobs'.
    connect(&m_settings, &ConversionSettings::changed, this, &MainWindow::syncSettingControls);
    connect(jobListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::syncSettingControls);
    connect(&m_jobModel, &QAbstractItemModel::dataChanged, this, &MainWindow::syncSettingControls);
    connect(&m_settings, &ConversionSettings::outputFolderChanged, this,
            [this](const QString &folder) {
                // Leaves the cursor alone while the user is typing.
                if (outputFolderEdit->text() != folder)
                    outputFolderEdit->setText(folder);
            });
    connect(outputFolderEdit, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_settings.setOutputFolder(text); });
    connect(outputFolderEdit, &PathLineEdit::clicked, this, &MainWindow::browseOutputFolder);
    connect(browseButton, &QPushButton::clicked, this, &MainWindow::browseOutputFolder);
    connect(startButton, &QPushButton::clicked, this, [this] {
        if (m_batch->isBusy())
            m_commands->stopMenu->popup(startButton->mapToGlobal(QPoint(0, startButton->height())));
        else
            startBatch();
    });
    connect(jobListView, &JobListView::jobMenuRequested, this,
            [this](const QModelIndex &index, const QPoint &globalPos) {
                // Opened inside the selection, the menu is for all of it.
                if (!jobListView->selectionModel()->isRowSelected(index.row()))
                    jobListView->setCurrentIndex(index);
                if (QMenu *menu = jobMenu(index.row()))
                    menu->popup(globalPos);
            });
    connect(webLink, &ClickableLabel::clicked, this, &MainWindow::openWebSite);
    connect(feedbackLink, &ClickableLabel::clicked, this, &MainWindow::sendFeedback);

    connect(m_batch, &BatchController::stateChanged, this, &MainWindow::batchStateChanged);
    connect(m_batch, &BatchController::progressChanged, this, &MainWindow::showProgress);
    connect(m_batch, &BatchController::jobStarted, this, &MainWindow::showPosition);
    connect(m_batch, &BatchController::positionChanged, this, &MainWindow::showPosition);
    connect(m_batch, &BatchController::batchEnded, this, &MainWindow::batchEnded);
    connect(m_batch, &BatchController::jobRecorded, this, &MainWindow::recordJob);
    connect(m_batch, &BatchController::batchFailed, this, &MainWindow::batchFailed);
    connect(m_batch, &BatchController::pausedChanged, this, [this](bool paused) {
        m_paused = paused;
        m_commands->setPaused(paused);
        m_captions.setPaused(paused);
        m_jobModel.presentationChanged();
        // The bar stands still in the paused colour.
        progressBar->setProperty("paused", paused);
        progressBar->style()->unpolish(progressBar);
        progressBar->style()->polish(progressBar);
        updateStartButton();
        updateCaption();
        updateBatchShare();
    });
    // Whatever the user does to the list makes the last batch's word stale.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_jobModel, signal, this, &MainWindow::listChanged);
    connect(&m_jobModel, &QAbstractItemModel::modelReset, this, &MainWindow::listChanged);
    // However jobs come (a restored list, another start's files), the hint makes way.
    connect(&m_jobs, &JobQueue::inserted, emptyListHint, &QWidget::hide);
    connect(m_search, &FolderSearch::finished, this, &MainWindow::folderSearchFinished);
    m_noteTimer = new QTimer(this);
    m_noteTimer->setObjectName(u"noteTimer"_qs);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(NoteShownMs);
    connect(m_noteTimer, &QTimer::timeout, this, [this] {
        m_captions.noteSeen();
        updateCaption();
    });

    // Tab goes along the toolbar as it is seen, then down the window.
    QList<QWidget *> tabOrder;
    for (int i : {0, 1, 2, 4, 3, 5})
        tabOrder << toolbarButtons[size_t(i)];
    tabOrder << jobListView << formatList << rotationList << outputFolderEdit << browseButton
             << startButton << helpMenuButton;
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // The keyboard reaching a control under the start screen takes the screen away.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && startOverlay->isVisible() && isAncestorOf(now) &&
            startOverlay->geometry().intersects(QRect(now->mapTo(this, QPoint()), now->size())))
            startOverlay->hide();
    });
}

// The start-up sequence; the single-instance test has run before any window.
void MainWindow::startUp()
{
    attachSkin();
    m_commonDialogs.setOwner(this);
    m_commonDialogs.setRunner(m_services.dialogs);
    // Rotation entry 0, the audio entries, format 0 with its preset, the default folder.
    m_settings.applyStartupDefaults();
    restoreSetup();
    if (m_settings.outputFolder().isEmpty())
        m_settings.setOutputFolder(ConversionSettings::defaultOutputFolder());
    setWindowTitle(u"Torvane"_qs);
    setWindowIcon(appIcon());
    loadOptions();
    m_settings.applyStartupFormat();
    syncSettingControls();
    outputFolderEdit->setText(m_settings.outputFolder());
    // Placed once the skin has polished the controls, so captions are measured
    // in the fonts they are drawn in.
    ensurePolished();
    placeControls();
    restoreWindowLayout();
}

void MainWindow::restoreSetup()
{
    const SetupValues setup = readSetupFile(settingsFilePath(u"setup.ini"_qs, m_programFolder));
    if (setup.bitrateEntry)
        m_settings.selectEntry(ConversionSettings::AudioBitrate, *setup.bitrateEntry);
    if (setup.sampleRateEntry)
        m_settings.selectEntry(ConversionSettings::SampleRate, *setup.sampleRateEntry);
    if (setup.channelEntry)
        m_settings.selectChannel(*setup.channelEntry);
    if (setup.outputFolder)
        m_settings.setOutputFolder(*setup.outputFolder);
    if (setup.formatEntry)
        m_settings.selectFormat(*setup.formatEntry);
    m_lastFileFolder =
        readFoldersFile(settingsFilePath(u"folders.ini"_qs, m_programFolder)).value_or(QString());
}

void MainWindow::loadOptions()
{
    OptionValues values;
    if (readOptionsFile(settingsFilePath(u"options.ini"_qs, m_programFolder), values))
        m_options = values;
    else
        m_options.soundChoice = m_options.clipEnabled = 0;
    m_options.naming = readOutputFile(settingsFilePath(u"output.ini"_qs, m_programFolder));
    applyOptions();
}

void MainWindow::applyOptions()
{
    BatchOptions options;
    options.playSound = m_options.soundChoice == 0;
    options.lossless = m_options.losslessRotation == 1;
    options.keepMetadata = m_options.keepMetadata != 0;
    options.parallelJobs = m_options.parallelJobs;
    options.nameTemplate = m_options.naming.nameTemplate;
    options.keepTree = m_options.naming.keepTree;
    m_batch->setOptions(options);
    // Jobs added from now on take the clip range.
    std::optional<ClipRange> clip;
    if (m_options.clipEnabled == 1 && m_options.clipToSeconds > m_options.clipFromSeconds &&
        m_options.clipFromSeconds >= 0)
        clip = ClipRange{m_options.clipFromSeconds,
                         m_options.clipToSeconds - m_options.clipFromSeconds};
    m_settings.setClip(clip);
    // The lossless choice changes how a turned picture is sized.
    if (m_previewTimer)
        m_previewTimer->start();
}

void MainWindow::syncSettingControls()
{
    const QModelIndexList rows = jobListView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        formatList->setPlaceholderText(QString());
        rotationList->setPlaceholderText(QString());
        formatList->setCurrentIndex(m_settings.listedFormatEntry());
        rotationList->setCurrentIndex(m_settings.rotationEntry());
        return;
    }
    // One entry where the selected jobs agree; where they differ, the list says so.
    // By row: this runs on every change of a row's progress.
    QSet<int> formats, rotations;
    for (const QModelIndex &row : rows) {
        const JobSettings &settings = m_jobs.job(row.row()).settings;
        formats << Formats::at(settings.format).listedEntry;
        rotations << ConversionSettings::rotationEntryOf(settings.rotation);
        if (formats.size() > 1 && rotations.size() > 1)
            break;
    }
    for (const auto &[list, entries] :
         {std::pair{formatList, formats}, std::pair{rotationList, rotations}}) {
        list->setPlaceholderText(entries.size() > 1 ? u"（多种）"_qs : QString());
        list->setCurrentIndex(entries.size() == 1 ? *entries.cbegin() : -1);
    }
}

bool MainWindow::isBareBackground(const QPoint &pos) const
{
    return rect().contains(pos) && !childAt(pos);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && isBareBackground(pos)) {
        event->accept();
        Q_EMIT windowDragRequested();
        if (QWindow *window = windowHandle())
            window->startSystemMove();
        return;
    }
    if (event->button() == Qt::RightButton && isBareBackground(pos)) {
        event->accept();
        m_commands->aboutMenu->popup(event->globalPosition().toPoint());
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (isBareBackground(event->position().toPoint()))
        resetLinkHover();
    QWidget::mouseMoveEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Before start-up has made the controls, there is nothing to place.
    if (previewPanel)
        placeControls();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_batch->isBusy()) {
        if (m_askBeforeClose && !m_closeAfterStop &&
            // Enter keeps converting; quitting takes a deliberate choice.
            messages()->ask(MessageSink::Icon::Question, u"Torvane"_qs,
                            u"正在转换视频，确定要退出吗？"_qs, {u"退出"_qs, u"取消"_qs}, 1) != 0) {
            event->ignore();
            return;
        }
        // Stops like "立即停止": the encoder ends and its unfinished file goes.
        m_closeAfterStop = true;
        m_batch->stop(BatchController::StopMode::Now);
        if (m_batch->isBusy()) {
            event->ignore(); // closes once the encoder has ended
            return;
        }
    }
    m_search->cancel();
    if (!m_unloaded) {
        m_unloaded = true;
        saveWindowLayout();
        m_scratch.remove();
        detachSkin();
    }
    event->accept();
    Q_EMIT unloaded();
}
