#include "cliarguments.h"

#include "common/formats.h"
#include "conversion/batchcontroller.h"
#include "conversion/commands.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

QByteArray cliUsage()
{
    const QStringList rotations = ConversionSettings::rotationCliNames();
    const QStringList formats = Formats::cliNames();
    // The defaults are the window's: the first rotation, the format list's first entry.
    const auto choices = [](const QStringList &names, const QString &byDefault) {
        return "0-" + QByteArray::number(names.size() - 1) + " or " +
               names.join(u", "_qs).toUtf8() + " (default " + byDefault.toUtf8() + ")\n";
    };
    return "usage: torvane-cli [--rotate R] [--format F] [--output DIR] [--lossless]\n"
           "                   [--source-orientation follow|ignore] [--no-keep-metadata]\n"
           "                   [--from T] [--to T] [--video-bitrate T] [--frame-rate T] "
           "[--size T]\n"
           "                   [--sample-rate T] [--audio-bitrate T] [--channels 1|2]\n"
           "                   [--name TEMPLATE] [--keep-tree] [--jobs N|auto] [--json]\n"
           "                   [--dry-run] [--no-record] [--quiet]\n"
           "                   [--version]\n"
           "                   PATH...\n"
           "       torvane-cli --dry-run --print0 [...] PATH...\n"
           "       torvane-cli --preview OUT.png [--rotate R] [--format F] [...] PATH\n"
           "       torvane-cli --list formats|rotations\n"
           "  R: " +
           choices(rotations, rotations.first()) +
           "  F: " + choices(formats, formats[Formats::formatOfListedEntry(0)]) +
           "  T for --from and --to: seconds or [[hh:]mm:]ss\n";
}

namespace {

// One of the names, or an index in range; -1 otherwise. A name goes first:
// "180" is half a turn, not an entry.
int choice(const QString &value, const QStringList &names)
{
    if (const qsizetype named = names.indexOf(value); named >= 0)
        return int(named);
    bool isNumber = false;
    const int index = value.toInt(&isNumber);
    return isNumber && index >= 0 && index < names.size() ? index : -1;
}

std::optional<double> plainNumber(const QString &text)
{
    static const QRegularExpression form(u"^\\s*\\d+(\\.\\d+)?\\s*$"_qs);
    if (!form.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// The encoders take these texts as the window would give them; the ranges
// keep out what no encoder could use.
QString checkSetting(ConversionSettings::Setting setting, const QString &text)
{
    using S = ConversionSettings;
    if (setting == S::FrameSize) {
        static const QRegularExpression size(u"^(\\d{1,5})x(\\d{1,5})$"_qs);
        const auto match = size.match(text);
        if (text == S::keepSizeMarker() ||
            (match.hasMatch() && match.captured(1).toInt() > 0 &&
             match.captured(1).toInt() <= 16384 && match.captured(2).toInt() > 0 &&
             match.captured(2).toInt() <= 16384))
            return {};
        return u"--size takes WIDTHxHEIGHT (up to 16384) or "_qs + S::keepSizeMarker();
    }
    const std::optional<double> value = plainNumber(text);
    struct Range
    {
        const char16_t *name;
        double low, high;
    };
    static const Range ranges[] = {
        {u"--video-bitrate (kbit/s)", 1, 1e6},
        {u"--frame-rate", 1, 1000},
        {u"", 0, 0},
        {u"--sample-rate (Hz)", 1000, 768000},
        {u"--audio-bitrate (kbit/s)", 1, 1e4},
    };
    const Range &r = ranges[setting];
    if (value && *value >= r.low && *value <= r.high)
        return {};
    return u"%1 takes a number from %2 to %3"_qs.arg(QString::fromUtf16(r.name))
        .arg(r.low, 0, 'g', 10)
        .arg(r.high, 0, 'g', 10);
}

} // namespace

std::optional<int> parseClockTime(const QString &text)
{
    const QStringList parts = text.trimmed().split(u':');
    if (parts.isEmpty() || parts.size() > 3)
        return std::nullopt;
    double total = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const std::optional<double> value = plainNumber(parts[i]);
        if (!value)
            return std::nullopt;
        const bool last = i + 1 == parts.size();
        // Below the largest unit, minutes and seconds stay under 60.
        if (i > 0 && *value >= 60)
            return std::nullopt;
        if (!last && *value != std::floor(*value))
            return std::nullopt;
        total = total * 60 + *value;
    }
    if (total > 1e7)
        return std::nullopt;
    return int(std::lround(total));
}

CliArguments parseCliArguments(const QStringList &arguments)
{
    CliArguments result;
    QCommandLineParser parser;
    const QCommandLineOption rotate(u"rotate"_qs, QString(), u"R"_qs);
    const QCommandLineOption format(u"format"_qs, QString(), u"F"_qs);
    const QCommandLineOption output(u"output"_qs, QString(), u"DIR"_qs);
    const QCommandLineOption from(u"from"_qs, QString(), u"T"_qs);
    const QCommandLineOption to(u"to"_qs, QString(), u"T"_qs);
    const QCommandLineOption channels(u"channels"_qs, QString(), u"N"_qs);
    const QCommandLineOption lossless(u"lossless"_qs);
    const QCommandLineOption noKeepMetadata(u"no-keep-metadata"_qs);
    const QCommandLineOption sourceOrientation(u"source-orientation"_qs, QString(), u"HOW"_qs);
    const QCommandLineOption dryRun(u"dry-run"_qs);
    const QCommandLineOption print0(u"print0"_qs);
    const QCommandLineOption noRecord(u"no-record"_qs);
    const QCommandLineOption name(u"name"_qs, QString(), u"TEMPLATE"_qs);
    const QCommandLineOption keepTree(u"keep-tree"_qs);
    const QCommandLineOption quiet(u"quiet"_qs);
    const QCommandLineOption json(u"json"_qs);
    const QCommandLineOption version(u"version"_qs);
    const QCommandLineOption help(QStringList{u"h"_qs, u"help"_qs});
    const QCommandLineOption list(u"list"_qs, QString(), u"WHAT"_qs);
    const QCommandLineOption preview(u"preview"_qs, QString(), u"PNG"_qs);
    const QCommandLineOption jobs(u"jobs"_qs, QString(), u"N"_qs);
    static const char16_t *const settingNames[ConversionSettings::SettingCount] = {
        u"video-bitrate", u"frame-rate", u"size", u"sample-rate", u"audio-bitrate"};
    parser.addOptions({rotate,
                       format,
                       output,
                       from,
                       to,
                       channels,
                       lossless,
                       noKeepMetadata,
                       sourceOrientation,
                       dryRun,
                       print0,
                       noRecord,
                       name,
                       keepTree,
                       quiet,
                       json,
                       version,
                       help,
                       list,
                       preview,
                       jobs});
    for (const char16_t *name : settingNames)
        parser.addOption(QCommandLineOption(QString::fromUtf16(name), QString(), u"T"_qs));

    // QCommandLineParser takes the program name first.
    if (!parser.parse(QStringList{u"torvane-cli"_qs} + arguments)) {
        result.error = parser.errorText();
        return result;
    }
    result.help = parser.isSet(help);
    result.version = parser.isSet(version);
    if (result.help || result.version)
        return result;
    if (parser.isSet(list)) {
        const QString what = parser.value(list);
        if (what == u"formats" || what == u"rotations")
            result.list = what;
        else
            result.error = u"--list takes formats or rotations"_qs;
        return result;
    }

    if (parser.isSet(rotate)) {
        result.rotation = choice(parser.value(rotate), ConversionSettings::rotationCliNames());
        if (result.rotation < 0) {
            result.error = u"unknown rotation: "_qs + parser.value(rotate);
            return result;
        }
    }
    if (parser.isSet(format)) {
        result.format = choice(parser.value(format), Formats::cliNames());
        if (result.format < 0) {
            result.error = u"unknown format: "_qs + parser.value(format);
            return result;
        }
    }
    for (int s = 0; s < ConversionSettings::SettingCount; ++s) {
        const QString name = QString::fromUtf16(settingNames[s]);
        if (!parser.isSet(name))
            continue;
        const QString value = parser.value(name);
        const QString problem = checkSetting(ConversionSettings::Setting(s), value);
        if (!problem.isEmpty()) {
            result.error = problem;
            return result;
        }
        result.settings[size_t(s)] = value;
    }
    if (parser.isSet(channels)) {
        const QString n = parser.value(channels);
        if (n != u"1" && n != u"2") {
            result.error = u"--channels takes 1 or 2"_qs;
            return result;
        }
        result.channels = n.toInt();
    }
    for (const auto &[option, target] :
         {std::pair{&from, &result.clipFrom}, std::pair{&to, &result.clipTo}}) {
        if (!parser.isSet(*option))
            continue;
        *target = parseClockTime(parser.value(*option));
        if (!*target) {
            result.error = u"--%1 takes seconds or [[hh:]mm:]ss"_qs.arg(option->names().first());
            return result;
        }
    }
    if (result.clipTo && !result.clipFrom)
        result.clipFrom = 0;
    if (result.clipFrom && result.clipTo && *result.clipTo <= *result.clipFrom) {
        result.error = u"--to must come after --from"_qs;
        return result;
    }
    result.output = parser.value(output);
    result.lossless = parser.isSet(lossless);
    result.keepMetadata = !parser.isSet(noKeepMetadata);
    if (parser.isSet(sourceOrientation)) {
        const QString how = parser.value(sourceOrientation);
        if (how != u"follow" && how != u"ignore") {
            result.error = u"--source-orientation takes follow or ignore"_qs;
            return result;
        }
        result.sourceOrientation =
            how == u"ignore" ? SourceOrientation::Ignore : SourceOrientation::Follow;
    }
    if (parser.isSet(jobs) && parser.value(jobs) != u"auto") {
        bool ok = false;
        result.parallelJobs = parser.value(jobs).toInt(&ok);
        if (!ok || result.parallelJobs < 1 || result.parallelJobs > MaxParallelJobs) {
            result.error = u"--jobs takes auto or 1 to %1"_qs.arg(MaxParallelJobs);
            return result;
        }
    }
    result.dryRun = parser.isSet(dryRun);
    result.print0 = parser.isSet(print0);
    result.record = !parser.isSet(noRecord);
    result.keepTree = parser.isSet(keepTree);
    if (parser.isSet(name)) {
        result.nameTemplate = parser.value(name);
        const QString problem = result.nameTemplate.isEmpty()
                                    ? u"--name takes a template, such as {name}-{rotation}"_qs
                                    : nameTemplateProblem(result.nameTemplate);
        if (!problem.isEmpty()) {
            result.error = u"--name: "_qs + problem;
            return result;
        }
    }
    result.quiet = parser.isSet(quiet);
    result.json = parser.isSet(json);
    result.paths = parser.positionalArguments();
    result.preview = parser.value(preview);
    if (result.paths.isEmpty())
        result.error = u"no video file or folder given"_qs;
    // An empty word, such as an unset variable in a script, would name the
    // current folder and convert all below it.
    else if (result.paths.contains(QString()))
        result.error = u"an empty path names no file"_qs;
    else if (parser.isSet(preview) && (result.preview.isEmpty() || result.paths.size() != 1))
        result.error = u"--preview takes a PNG file name and one video file"_qs;
    else if (result.print0 && (!result.dryRun || result.json || parser.isSet(preview)))
        result.error = u"--print0 goes with --dry-run alone, not with --json or --preview"_qs;
    return result;
}
