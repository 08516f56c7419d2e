#include "chromewidgets.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
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
            paths << QDir::toNativeSeparators(url.toLocalFile());
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

PathLineEdit::PathLineEdit(QWidget *parent) : QLineEdit(parent) {}

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

void StartOverlay::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void StartOverlay::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!m_picture.isNull())
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
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideMiddle);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void JobListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Q_EMIT deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
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
