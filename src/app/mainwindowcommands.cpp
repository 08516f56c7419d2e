// What the window's commands do.
#include "mainwindow.h"

#include "chromewidgets.h"
#include "conversion/conversionsettings.h"
#include "desktopactions.h"
#include "optionsdialog.h"
#include "process/programfiles.h"
#include "recordwindow.h"
#include "texts/statustexts.h"
#include "version.h"
#include "windowcommands.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

QUrl MainWindow::helpUrl(const QString &section) const
{
    // Until the project has a home of its own, the help it ships is its site.
    QUrl url = QUrl::fromLocalFile(programDataFile(m_programFolder, u"help.html"_qs));
    if (!section.isEmpty())
        url.setFragment(section);
    return url;
}

QString MainWindow::sourceFileFilter()
{
    // The containers ffmpeg reads that people keep videos and sound in.
    static const char16_t *const extensions[] = {
        u"mp4", u"m4v", u"mov", u"mkv", u"webm", u"avi",  u"mpg", u"mpeg", u"ts",   u"m2ts",
        u"mts", u"flv", u"3gp", u"3g2", u"wmv",  u"asf",  u"ogv", u"rm",   u"rmvb", u"dv",
        u"vob", u"mp3", u"m4a", u"aac", u"wav",  u"flac", u"ogg", u"wma",  u"amr"};
    QStringList patterns;
    for (const char16_t *extension : extensions)
        patterns << u"*."_qs + QString::fromUtf16(extension);
    return u"视频和音频文件|"_qs + patterns.join(u';') + u"|全部格式(*.*)|*.*"_qs;
}

bool MainWindow::isSearching() const
{
    return m_search->isRunning();
}

void MainWindow::addFileByDialog()
{
    m_commonDialogs.setTitle(u"打开文件"_qs);
    if (!m_lastFileFolder.isEmpty())
        m_commonDialogs.setPath(m_lastFileFolder);
    m_commonDialogs.setFilter(sourceFileFilter());
    if (!m_commonDialogs.showOpenFiles())
        return;
    rememberFolder(folderOf(m_commonDialogs.fileName()));
    m_jobs.addJobs(m_commonDialogs.fileNames());
    emptyListHint->setVisible(m_jobs.isEmpty());
}

void MainWindow::offerSavedQueue()
{
    if (!m_savedQueue || m_savedQueue->isKeeping())
        return;
    const QList<Job> kept = SavedQueue::read(m_savedQueue->file());
    if (!kept.isEmpty() &&
        messages()->ask(MessageSink::Icon::Question, u"Torvane"_qs,
                        u"上次还有 %1 个视频没有转换，要继续吗？"_qs.arg(kept.size()),
                        {u"继续"_qs, u"不用了"_qs}, 0) == 0) {
        startOverlay->hide();
        m_jobs.addJobs(kept);
        emptyListHint->setVisible(m_jobs.isEmpty());
    }
    // A list declined is gone: the file now holds the list as it is.
    m_savedQueue->keep();
}

void MainWindow::addFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    startOverlay->hide();
    QStringList files;
    for (const QString &path : paths) {
        // A folder is searched as 添加文件夹 does, one at a time.
        if (RawFile::isDirectory(path)) {
            if (!m_search->isRunning() && m_search->start(path))
                updateHint();
        } else {
            files << path;
        }
    }
    m_jobs.addJobs(files);
    emptyListHint->setVisible(m_jobs.isEmpty() || m_search->isRunning());
}

void MainWindow::rememberFolder(const QString &folder)
{
    if (folder.isEmpty() || folder == m_lastFileFolder)
        return;
    m_lastFileFolder = folder;
    // Written at once, not on Exit: the folder is worth keeping however the window ends.
    writeFoldersFile(settingsFilePath(u"folders.ini"_qs, m_programFolder), folder);
}

void MainWindow::addFolder()
{
    // One search at a time; the hint already says that one is running.
    if (m_search->isRunning())
        return;
    const std::optional<QString> folder =
        m_dialogRunner->browseFolder(this, u"选择一个文件夹:"_qs, m_lastFileFolder);
    m_searchedFolder = true;
    if (folder)
        rememberFolder(*folder);
    const bool started = folder && !folder->isEmpty() && m_search->start(*folder);
    updateHint();
    emptyListHint->show();
    if (!started)
        folderSearchFinished({});
}

void MainWindow::folderSearchFinished(const FolderSearchResult &result)
{
    m_jobs.addJobs(result.files, result.root);
    updateHint();
    emptyListHint->setVisible(m_jobs.isEmpty());
    if (!result.unreadable.isEmpty()) {
        // Said once, after the search, so no file is left out without a word.
        constexpr int MaxListed = 10;
        QString text =
            u"以下 %1 个文件夹无法读取，其中的视频没有加入列表："_qs.arg(result.unreadable.size());
        for (int i = 0; i < result.unreadable.size() && i < MaxListed; ++i)
            text += u"\n"_qs + displayPath(result.unreadable[i]);
        if (result.unreadable.size() > MaxListed)
            text += u"\n……"_qs;
        messages()->showMessage(MessageSink::Icon::Warning, u"添加文件夹"_qs, text);
    }
    Q_EMIT folderSearchDone();
}

QString MainWindow::hintText() const
{
    if (m_search->isRunning())
        return u"搜索中..."_qs;
    return m_searchedFolder ? u"拖拽您的视频到这里"_qs : u"拖拽您的视频文件到这里"_qs;
}

void MainWindow::updateHint()
{
    emptyListHintText->setText(hintText());
}

void MainWindow::browseOutputFolder()
{
    const std::optional<QString> folder =
        m_dialogRunner->browseFolder(this, u"选择一个文件夹:"_qs, m_settings.outputFolder());
    // A cancelled dialog leaves the folder as it was.
    if (folder && !folder->isEmpty())
        m_settings.setOutputFolder(*folder);
}

void MainWindow::dropOnJobList(const QMimeData *data)
{
    m_jobs.addJobs(droppedPaths(data));
    if (!m_jobs.isEmpty())
        emptyListHint->hide();
}

void MainWindow::dropOnStartOverlay(const QMimeData *data)
{
    startOverlay->hide();
    emptyListHint->hide();
    m_jobs.addJobs(droppedPaths(data));
}

QList<quint64> MainWindow::selectedJobIds() const
{
    QList<quint64> ids;
    for (const QModelIndex &row : jobListView->selectionModel()->selectedRows())
        ids << m_jobs.job(row.row()).id;
    return ids;
}

void MainWindow::removeSelectedJob()
{
    m_jobs.removeJobs(selectedJobIds());
    if (m_jobs.isEmpty())
        emptyListHint->show();
}

void MainWindow::changeJobSettings(const QList<quint64> &ids,
                                   const std::function<void(JobSettings &)> &change,
                                   const std::function<void()> &forNewJobs)
{
    SettingsChange taken;
    if (forNewJobs) {
        taken.newJobs = std::pair{m_settings.rotationEntry(), m_settings.listedFormatEntry()};
        forNewJobs();
    }
    taken.jobs = m_jobs.changeSettings(ids, change);
    if (taken.jobs.isEmpty() && !forNewJobs)
        return;
    m_undo << taken;
    m_commands->undo->setEnabled(true);
    // The count first: where the line is short, its end gives way.
    QString note = taken.jobs.isEmpty()
                       ? u"没有视频需要更改"_qs
                       : (forNewJobs ? u"已更改 %1 个等待转换的视频"_qs : u"已更改 %1 个视频"_qs)
                             .arg(taken.jobs.size());
    if (forNewJobs)
        note += u"，新加入的视频也将使用此设置"_qs;
    showNote(note + u"（Ctrl+Z 撤销）"_qs);
}

void MainWindow::applyChoiceToJobs(const std::function<void(JobSettings &)> &change,
                                   const std::function<void()> &forNewJobs)
{
    QList<quint64> ids = selectedJobIds();
    if (!ids.isEmpty()) {
        changeJobSettings(ids, change);
        return;
    }
    // Failed jobs keep theirs: they are not waiting until retried.
    for (const Job &job : m_jobs.jobs()) {
        if (job.state == JobState::Waiting || job.state == JobState::Stopped)
            ids << job.id;
    }
    changeJobSettings(ids, change, forNewJobs);
}

void MainWindow::undoSettingsChange()
{
    if (m_undo.isEmpty())
        return;
    const SettingsChange taken = m_undo.takeLast();
    m_commands->undo->setEnabled(!m_undo.isEmpty());
    if (taken.newJobs) {
        m_settings.selectRotation(taken.newJobs->first);
        m_settings.selectListedFormat(taken.newJobs->second);
    }
    m_jobs.restoreSettings(taken.jobs);
    showNote(taken.jobs.isEmpty() ? u"已撤销"_qs
                                  : u"已撤销：%1 个视频恢复了原来的设置"_qs.arg(taken.jobs.size()));
}

void MainWindow::showNote(const QString &note)
{
    m_captions.setNote(note);
    m_noteTimer->start();
    updateCaption();
}

void MainWindow::removeAllJobs()
{
    m_jobs.removeAllJobs();
    emptyListHint->show();
}

void MainWindow::startBatch()
{
    switch (m_batch->start()) {
    case BatchController::StartResult::EmptyList:
        messages()->showMessage(MessageSink::Icon::Warning, u"添加"_qs, u"请添加一个视频文件"_qs);
        break;
    case BatchController::StartResult::Started:
        // The batch writes into the folder as the user sees it, separator included.
        outputFolderEdit->setText(withTrailingSeparator(outputFolderEdit->text()));
        m_settings.setOutputFolder(outputFolderEdit->text());
        break;
    case BatchController::StartResult::NothingWaiting:
        messages()->showMessage(
            MessageSink::Icon::Information, u"开始"_qs,
            u"列表中的视频都转换失败了，没有等待转换的视频。\n"
            u"要重新转换，请选择“重试失败的视频”，或在视频上点右键选择“重试”。"_qs);
        break;
    case BatchController::StartResult::Busy:
    case BatchController::StartResult::OutputFolderUnusable:
        break;
    }
}

void MainWindow::retryFailedJobs()
{
    m_jobs.retryAll();
    listChanged();
}

void MainWindow::stopBatch(BatchController::StopMode mode)
{
    m_batch->stop(mode);
}

void MainWindow::requestQuit()
{
    m_askBeforeClose = false;
    close();
}

void MainWindow::toolbarButtonClicked(int index)
{
    startOverlay->hide();
    QAction *command = m_commands->toolbarAction(index);
    if (command && command->isEnabled())
        command->trigger();
}

QMenu *MainWindow::removeMenu() const
{
    return m_commands->removeMenu;
}

QMenu *MainWindow::stopMenu() const
{
    return m_commands->stopMenu;
}

void MainWindow::showRemoveMenu()
{
    QToolButton *button = toolbarButtons[2];
    m_commands->removeMenu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

bool MainWindow::launch(const QUrl &url)
{
    return m_services.openUrl ? m_services.openUrl(url) : QDesktopServices::openUrl(url);
}

void MainWindow::openUrl(const QUrl &url)
{
    if (!launch(url))
        reportOpenFailure(messages(), url);
}

void MainWindow::openWebSite()
{
    openUrl(helpUrl());
}

void MainWindow::openHelp()
{
    openUrl(helpUrl());
}

void MainWindow::sendFeedback()
{
    openUrl(helpUrl(u"feedback"_qs));
}

void MainWindow::showAbout()
{
    messages()->showMessage(
        MessageSink::Icon::NoIcon, u"关于"_qs,
        u"Torvane %1 批量旋转、镜像视频的小工具。"_qs.arg(QStringLiteral(TORVANE_VERSION)));
}

QWidget *MainWindow::showRecords()
{
    if (!m_recordWindow) {
        QList<JobRecord> records = m_history.last(RecordsShown);
        records += m_unwrittenRecords;
        m_recordWindow = new RecordWindow(
            records, [this](const QUrl &url) { openUrl(url); }, this);
        m_recordWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_recordWindow->setFont(font());
    }
    m_recordWindow->show();
    m_recordWindow->raise();
    m_recordWindow->activateWindow();
    return m_recordWindow;
}

void MainWindow::recordJob(const JobRecord &record)
{
    if (!m_history.append(record))
        m_unwrittenRecords << record;
    if (m_recordWindow)
        m_recordWindow->add(record);
}

void MainWindow::saveAndExit()
{
    writeSetupFile(settingsFilePath(u"setup.ini"_qs, m_programFolder),
                   m_settings.entry(ConversionSettings::AudioBitrate),
                   m_settings.entry(ConversionSettings::SampleRate), m_settings.channelEntry(),
                   outputFolderEdit->text(), m_settings.format());
    close();
}

void MainWindow::resetLinkHover()
{
    feedbackLink->setHover(false);
}

void MainWindow::showOptionsDialog()
{
    const QString file = settingsFilePath(u"options.ini"_qs, m_programFolder);
    if (m_services.showOptions) {
        m_services.showOptions(m_options, file);
    } else {
        OptionsDialog dialog(m_options, file, messages(), this);
        dialog.exec();
    }
    applyOptions();
}

QList<const Job *> MainWindow::jobsWithIds(const QList<quint64> &ids) const
{
    // One pass over the list, however many are selected.
    const QSet<quint64> wanted(ids.cbegin(), ids.cend());
    QList<const Job *> jobs;
    for (const Job &job : m_jobs.jobs()) {
        if (wanted.contains(job.id))
            jobs << &job;
    }
    return jobs;
}

QList<quint64> MainWindow::menuJobIds(int row) const
{
    QList<quint64> ids = selectedJobIds();
    if (!ids.contains(m_jobs.job(row).id))
        ids = {m_jobs.job(row).id};
    return ids;
}

QMenu *MainWindow::jobMenu(int row)
{
    if (row < 0 || row >= m_jobs.count())
        return nullptr;
    const Job &job = m_jobs.job(row);
    const QList<quint64> ids = menuJobIds(row);
    bool anyIdle = false, anyRetried = false, anyOutput = false;
    for (const Job *j : jobsWithIds(ids)) {
        anyIdle = anyIdle || j->state != JobState::Running;
        anyRetried = anyRetried || j->state == JobState::Failed || j->state == JobState::Stopped;
        anyOutput = anyOutput || !j->encoderOutput.isEmpty();
    }
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString several = ids.size() > 1 ? u"（%1 个视频）"_qs.arg(ids.size()) : QString();
    menu->addAction(u"移除"_qs + several, this,
                    [this, ids] {
                        m_jobs.removeJobs(ids);
                        emptyListHint->setVisible(m_jobs.isEmpty());
                    })
        ->setEnabled(anyIdle);
    menu->addAction(u"重试"_qs + several, this,
                    [this, ids] {
                        for (const quint64 id : ids)
                            m_jobs.retry(id);
                        listChanged();
                    })
        ->setEnabled(anyRetried);
    menu->addAction(m_commands->retryFailed);
    addSettingsMenus(menu, ids);
    menu->addAction(m_commands->undo);
    menu->addSeparator();
    const QString folder = folderOf(job.source);
    menu->addAction(u"打开所在文件夹"_qs, this,
                    [this, folder] { openUrl(QUrl::fromLocalFile(folder)); })
        ->setEnabled(!folder.isEmpty());
    menu->addAction(u"查看编码器输出"_qs, this, [this, ids] { showEncoderOutput(ids); })
        ->setEnabled(anyOutput);
    return menu;
}

// The settings of the jobs the menu is for, ticked where all of them agree.
void MainWindow::addSettingsMenus(QMenu *menu, const QList<quint64> &ids)
{
    QList<JobSettings> settings;
    bool anyWaiting = false;
    for (const Job *job : jobsWithIds(ids)) {
        settings << job->settings;
        anyWaiting = anyWaiting || job->state != JobState::Running;
    }
    const auto allAgree = [&](auto same) {
        return std::all_of(settings.cbegin(), settings.cend(), same);
    };

    QMenu *rotations = menu->addMenu(u"旋转方式"_qs);
    const QStringList rotationTexts = ConversionSettings::rotationTexts();
    for (int entry = 0; entry < rotationTexts.size(); ++entry) {
        const PictureTransform rotation = ConversionSettings::rotationOfEntry(entry);
        QAction *choice = rotations->addAction(rotationTexts[entry], this, [this, ids, rotation] {
            changeJobSettings(ids, [rotation](JobSettings &job) { job.rotation = rotation; });
        });
        choice->setCheckable(true);
        choice->setChecked(allAgree([&](const JobSettings &s) { return s.rotation == rotation; }));
    }
    QMenu *formats = menu->addMenu(u"输出格式"_qs);
    const QStringList formatTexts = Formats::listedNames();
    for (int entry = 0; entry < formatTexts.size(); ++entry) {
        const int format = Formats::formatOfListedEntry(entry);
        QAction *choice = formats->addAction(formatTexts[entry], this, [this, ids, format] {
            changeJobSettings(ids, [format](JobSettings &job) { job.setFormat(format); });
        });
        choice->setCheckable(true);
        choice->setChecked(allAgree([&](const JobSettings &s) { return s.format == format; }));
    }
    const bool ignoring = allAgree(
        [](const JobSettings &s) { return s.sourceOrientation == SourceOrientation::Ignore; });
    QAction *ignore = menu->addAction(u"忽略原视频的方向信息"_qs, this, [this, ids, ignoring] {
        changeJobSettings(ids, [ignoring](JobSettings &job) {
            job.sourceOrientation =
                ignoring ? SourceOrientation::Follow : SourceOrientation::Ignore;
        });
    });
    ignore->setCheckable(true);
    ignore->setChecked(ignoring);
    ignore->setToolTip(
        u"视频的方向信息有误时（有些手机和运动相机会写错），按画面实际存储的方向处理"_qs);
    for (QAction *action : {rotations->menuAction(), formats->menuAction(), ignore})
        action->setEnabled(anyWaiting);
}

QWidget *MainWindow::showEncoderOutput(const QList<quint64> &ids)
{
    QString text;
    for (const Job *job : jobsWithIds(ids)) {
        if (!text.isEmpty())
            text += u"\n\n"_qs;
        text += u"== "_qs + displayPath(job->source) + u" ==\n"_qs + job->encoderOutput;
    }
    auto *dialog = new QDialog(this);
    keepCloseButtonOnly(dialog);
    dialog->setObjectName(u"encoderOutput"_qs);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(u"编码器输出"_qs);
    auto *view = new QPlainTextEdit(text, dialog);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    dialog->resize(640, 400);
    dialog->show();
    view->moveCursor(QTextCursor::End);
    return dialog;
}
