#pragma once

#include <QHash>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>

// setup.ini: the last audio selections, output folder and format. An entry
// without a usable value stays nullopt so the window keeps what it shows.
struct SetupValues
{
    std::optional<int> bitrateEntry;
    std::optional<int> sampleRateEntry;
    std::optional<int> channelEntry;
    std::optional<QString> outputFolder;
    std::optional<int> formatEntry;
};

// output.ini: how outputs are named and whether the files of a folder keep its
// folders below the output folder; "key=value" lines under a version key, as
// window.ini. A file of another version, or none, gives the usual names.
struct OutputNaming
{
    static constexpr int Version = 1;
    QString nameTemplate; // empty: the usual names
    bool keepTree = false;

    friend bool operator==(const OutputNaming &, const OutputNaming &) = default;
};

// options.ini: completion sound (0 on, 1 off), music cutter (0/1), the clip
// bounds in seconds, and, on lines that older files lack, the lossless
// rotation (0/1), whether the source's date, place and camera are kept
// (1, the default, or 0), and how many videos convert at once (0: automatic).
struct OptionValues
{
    int16_t soundChoice = 0;
    int16_t clipEnabled = 0;
    int32_t clipFromSeconds = 0;
    int32_t clipToSeconds = 0;
    int16_t losslessRotation = 0;
    int16_t keepMetadata = 1;
    int16_t parallelJobs = 0;
    // Not in options.ini, which keeps its lines: kept in output.ini beside it.
    OutputNaming naming = {};
};

// Missing or unreadable file: every entry nullopt.
SetupValues readSetupFile(const QString &path);
bool writeSetupFile(const QString &path, int bitrateEntry, int sampleRateEntry, int channelEntry,
                    const QString &outputFolder, int formatEntry);

// False, with values untouched, when the file cannot be opened.
bool readOptionsFile(const QString &path, OptionValues &values);
bool writeOptionsFile(const QString &path, const OptionValues &values);

// folders.ini: the folder the file and folder dialogs last opened, as one
// quoted line like setup.ini's output folder. A missing, unreadable or blank
// file gives nullopt: no folder yet.
std::optional<QString> readFoldersFile(const QString &path);
bool writeFoldersFile(const QString &path, const QString &lastFolder);

// window.ini: the window's place and size and its list's column widths, as
// "key=value" lines under a version key, each value by name. A file of
// another version, or none, gives nothing; a key missing or unusable is left out.
struct WindowLayout
{
    static constexpr int Version = 1;
    std::optional<QRect> geometry; // the normal one, also while maximized
    bool maximized = false;
    QHash<QString, int> columnWidths; // by the column's key
};
WindowLayout readWindowFile(const QString &path);
bool writeWindowFile(const QString &path, const WindowLayout &layout);

OutputNaming readOutputFile(const QString &path);
bool writeOutputFile(const QString &path, const OutputNaming &naming);

// The copy beside the program when there is one (portable install), otherwise
// the one in the per-user configuration folder.
QString settingsFilePath(const QString &fileName, const QString &programFolder);
