#include "desktopactions.h"

#include "dialogs/commondialogs.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

namespace {

QMessageBox::Icon boxIcon(MessageSink::Icon icon)
{
    switch (icon) {
    case MessageSink::Icon::NoIcon:
        break;
    case MessageSink::Icon::Information:
        return QMessageBox::Information;
    case MessageSink::Icon::Warning:
        return QMessageBox::Warning;
    case MessageSink::Icon::Critical:
        return QMessageBox::Critical;
    case MessageSink::Icon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QMessageBox *createMessageBox(QWidget *owner, MessageSink::Icon icon, const QString &title,
                              const QString &text)
{
    auto *box = new QMessageBox(boxIcon(icon), title, text, QMessageBox::NoButton, owner);
    keepCloseButtonOnly(box);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return box;
}

void reportOpenFailure(MessageSink *messages, const QUrl &url)
{
    if (!messages)
        return;
    if (!url.isLocalFile()) {
        messages->showMessage(MessageSink::Icon::Warning, u"访问网站"_qs,
                              u"没有找到可以打开网页的浏览器。请手动访问：\n"_qs + url.toString());
    } else if (QFileInfo(url.toLocalFile()).isDir()) {
        messages->showMessage(MessageSink::Icon::Warning, u"打开文件夹"_qs,
                              u"没有找到可以打开文件夹的文件管理器。文件夹在：\n"_qs +
                                  url.toLocalFile());
    } else {
        messages->showMessage(MessageSink::Icon::Warning, u"帮助"_qs,
                              u"无法打开这个文件，请用浏览器或文件管理器打开：\n"_qs +
                                  url.toLocalFile());
    }
}

void MessageBoxSink::showMessage(Icon icon, const QString &title, const QString &text)
{
    std::unique_ptr<QMessageBox> box(createMessageBox(m_owner, icon, title, text));
    box->setStandardButtons(QMessageBox::Ok);
    box->exec();
}

namespace {

// Buttons of a question: Escape and the close button answer like the last,
// the "no"; Enter like defaultButton.
QList<QPushButton *> addAnswers(QDialogButtonBox *box, const QStringList &buttons,
                                int defaultButton)
{
    QList<QPushButton *> added;
    for (const QString &caption : buttons)
        added << box->addButton(caption, QDialogButtonBox::AcceptRole);
    if (defaultButton >= 0 && defaultButton < added.size()) {
        added[defaultButton]->setDefault(true);
        added[defaultButton]->setFocus();
    }
    return added;
}

} // namespace

int MessageBoxSink::ask(Icon icon, const QString &title, const QString &text,
                        const QStringList &buttons, int defaultButton)
{
    std::unique_ptr<QMessageBox> box(createMessageBox(m_owner, icon, title, text));
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added << box->addButton(caption, QMessageBox::AcceptRole);
    if (!added.isEmpty()) {
        box->setEscapeButton(added.last());
        if (defaultButton >= 0 && defaultButton < added.size())
            box->setDefaultButton(qobject_cast<QPushButton *>(added[defaultButton]));
    }
    m_question = box.get();
    box->exec();
    // Closed some other way than by a button: as the last, the "no".
    const int chosen = int(added.indexOf(box->clickedButton()));
    return chosen >= 0 ? chosen : int(added.size()) - 1;
}

int MessageBoxSink::askWithList(Icon icon, const QString &title, const QString &text,
                                const QStringList &items, const QStringList &buttons,
                                int defaultButton)
{
    QDialog dialog(m_owner);
    keepCloseButtonOnly(&dialog);
    dialog.setWindowTitle(title);
    auto *iconLabel = new QLabel(&dialog);
    const QStyle::StandardPixmap pixmap = icon == Icon::Warning    ? QStyle::SP_MessageBoxWarning
                                          : icon == Icon::Critical ? QStyle::SP_MessageBoxCritical
                                          : icon == Icon::Question
                                              ? QStyle::SP_MessageBoxQuestion
                                              : QStyle::SP_MessageBoxInformation;
    const int side = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    if (icon != Icon::NoIcon)
        iconLabel->setPixmap(dialog.style()->standardIcon(pixmap).pixmap(side, side));
    auto *textLabel = new QLabel(text, &dialog);
    textLabel->setWordWrap(true);
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto *list = new QListWidget(&dialog);
    list->setObjectName(u"messageList"_qs);
    list->addItems(items);
    list->setWordWrap(true);
    list->setTextElideMode(Qt::ElideMiddle);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setAlternatingRowColors(true);
    auto *box = new QDialogButtonBox(&dialog);
    const QList<QPushButton *> added = addAnswers(box, buttons, defaultButton);
    QPushButton *clicked = nullptr;
    for (QPushButton *button : added) {
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &clicked, button] {
            clicked = button;
            dialog.accept();
        });
    }
    auto *top = new QHBoxLayout;
    top->addWidget(iconLabel, 0, Qt::AlignTop);
    top->addWidget(textLabel, 1);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(box);

    // As tall as its items need, but never taller than the screen leaves room for.
    const QScreen *screen = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const int rows = std::max(1, int(list->count()));
    const int wanted = layout->sizeHint().height() + rows * list->fontMetrics().height() * 3;
    dialog.resize(
        std::min(std::max(layout->sizeHint().width(), side * 12), available.width() * 9 / 10),
        std::min(wanted, available.height() * 8 / 10));
    m_question = &dialog;
    dialog.exec();
    return clicked ? int(added.indexOf(clicked)) : int(added.size()) - 1;
}

void MessageBoxSink::dismissQuestion()
{
    if (m_question)
        m_question->reject();
}

DesktopCompletionActions::DesktopCompletionActions(UrlOpener open, QObject *parent)
    : QObject(parent), m_open(std::move(open))
{}

bool DesktopCompletionActions::openFolder(const QString &folder)
{
    return m_open(QUrl::fromLocalFile(folder));
}

void DesktopCompletionActions::playSound(const QString &file, std::function<void()> done)
{
    if (!QFileInfo(file).isFile()) {
        QApplication::beep();
        done();
        return;
    }
    // Without an audio device the sound never plays nor ends; keep the window waiting for nothing.
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        done();
        return;
    }
    auto *effect = new QSoundEffect(this);
    auto *limit = new QTimer(effect);
    limit->setSingleShot(true);
    // Shared so that whichever of the end, an error or the time limit comes
    // first finishes, and only once.
    auto finish = std::make_shared<std::function<void(bool)>>();
    *finish = [effect, done = std::move(done)](bool failed) mutable {
        if (!done)
            return;
        if (failed)
            QApplication::beep();
        auto call = std::move(done);
        done = nullptr;
        effect->disconnect();
        effect->stop();
        effect->deleteLater();
        call();
    };
    connect(effect, &QSoundEffect::statusChanged, effect, [effect, finish] {
        if (effect->status() == QSoundEffect::Error)
            (*finish)(true);
        else if (effect->status() == QSoundEffect::Ready && !effect->isPlaying())
            effect->play();
    });
    connect(effect, &QSoundEffect::playingChanged, effect, [effect, finish] {
        if (!effect->isPlaying() && effect->status() == QSoundEffect::Ready)
            (*finish)(false);
    });
    connect(limit, &QTimer::timeout, effect, [finish] { (*finish)(false); });
    limit->start(SoundLimitMs);
    effect->setSource(QUrl::fromLocalFile(file));
    if (effect->status() == QSoundEffect::Ready)
        effect->play();
}
