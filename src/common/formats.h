#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Every output format and every container, one row each. The window's format
// list, torvane-cli's names, the encoder commands and the encoders' choice of
// muxer and codecs are all read from here. A new format is a row in each
// table below (unless its container is already there) and its presets.

// What the encoders write for an output name's extension.
struct Container
{
    const char16_t *extension;  // without the dot
    const char16_t *muxer;      // ffmpeg's
    const char16_t *videoCodec; // used when the command names none; nullptr: no video
    const char16_t *audioCodec;
    // Players honour its display matrix, so a quarter turn can be a copy of
    // the video with a new matrix (the lossless rotation).
    bool displayMatrix;
};

// How the first encoder run of a job is made.
enum class FirstPass {
    X264Avi,      // conv, H.264 with "-of avi" (the output's extension decides the container)
    X264,         // conv, H.264
    Mpeg1,        // conv, MPEG-1 video at the frame rate setting
    Intermediate, // conv, fixed rates into the intermediate file of a second pass
    AudioOnly,    // coder, the sound alone
};
// The encoder run that turns the intermediate file into the output.
enum class SecondPass { None, RealMedia, Phone };

// The encoding settings a format's choice writes: video bitrate, frame rate,
// frame size, sample rate, audio bitrate (texts; nullptr: left as they are)
// and the channel entry (0 mono, 1 stereo).
struct Preset
{
    const char16_t *videoBitrate, *frameRate, *frameSize, *sampleRate, *audioBitrate;
    int channelEntry;
};

struct Format
{
    int index;                  // in the nine-entry list, as setup.ini stores it
    const char16_t *name;       // the nine-entry list's text
    const char16_t *shortName;  // in sentences and columns
    const char16_t *listedName; // the format list's text; nullptr: not listed
    int listedEntry;            // its place in the format list, -1 when not listed
    const char16_t *cliName;    // torvane-cli --format
    const char16_t *extension;  // of its output, without the dot
    FirstPass firstPass;
    SecondPass secondPass;
    Preset preset;

    bool isTwoPass() const { return secondPass != SecondPass::None; }
    // A quarter turn may be a copy with a new display matrix: its first pass
    // writes the output, in a container whose display matrix players honour.
    bool rotatesLosslessly() const;
    const Container &container() const;
};

namespace Formats {

// Indexes by name, for code that means one format in particular.
enum Index { Flv, Rm, Mpg, Avi, Mp4, Mov, PhoneMp4, ThreeGp, Mp3, Count };

const Format &at(int index); // 0 <= index < Count
bool isValid(int index);

QStringList names();
QStringList cliNames();
int indexOfCliName(QStringView name); // -1 when none has it
// The format list: its texts in order, and the format of each entry.
QStringList listedNames();
int formatOfListedEntry(int entry); // -1 for none
// The short names of the listed formats that rotate losslessly.
QStringList losslessNames();

// The container an output name's extension stands for; nullptr when none.
const Container *containerForExtension(QStringView extension);
// The first container written by that muxer; nullptr when none.
const Container *containerForMuxer(QStringView muxer);

} // namespace Formats

// The frame size that keeps the source's size.
inline constexpr char16_t KeepSizeMarker[] = u"原始尺寸";

// The first pass of the two-pass formats writes this in the scratch folder.
inline constexpr char16_t IntermediateFileName[] = u"tmp.mp4";
