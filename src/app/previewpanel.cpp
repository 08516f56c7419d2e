#include "previewpanel.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

PreviewPanel::PreviewPanel(QWidget *parent)
    : QFrame(parent), m_pictureLabel(new QLabel(this)), m_captionLabel(new QLabel(this))
{
    setObjectName(u"previewPanel"_qs);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    m_pictureLabel->setObjectName(u"previewPicture"_qs);
    m_pictureLabel->setAlignment(Qt::AlignCenter);
    m_pictureLabel->setWordWrap(true);
    m_pictureLabel->setForegroundRole(QPalette::PlaceholderText);
    m_pictureLabel->setMinimumSize(1, 1);
    m_pictureLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_captionLabel->setObjectName(u"previewCaption"_qs);
    m_captionLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_captionLabel->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_pictureLabel, 1);
    layout->addWidget(m_captionLabel);
    clear();
}

void PreviewPanel::showPicture(const QImage &picture, const QString &caption)
{
    m_picture = picture;
    m_captionLabel->setText(caption);
    m_captionLabel->show();
    fitPicture();
}

// In the picture's place, so it stands in the middle of the panel.
void PreviewPanel::showMessage(const QString &message)
{
    m_picture = {};
    m_pictureLabel->setPixmap({});
    m_pictureLabel->setText(message);
    m_captionLabel->clear();
    m_captionLabel->hide();
}

void PreviewPanel::clear()
{
    showMessage(u"选中一个视频，这里显示转换后的样子"_qs);
}

QString PreviewPanel::caption() const
{
    return m_picture.isNull() ? m_pictureLabel->text() : m_captionLabel->text();
}

void PreviewPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    fitPicture();
}

void PreviewPanel::fitPicture()
{
    if (m_picture.isNull())
        return;
    // Drawn for the screen's pixels, so it stays sharp at any scale.
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(m_picture.scaled(
        m_pictureLabel->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    m_pictureLabel->setPixmap(pixmap);
}
