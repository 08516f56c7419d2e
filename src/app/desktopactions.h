#pragma once

#include "app/messagesink.h"
#include "conversion/completionactions.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QDialog;
class QMessageBox;
class QUrl;

// A message box whose text can be selected and copied, with a close button only.
QMessageBox *createMessageBox(QWidget *owner, MessageSink::Icon icon, const QString &title,
                              const QString &text);

// Says that the desktop found nothing to open a folder, page or mail link
// with, giving the path or address so the user can go there by hand.
void reportOpenFailure(MessageSink *messages, const QUrl &url);

// The desktop's handler for a folder, page or mail link; false when none took it.
using UrlOpener = std::function<bool(const QUrl &)>;

// Messages of the core as modal message boxes over the window.
class MessageBoxSink : public MessageSink
{
public:
    explicit MessageBoxSink(QWidget *owner) : m_owner(owner) {}
    void showMessage(Icon icon, const QString &title, const QString &text) override;
    int ask(Icon icon, const QString &title, const QString &text, const QStringList &buttons,
            int defaultButton = 0) override;
    int askWithList(Icon icon, const QString &title, const QString &text, const QStringList &items,
                    const QStringList &buttons, int defaultButton = 0) override;
    void dismissQuestion() override;
    bool isAsking() const override { return !m_question.isNull(); }

private:
    QPointer<QWidget> m_owner;
    QPointer<QDialog> m_question; // the one being asked, if any
};

// The end of a batch on the desktop: the file manager opens the output folder,
// the completion sound plays.
class DesktopCompletionActions : public QObject, public CompletionActions
{
    Q_OBJECT

public:
    // A sound that never reports its end must not keep the window locked.
    static constexpr int SoundLimitMs = 5000;

    explicit DesktopCompletionActions(UrlOpener open, QObject *parent = nullptr);

    bool openFolder(const QString &folder) override;
    void playSound(const QString &file, std::function<void()> done) override;

private:
    UrlOpener m_open;
};
