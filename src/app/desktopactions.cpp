#include "desktopactions.h"

#include "dialogs/commondialogs.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPushButton>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

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
    if (url.scheme() == u"mailto") {
        messages->showMessage(MessageSink::Icon::Warning, u"意见反馈"_qs,
                              u"没有找到可以写邮件的程序。请把您的意见或问题发送到：\n"_qs +
                                  url.path());
    } else if (!url.isLocalFile()) {
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

int MessageBoxSink::ask(Icon icon, const QString &title, const QString &text,
                        const QStringList &buttons)
{
    std::unique_ptr<QMessageBox> box(createMessageBox(m_owner, icon, title, text));
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added << box->addButton(caption, QMessageBox::AcceptRole);
    // Escape and the close button answer like the last button, the "no".
    if (!added.isEmpty()) {
        box->setEscapeButton(added.last());
        box->setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    }
    box->exec();
    return int(added.indexOf(box->clickedButton()));
}

DesktopCompletionActions::DesktopCompletionActions(MessageSink *messages, UrlOpener open,
                                                   QObject *parent)
    : QObject(parent), m_messages(messages), m_open(std::move(open))
{}

void DesktopCompletionActions::openFolder(const QString &folder)
{
    const QUrl url = QUrl::fromLocalFile(folder);
    if (!m_open(url))
        reportOpenFailure(m_messages, url);
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
