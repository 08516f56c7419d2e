// The window's controls and where they stand.
#include "mainwindow.h"

#include "chromewidgets.h"
#include "designedlayout.h"
#include "pictures.h"
#include "previewpanel.h"
#include "windowcommands.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

struct ToolButtonDesign
{
    int leftTwips;
    const char16_t *name;
    const char16_t *caption;
    Pictures::Tool picture;
};

// Indexed by button index; buttons 3 and 4 stand in swapped places.
const ToolButtonDesign toolButtons[MainWindow::ToolbarButtons] = {
    {0, u"addVideoButton", u"添加视频", Pictures::Tool::AddVideo},
    {1410, u"addFolderButton", u"添加文件夹", Pictures::Tool::AddFolder},
    {2820, u"removeVideoButton", u"移除视频", Pictures::Tool::RemoveVideo},
    {5640, u"webSiteButton", u"访问网站", Pictures::Tool::Web},
    {4230, u"optionsButton", u"选项设置", Pictures::Tool::Options},
    {7050, u"exitButton", u"退出程序", Pictures::Tool::Exit},
};

// The columns' keys in window.ini, by column.
const char16_t *const columnKeys[JobListModel::ColumnCount] = {u"name", u"type", u"rotation",
                                                               u"format", u"status"};

} // namespace

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

void MainWindow::createControls()
{
    for (int i = 0; i < ToolbarButtons; ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromUtf16(toolButtons[i].name));
        button->setText(QString::fromUtf16(toolButtons[i].caption));
        // The button shows its own caption; the rest follows its command.
        QAction *command = m_commands->toolbarAction(i);
        button->setToolTip(command->toolTip());
        connect(command, &QAction::enabledChanged, button, &QWidget::setEnabled);
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
    jobListView->setModel(&m_jobModel);
    QHeaderView *header = jobListView->header();
    // The name and the status share what the short columns leave; the status
    // is last and takes the rest, so a failure's reason has room in a wide window.
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    connect(jobListView, &JobListView::viewportResized, this, &MainWindow::sizeJobListColumns);
    connect(header, &QHeaderView::sectionResized, this, [this, header](int column, int, int size) {
        if (m_sizingColumns || column == JobListModel::StatusColumn)
            return;
        if (column == JobListModel::NameColumn) {
            const int rest = header->sectionSize(JobListModel::NameColumn) +
                             header->sectionSize(JobListModel::StatusColumn);
            if (rest > 0)
                m_nameShare = double(size) / rest;
        } else {
            m_columnWidths[size_t(column)] = size;
        }
    });
    // Long paths keep their start and their file name.
    jobListView->setTextElideMode(Qt::ElideMiddle);

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
    startButton->setToolTip(m_commands->start->toolTip());
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

    webLink = new ClickableLabel(u"Torvane 使用帮助"_qs, this);
    webLink->setToolTip(helpUrl().toLocalFile());
    webLink->setForegroundRole(QPalette::Link);
    feedbackLink = new HoverLinkLabel(u"意见反馈"_qs, this);
    feedbackLink->setToolTip(u"怎样报告问题、提出建议"_qs);
    feedbackLink->setForegroundRole(QPalette::Link);

    helpMenuButton = new QToolButton(this);
    helpMenuButton->setText(u"帮助"_qs);
    helpMenuButton->setToolTip(u"帮助 (F1)、转换记录 (Ctrl+H)、关于"_qs);
    helpMenuButton->setAutoRaise(true);
    helpMenuButton->setPopupMode(QToolButton::InstantPopup);
    helpMenuButton->setFocusPolicy(Qt::TabFocus);

    previewPanel = new PreviewPanel(this);
    startOverlay = new StartOverlay(this);

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

// The designed layout is the smallest the window can be. Larger, the list
// takes the room, and the preview stands at its right once there is room for it;
// the rows below keep their places from the bottom and the right edge.
void MainWindow::placeControls()
{
    const int dx = std::max(0, width() - ClientWidth);
    const int dy = std::max(0, height() - ClientHeight);
    const auto below = [dy](QRect designedRect) { return designedRect.translated(0, dy); };

    for (int i = 0; i < ToolbarButtons; ++i)
        toolbarButtons[size_t(i)]->setGeometry(designed(toolButtons[i].leftTwips, 0, 1420, 985));
    placeLabel(jobListCaption, designed(120, 1050, 780, 210));
    const QRect list = designed(60, 1320, 8325, 3510).adjusted(0, 0, dx, dy);
    const int gap = px(90);
    const bool previewShown = dx >= PreviewWidth + gap;
    if (previewPanel->isHidden() == previewShown) {
        previewPanel->setVisible(previewShown);
        if (m_previewTimer)
            m_previewTimer->start();
    }
    const QRect listArea = previewShown ? list.adjusted(0, 0, -(PreviewWidth + gap), 0) : list;
    jobListView->setGeometry(listArea);
    if (previewShown)
        previewPanel->setGeometry(listArea.right() + 1 + gap, list.top(), PreviewWidth,
                                  list.height());
    const QRect hint = designed(2760, 2850, 2445, 315);
    emptyListHint->setGeometry(
        hint.translated(listArea.center() - designed(60, 1320, 8325, 3510).center()));
    emptyListHintText->setGeometry(emptyListHint->rect());
    placeSettingsRow(dx, dy);
    sizeJobListColumns();
    startButton->setGeometry(designed(6060, 5790, 2295, 825).translated(dx, dy));
    placeLabel(progressCaption, below(designed(2760, 5880, 345, 210)));
    placeLabel(positionLabel, below(designed(120, 5880, 2580, 210)));
    progressBar->setGeometry(below(designed(90, 6270, 5865, 315)).adjusted(0, 0, dx, 0));
    placeLabel(webLink, below(designed(120, 6750, 3705, 195)));
    // The feedback link is sized to its text, not to its designed box.
    feedbackLink->move(px(7620) + dx, px(6750) + dy);
    feedbackLink->resize(feedbackLink->sizeHint());
    // Help and About sit in the bottom strip, left of the feedback link.
    helpMenuButton->resize(helpMenuButton->sizeHint().width(),
                           std::max(feedbackLink->height(), ClientHeight - px(6690)));
    helpMenuButton->move(feedbackLink->x() - px(300) - helpMenuButton->width(),
                         feedbackLink->y() +
                             (feedbackLink->height() - helpMenuButton->height()) / 2);
    startOverlay->setGeometry(designed(30, 1020, 8445, 5670).adjusted(0, 0, dx, dy));

    emptyListHint->raise();
    startOverlay->raise();
}

// The short columns as wide as their longest entry in the font in use, or as
// the user made them; the name takes its share of the rest, the status the
// remainder. A status longer than its column is elided; the row's tool tip
// says it whole.
void MainWindow::sizeJobListColumns()
{
    QHeaderView *header = jobListView->header();
    const QFontMetrics metrics(jobListView->font());
    const int margin = jobListView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) * 2 + 12;
    const auto widest = [&](int column, const QStringList &texts, int extra = 0) {
        int width = header->fontMetrics().horizontalAdvance(
            m_jobModel.headerData(column, Qt::Horizontal).toString());
        for (const QString &text : texts)
            width = std::max(width, metrics.horizontalAdvance(text));
        return width + margin + extra;
    };
    QStringList formats;
    for (int f = 0; f < Formats::Count; ++f)
        formats << QString::fromUtf16(Formats::at(f).shortName);
    const std::pair<int, int> shortColumns[] = {
        {JobListModel::TypeColumn, widest(JobListModel::TypeColumn, {u"MOV"_qs, u"WMV"_qs})},
        {JobListModel::RotationColumn,
         widest(JobListModel::RotationColumn, ConversionSettings::rotationTexts())},
        {JobListModel::FormatColumn, widest(JobListModel::FormatColumn, formats)}};
    // Room for a short failure and its mark.
    const int leastStatus =
        widest(JobListModel::StatusColumn, {u"失败：编码器转换失败"_qs},
               jobListView->iconSize().isValid() ? jobListView->iconSize().width()
                                                 : style()->pixelMetric(QStyle::PM_SmallIconSize));
    const int leastName = px(1800);

    m_sizingColumns = true;
    int rest = jobListView->viewport()->width();
    for (const auto &[column, fitting] : shortColumns) {
        const int width =
            m_columnWidths[size_t(column)] > 0 ? m_columnWidths[size_t(column)] : fitting;
        header->resizeSection(column, width);
        rest -= width;
    }
    const int name =
        std::max(leastName, std::min(int(std::lround(rest * m_nameShare)), rest - leastStatus));
    header->resizeSection(JobListModel::NameColumn, name);
    header->setMinimumSectionSize(std::min(header->minimumSectionSize(), leastStatus));
    if (rest - name < leastStatus)
        header->resizeSection(JobListModel::StatusColumn, leastStatus);
    m_sizingColumns = false;
}

void MainWindow::restoreWindowLayout()
{
    if (m_windowFile.isEmpty())
        return;
    const WindowLayout layout = readWindowFile(m_windowFile);
    // A place on a screen that is gone is forgotten, not taken.
    if (layout.geometry && QGuiApplication::screenAt(layout.geometry->center()))
        setGeometry(*layout.geometry);
    else if (layout.geometry)
        resize(layout.geometry->size().expandedTo(minimumSize()));
    if (layout.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    const auto width = [&](int column) {
        return layout.columnWidths.value(QString::fromUtf16(columnKeys[column]));
    };
    for (int column :
         {JobListModel::TypeColumn, JobListModel::RotationColumn, JobListModel::FormatColumn})
        m_columnWidths[size_t(column)] = width(column);
    const int name = width(JobListModel::NameColumn), status = width(JobListModel::StatusColumn);
    if (name > 0 && status > 0)
        m_nameShare = double(name) / (name + status);
    placeControls();
}

void MainWindow::saveWindowLayout() const
{
    if (m_windowFile.isEmpty())
        return;
    WindowLayout layout;
    layout.geometry = normalGeometry();
    layout.maximized = isMaximized();
    const QHeaderView *header = jobListView->header();
    for (int column = 0; column < JobListModel::ColumnCount; ++column)
        layout.columnWidths.insert(QString::fromUtf16(columnKeys[column]),
                                   header->sectionSize(column));
    writeWindowFile(m_windowFile, layout);
}

void MainWindow::placeSettingsRow(int dx, int dy)
{
    const QRect formatBox = designed(90, 5260, 2835, 330).translated(0, dy);
    const QRect rotationBox = designed(3030, 5265, 2355, 330).translated(0, dy);
    // The folder box takes the extra width; the browse button stays at its right.
    const QRect folderBox = designed(5490, 5265, 2055, 315).translated(0, dy).adjusted(0, 0, dx, 0);
    const QRect browseBox = designed(7620, 5280, 705, 300).translated(dx, dy);
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
    const int captionTop = px(4980) + dy;
    const int captionInset = px(120) - px(90);
    for (auto [caption, box] : {std::pair<QLabel *, QWidget *>{formatCaption, formatList},
                                {rotationCaption, rotationList},
                                {outputFolderCaption, outputFolderEdit}})
        placeLabel(caption, QRect(box->x() + captionInset, captionTop, px(900), px(210)));
}
