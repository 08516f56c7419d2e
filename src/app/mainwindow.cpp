#include "mainwindow.h"

#include "appicon.h"
#include "chromewidgets.h"
#include "desktopactions.h"
#include "optionsdialog.h"
#include "pictures.h"
#include "process/deletefolder.h"
#include "process/programfiles.h"
#include "skin.h"
#include "texts/statustexts.h"
#include "version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

// The layout is designed in twips; 15 twips are one pixel at 96 dots per inch.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

QRect designed(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

const char *const DesignedRect = "designedRect";

// A label keeps its designed place but grows until its caption fits whole:
// the designed widths were measured for Tahoma, not for the Chinese fonts.
void fitToText(QLabel *label)
{
    const QRect rect = label->property(DesignedRect).toRect();
    const QSize hint = label->sizeHint();
    label->setGeometry(rect.x(), rect.y(), std::max(rect.width(), hint.width()),
                       std::max(rect.height(), hint.height()));
}

void placeLabel(QLabel *label, const QRect &rect)
{
    label->setProperty(DesignedRect, rect);
    fitToText(label);
}

struct ToolButtonDesign
{
    int leftTwips;
    const char16_t *name;
    const char16_t *caption;
    const char16_t *toolTip;
    const char16_t *keys; // shown in the tool tip; nullptr: none
    Pictures::Tool picture;
};

// Indexed by button index; buttons 3 and 4 stand in swapped places.
const ToolButtonDesign toolButtons[MainWindow::ToolbarButtons] = {
    {0, u"addVideoButton", u"添加视频", u"添加文件", u"Ctrl+O", Pictures::Tool::AddVideo},
    {1410, u"addFolderButton", u"添加文件夹", u"从文件夹添加多个文件", u"Ctrl+Shift+O",
     Pictures::Tool::AddFolder},
    {2820, u"removeVideoButton", u"移除视频", u"从列表中删除文件", u"Delete / Ctrl+Shift+Delete",
     Pictures::Tool::RemoveVideo},
    {5640, u"webSiteButton", u"访问网站", u"访问网站", nullptr, Pictures::Tool::Web},
    {4230, u"optionsButton", u"选项设置", u"设置", u"Ctrl+,", Pictures::Tool::Options},
    {7050, u"exitButton", u"退出程序", u"退出程序", u"Ctrl+Q", Pictures::Tool::Exit},
};

QString withKeys(const QString &toolTip, const char16_t *keys)
{
    return keys ? toolTip + u" ("_qs + QString::fromUtf16(keys) + u')' : toolTip;
}

// A caption quoted in a message stays on one line: word joiners between its
// characters forbid the line breaks that Chinese text otherwise allows anywhere.
QString unbroken(const QString &caption)
{
    QString joined;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (i > 0 && !caption[i].isLowSurrogate())
            joined += QChar(0x2060);
        joined += caption[i];
    }
    return joined;
}

// Enough rows to say what went wrong without a message box taller than the screen.
constexpr int MaxListedFailures = 15;

} // namespace

namespace {

const QColor FailedColour(0xc6, 0x28, 0x28);

// A red round mark with a white bar, drawn so it is sharp at any scale.
QIcon failedMark()
{
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 24, 32, 48}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(FailedColour);
            p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
            p.setBrush(Qt::white);
            const double w = size / 8.0;
            p.drawRoundedRect(QRectF(size / 2.0 - w / 2, size * 0.22, w, size * 0.38), w / 2,
                              w / 2);
            p.drawEllipse(QRectF(size / 2.0 - w / 1.6, size * 0.68, w * 1.25, w * 1.25));
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}

} // namespace

QVariant presentJob(const Job &job, int column, int role)
{
    const bool status = column == JobListModel::StatusColumn;
    switch (role) {
    case Qt::DisplayRole:
        if (status) {
            QString text = StatusTexts::jobStatus(job.state, job.fraction, job.failure);
            if (job.state == JobState::Running && !job.losslessRefusal.isEmpty())
                text += u"（"_qs + StatusTexts::losslessRefusal(job.losslessRefusal) + u"）"_qs;
            return text;
        }
        break;
    case Qt::ToolTipRole:
        if (status && job.state == JobState::Failed)
            return StatusTexts::failure(job.failure) +
                   (job.failureDetail.isEmpty() ? QString() : u"\n"_qs + job.failureDetail);
        if (status && !job.losslessRefusal.isEmpty())
            return StatusTexts::losslessRefusal(job.losslessRefusal);
        break;
    case Qt::ForegroundRole:
        if (job.state == JobState::Failed)
            return FailedColour;
        break;
    case Qt::DecorationRole:
        if (status && job.state == JobState::Failed)
            return failedMark();
        break;
    case Qt::FontRole:
        if (job.state == JobState::Running) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        break;
    default:
        break;
    }
    return {};
}

QString MainWindow::webAddress()
{
    return u"https://example.org/torvane/"_qs;
}

QUrl MainWindow::feedbackUrl()
{
    QUrl url(u"mailto:feedback@example.org"_qs);
    QUrlQuery query;
    query.addQueryItem(u"subject"_qs, u"意见反馈 - Torvane"_qs);
    url.setQuery(query);
    return url;
}

QFont MainWindow::chooseWindowFont()
{
    const QStringList families = QFontDatabase::families();
    QString family;
    if (families.contains(u"Tahoma"_qs)) {
        family = u"Tahoma"_qs;
    } else {
        static const QStringList preferred{u"Microsoft YaHei"_qs,  u"WenQuanYi Micro Hei"_qs,
                                           u"Noto Sans CJK SC"_qs, u"Source Han Sans SC"_qs,
                                           u"PingFang SC"_qs,      u"SimSun"_qs};
        for (const QString &candidate : preferred) {
            if (families.contains(candidate)) {
                family = candidate;
                break;
            }
        }
        if (family.isEmpty()) {
            const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
            if (!chinese.isEmpty())
                family = chinese.first();
        }
    }
    QFont font = QApplication::font();
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setPointSize(9);
    return font;
}

MainWindow::MainWindow(const WindowServices &services, QWidget *parent)
    : QWidget(parent), m_services(services),
      m_programFolder(services.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                       : services.programFolder)
{
    if (!m_services.messages)
        m_ownMessages = std::make_unique<MessageBoxSink>(this);
    CompletionActions *completion = m_services.completion;
    if (!completion) {
        auto *desktop = new DesktopCompletionActions(
            messages(), [this](const QUrl &url) { return launch(url); });
        m_ownCompletion.reset(desktop);
        completion = desktop;
    }
    m_dialogRunner = m_services.dialogs;
    if (!m_dialogRunner) {
        m_ownDialogs = std::make_unique<QtDialogRunner>();
        m_dialogRunner = m_ownDialogs.get();
    }

    m_jobs.setPresentation(presentJob);
    m_batch = new BatchController(m_settings, m_jobs, completion, this);
    m_batch->setProgramFolder(m_programFolder);
    if (m_scratch.isValid())
        m_batch->setScratchFolder(m_scratch.path());
    m_search = new FolderSearch(this);

    setObjectName(u"mainWindow"_qs);
    setWindowTitle(u"Torvane"_qs);
    setFont(chooseWindowFont());
    setFixedSize(ClientWidth, ClientHeight);
    // The designed layout has one size: no maximise button, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Pointer movements over the bare background reset the hover look.
    setMouseTracking(true);

    createControls();
    createMenus();
    createShortcuts();
    connectControls();
    startUp();
}

MainWindow::~MainWindow()
{
    // The batch's encoder may still report while members go away.
    delete m_batch;
    m_batch = nullptr;
}

MessageSink *MainWindow::messages() const
{
    return m_services.messages ? m_services.messages : m_ownMessages.get();
}

void MainWindow::createControls()
{
    for (int i = 0; i < ToolbarButtons; ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromUtf16(toolButtons[i].name));
        button->setText(QString::fromUtf16(toolButtons[i].caption));
        button->setToolTip(
            withKeys(QString::fromUtf16(toolButtons[i].toolTip), toolButtons[i].keys));
        button->setIcon(Pictures::toolIcon(toolButtons[i].picture, ToolIconSide));
        button->setIconSize(QSize(ToolIconSide, ToolIconSide));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        // Reached with Tab, but a click leaves the focus where it was.
        button->setFocusPolicy(Qt::TabFocus);
        toolbarButtons[size_t(i)] = button;
    }

    jobListCaption = new QLabel(u"文件列表:"_qs, this);
    jobListView = new JobListView(this);
    jobListView->setModel(&m_jobs);
    jobListView->header()->setSectionResizeMode(QHeaderView::Fixed);
    jobListView->header()->resizeSection(JobListModel::NameColumn, px(4350));
    jobListView->header()->resizeSection(JobListModel::TypeColumn, px(1000));
    jobListView->header()->setStretchLastSection(true);
    // Long paths keep their start and their file name.
    jobListView->setTextElideMode(Qt::ElideMiddle);
    jobListView->setContextMenuPolicy(Qt::CustomContextMenu);

    emptyListHint = new QFrame(this);
    emptyListHint->setFrameShape(QFrame::NoFrame);
    emptyListHint->setAutoFillBackground(true);
    emptyListHint->setBackgroundRole(QPalette::Base);
    // The hint lies over the list; drops and clicks go through it to the list.
    emptyListHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    emptyListHintText = new QLabel(u"拖拽您的视频文件到这里"_qs, emptyListHint);
    emptyListHintText->setAlignment(Qt::AlignCenter);
    emptyListHintText->setForegroundRole(QPalette::PlaceholderText);

    formatCaption = new QLabel(u"输出格式："_qs, this);
    rotationCaption = new QLabel(u"旋转方式："_qs, this);
    outputFolderCaption = new QLabel(u"保存路径："_qs, this);

    formatList = new QComboBox(this);
    formatList->addItems(Formats::listedNames());
    rotationList = new QComboBox(this);
    rotationList->addItems(ConversionSettings::rotationTexts());
    for (QComboBox *box : {formatList, rotationList}) {
        // The open list shows every entry whole, even where the box is narrower.
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
    }

    outputFolderEdit = new PathLineEdit(u"Select a Folder to Output"_qs, this);
    browseButton = new QPushButton(u"..."_qs, this);
    browseButton->setToolTip(u"Select an Output Folder"_qs);

    startButton = new QPushButton(u"开始旋转视频！"_qs, this);
    startButton->setIcon(Pictures::rotateIcon(StartIconSide));
    startButton->setToolTip(u"开始旋转列表中的视频 (Ctrl+Enter)"_qs);
    startButton->setIconSize(QSize(StartIconSide, StartIconSide));
    QFont bold = font();
    bold.setBold(true);
    startButton->setFont(bold);

    progressCaption = new QLabel(u"0%"_qs, this);
    positionLabel = new QLabel(this);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    webLink = new ClickableLabel(webAddress(), this);
    webLink->setForegroundRole(QPalette::Link);
    feedbackLink = new HoverLinkLabel(u"意见反馈"_qs, this);
    feedbackLink->setToolTip(u"Send us your suggestion or question"_qs);
    feedbackLink->setForegroundRole(QPalette::Link);

    helpMenuButton = new QToolButton(this);
    helpMenuButton->setText(u"帮助"_qs);
    helpMenuButton->setToolTip(u"帮助 (F1)、关于"_qs);
    helpMenuButton->setAutoRaise(true);
    helpMenuButton->setPopupMode(QToolButton::InstantPopup);
    helpMenuButton->setFocusPolicy(Qt::TabFocus);

    startOverlay = new StartOverlay(this);

    // While a batch runs the start button stops it, in one of two ways.
    m_stopMenu = new QMenu(this);
    m_stopMenu->setObjectName(u"stopMenu"_qs);
    connect(m_stopMenu->addAction(u"立即停止"_qs), &QAction::triggered, this,
            [this] { stopBatch(BatchController::StopMode::Now); });
    m_stopAfterJobAction = m_stopMenu->addAction(u"当前视频完成后停止"_qs);
    connect(m_stopAfterJobAction, &QAction::triggered, this,
            [this] { stopBatch(BatchController::StopMode::AfterCurrentJob); });

    const std::initializer_list<std::pair<QWidget *, const char16_t *>> names{
        {startOverlay, u"startOverlay"},
        {jobListCaption, u"jobListCaption"},
        {jobListView, u"jobListView"},
        {emptyListHint, u"emptyListHint"},
        {emptyListHintText, u"emptyListHintText"},
        {formatCaption, u"formatCaption"},
        {rotationCaption, u"rotationCaption"},
        {outputFolderCaption, u"outputFolderCaption"},
        {formatList, u"formatList"},
        {rotationList, u"rotationList"},
        {outputFolderEdit, u"outputFolderEdit"},
        {browseButton, u"browseButton"},
        {startButton, u"startButton"},
        {progressCaption, u"progressCaption"},
        {progressBar, u"progressBar"},
        {webLink, u"webLink"},
        {feedbackLink, u"feedbackLink"},
        {positionLabel, u"positionLabel"},
        {helpMenuButton, u"helpMenuButton"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QString::fromUtf16(name));
}

void MainWindow::placeControls()
{
    for (int i = 0; i < ToolbarButtons; ++i)
        toolbarButtons[size_t(i)]->setGeometry(designed(toolButtons[i].leftTwips, 0, 1420, 985));
    placeLabel(jobListCaption, designed(120, 1050, 780, 210));
    jobListView->setGeometry(designed(60, 1320, 8325, 3510));
    emptyListHint->setGeometry(designed(2760, 2850, 2445, 315));
    emptyListHintText->setGeometry(emptyListHint->rect());
    placeSettingsRow();
    startButton->setGeometry(designed(6060, 5790, 2295, 825));
    placeLabel(progressCaption, designed(2760, 5880, 345, 210));
    placeLabel(positionLabel, designed(120, 5880, 2580, 210));
    progressBar->setGeometry(designed(90, 6270, 5865, 315));
    placeLabel(webLink, designed(120, 6750, 3705, 195));
    // The feedback link is sized to its text, not to its designed box.
    feedbackLink->move(px(7620), px(6750));
    feedbackLink->resize(feedbackLink->sizeHint());
    // Help and About sit in the bottom strip, left of the feedback link.
    helpMenuButton->resize(helpMenuButton->sizeHint().width(),
                           std::max(feedbackLink->height(), ClientHeight - px(6690)));
    helpMenuButton->move(feedbackLink->x() - px(300) - helpMenuButton->width(),
                         feedbackLink->y() +
                             (feedbackLink->height() - helpMenuButton->height()) / 2);
    startOverlay->setGeometry(designed(30, 1020, 8445, 5670));

    emptyListHint->raise();
    startOverlay->raise();
}

// The row of the two lists and the folder box keeps its designed span, but the
// lists take the width their longest entry needs in the font in use; the
// folder box takes what is left, since it elides a long path anyway.
void MainWindow::placeSettingsRow()
{
    const QRect formatBox = designed(90, 5260, 2835, 330);
    const QRect rotationBox = designed(3030, 5265, 2355, 330);
    const QRect folderBox = designed(5490, 5265, 2055, 315);
    const QRect browseBox = designed(7620, 5280, 705, 300);
    const int gap = rotationBox.left() - formatBox.right() - 1;
    const int span = folderBox.right() + 1 - formatBox.left();
    const int minimumFolderWidth = px(1500);

    auto neededWidth = [](QComboBox *box) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        return box->sizeHint().width();
    };
    const int formatWidth = neededWidth(formatList);
    const int rotationWidth = neededWidth(rotationList);
    const int folderWidth =
        std::max(minimumFolderWidth, span - formatWidth - rotationWidth - 2 * gap);

    int x = formatBox.left();
    formatList->setGeometry(x, formatBox.top(), formatWidth, formatBox.height());
    x += formatWidth + gap;
    rotationList->setGeometry(x, rotationBox.top(), rotationWidth, rotationBox.height());
    x += rotationWidth + gap;
    outputFolderEdit->setGeometry(x, folderBox.top(), folderWidth, folderBox.height());
    browseButton->setGeometry(browseBox);

    // Each caption stands over its own box.
    const int captionTop = px(4980);
    const int captionInset = px(120) - px(90);
    for (auto [caption, box] : {std::pair<QLabel *, QWidget *>{formatCaption, formatList},
                                {rotationCaption, rotationList},
                                {outputFolderCaption, outputFolderEdit}})
        placeLabel(caption, QRect(box->x() + captionInset, captionTop, px(900), px(210)));
}

void MainWindow::connectControls()
{
    for (int i = 0; i < ToolbarButtons; ++i) {
        connect(toolbarButtons[size_t(i)], &QToolButton::clicked, this,
                [this, i] { toolbarButtonClicked(i); });
    }
    connect(startOverlay, &StartOverlay::clicked, startOverlay, &QWidget::hide);
    connect(startOverlay, &StartOverlay::dropped, this, &MainWindow::dropOnStartOverlay);
    connect(jobListView, &JobListView::dropped, this, &MainWindow::dropOnJobList);

    connect(formatList, &QComboBox::activated, this,
            [this](int entry) { m_settings.selectListedFormat(entry); });
    connect(rotationList, &QComboBox::activated, this,
            [this](int entry) { m_settings.selectRotation(entry); });
    connect(&m_settings, &ConversionSettings::changed, this, &MainWindow::syncSettingControls);
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
            m_stopMenu->popup(startButton->mapToGlobal(QPoint(0, startButton->height())));
        else
            startBatch();
    });
    connect(jobListView, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = jobListView->indexAt(pos);
        if (!index.isValid())
            return;
        jobListView->setCurrentIndex(index);
        if (QMenu *menu = jobMenu(index.row()))
            menu->popup(jobListView->viewport()->mapToGlobal(pos));
    });
    connect(webLink, &ClickableLabel::clicked, this, &MainWindow::openWebSite);
    connect(feedbackLink, &ClickableLabel::clicked, this, &MainWindow::sendFeedback);

    connect(m_batch, &BatchController::stateChanged, this, &MainWindow::batchStateChanged);
    connect(m_batch, &BatchController::progressChanged, this, &MainWindow::showProgress);
    connect(m_batch, &BatchController::jobStarted, this, &MainWindow::showPosition);
    connect(m_batch, &BatchController::positionChanged, this, &MainWindow::showPosition);
    connect(m_batch, &BatchController::batchEnded, this, &MainWindow::batchEnded);
    connect(m_batch, &BatchController::batchFailed, this, &MainWindow::batchFailed);
    // Whatever the user does to the list makes the last batch's word stale.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_jobs, signal, this, &MainWindow::listChanged);
    connect(&m_jobs, &QAbstractItemModel::modelReset, this, &MainWindow::listChanged);
    connect(m_search, &FolderSearch::finished, this, &MainWindow::folderSearchFinished);

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

void MainWindow::createShortcuts()
{
    auto shortcut = [this](const QList<QKeySequence> &keys, auto command) {
        auto *action = new QAction(this);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, command);
        addAction(action);
        return action;
    };
    // These follow the toolbar buttons they stand for, locked during a batch.
    m_batchLockedShortcuts = {
        shortcut({Qt::CTRL | Qt::Key_O}, [this] { toolbarButtonClicked(0); }),
        shortcut({Qt::CTRL | Qt::SHIFT | Qt::Key_O}, [this] { toolbarButtonClicked(1); }),
        shortcut({Qt::CTRL | Qt::SHIFT | Qt::Key_Delete},
                 [this] {
                     startOverlay->hide();
                     removeAllJobs();
                 }),
        shortcut({Qt::CTRL | Qt::Key_Comma}, [this] { toolbarButtonClicked(4); }),
        shortcut({Qt::CTRL | Qt::Key_Q}, [this] { toolbarButtonClicked(5); }),
    };
    // Like the list's own Delete: a running job is never removed.
    shortcut({Qt::Key_Delete}, [this] { removeSelectedJob(); });
    // During a batch the start button stops it; a key press must never do that.
    shortcut({Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}, [this] {
        if (m_locked)
            return;
        startOverlay->hide();
        startBatch();
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
}

void MainWindow::loadOptions()
{
    OptionValues values;
    if (readOptionsFile(settingsFilePath(u"options.ini"_qs, m_programFolder), values))
        m_options = values;
    else
        m_options.soundChoice = m_options.clipEnabled = 0;
    applyOptions();
}

void MainWindow::applyOptions()
{
    BatchOptions options;
    options.playSound = m_options.soundChoice == 0;
    if (m_options.clipEnabled == 1 && m_options.clipToSeconds > m_options.clipFromSeconds &&
        m_options.clipFromSeconds >= 0)
        options.clip = ClipRange{m_options.clipFromSeconds,
                                 m_options.clipToSeconds - m_options.clipFromSeconds};
    options.lossless = m_options.losslessRotation == 1;
    m_batch->setOptions(options);
}

void MainWindow::createMenus()
{
    // The pop-up menus hand their commands to the window as words on the
    // command channel; only "移除所有视频" acts directly.
    auto word = [this](QMenu *menu, const QString &caption, const QString &command) {
        QAction *action = menu->addAction(caption);
        connect(action, &QAction::triggered, this,
                [this, command] { m_commandChannel.setText(command); });
        return action;
    };
    m_menuFile = new QMenu(u"File"_qs, this);
    word(m_menuFile, u"添加文件(&A)"_qs, u"AddaFile"_qs);
    word(m_menuFile, u"添加目录(&F)"_qs, u"menuAddaFolder"_qs);
    m_menuFile->addSeparator();
    word(m_menuFile, u"退出(&E)"_qs, u"menuExit"_qs);
    m_menuOptions = new QMenu(u"Options"_qs, this);
    word(m_menuOptions, u"设置(&O)"_qs, u"menuOption"_qs);
    m_menuAbout = new QMenu(u"About"_qs, this);
    QAction *help = word(m_menuAbout, u"帮助(&H)"_qs, u"menuHelp"_qs);
    help->setShortcut(Qt::Key_F1);
    addAction(help);
    word(m_menuAbout, u"关于(&A)"_qs, u"A"_qs);
    m_menuAbout->setObjectName(u"aboutMenu"_qs);
    helpMenuButton->setMenu(m_menuAbout);
    m_menuRemove = new QMenu(u"移除视频"_qs, this);
    m_menuRemove->setObjectName(u"removeMenu"_qs);
    word(m_menuRemove, u"移除选中视频"_qs, u"RemoveSelected"_qs);
    QAction *removeAll = m_menuRemove->addAction(u"移除所有视频"_qs);
    connect(removeAll, &QAction::triggered, this, &MainWindow::removeAllJobs);

    m_commandChannel.setAction(u"RemoveSelected"_qs, [this] { removeSelectedJob(); });
    m_commandChannel.setAction(u"A"_qs, [this] { showAbout(); });
    m_commandChannel.setAction(u"AddaFile"_qs, [this] { addFileByDialog(); });
    m_commandChannel.setAction(u"menuAddaFolder"_qs, [this] { addFolder(); });
    m_commandChannel.setAction(u"menuExit"_qs, [this] { saveAndExit(); });
    m_commandChannel.setAction(u"menuHelp"_qs, [this] { openHelp(); });
    m_commandChannel.setAction(u"menuOption"_qs, [this] { showOptionsDialog(); });
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

void MainWindow::syncSettingControls()
{
    formatList->setCurrentIndex(m_settings.listedFormatEntry());
    rotationList->setCurrentIndex(m_settings.rotationEntry());
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
    m_commonDialogs.setFilter(u"全部格式(*.*)|*.*"_qs);
    if (!m_commonDialogs.showOpen())
        return;
    const QString fileName = m_commonDialogs.fileName();
    if (!fileName.isEmpty()) {
        m_lastFileFolder = folderOf(fileName);
        m_jobs.addJob(fileName);
    }
    emptyListHint->setVisible(m_jobs.isEmpty());
}

void MainWindow::addFolder()
{
    // One search at a time; the hint already says that one is running.
    if (m_search->isRunning())
        return;
    const std::optional<QString> folder =
        m_dialogRunner->browseFolder(this, u"选择一个文件夹:"_qs, m_lastFileFolder);
    m_searchedFolder = true;
    const bool started = folder && !folder->isEmpty() && m_search->start(*folder);
    updateHint();
    emptyListHint->show();
    if (!started)
        folderSearchFinished({});
}

void MainWindow::folderSearchFinished(const FolderSearchResult &result)
{
    m_jobs.addJobs(result.files);
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

void MainWindow::removeSelectedJob()
{
    const QModelIndexList rows = jobListView->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        m_jobs.removeJobAt(rows.first().row());
    if (m_jobs.isEmpty())
        emptyListHint->show();
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
    case BatchController::StartResult::Busy:
    case BatchController::StartResult::OutputFolderUnusable:
        break;
    }
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
    switch (index) {
    case 0:
        addFileByDialog();
        break;
    case 1:
        addFolder();
        break;
    case 2:
        m_menuRemove->popup(toolbarButtons[2]->mapToGlobal(QPoint(0, toolbarButtons[2]->height())));
        break;
    case 3:
        openWebSite();
        break;
    case 4:
        showOptionsDialog();
        break;
    case 5:
        saveAndExit();
        break;
    default:
        break;
    }
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
    openUrl(QUrl(webAddress()));
}

void MainWindow::openHelp()
{
    openUrl(QUrl::fromLocalFile(programDataFile(m_programFolder, u"help.html"_qs)));
}

void MainWindow::sendFeedback()
{
    openUrl(feedbackUrl());
}

void MainWindow::showAbout()
{
    messages()->showMessage(
        MessageSink::Icon::NoIcon, u"关于"_qs,
        u"Torvane %1 批量旋转、镜像视频的小工具。"_qs.arg(QStringLiteral(TORVANE_VERSION)));
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

void MainWindow::setBatchLocked(bool locked)
{
    m_locked = locked;
    for (QToolButton *button : toolbarButtons)
        button->setEnabled(!locked);
    // The list stays readable and the start button becomes the stop button.
    for (QWidget *widget :
         std::initializer_list<QWidget *>{feedbackLink, browseButton, outputFolderEdit})
        widget->setEnabled(!locked);
    for (QAction *action : m_batchLockedShortcuts)
        action->setEnabled(!locked);
    // Help and About stay at hand during a batch.
    for (QMenu *menu : {m_menuFile, m_menuOptions, m_menuRemove})
        menu->setEnabled(!locked);
}

void MainWindow::batchStateChanged(BatchController::State state)
{
    using State = BatchController::State;
    const bool busy = state != State::Idle;
    if (busy != m_locked) {
        setBatchLocked(busy);
        if (busy) {
            // A new batch starts from a clean display, not the last one's caption.
            m_lastSummary.reset();
            m_display = {};
            m_position = {};
            progressBar->setValue(0);
        }
    }
    const bool stopping = state == State::Stopping;
    startButton->setText(busy ? (stopping ? u"正在停止..."_qs : u"停止转换"_qs)
                              : u"开始旋转视频！"_qs);
    startButton->setToolTip(busy ? u"立即停止，或在当前视频完成后停止"_qs
                                 : u"开始旋转列表中的视频 (Ctrl+Enter)"_qs);
    startButton->setIcon(busy ? Pictures::stopIcon(StartIconSide)
                              : Pictures::rotateIcon(StartIconSide));
    m_stopAfterJobAction->setEnabled(state == State::Running);
    updateCaption();
    if (state == State::Idle && m_closeAfterStop)
        QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::showProgress(const ProgressDisplay &display)
{
    m_display = display;
    progressBar->setValue(std::clamp(int(display.percent), 0, 100));
    updateCaption();
}

void MainWindow::showPosition(const BatchPosition &position)
{
    m_position = position;
    updateCaption();
}

QString MainWindow::captionText() const
{
    if (m_locked)
        return m_display.caption;
    if (m_lastSummary)
        return StatusTexts::batchEnd(int(m_lastSummary->failures.size()), m_lastSummary->stopped);
    return ProgressDisplay().caption;
}

QString MainWindow::positionText() const
{
    if (!m_locked || m_position.number == 0)
        return {};
    QString text = StatusTexts::position(m_position.number, m_position.total);
    if (m_position.remainingSeconds)
        text += u"  "_qs + StatusTexts::remaining(*m_position.remainingSeconds);
    return text;
}

void MainWindow::updateCaption()
{
    progressCaption->setText(captionText());
    fitToText(progressCaption);
    positionLabel->setText(positionText());
    fitToText(positionLabel);
}

void MainWindow::listChanged()
{
    // Rows the batch itself removes are part of its progress.
    if (m_locked || !m_lastSummary)
        return;
    m_lastSummary.reset();
    updateCaption();
}

void MainWindow::batchEnded(const BatchSummary &summary)
{
    m_lastSummary = summary;
    progressBar->setValue(0);
    updateCaption();
    if (summary.failures.isEmpty() || m_closeAfterStop)
        return;
    const QList<JobFailure> &failures = summary.failures;
    QString text = u"以下 %1 个视频没有转换成功，它们留在列表中（红色）。\n"
                   u"再次点击%2可以重试：\n"_qs.arg(failures.size())
                       .arg(unbroken(u"“开始旋转视频！”"_qs));
    for (int i = 0; i < failures.size() && i < MaxListedFailures; ++i) {
        text += u"\n%1\n    %2"_qs.arg(displayPath(failures[i].source),
                                       StatusTexts::failure(failures[i].reason));
        if (!failures[i].detail.isEmpty())
            text += u"\n    "_qs + failures[i].detail;
    }
    if (failures.size() > MaxListedFailures) {
        text +=
            u"\n\n……另有 %1 个，原因见列表的状态一栏。"_qs.arg(failures.size() - MaxListedFailures);
    }
    const int answer = messages()->ask(MessageSink::Icon::Warning, u"转换失败"_qs, text,
                                       {u"查看编码器输出"_qs, u"确定"_qs});
    if (answer == 0) {
        QList<quint64> ids;
        for (const JobFailure &failure : failures)
            ids << failure.id;
        showEncoderOutput(ids);
    }
}

void MainWindow::batchFailed(FailureReason reason, const QString &detail)
{
    messages()->showMessage(MessageSink::Icon::Warning, u"输出文件夹"_qs,
                            StatusTexts::failure(reason) + u"\n\n"_qs + detail);
}

QMenu *MainWindow::jobMenu(int row)
{
    if (row < 0 || row >= m_jobs.count())
        return nullptr;
    const Job &job = m_jobs.job(row);
    const quint64 id = job.id;
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *remove = menu->addAction(u"移除"_qs, this, [this, id] {
        m_jobs.removeJob(id);
        emptyListHint->setVisible(m_jobs.isEmpty());
    });
    remove->setEnabled(job.state != JobState::Running);
    QAction *retry = menu->addAction(u"重试"_qs, this, [this, id] {
        m_jobs.retry(id);
        listChanged();
    });
    retry->setEnabled(job.state == JobState::Failed || job.state == JobState::Stopped);
    const QString folder = folderOf(job.source);
    menu->addAction(u"打开所在文件夹"_qs, this,
                    [this, folder] { openUrl(QUrl::fromLocalFile(folder)); })
        ->setEnabled(!folder.isEmpty());
    menu->addAction(u"查看编码器输出"_qs, this, [this, id] { showEncoderOutput({id}); })
        ->setEnabled(!job.encoderOutput.isEmpty());
    return menu;
}

QWidget *MainWindow::showEncoderOutput(const QList<quint64> &ids)
{
    QString text;
    for (quint64 id : ids) {
        const Job *job = m_jobs.jobById(id);
        if (!job)
            continue;
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
        m_menuAbout->popup(event->globalPosition().toPoint());
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

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_batch->isBusy()) {
        if (m_askBeforeClose && !m_closeAfterStop &&
            messages()->ask(MessageSink::Icon::Question, u"Torvane"_qs,
                            u"正在转换视频，确定要退出吗？"_qs, {u"退出"_qs, u"取消"_qs}) != 0) {
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
        m_scratch.remove();
        detachSkin();
    }
    event->accept();
    Q_EMIT unloaded();
}
