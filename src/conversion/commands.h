#pragma once

#include "joblist/jobsettings.h"
#include "process/encodercommand.h"
#include "progress.h"

#include <QString>
#include <QTime>

#include <functional>
#include <optional>

// One encoder run of a job: what to start, the name shown for the encoder, and
// the file the run writes.
struct PassCommand
{
    EncoderCommand command;
    QString encoderName;
    QString outputPath;
    // The first pass of a two-pass format writes the intermediate file, which
    // only the second pass reads.
    bool intermediate = false;
    ProgressStyle progressStyle = ProgressStyle::Rotation;
};

// Everything a command is built from, read at the moment it is built.
struct CommandInputs
{
    JobSettings job;
    QString source;
    QString outputFolder;  // ends with the folder separator
    QString encoderFolder; // holds conv, coder and coder2
    QString tempFolder;    // holds the intermediate file of two-pass formats
    // Rotate by the display matrix alone where the source allows it.
    bool lossless = false;
    // The source's date, place and camera go with it; the encoders' default.
    bool keepMetadata = true;
    // Threads of its H.264 encoding, a share of the machine when several jobs
    // run at once; 0: the encoder's own choice.
    int threads = 0;
    // How outputs are named (see outputName); empty: the usual names.
    QString nameTemplate;
    // The folders below the output folder that the source's own lay in,
    // below the folder it was found in ("a/b/"); empty to write into the output folder.
    QString subfolder;
    QTime time;
    // Answers whether a file exists; outputs never replace one.
    std::function<bool(const QString &)> exists;
};

// Whether the first pass of these inputs may rotate without encoding: a
// turn without a mirror into a format that rotates losslessly.
bool losslessApplies(const CommandInputs &in);
// Why a lossless rotation asked for cannot even be tried, in the encoders'
// refusal words ("filter", "container"); empty when it can, or when the job
// does not turn the picture at all.
QString losslessRefusal(const CommandInputs &in);
// The fields of a name template: the source's name up to its first dot, the
// rotation's and the format's names as torvane-cli takes them, and the time of
// day (hhmmss) the job started.
inline constexpr const char16_t *NameFields[] = {u"{name}", u"{rotation}", u"{format}", u"{time}"};
// Why a name template cannot be used (an unknown field, a "/"), in English for
// torvane-cli; empty when it can.
QString nameTemplateProblem(const QString &nameTemplate);
// The output's file name without its extension: the template with its fields
// filled in; without one the usual names, "<name>_已旋转<time>" for a format
// of one pass, "<name>-<time>" for the others.
QString outputName(const CommandInputs &in);

// All passes of one job, built together from the same inputs.
QList<PassCommand> jobPasses(const CommandInputs &in);

PassCommand firstPassCommand(const CommandInputs &in);
// Only for the two-pass formats; the second pass reads the intermediate file.
// Two-pass formats convert without rotating here: the first pass has turned
// the picture already.
PassCommand secondPassCommand(const CommandInputs &in);

QString intermediatePath(const QString &tempFolder);

// Hour, minute and second, two digits each, so names sort by their time and
// never meet: 14:05:09 gives "140509" (18:03:52 and 18:35:02 both gave "18352").
QString timeStamp(const QTime &time);
// The path itself when no file has that name, otherwise the first free
// "name_2.ext", "name_3.ext" ...
QString uniqueOutputPath(const QString &path, const std::function<bool(const QString &)> &exists);
