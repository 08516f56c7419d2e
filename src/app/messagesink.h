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
    // Closing the box answers like the last button; -1 when nothing was shown.
    virtual int ask(Icon icon, const QString &title, const QString &text,
                    const QStringList &buttons)
    {
        Q_UNUSED(buttons);
        showMessage(icon, title, text);
        return -1;
    }
};
