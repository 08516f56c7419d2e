#pragma once

#include <QString>
#include <QStringList>

// Where the window shows its messages. The program answers with message boxes;
// tests record them and answer the questions.
class MessageSink
{
public:
    enum class Icon { NoIcon, Information, Warning, Critical, Question };

    virtual ~MessageSink() = default;
    virtual void showMessage(Icon icon, const QString &title, const QString &text) = 0;
    // The message with a button for each text; the index of the one chosen.
    // Enter answers defaultButton; closing the box answers like the last
    // button; -1 when nothing was shown.
    virtual int ask(Icon icon, const QString &title, const QString &text,
                    const QStringList &buttons, int defaultButton = 0)
    {
        Q_UNUSED(buttons);
        Q_UNUSED(defaultButton);
        showMessage(icon, title, text);
        return -1;
    }
    // As ask(), with a list below the text that scrolls when it is long, so
    // the box fits the screen however many items it holds.
    virtual int askWithList(Icon icon, const QString &title, const QString &text,
                            const QStringList &items, const QStringList &buttons,
                            int defaultButton = 0)
    {
        return ask(icon, title, text + u"\n\n"_qs + items.join(u"\n\n"_qs), buttons, defaultButton);
    }
    // Closes a question still open, as if it had been closed without an answer.
    virtual void dismissQuestion() {}
    virtual bool isAsking() const { return false; }
};
