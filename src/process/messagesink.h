#pragma once

#include <QString>

// Where the core shows its messages. The window answers with message boxes;
// tests and the command-line front end record or print them.
class MessageSink
{
public:
    enum class Icon { NoIcon, Information, Warning, Critical };

    virtual ~MessageSink() = default;
    virtual void showMessage(Icon icon, const QString &title, const QString &text) = 0;
};

// Prints to standard error; the default where no window exists.
class StderrMessageSink : public MessageSink
{
public:
    void showMessage(Icon icon, const QString &title, const QString &text) override;
};
