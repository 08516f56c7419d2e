#pragma once

#include <QFrame>
#include <QImage>

class QLabel;

// What the selected job's output will look like: a frame the encoder made
// through the job's own turn, mirror, clip and size, with a line saying which
// job and how; or a word while it is being made, or why it could not be.
class PreviewPanel : public QFrame
{
    Q_OBJECT

public:
    explicit PreviewPanel(QWidget *parent = nullptr);

    void showPicture(const QImage &picture, const QString &caption);
    void showMessage(const QString &message);
    void clear();

    const QImage &picture() const { return m_picture; }
    QString caption() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitPicture();

    QLabel *m_pictureLabel;
    QLabel *m_captionLabel;
    QImage m_picture;
};
