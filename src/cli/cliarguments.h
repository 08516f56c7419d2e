#pragma once

#include "conversion/conversionsettings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// What torvane-cli was asked to do.
struct CliArguments
{
    int rotation = -1; // -1: the default
    int format = -1;
    QString output;
    std::array<std::optional<QString>, ConversionSettings::SettingCount> settings;
    int channels = 0; // 0: the format's
    std::optional<int> clipFrom, clipTo;
    bool lossless = false;
    bool keepMetadata = true;
    int parallelJobs = 0; // --jobs; 0: automatic
    SourceOrientation sourceOrientation = SourceOrientation::Follow;
    bool dryRun = false;
    bool print0 = false;  // with dryRun: the jobs' sources, each ended by a NUL byte
    bool record = true;   // ended jobs go to the record the window's 转换记录 shows
    QString nameTemplate; // --name; empty: the usual names
    bool keepTree = false;
    bool quiet = false;
    bool json = false;
    bool version = false;
    bool help = false;
    QString list;    // "formats" or "rotations": print the names --format or --rotate take
    QString preview; // set: draw the one source's output frame into this PNG instead
    QStringList paths;

    QString error; // set: a usage error, and nothing else is to be trusted
};

// The arguments after the program name.
CliArguments parseCliArguments(const QStringList &arguments);

// Seconds, or [[hh:]mm:]ss with fractions allowed in the seconds; nothing when
// the text is not such a time or is out of range.
std::optional<int> parseClockTime(const QString &text);

// The usage text, ending with a newline.
QByteArray cliUsage();
