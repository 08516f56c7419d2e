#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QStringList>
#include <QTreeView>
#include <QWidget>

// Local file paths of a drop, in the order of the drag source. Anything that
// is not a local file (text, web links) contributes nothing.
QStringList droppedPaths(const QMimeData *data);

// A label that reports clicks (the web link).
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(const QString &text, QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The feedback link: bold while the pointer has moved over it, until the
// window's background resets it.
class HoverLinkLabel : public ClickableLabel
{
    Q_OBJECT

public:
    explicit HoverLinkLabel(const QString &text, QWidget *parent = nullptr);

    void setHover(bool hover);
    bool isHover() const { return m_hover; }

protected:
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool m_hover = false;
};

// The output folder box: typing is allowed, a click opens the folder browser.
// Without the focus a path too long for the box shows its start and its end
// around an ellipsis; the tool tip gives it whole.
class PathLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit PathLineEdit(const QString &toolTipCaption, QWidget *parent = nullptr);

    // What the box shows while it does not have the focus.
    QString shownText() const;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textArea() const;

    QString m_toolTipCaption;
};

// The start-screen overlay: a picture that hides on a click and takes drops.
// The picture is drawn for the size and pixel ratio it is shown at.
class StartOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit StartOverlay(QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();
    void dropped(const QMimeData *data);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QPixmap m_picture;
};

// The job list view: whole rows, several selected at once, drops of files.
class JobListView : public QTreeView
{
    Q_OBJECT

public:
    explicit JobListView(QWidget *parent = nullptr);

Q_SIGNALS:
    void dropped(const QMimeData *data);
    // The right button or the Menu key over a row: the row, and where the menu goes.
    void jobMenuRequested(const QModelIndex &index, const QPoint &globalPos);
    // The room for the columns changed.
    void viewportResized();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};
