#include "desktopactions.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDesktopServices>
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

void MessageBoxSink::showMessage(Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, m_owner);
    box.exec();
}

int MessageBoxSink::ask(Icon icon, const QString &title, const QString &text,
                        const QStringList &buttons)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::NoButton, m_owner);
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added << box.addButton(caption, QMessageBox::AcceptRole);
    // Escape and the close button answer like the last button, the "no".
    if (!added.isEmpty()) {
        box.setEscapeButton(added.last());
        box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    }
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

DesktopCompletionActions::DesktopCompletionActions(QObject *parent) : QObject(parent) {}

void DesktopCompletionActions::openFolder(const QString &folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
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
