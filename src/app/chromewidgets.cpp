#include "chromewidgets.h"

#include "pictures.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QUrl>

QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QUrl> urls = data->urls();
    paths.reserve(urls.size());
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

namespace {

// Every drag is answered with the copy effect, whatever it carries: a text drop
// on the overlay must still arrive to hide it.
void acceptAsCopy(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace

ClickableLabel::ClickableLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        Q_EMIT clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

HoverLinkLabel::HoverLinkLabel(const QString &text, QWidget *parent) : ClickableLabel(text, parent)
{
    setMouseTracking(true);
}

void HoverLinkLabel::setHover(bool hover)
{
    if (hover == m_hover)
        return;
    m_hover = hover;
    QFont f = font();
    f.setBold(hover);
    setFont(f);
    // The link is sized to its text, bold or not.
    resize(sizeHint());
}

void HoverLinkLabel::mouseMoveEvent(QMouseEvent *event)
{
    setHover(true);
    event->accept();
}

PathLineEdit::PathLineEdit(const QString &toolTipCaption, QWidget *parent)
    : QLineEdit(parent), m_toolTipCaption(toolTipCaption)
{
    setToolTip(m_toolTipCaption);
    connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
        setToolTip(text.isEmpty() ? m_toolTipCaption : m_toolTipCaption + u'\n' + text);
    });
}

QRect PathLineEdit::textArea() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    // QLineEdit's own inner margin on each side of the text.
    constexpr int horizontalMargin = 2;
    return contents.marginsRemoved(textMargins())
        .adjusted(horizontalMargin, 0, -horizontalMargin, 0);
}

QString PathLineEdit::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textArea().width());
}

void PathLineEdit::paintEvent(QPaintEvent *event)
{
    if (hasFocus() || shownText() == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter p(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &p, this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    p.drawText(textArea(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

void PathLineEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

StartOverlay::StartOverlay(QWidget *parent) : QWidget(parent)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StartOverlay::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (m_picture.isNull() || m_picture.devicePixelRatio() != ratio ||
        m_picture.deviceIndependentSize() != QSizeF(size()))
        m_picture = Pictures::startOverlayPicture(size(), font(), ratio);
    QPainter p(this);
    p.drawPixmap(rect(), m_picture);
}

void StartOverlay::mousePressEvent(QMouseEvent *event)
{
    // Taken here, so the press never reaches the window as a background drag.
    event->accept();
}

void StartOverlay::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        Q_EMIT clicked();
    }
}

void StartOverlay::dragEnterEvent(QDragEnterEvent *event)
{
    acceptAsCopy(event);
}

void StartOverlay::dragMoveEvent(QDragMoveEvent *event)
{
    acceptAsCopy(event);
}

void StartOverlay::dropEvent(QDropEvent *event)
{
    acceptAsCopy(event);
    Q_EMIT dropped(event->mimeData());
}

JobListView::JobListView(QWidget *parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    // Fixed row heights keep a list of 100 000 jobs quick to fill and empty.
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideMiddle);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void JobListView::contextMenuEvent(QContextMenuEvent *event)
{
    // The Menu key is for the current row, its menu under the row; a click's
    // position is the viewport's, the key's the view's own.
    const bool key = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = key ? currentIndex() : indexAt(event->pos());
    if (!index.isValid())
        return;
    event->accept();
    Q_EMIT jobMenuRequested(index, key ? viewport()->mapToGlobal(visualRect(index).center())
                                       : event->globalPos());
}

void JobListView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    Q_EMIT viewportResized();
}

void JobListView::dragEnterEvent(QDragEnterEvent *event)
{
    acceptAsCopy(event);
}

void JobListView::dragMoveEvent(QDragMoveEvent *event)
{
    acceptAsCopy(event);
}

void JobListView::dropEvent(QDropEvent *event)
{
    acceptAsCopy(event);
    Q_EMIT dropped(event->mimeData());
}
