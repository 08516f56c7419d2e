#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The hidden text box through which pop-up menus hand command words to the main
// window. A changed text runs the action registered for it, then the box is
// emptied so the same word can be sent again.
class CommandChannel : public QObject
{
    Q_OBJECT

public:
    explicit CommandChannel(QObject *parent = nullptr);

    // The words understood, in the order they are tested.
    static QStringList words();

    QString text() const { return m_text; }
    void setText(const QString &text);

    // False for a word that is not one of words(). An action may destroy the
    // channel (the program ending).
    bool setAction(const QString &word, std::function<void()> action);

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    void onTextChanged();

    QString m_text;
    QHash<QString, std::function<void()>> m_actions;
};
