#include "commandline.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <optional>

using namespace Qt::Literals::StringLiterals;

double parseNumber(const QString &text, bool *ok)
{
    const double value = QLocale::c().toDouble(text.trimmed(), ok);
    if (*ok && !std::isfinite(value))
        *ok = false;
    return *ok ? value : 0.0;
}

namespace {

struct Failure
{
    QString reason;
};

// "k=v:k2=v2" as mencoder writes its sub-options; a bare key has an empty value.
QList<std::pair<QString, QString>> subOptions(const QString &text)
{
    QList<std::pair<QString, QString>> result;
    for (const QString &part : text.split(u':', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0)
            result.append({part.trimmed(), QString()});
        else
            result.append({part.left(eq).trimmed(), part.mid(eq + 1).trimmed()});
    }
    return result;
}

double positiveNumber(const QString &text, const QString &what)
{
    bool ok = false;
    const double value = parseNumber(text, &ok);
    if (!ok || value <= 0)
        throw Failure{u"%1 is not a usable %2"_s.arg(text, what)};
    return value;
}

// Every figure from outside is held to what the stream could really use, so a
// typo never reaches ffmpeg or an integer conversion. No parentheses: conv.
double checkedRange(double value, double low, double high, const QString &text, const QString &what,
                    const QString &range)
{
    if (!std::isfinite(value) || value < low || value > high)
        throw Failure{u"%1 %2 is out of range, %3"_s.arg(what, text, range)};
    return value;
}

qint64 checkedBitrate(double value, const QString &text, qint64 ceiling = 1'000'000'000)
{
    return qint64(std::llround(checkedRange(value, 1, double(ceiling), text, u"bitrate"_s,
                                            u"1 to %1 bit/s"_s.arg(ceiling))));
}

// mencoder takes rates in kbit/s, but numbers above 16000 as bit/s.
qint64 mencoderBitrate(const QString &text)
{
    const double value = positiveNumber(text, u"bitrate"_s);
    return checkedBitrate(value > 16000 ? value : value * 1000, text);
}

// ffmpeg style: "128k", "1.2M", "64000". Old callers also wrote kbit/s without
// a suffix. A figure past what the stream could use (a slip of a unit, "320000k")
// is held to that ceiling; one past a thousand times the ceiling is a mistake.
qint64 ffmpegBitrate(const QString &text, qint64 ceiling)
{
    QString digits = text.trimmed();
    double scale = 1;
    if (digits.endsWith(u'k', Qt::CaseInsensitive)) {
        scale = 1000;
        digits.chop(1);
    } else if (digits.endsWith(u'm', Qt::CaseInsensitive)) {
        scale = 1000000;
        digits.chop(1);
    }
    double value = positiveNumber(digits, u"bitrate"_s) * scale;
    if (scale == 1 && value < 1000)
        value *= 1000;
    const double limit = double(ceiling) * 1000;
    checkedRange(value, 1, limit, text, u"bitrate"_s, u"1 to %1 bit/s"_s.arg(limit, 0, 'g', 12));
    return qint64(std::llround(std::min(value, double(ceiling))));
}

int sampleRate(const QString &text)
{
    double value = positiveNumber(text, u"sample rate"_s);
    if (value < 1000) // "44.1", "8": kHz
        value *= 1000;
    return int(std::lround(
        checkedRange(value, 1000, 768000, text, u"sample rate"_s, u"1000 to 768000 Hz"_s)));
}

int channelCount(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 1 || value > 8)
        throw Failure{u"%1 is not a usable channel count, 1 to 8"_s.arg(text)};
    return value;
}

QString frameRate(const QString &text)
{
    const QStringList parts = text.trimmed().split(u'/');
    if (parts.size() > 2)
        throw Failure{u"%1 is not a usable frame rate"_s.arg(text)};
    double value = positiveNumber(parts.first(), u"frame rate"_s);
    if (parts.size() == 2)
        value /= positiveNumber(parts.last(), u"frame rate"_s);
    checkedRange(value, 0.01, 1000, text, u"frame rate"_s, u"0.01 to 1000 frames/s"_s);
    return QString::number(value, 'g', 10);
}

// Seconds as the batch writes them: digits with an optional decimal part.
double clipSeconds(const QString &text, const QString &what)
{
    static const QRegularExpression plain(u"^\\d{1,9}(\\.\\d{1,9})?$"_s);
    if (!plain.match(text).hasMatch())
        throw Failure{u"%1 is not a usable %2 in seconds"_s.arg(text, what)};
    bool ok = false;
    return checkedRange(parseNumber(text, &ok), 0, 1e7, text, what, u"0 to 10000000 s"_s);
}

double clipLength(const QString &text)
{
    const double value = clipSeconds(text, u"clip length"_s);
    if (value <= 0)
        throw Failure{u"clip length %1 is out of range, it must be above 0 s"_s.arg(text)};
    return value;
}

QSize frameSize(const QString &text)
{
    static const QList<std::pair<QString, QSize>> names = {
        {u"sqcif"_s, {128, 96}}, {u"qcif"_s, {176, 144}}, {u"cif"_s, {352, 288}},
        {u"qvga"_s, {320, 240}}, {u"vga"_s, {640, 480}},
    };
    const QString lower = text.trimmed().toLower();
    for (const auto &[name, size] : names)
        if (name == lower)
            return size;
    const QStringList parts = lower.split(u'x');
    if (parts.size() == 2) {
        bool okW = false, okH = false;
        const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
        if (okW && okH && w >= 1 && h >= 1 && w <= 16384 && h <= 16384)
            return {w, h};
    }
    throw Failure{u"%1 is not a usable frame size, 1x1 to 16384x16384"_s.arg(text)};
}

PictureTransform orientation(const QString &word)
{
    if (const auto transform = PictureTransform::fromEncoderWord(word))
        return *transform;
    throw Failure{u"unsupported video filter %1"_s.arg(word)};
}

int lamePreset(const QString &value)
{
    // The named presets are VBR in lame; these are their typical average rates.
    static const QList<std::pair<QString, int>> named = {
        {u"medium"_s, 160}, {u"standard"_s, 192}, {u"extreme"_s, 256}, {u"insane"_s, 320}};
    for (const auto &[name, kbit] : named)
        if (value == name)
            return kbit * 1000;
    return int(mencoderBitrate(value));
}

QString lavcVideoCodec(const QString &name)
{
    static const QStringList known = {u"mpeg1video"_s, u"mpeg2video"_s, u"mpeg4"_s, u"flv"_s};
    if (!known.contains(name))
        throw Failure{u"unsupported lavc video codec %1"_s.arg(name)};
    return name;
}

QString previewName(const QString &value)
{
    if (value.isEmpty())
        throw Failure{u"empty preview name"_s};
    return value;
}

// Options without a value that every encoder takes wherever it stands.
bool commonFlag(const QString &opt, EncodeJob &job)
{
    if (opt == u"-nometadata") {
        job.keepMetadata = false;
        return true;
    }
    return false;
}

// conv's options without a value.
bool convFlag(const QString &opt, EncodeJob &job)
{
    if (opt == u"-lossless")
        job.lossless = true;
    else if (opt == u"-noautorotate")
        job.autorotate = false;
    else
        return commonFlag(opt, job);
    return true;
}

EncodeJob parseConv(QStringList args)
{
    EncodeJob job;
    job.tool = Tool::Conv;
    // The source comes first; the options that are newer than that rule are
    // taken in front of it too.
    while (!args.isEmpty()) {
        if (args.first() == u"-nometadata" || args.first() == u"-noautorotate") {
            convFlag(args.takeFirst(), job);
        } else if (args.first() == u"-preview" && args.size() > 1) {
            args.removeFirst();
            job.preview = previewName(args.takeFirst());
        } else {
            break;
        }
    }
    if (args.isEmpty() || args.first().isEmpty())
        throw Failure{u"no source file given"_s};
    job.input = args.first();
    job.audioCodec = u"libmp3lame"_s;

    QString ovc = u"x264"_s, lavcCodec = u"mpeg4"_s, of, lavfFormat;
    qint64 x264Rate = 0, lavcRate = 0;
    bool haveOutput = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &opt = args[i];
        if (convFlag(opt, job))
            continue;
        static const QStringList withValue = {
            u"-oac"_s,  u"-lameopts"_s, u"-ovc"_s,      u"-x264encopts"_s, u"-lavcopts"_s,
            u"-ofps"_s, u"-of"_s,       u"-lavfopts"_s, u"-vf"_s,          u"-o"_s,
            u"-ss"_s,   u"-endpos"_s,   u"-preview"_s};
        if (!withValue.contains(opt))
            throw Failure{u"unknown option %1"_s.arg(opt)};
        if (i + 1 >= args.size())
            throw Failure{u"option %1 needs a value"_s.arg(opt)};
        const QString value = args[++i];

        if (opt == u"-oac") {
            if (value != u"mp3lame")
                throw Failure{u"unsupported audio codec %1"_s.arg(value)};
        } else if (opt == u"-lameopts") {
            for (const auto &[key, v] : subOptions(value)) {
                if (key == u"preset" || key == u"br")
                    job.audioBitrate = lamePreset(v);
                else if (key != u"cbr" && key != u"abr")
                    throw Failure{u"unknown lame option %1"_s.arg(key)};
            }
        } else if (opt == u"-ovc") {
            if (value != u"x264" && value != u"lavc")
                throw Failure{u"unsupported video codec %1"_s.arg(value)};
            ovc = value;
        } else if (opt == u"-x264encopts") {
            for (const auto &[key, v] : subOptions(value)) {
                if (key == u"bitrate")
                    x264Rate = mencoderBitrate(v);
                else if (key == u"threads")
                    job.threads = int(checkedRange(positiveNumber(v, u"thread count"_s), 1, 64, v,
                                                   u"thread count"_s, u"1 to 64"_s));
                else
                    throw Failure{u"unknown x264 option %1"_s.arg(key)};
            }
        } else if (opt == u"-lavcopts") {
            for (const auto &[key, v] : subOptions(value)) {
                if (key == u"vcodec")
                    lavcCodec = lavcVideoCodec(v);
                else if (key == u"vbitrate")
                    lavcRate = mencoderBitrate(v);
                else if (key == u"vpass") // one pass is enough here
                    checkedRange(positiveNumber(v, u"pass number"_s), 1, 3, v, u"pass number"_s,
                                 u"1 to 3"_s);
                else
                    throw Failure{u"unknown lavc option %1"_s.arg(key)};
            }
        } else if (opt == u"-ofps") {
            job.frameRate = frameRate(value);
        } else if (opt == u"-of") {
            if (value != u"avi" && value != u"mpeg" && value != u"lavf")
                throw Failure{u"unsupported output format %1"_s.arg(value)};
            of = value;
        } else if (opt == u"-lavfopts") {
            for (const auto &[key, v] : subOptions(value)) {
                if (key != u"format" || v.isEmpty())
                    throw Failure{u"unknown lavf option %1"_s.arg(key)};
                lavfFormat = v;
            }
        } else if (opt == u"-vf") {
            for (const QString &word : value.split(u',', Qt::SkipEmptyParts))
                job.orientation = job.orientation.then(orientation(word.trimmed()));
        } else if (opt == u"-o") {
            if (value.isEmpty())
                throw Failure{u"empty output name"_s};
            job.output = value;
            haveOutput = true;
        } else if (opt == u"-ss") {
            job.clipStart = clipSeconds(value, u"clip start"_s);
        } else if (opt == u"-endpos") {
            job.clipLength = clipLength(value);
        } else if (opt == u"-preview") {
            job.preview = previewName(value);
        }
    }
    if (!haveOutput)
        throw Failure{u"no output file given, use -o"_s};

    job.videoCodec = ovc == u"lavc" ? lavcCodec : u"libx264"_s;
    job.videoBitrate = ovc == u"lavc" ? lavcRate : x264Rate;
    if (of == u"lavf" && !lavfFormat.isEmpty())
        job.fallbackMuxer = lavfFormat == u"yuv4mpeg" ? u"yuv4mpegpipe"_s : lavfFormat;
    else if (of == u"mpeg")
        job.fallbackMuxer = u"mpeg"_s;
    else
        job.fallbackMuxer = u"avi"_s; // mencoder's default container
    return job;
}

QString ffmpegVideoCodec(const QString &name)
{
    if (name == u"libx264" || name == u"h264" || name == u"x264")
        return u"libx264"_s;
    static const QStringList known = {u"rv10"_s,       u"mpeg4"_s, u"mpeg1video"_s,
                                      u"mpeg2video"_s, u"flv"_s,   u"h263"_s};
    if (!known.contains(name))
        throw Failure{u"unsupported video codec %1"_s.arg(name)};
    return name;
}

EncodeJob parseCoder(Tool tool, const QStringList &args)
{
    EncodeJob job;
    job.tool = tool;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &opt = args[i];
        if (!opt.startsWith(u'-') || opt.size() < 2) {
            if (!job.output.isEmpty())
                throw Failure{u"more than one output file: %1"_s.arg(opt)};
            if (opt.isEmpty())
                throw Failure{u"empty output name"_s};
            job.output = opt;
            continue;
        }
        if (opt == u"-y")
            continue; // the output is always replaced
        if (commonFlag(opt, job))
            continue;
        if (opt == u"-vn") {
            job.video = false;
            continue;
        }
        if (opt == u"-an") {
            job.audio = false;
            continue;
        }
        static const QStringList withValue = {u"-i"_s, u"-s"_s,  u"-vcodec"_s, u"-acodec"_s,
                                              u"-b"_s, u"-ab"_s, u"-ar"_s,     u"-ac"_s,
                                              u"-f"_s, u"-r"_s,  u"-ss"_s,     u"-t"_s};
        if (!withValue.contains(opt))
            throw Failure{u"unknown option %1"_s.arg(opt)};
        if (i + 1 >= args.size())
            throw Failure{u"option %1 needs a value"_s.arg(opt)};
        const QString value = args[++i];

        if (opt == u"-i") {
            if (!job.input.isEmpty() || value.isEmpty())
                throw Failure{u"exactly one input file is supported"_s};
            job.input = value;
        } else if (opt == u"-s") {
            job.frameSize = frameSize(value);
        } else if (opt == u"-vcodec") {
            job.videoCodec = ffmpegVideoCodec(value);
        } else if (opt == u"-acodec") {
            // The codec table says how AMR is made, and at what rate.
            if (value == u"amr_nb" || value == u"libopencore_amrnb" || value == u"amrnb")
                job.audioCodec = u"amr_nb"_s;
            else if (value == u"mp3" || value == u"libmp3lame")
                job.audioCodec = u"libmp3lame"_s;
            else if (value == u"aac" || value == u"ac3" || value == u"mp2")
                job.audioCodec = value;
            else
                throw Failure{u"unsupported audio codec %1"_s.arg(value)};
        } else if (opt == u"-b") {
            job.videoBitrate = ffmpegBitrate(value, 100'000'000);
        } else if (opt == u"-ab") {
            job.audioBitrate = ffmpegBitrate(value, 1'000'000);
        } else if (opt == u"-ar") {
            job.sampleRate = sampleRate(value);
        } else if (opt == u"-ac") {
            job.channels = channelCount(value);
        } else if (opt == u"-f") {
            job.fallbackMuxer = value;
        } else if (opt == u"-r") {
            job.frameRate = frameRate(value);
        } else if (opt == u"-ss") {
            job.clipStart = clipSeconds(value, u"clip start"_s);
        } else if (opt == u"-t") {
            job.clipLength = clipLength(value);
        }
    }
    if (job.input.isEmpty())
        throw Failure{u"no input file given, use -i"_s};
    if (job.output.isEmpty())
        throw Failure{u"no output file given"_s};
    return job;
}

} // namespace

ParseResult parseCommandLine(Tool tool, const QStringList &arguments)
{
    ParseResult result;
    try {
        // Every word after it is a path, even one that starts with "-".
        if (tool == Tool::Conv && !arguments.isEmpty() && arguments.first() == u"-probe") {
            result.probe = true;
            result.probePaths = arguments.mid(1);
            if (result.probePaths.isEmpty())
                throw Failure{u"no source file given to -probe"_s};
            return result;
        }
        result.job = tool == Tool::Conv ? parseConv(arguments) : parseCoder(tool, arguments);
    } catch (const Failure &failure) {
        result.error = failure.reason;
    }
    return result;
}
