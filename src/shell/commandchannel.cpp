#include "commandchannel.h"

#include <QPointer>

CommandChannel::CommandChannel(QObject *parent) : QObject(parent) {}

QStringList CommandChannel::words()
{
    return {u"RemoveSelected"_qs, u"A"_qs,        u"AddaFile"_qs,  u"menuAddaFolder"_qs,
            u"menuExit"_qs,       u"menuHelp"_qs, u"menuOption"_qs};
}

void CommandChannel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    QPointer<CommandChannel> self(this);
    Q_EMIT textChanged(m_text);
    if (!self)
        return;
    onTextChanged();
}

bool CommandChannel::setAction(const QString &word, std::function<void()> action)
{
    if (!words().contains(word))
        return false;
    m_actions.insert(word, std::move(action));
    return true;
}

void CommandChannel::onTextChanged()
{
    QPointer<CommandChannel> self(this);
    // Every word is tested, each against the text as it stands then; the word
    // stays in the box while its action runs.
    const QStringList all = words();
    for (const QString &word : all) {
        if (m_text != word)
            continue;
        // A copy: the action may delete this object and with it the stored one.
        const std::function<void()> action = m_actions.value(word);
        if (action)
            action();
        if (!self)
            return;
    }
    setText(QString());
}
