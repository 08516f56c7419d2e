#include "desktopactions.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMessageBox>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include <memory>

void MessageBoxSink::showMessage(Icon icon, const QString &title, const QString &text)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::NoIcon:
        break;
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case Icon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, m_owner);
    box.exec();
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
