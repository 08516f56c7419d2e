// Texts sent through the command channel, with actions that count, send the
// next text from inside an action, or destroy the channel.
//
// Input: the first line picks each word's action, one character per word in
// the order of CommandChannel::words() (its value modulo 4: none, count, send
// the next text, destroy); every further line is a text to send.
#include "fuzzinput.h"

#include "shell/commandchannel.h"

#include <QHash>
#include <QPointer>

namespace {

enum Action { NoAction, Count, SendNext, Destroy };

struct Run
{
    QPointer<CommandChannel> channel;
    QStringList texts;
    qsizetype nextText = 1;
    int depth = 0;
    QHash<QString, int> sent, ran;
    int announced = 0; // non-empty texts the box should have announced

    // Sends the next text; false once there is none or the channel is gone.
    bool sendNext()
    {
        if (!channel || nextText >= texts.size())
            return false;
        const QString text = texts[nextText++];
        // The text already in the box (a word sent from its own action) changes nothing.
        if (text != channel->text()) {
            ++sent[text];
            if (!text.isEmpty())
                ++announced;
        }
        ++depth;
        channel->setText(text);
        --depth;
        // Every text leaves the box empty again, words and others alike, once
        // the action that sent it from inside is over.
        if (channel && depth == 0)
            FUZZ_CHECK(channel->text().isEmpty());
        return true;
    }
};

void checkText(const QString &input)
{
    const QStringList words = CommandChannel::words();
    Run run;
    run.texts = fuzzLines(input);
    run.channel = new CommandChannel;
    const QString &plan = run.texts.first();

    int emitted = 0;
    QObject::connect(run.channel.data(), &CommandChannel::textChanged, run.channel.data(),
                     [&emitted](const QString &text) { emitted += text.isEmpty() ? 0 : 1; });

    for (qsizetype w = 0; w < words.size(); ++w) {
        const QString word = words[w];
        const auto action = w < plan.size() ? Action(plan[w].unicode() % 4) : NoAction;
        if (action == NoAction)
            continue;
        FUZZ_CHECK(run.channel->setAction(word, [&run, word, action] {
            ++run.ran[word];
            if (action == SendNext && run.depth < 8)
                run.sendNext();
            else if (action == Destroy)
                delete run.channel.data();
        }));
    }
    // Only known words take an action.
    CommandChannel other;
    for (const QString &text : std::as_const(run.texts))
        FUZZ_CHECK(other.setAction(text, {}) == words.contains(text));

    while (run.sendNext()) {
    }

    // Each action ran once for every time its word was sent.
    for (qsizetype w = 0; w < words.size(); ++w) {
        const bool hasAction = w < plan.size() && plan[w].unicode() % 4 != NoAction;
        if (hasAction)
            FUZZ_CHECK(run.ran.value(words[w]) == run.sent.value(words[w]));
    }
    if (run.channel) {
        FUZZ_CHECK(emitted == run.announced);
        delete run.channel.data();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    forEachText(data, size, checkText);
    return 0;
}
