#pragma once

#include "app/batchcaptions.h"
#include "app/messagesink.h"
#include "common/paths.h"
#include "conversion/batchcontroller.h"
#include "conversion/conversionsettings.h"
#include "conversion/jobrecord.h"
#include "conversion/previewmaker.h"
#include "dialogs/commondialogs.h"
#include "joblist/foldersearch.h"
#include "joblist/joblistmodel.h"
#include "joblist/savedqueue.h"
#include "process/scratchfolder.h"
#include "shell/commandchannel.h"
#include "shell/settingsfiles.h"

#include <QCache>
#include <QDBusConnection>
#include <QImage>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class ClickableLabel;
class EndNotification;
class LauncherProgress;
class WindowCommands;
class StartOverlay;
class HoverLinkLabel;
class JobListView;
class PathLineEdit;
class PreviewPanel;
class RecordWindow;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QMimeData;
class QProgressBar;
class QTimer;
class QPushButton;
class QToolButton;

// What the window reaches outside itself. Tests replace each of them, so no
// real dialog, file manager, browser or sound is ever started by a test.
struct WindowServices
{
    MessageSink *messages = nullptr;         // nullptr: message boxes over the window
    DialogRunner *dialogs = nullptr;         // nullptr: Qt's dialogs
    CompletionActions *completion = nullptr; // nullptr: file manager and completion sound
    // Empty: the desktop's handler. False: nothing could open it.
    std::function<bool(const QUrl &)> openUrl;
    QString programFolder; // empty: the folder of the executable
    // Shows the options dialog modally; empty: OptionsDialog.
    std::function<void(OptionValues &values, const QString &optionsFile)> showOptions;
    // Where the window's size and columns are kept: nullopt, window.ini beside
    // setup.ini; empty, nowhere.
    std::optional<QString> windowFile;
    // Where the job list is kept as it changes: nullopt, the user's state
    // folder; empty, nowhere.
    std::optional<QString> queueFile;
    // Where the launcher's progress and the notification at the end go;
    // nullopt: the user's session bus.
    std::optional<QDBusConnection> desktopBus;
};

class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // The designed size, now the smallest.
    static constexpr int ClientWidth = 565;
    static constexpr int ClientHeight = 470;
    // The preview beside the list, when the window is wide enough for it.
    static constexpr int PreviewWidth = 220;
    static constexpr int ToolbarButtons = 6;
    static constexpr int ToolIconSide = 36;
    static constexpr int StartIconSide = 32;
    // The last ended jobs the record window shows from the log.
    static constexpr int RecordsShown = 1000;
    // How long the current job stays put before its preview is made.
    static constexpr int PreviewSettleMs = 150;
    // How long a note on changed settings stands in for a batch's progress.
    static constexpr int NoteShownMs = 5000;

    // The desktop entry's name, without ".desktop".
    static QString desktopId() { return u"io.github.torvane.Torvane"_qs; }
    // The help page shipped with the program, at a section; 访问网站 and
    // 意见反馈 lead there too.
    QUrl helpUrl(const QString &section = {}) const;
    // The open dialog's filter: video and audio types first, then every file.
    static QString sourceFileFilter();
    // Tahoma where it exists, else a family that has the Chinese glyphs.
    static QFont chooseWindowFont();

    explicit MainWindow(const WindowServices &services = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    // What the commands do (see WindowCommands for how they are given).
    void addFileByDialog();
    void addFolder();
    void browseOutputFolder();
    void startBatch();
    void stopBatch(BatchController::StopMode mode);
    // SIGTERM and SIGINT: stop the batch at once, then close without asking.
    void requestQuit();
    void removeSelectedJob();
    // Every failed (and stopped) job waits again.
    void retryFailedJobs();
    void removeAllJobs();
    // A click on toolbar button index (0 to 5): the start screen goes, the
    // button's command runs.
    void toolbarButtonClicked(int index);
    void openWebSite();
    void openHelp();
    void sendFeedback();
    void showAbout();
    // The record of ended jobs, this run's and the last ones before it.
    QWidget *showRecords();
    // Offers the list the last run left unconverted, then keeps the list on
    // disk from now on.
    void offerSavedQueue();
    // Files given to the program (the command line, Open with, a second start).
    void addFiles(const QStringList &paths);
    // Shows the current job as it will come out, made in the background.
    void updatePreview();
    void saveAndExit();
    void resetLinkHover();

    // The two drop areas.
    void dropOnJobList(const QMimeData *data);
    void dropOnStartOverlay(const QMimeData *data);

    JobQueue &jobList() { return m_jobs; }
    JobListModel &jobListModel() { return m_jobModel; }
    ConversionSettings &conversionSettings() { return m_settings; }
    BatchController &batch() { return *m_batch; }
    CommandChannel &commandChannel() { return m_commandChannel; }
    const OptionValues &optionValues() const { return m_options; }
    WindowCommands &commands() const { return *m_commands; }
    QMenu *removeMenu() const;
    CommonDialogs &commonDialogs() { return m_commonDialogs; }
    QString lastFileFolder() const { return m_lastFileFolder; }
    QString programFolder() const { return m_programFolder; }
    bool isSearching() const;
    bool isBatchLocked() const { return m_locked; }
    QString captionText() const { return m_captions.caption(); }
    QString positionText() const { return m_captions.position(); }
    QString hintText() const;
    QMenu *stopMenu() const;
    // The menu of a job row, as the right button opens it.
    QMenu *jobMenu(int row);
    // Shows what the encoders of these jobs printed, in a window of its own.
    QWidget *showEncoderOutput(const QList<quint64> &ids);

Q_SIGNALS:
    // The window asked the window system to move it with the pointer.
    void windowDragRequested();
    void folderSearchDone();
    // The window has been closed and cleaned up; the program ends now.
    void unloaded();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createControls();
    void connectCommands();
    void connectControls();
    void placeControls();
    void placeSettingsRow(int dx, int dy);
    void sizeJobListColumns();
    void restoreWindowLayout();
    void saveWindowLayout() const;
    void startUp();
    void restoreSetup();
    // The file and folder dialogs open here next time, after a restart too.
    void rememberFolder(const QString &folder);
    void loadOptions();
    void applyOptions();
    void showOptionsDialog();
    bool isBareBackground(const QPoint &pos) const;
    void showRemoveMenu();
    QList<quint64> selectedJobIds() const;
    // The jobs a row's menu is for: the selected ones when it was opened on
    // one of them, else its own.
    QList<quint64> menuJobIds(int row) const;
    // These jobs, in list order.
    QList<const Job *> jobsWithIds(const QList<quint64> &ids) const;
    // Changes these jobs' settings, to be taken back by 撤销; the caption line
    // says how many changed. forNewJobs: the change made to the new jobs' settings too.
    void changeJobSettings(const QList<quint64> &ids,
                           const std::function<void(JobSettings &)> &change,
                           const std::function<void()> &forNewJobs = {});
    // A choice of the format or rotation list: for the selected jobs; with
    // none selected, for the jobs added from now on and the waiting ones.
    void applyChoiceToJobs(const std::function<void(JobSettings &)> &change,
                           const std::function<void()> &forNewJobs);
    void undoSettingsChange();
    // What a change of settings did, in the caption line.
    void showNote(const QString &note);
    void addSettingsMenus(QMenu *menu, const QList<quint64> &ids);

    void setBatchLocked(bool locked);
    void batchStateChanged(BatchController::State state);
    // Start, stop, stopping or paused, as the batch stands.
    void updateStartButton();
    void showProgress(const ProgressDisplay &display);
    void showPosition(const BatchPosition &position);
    void batchEnded(const BatchSummary &summary);
    void showFailureSummary(const BatchSummary &summary);
    void batchFailed(FailureReason reason, const QString &detail);
    void recordJob(const JobRecord &record);
    void connectPreview();
    void previewReady(const QString &key, const QString &file);
    void previewFailed(const QString &key, FailureReason reason);
    void showCachedPreview(const QString &key);
    void listChanged();
    void updateCaption();
    // The batch's share done in the title and on the launcher.
    void updateBatchShare();
    // The end of a batch said on the desktop when the window is not in front.
    void notifyBatchEnd(const BatchSummary &summary);
    void updateHint();
    void folderSearchFinished(const FolderSearchResult &result);
    void syncSettingControls();
    bool launch(const QUrl &url);
    void openUrl(const QUrl &url);
    MessageSink *messages() const;

    WindowServices m_services;
    std::unique_ptr<MessageSink> m_ownMessages;
    std::unique_ptr<CompletionActions> m_ownCompletion;
    std::unique_ptr<DialogRunner> m_ownDialogs;
    DialogRunner *m_dialogRunner = nullptr;
    QString m_programFolder;

    ConversionSettings m_settings;
    JobQueue m_jobs;
    JobListModel m_jobModel{m_jobs};
    CommonDialogs m_commonDialogs;
    CommandChannel m_commandChannel;
    OptionValues m_options;
    WindowCommands *m_commands = nullptr;
    bool m_unloaded = false;
    ScratchFolder m_scratch;
    BatchController *m_batch = nullptr;
    BatchCaptions m_captions;
    JobHistory m_history;
    QList<JobRecord> m_unwrittenRecords; // kept here when the log could not take them
    QPointer<RecordWindow> m_recordWindow;
    PreviewMaker *m_previewMaker = nullptr;
    QTimer *m_previewTimer = nullptr; // lets a quick run over the list settle first
    QTimer *m_noteTimer = nullptr;    // how long a batch's caption makes way for a note
    QCache<QString, QImage> m_previews;
    QString m_previewKey; // of the job the panel is for
    bool m_searchedFolder = false;
    bool m_closeAfterStop = false;
    bool m_askBeforeClose = true;
    FolderSearch *m_search = nullptr;
    QString m_lastFileFolder;
    bool m_locked = false;
    // The batch as its signals last told it.
    BatchController::State m_batchState = BatchController::State::Idle;
    bool m_paused = false;
    QString m_windowFile;
    SavedQueue *m_savedQueue = nullptr;
    std::unique_ptr<LauncherProgress> m_launcher;
    EndNotification *m_endNotification = nullptr;
    // The name's share of the list's width beside the short columns; the
    // status column takes the rest. Short columns the user sized keep their width.
    double m_nameShare = 0.5;
    std::array<int, JobListModel::ColumnCount> m_columnWidths{};
    bool m_sizingColumns = false;
    // A change of job settings, as 撤销 takes it back.
    struct SettingsChange
    {
        JobQueue::SettingsBefore jobs;
        // The rotation and format list entries the new jobs had before, when
        // the change was theirs too.
        std::optional<std::pair<int, int>> newJobs;
    };
    QList<SettingsChange> m_undo;

    std::array<QToolButton *, ToolbarButtons> toolbarButtons{};
    StartOverlay *startOverlay = nullptr;
    QLabel *jobListCaption = nullptr;
    JobListView *jobListView = nullptr;
    QFrame *emptyListHint = nullptr;
    QLabel *emptyListHintText = nullptr;
    QLabel *formatCaption = nullptr;
    QLabel *rotationCaption = nullptr;
    QLabel *outputFolderCaption = nullptr;
    QComboBox *formatList = nullptr;
    QComboBox *rotationList = nullptr;
    PathLineEdit *outputFolderEdit = nullptr;
    QPushButton *browseButton = nullptr;
    QPushButton *startButton = nullptr;
    QLabel *progressCaption = nullptr;
    QLabel *positionLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    ClickableLabel *webLink = nullptr;
    HoverLinkLabel *feedbackLink = nullptr;
    QToolButton *helpMenuButton = nullptr;
    PreviewPanel *previewPanel = nullptr;
};
