// torvane-cli's arguments, one per line, and its clock times.
#include "fuzzinput.h"

#include "cli/cliarguments.h"

#include <QSet>

namespace {

void checkClockTime(const QString &text)
{
    const std::optional<int> seconds = parseClockTime(text);
    if (!seconds)
        return;
    FUZZ_CHECK(*seconds >= 0 && *seconds <= 10'000'000);
    // Whole seconds read back the same in every form the option takes.
    const int s = *seconds;
    FUZZ_CHECK(parseClockTime(QString::number(s)) == s);
    const QString hms = u"%1:%2:%3"_qs.arg(s / 3600)
                            .arg(s / 60 % 60, 2, 10, QChar(u'0'))
                            .arg(s % 60, 2, 10, QChar(u'0'));
    FUZZ_CHECK(parseClockTime(hms) == s);
}

void checkArguments(const QString &input)
{
    const QStringList arguments = fuzzLines(input);
    for (const QString &argument : arguments)
        checkClockTime(argument);

    const CliArguments parsed = parseCliArguments(arguments);
    if (!parsed.error.isEmpty() || parsed.help || parsed.version)
        return;
    FUZZ_CHECK(!parsed.paths.isEmpty());
    FUZZ_CHECK(parsed.rotation >= -1 && parsed.rotation <= 4);
    FUZZ_CHECK(parsed.format >= -1 && parsed.format <= 8);
    FUZZ_CHECK(parsed.channels >= 0 && parsed.channels <= 2);
    if (parsed.clipTo)
        FUZZ_CHECK(parsed.clipFrom && *parsed.clipTo > *parsed.clipFrom);
    if (parsed.clipFrom)
        FUZZ_CHECK(*parsed.clipFrom >= 0);
    // Every path given comes out, in order; nothing else does.
    for (const QString &path : parsed.paths)
        FUZZ_CHECK(arguments.contains(path));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    forEachText(data, size, checkArguments);
    return 0;
}
