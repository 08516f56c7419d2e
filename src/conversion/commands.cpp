#include "commands.h"

#include "conversionsettings.h"

#include <algorithm>

#include "common/paths.h"
#include "common/report.h"

namespace {

const QChar Q = u'"';
// Outputs of a first pass carry this in their name, those of the later
// passes and of the sound alone a plain dash.
const QString RotatedMarker = u"_已旋转"_qs;
const QString PassMarker = u"-"_qs;

QString encoderPath(const CommandInputs &in, const QString &name)
{
    return withTrailingSeparator(in.encoderFolder) + name;
}

// "-vf rotate=1" as a text and as arguments; nothing for no rotation.
QString rotationText(const PictureTransform &rotation)
{
    const QStringList words = rotation.encoderWords();
    return words.isEmpty() ? QString() : u"-vf "_qs + words.join(u',');
}

QStringList rotationArguments(const PictureTransform &rotation)
{
    QStringList arguments;
    if (const QStringList words = rotation.encoderWords(); !words.isEmpty())
        arguments << u"-vf"_qs << words.join(u',');
    return arguments;
}

// Options of Torvane's own encoders beyond the table's command lines, only
// where a job differs from their defaults.
QStringList ourOptions(const CommandInputs &in, bool rotationPass)
{
    QStringList words;
    if (rotationPass && in.job.sourceOrientation == SourceOrientation::Ignore)
        words << u"-noautorotate"_qs;
    if (!in.keepMetadata)
        words << u"-nometadata"_qs;
    return words;
}

// The words as they stand in the command text, each followed by a space.
QString optionsText(const QStringList &words)
{
    QString text;
    for (const QString &word : words)
        text += word + u' ';
    return text;
}

QString seconds(int value)
{
    return QString::number(value);
}

QString outputFile(const CommandInputs &in)
{
    const QString path = in.outputFolder + in.subfolder + outputName(in) + u'.' +
                         QString::fromUtf16(Formats::at(in.job.format).extension);
    return in.exists ? uniqueOutputPath(path, in.exists) : path;
}

// The sound alone: coder, with the audio settings.
PassCommand audioOnlyCommand(const CommandInputs &in)
{
    // The encoding settings by the names the command tables give them.
    const auto &[VB, F, S, R, BR] = in.job.texts;
    PassCommand pass;
    const QString CH = QString::number(in.job.channelEntry + 1);
    pass.encoderName = u"coder"_qs;
    pass.progressStyle = ProgressStyle::Format;
    pass.outputPath = outputFile(in);
    pass.command.program = encoderPath(in, u"coder"_qs);
    QStringList &args = pass.command.arguments;
    QString clip;
    args << u"-i"_qs << in.source;
    if (in.job.clip) {
        args << u"-ss"_qs << seconds(in.job.clip->startSeconds);
        clip = u" -ss "_qs + seconds(in.job.clip->startSeconds);
        if (in.job.clip->lengthSeconds > 0) {
            args << u"-t"_qs << seconds(in.job.clip->lengthSeconds);
            clip += u" -t "_qs + seconds(in.job.clip->lengthSeconds);
        }
    }
    args << u"-y"_qs << u"-vn"_qs << u"-ar"_qs << R << u"-ab"_qs << BR + u'k' << u"-ac"_qs << CH
         << ourOptions(in, false) << pass.outputPath;
    pass.command.text =
        printablePath(pass.command.program + u" -i "_qs + Q + in.source + Q + clip +
                      u" -y -vn -ar "_qs + R + u" -ab "_qs + BR + u"k -ac "_qs + CH + u' ' +
                      optionsText(ourOptions(in, false)) + Q + pass.outputPath + Q);
    return pass;
}

// "bitrate=400", and the job's share of threads when it has one.
QString x264Options(const CommandInputs &in, const QString &bitrate)
{
    QString options = u"bitrate="_qs + bitrate;
    if (in.threads > 0)
        options += u":threads="_qs + QString::number(in.threads);
    return options;
}

} // namespace

QString intermediatePath(const QString &tempFolder)
{
    return withTrailingSeparator(tempFolder) + QString::fromUtf16(IntermediateFileName);
}

PassCommand firstPassCommand(const CommandInputs &in)
{
    // The encoding settings by the names the command tables give them.
    const auto &[VB, F, S, R, BR] = in.job.texts;
    const Format &format = Formats::at(in.job.format);
    if (format.firstPass == FirstPass::AudioOnly)
        return audioOnlyCommand(in);

    PassCommand pass;
    const QString ROT = rotationText(in.job.rotation);
    const QString SRC = in.source;
    pass.encoderName = u"conv"_qs;
    pass.command.program = encoderPath(in, u"conv"_qs);
    QStringList &args = pass.command.arguments;
    QString text = pass.command.program + u' ' + Q + SRC + Q;
    args << SRC;
    if (in.job.clip) {
        args << u"-ss"_qs << seconds(in.job.clip->startSeconds);
        text += u" -ss "_qs + seconds(in.job.clip->startSeconds);
        if (in.job.clip->lengthSeconds > 0) {
            args << u"-endpos"_qs << seconds(in.job.clip->lengthSeconds);
            text += u" -endpos "_qs + seconds(in.job.clip->lengthSeconds);
        }
    }
    args << u"-oac"_qs << u"mp3lame"_qs << u"-lameopts"_qs;

    switch (format.firstPass) {
    case FirstPass::Intermediate:
        pass.outputPath = intermediatePath(in.tempFolder);
        pass.intermediate = true;
        args << u"preset=320"_qs << u"-ovc"_qs << u"x264"_qs << u"-x264encopts"_qs
             << x264Options(in, u"1200"_qs) << u"-of"_qs << u"avi"_qs
             << rotationArguments(in.job.rotation);
        text += u" -oac mp3lame -lameopts preset=320 -ovc x264 -x264encopts "_qs +
                x264Options(in, u"1200"_qs) + u" -of avi "_qs + ROT;
        break;
    case FirstPass::Mpeg1:
        pass.outputPath = outputFile(in);
        args << u"preset="_qs + BR << u"-ovc"_qs << u"lavc"_qs << u"-lavcopts"_qs
             << u"vcodec=mpeg1video:vbitrate="_qs + VB + u":vpass=1"_qs << u"-ofps"_qs << F
             << u"-of"_qs << u"lavf"_qs << u"-lavfopts"_qs << u"format=yuv4mpeg"_qs
             << rotationArguments(in.job.rotation);
        text += u" -oac mp3lame -lameopts preset="_qs + BR +
                u" -ovc lavc -lavcopts vcodec=mpeg1video:vbitrate="_qs + VB +
                u":vpass=1 -ofps "_qs + F + u" -of lavf -lavfopts format=yuv4mpeg "_qs + ROT;
        break;
    case FirstPass::X264:
        pass.outputPath = outputFile(in);
        args << u"preset="_qs + BR << u"-ovc"_qs << u"x264"_qs << u"-x264encopts"_qs
             << x264Options(in, VB) << rotationArguments(in.job.rotation);
        text += u" -oac mp3lame -lameopts preset="_qs + BR + u" -ovc x264 -x264encopts "_qs +
                x264Options(in, VB) + u' ' + ROT;
        if (losslessApplies(in)) {
            args << u"-lossless"_qs;
            text += u" -lossless"_qs;
        }
        break;
    case FirstPass::X264Avi:
    case FirstPass::AudioOnly:
        pass.outputPath = outputFile(in);
        args << u"preset="_qs + BR << u"-ovc"_qs << u"x264"_qs << u"-x264encopts"_qs
             << x264Options(in, VB) << u"-of"_qs << u"avi"_qs << rotationArguments(in.job.rotation);
        text += u" -oac mp3lame -lameopts preset="_qs + BR + u" -ovc x264 -x264encopts "_qs +
                x264Options(in, VB) + u" -of avi "_qs + ROT;
        break;
    }
    for (const QString &word : ourOptions(in, true)) {
        args << word;
        text += u' ' + word;
    }
    args << u"-o"_qs << pass.outputPath;
    // The intermediate file's path is the one the command does not quote.
    text += u" -o "_qs + (pass.intermediate ? pass.outputPath : Q + pass.outputPath + Q);
    pass.command.text = printablePath(text);
    return pass;
}

bool losslessApplies(const CommandInputs &in)
{
    return in.lossless && Formats::at(in.job.format).rotatesLosslessly() &&
           in.job.rotation.isTurn();
}

QString losslessRefusal(const CommandInputs &in)
{
    const Format &format = Formats::at(in.job.format);
    if (!in.lossless || in.job.rotation.isIdentity() || format.firstPass == FirstPass::AudioOnly)
        return {};
    if (!in.job.rotation.isTurn())
        return QString::fromLatin1(Report::refusalWord(Report::LosslessRefusal::Filter));
    if (!format.rotatesLosslessly())
        return QString::fromLatin1(Report::refusalWord(Report::LosslessRefusal::Container));
    return {};
}

QList<PassCommand> jobPasses(const CommandInputs &in)
{
    QList<PassCommand> passes{firstPassCommand(in)};
    if (Formats::at(in.job.format).isTwoPass())
        passes << secondPassCommand(in);
    return passes;
}

PassCommand secondPassCommand(const CommandInputs &in)
{
    // The encoding settings by the names the command tables give them.
    const auto &[VB, F, S, R, BR] = in.job.texts;
    PassCommand pass;
    pass.progressStyle = ProgressStyle::Format;
    const QString TMP = intermediatePath(in.tempFolder);
    const bool keepSize = S == QStringView(KeepSizeMarker);
    QStringList &args = pass.command.arguments;
    QString tail;

    if (Formats::at(in.job.format).secondPass == SecondPass::RealMedia) {
        pass.encoderName = u"coder"_qs;
        pass.command.program = encoderPath(in, u"coder"_qs);
        pass.outputPath = outputFile(in);
        if (keepSize) {
            args << u"-i"_qs << TMP << u"-y"_qs << u"-vcodec"_qs << u"rv10"_qs << u"-b"_qs
                 << u"1200k"_qs << u"-f"_qs << u"rm"_qs << u"-ab"_qs << u"128k"_qs << u"-ac"_qs
                 << u"2"_qs;
            tail = u" -i "_qs + TMP + u" -y -vcodec rv10 -b 1200k -f rm  -ab 128k -ac 2 "_qs;
        } else {
            const QString CH = QString::number(in.job.channelEntry == 0 ? 1 : 2);
            args << u"-i"_qs << TMP << u"-y"_qs << u"-s"_qs << S << u"-vcodec"_qs << u"rv10"_qs
                 << u"-b"_qs << VB + u'k' << u"-f"_qs << u"rm"_qs << u"-ar"_qs << R << u"-ab"_qs
                 << BR + u'k' << u"-ac"_qs << CH;
            tail = u" -i "_qs + TMP + u" -y -s "_qs + S + u" -vcodec rv10 -b "_qs + VB +
                   u"k -f rm -ar "_qs + R + u" -ab "_qs + BR + u"k -ac "_qs + CH + u' ';
        }
    } else {
        pass.encoderName = u"coder2"_qs;
        pass.command.program = encoderPath(in, u"coder2"_qs);
        pass.outputPath = outputFile(in);
        const QString size = keepSize ? u"320x240"_qs : S;
        args << u"-i"_qs << TMP << u"-y"_qs << u"-s"_qs << size << u"-vcodec"_qs << u"mpeg4"_qs
             << u"-acodec"_qs << u"amr_nb"_qs << u"-ac"_qs << u"1"_qs << u"-ar"_qs << u"8000"_qs
             << u"-ab"_qs << u"12.2k"_qs;
        tail = u" -i "_qs + TMP + u" -y -s "_qs + size +
               u" -vcodec mpeg4 -acodec amr_nb -ac 1 -ar 8000 -ab 12.2k "_qs;
    }
    args << ourOptions(in, false) << pass.outputPath;
    pass.command.text = printablePath(pass.command.program + tail +
                                      optionsText(ourOptions(in, false)) + Q + pass.outputPath + Q);
    return pass;
}

QString nameTemplateProblem(const QString &nameTemplate)
{
    if (nameTemplate.contains(u'/'))
        return u"a name cannot hold \"/\""_qs;
    if (std::any_of(nameTemplate.cbegin(), nameTemplate.cend(),
                    [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
        return u"a name cannot hold control characters"_qs;
    QString rest = nameTemplate;
    for (const char16_t *field : NameFields)
        rest.replace(QString::fromUtf16(field), QString());
    if (rest.contains(u'{') || rest.contains(u'}'))
        return u"the fields of a name are {name}, {rotation}, {format} and {time}"_qs;
    return {};
}

QString outputName(const CommandInputs &in)
{
    const bool firstPassWrites = Formats::at(in.job.format).secondPass == SecondPass::None &&
                                 Formats::at(in.job.format).firstPass != FirstPass::AudioOnly;
    if (in.nameTemplate.isEmpty() || !nameTemplateProblem(in.nameTemplate).isEmpty())
        return baseNameOf(in.source) + (firstPassWrites ? RotatedMarker : PassMarker) +
               timeStamp(in.time);
    const QStringList rotations = ConversionSettings::rotationCliNames();
    QString name = in.nameTemplate;
    name.replace(u"{name}"_qs, baseNameOf(in.source));
    name.replace(u"{rotation}"_qs,
                 rotations.value(ConversionSettings::rotationEntryOf(in.job.rotation)));
    name.replace(u"{format}"_qs, QString::fromUtf16(Formats::at(in.job.format).cliName));
    name.replace(u"{time}"_qs, timeStamp(in.time));
    // A name must name something: nothing, "." and ".." are a folder's.
    if (name.isEmpty() || name == u"." || name == u"..")
        name = baseNameOf(in.source);
    return name;
}

QString timeStamp(const QTime &time)
{
    return time.toString(u"HHmmss"_qs);
}

QString uniqueOutputPath(const QString &path, const std::function<bool(const QString &)> &exists)
{
    if (!exists(path))
        return path;
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype cut = dot <= 0 ? path.size() : path.size() - name.size() + dot;
    for (int n = 2;; ++n) {
        const QString candidate = path.left(cut) + u'_' + QString::number(n) + path.mid(cut);
        if (!exists(candidate))
            return candidate;
    }
}
