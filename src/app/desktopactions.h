#pragma once

#include "app/messagesink.h"
#include "conversion/completionactions.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// Messages of the core as modal message boxes over the window.
class MessageBoxSink : public MessageSink
{
public:
    explicit MessageBoxSink(QWidget *owner) : m_owner(owner) {}
    void showMessage(Icon icon, const QString &title, const QString &text) override;
    int ask(Icon icon, const QString &title, const QString &text,
            const QStringList &buttons) override;

private:
    QPointer<QWidget> m_owner;
};

// The end of a batch on the desktop: the file manager opens the output folder,
// the completion sound plays.
class DesktopCompletionActions : public QObject, public CompletionActions
{
    Q_OBJECT

public:
    // A sound that never reports its end must not keep the window locked.
    static constexpr int SoundLimitMs = 5000;

    explicit DesktopCompletionActions(QObject *parent = nullptr);

    void openFolder(const QString &folder) override;
    void playSound(const QString &file, std::function<void()> done) override;
};
