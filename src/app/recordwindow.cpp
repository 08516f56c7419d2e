#include "recordwindow.h"

#include "common/paths.h"
#include "dialogs/commondialogs.h"
#include "texts/statustexts.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

enum Column { Ended, Source, Outcome, Output, Size, Took, Speed, ColumnCount };

QString outcomeText(const JobRecord &record)
{
    QString text;
    switch (record.outcome) {
    case JobRecord::Outcome::Converted:
        text = u"已转换"_qs;
        break;
    case JobRecord::Outcome::Failed:
        text = u"失败："_qs + StatusTexts::failure(record.failure);
        break;
    case JobRecord::Outcome::Stopped:
        text = u"已停止"_qs;
        break;
    }
    if (!record.losslessRefusal.isEmpty())
        text += u"（"_qs + StatusTexts::losslessRefusal(record.losslessRefusal) + u"）"_qs;
    return text;
}

QString durationText(double seconds)
{
    const int whole = int(std::lround(seconds));
    return u"%1:%2"_qs.arg(whole / 60, 2, 10, QChar(u'0')).arg(whole % 60, 2, 10, QChar(u'0'));
}

// A path too long for its column loses its folders first: the file's name stays.
class PathDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideLeft;
    }
};

} // namespace

QString sizeText(qint64 bytes)
{
    if (bytes < 0)
        return {};
    if (bytes < 1024 * 1024)
        return u"%1 KB"_qs.arg(double(bytes) / 1024, 0, 'f', 1);
    if (bytes < 1024LL * 1024 * 1024)
        return u"%1 MB"_qs.arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
    return u"%1 GB"_qs.arg(double(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 2);
}

RecordWindow::RecordWindow(const QList<JobRecord> &records, UrlOpener open, QWidget *parent)
    : QDialog(parent), m_open(std::move(open)), m_list(new QTreeWidget(this))
{
    setObjectName(u"recordWindow"_qs);
    setWindowTitle(u"转换记录"_qs);
    keepCloseButtonOnly(this);
    m_list->setObjectName(u"recordList"_qs);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setHeaderLabels({u"结束时间"_qs, u"视频"_qs, u"结果"_qs, u"输出文件"_qs, u"大小"_qs,
                             u"用时"_qs, u"速度"_qs});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::Interactive);
    for (int column : {Source, Output}) {
        m_list->header()->setSectionResizeMode(column, QHeaderView::Stretch);
        m_list->setItemDelegateForColumn(column, new PathDelegate(m_list));
    }

    auto *buttons = new QDialogButtonBox(this);
    m_openFile = buttons->addButton(u"打开文件"_qs, QDialogButtonBox::ActionRole);
    m_openFolder = buttons->addButton(u"打开所在文件夹"_qs, QDialogButtonBox::ActionRole);
    QPushButton *close = buttons->addButton(u"关闭"_qs, QDialogButtonBox::RejectRole);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    // Esc closes it wherever the focus is, as the close button does.
    auto *closeKey = new QAction(this);
    closeKey->setShortcut(QKeySequence::Cancel);
    closeKey->setShortcutContext(Qt::WindowShortcut);
    connect(closeKey, &QAction::triggered, this, &QDialog::close);
    addAction(closeKey);
    connect(m_openFile, &QPushButton::clicked, this, [this] {
        if (const JobRecord *r = selected())
            m_open(QUrl::fromLocalFile(r->output));
    });
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        if (const JobRecord *r = selected())
            m_open(QUrl::fromLocalFile(folderOf(r->output.isEmpty() ? r->source : r->output)));
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { m_openFile->click(); });
    connect(m_list, &QTreeWidget::currentItemChanged, this, &RecordWindow::updateButtons);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    // Room for the names of the video and its output beside the short columns.
    resize(900, 380);
    for (const JobRecord &record : records)
        add(record);
    updateButtons();
}

void RecordWindow::add(const JobRecord &record)
{
    m_records << record;
    auto *item = new QTreeWidgetItem;
    item->setText(Ended, record.ended.toString(u"yyyy-MM-dd HH:mm:ss"_qs));
    item->setText(Source, displayPath(record.source));
    item->setToolTip(Source, displayPath(record.source));
    item->setText(Outcome, outcomeText(record));
    item->setToolTip(Outcome, record.failureDetail.isEmpty()
                                  ? outcomeText(record)
                                  : outcomeText(record) + u"\n"_qs + record.failureDetail);
    item->setText(Output, displayPath(record.output));
    item->setToolTip(Output, displayPath(record.output));
    item->setText(Size, sizeText(record.outputBytes));
    item->setText(Took, durationText(record.seconds));
    // A failed job converted nothing, however long it ran.
    if (record.speed() > 0 && record.outcome == JobRecord::Outcome::Converted)
        item->setText(Speed, u"%1×"_qs.arg(record.speed(), 0, 'f', 1));
    item->setData(0, Qt::UserRole, int(m_records.size() - 1));
    // The newest at the top, where the eye looks first.
    m_list->insertTopLevelItem(0, item);
    for (int column : {Ended, Outcome, Size, Took, Speed})
        m_list->resizeColumnToContents(column);
    // A long failure or refusal would squeeze the names to nothing; past the
    // common failures it is elided, and its tool tip says it whole.
    const QFontMetrics metrics = m_list->fontMetrics();
    const int outcomeRoom = metrics.horizontalAdvance(u"失败：剪辑的开始时间超出了视频长度"_qs) +
                            2 * metrics.averageCharWidth();
    m_list->setColumnWidth(Outcome, std::min(m_list->columnWidth(Outcome), outcomeRoom));
    updateButtons();
}

const JobRecord *RecordWindow::selected() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item)
        return nullptr;
    const int index = item->data(0, Qt::UserRole).toInt();
    return index >= 0 && index < m_records.size() ? &m_records[index] : nullptr;
}

void RecordWindow::updateButtons()
{
    const JobRecord *r = selected();
    m_openFile->setEnabled(r && !r->output.isEmpty());
    m_openFolder->setEnabled(r != nullptr);
}
