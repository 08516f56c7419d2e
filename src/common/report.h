#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

// The encoders' report language. conv, coder and coder2 print progress for a
// person in the forms of the programs they stand in for; for the batch they
// write lines of their own, each the prefix, a key, "=" and a value, some
// followed by more "name=value" fields:
//
//   [torvane] duration=12.345                 seconds this run will encode
//   [torvane] position=4.560000               seconds encoded so far
//   [torvane] lossless=encode reason=codec codec=vp9
//   [torvane] check=size found=176x144 expected=144x176   what the output's check found
//   [torvane] error=source detail=...         why the run failed, and its last line
//   [torvane] output=/out/a%20b.mp4           the file written, as percent-encoded bytes
//   [torvane] probed=0 duration=12.345 info=...  conv -probe: the first path's length
//                                             and all its probe found, for its encoder;
//   [torvane] probed=1                        the second's is not known
//
// An output that was written but failed its check is reported by its output
// line, then error=check-failed with the last line.
//
// The report travels on a descriptor of its own, never on the output meant for
// people: that output quotes file names, and a name may hold a newline and
// anything after it. The batch hands the encoder the write end of a pipe as
// ChannelDescriptor and names it in ChannelVariable; an encoder started
// without one (by hand) writes its report lines to standard output instead.
// Every value that can hold a name or a message is percent-encoded, so no byte
// of it can end a line or a field.
//
// Both sides read this header: the encoders write with the writers below, the
// batch reads with Report::Reader, and neither spells a key of its own.
namespace Report {

inline constexpr char Prefix[] = "[torvane] ";
inline constexpr char ChannelVariable[] = "TORVANE_REPORT_FD";
inline constexpr int ChannelDescriptor = 3;
// What the batch's probe found of a job's source (a probed line's info), handed
// to the encoder of its first pass, which then need not probe again.
inline constexpr char SourceInfoVariable[] = "TORVANE_SOURCE_INFO";
// More would not fit an environment entry.
inline constexpr qsizetype MaxSourceInfo = 64 * 1024;

// How long a stopped encoder has before the batch kills its whole process
// group, and how long the encoder gives ffmpeg: shorter, so the encoder can
// still remove its unfinished file before the batch's kill.
inline constexpr int StopGraceMs = 3000;
inline constexpr int FfmpegStopGraceMs = StopGraceMs * 2 / 3;
static_assert(FfmpegStopGraceMs < StopGraceMs);

// Why a run failed, as the encoder found it.
enum class Error {
    None,
    Usage,         // a command line the encoder does not understand
    Source,        // the source cannot be read
    NotAFile,      // the source is a pipe, socket, device or folder
    Output,        // the output cannot be written
    NameTooLong,   // the output's name is longer than its folder allows
    DiskFull,      // no room left for the output
    FfmpegMissing, // no ffmpeg to run
    ClipRange,     // the clip starts past the source's end
    Interrupted,   // stopped by a signal, or nobody reads the output any more
    Failed,        // anything else
    CheckFailed,   // the output was written and kept, but is not what was asked for
    StillPicture,  // the source is a photo: one picture and no sound
    NoSound,       // only the sound was asked for, and the source has none
};
QByteArray errorWord(Error error);
// Failed for a word this version does not know.
Error errorFromWord(QStringView word);

// What the check of a finished output found wrong; found and expected carry
// the figures where there are any ("176x144", "9.50" seconds, "1.78" for the
// shape a picture is shown in, "smpte2084 10-bit" for its colour).
enum class CheckFinding {
    Unreadable,
    NoVideo,
    NoSound,
    Size,
    Duration,
    Undecodable,
    Aspect,
    Colour
};
struct CheckDifference
{
    CheckFinding finding = CheckFinding::Unreadable;
    QString found;
    QString expected;

    friend bool operator==(const CheckDifference &, const CheckDifference &) = default;
};

// Why a lossless rotation was not done, so the job is encoded after all.
enum class LosslessRefusal {
    None,
    Libav,         // libav could not be loaded: nothing is known of the source
    Filter,        // not a quarter turn
    Container,     // the output's container has no display matrix players honour
    NoVideo,       // the source has no video
    Codec,         // the output's container cannot carry the source's video codec
    DisplayMatrix, // the source's own display matrix is no plain quarter turn
    Clip,          // a clip range needs encoding: a copy starts at key frames only
};
QByteArray refusalWord(LosslessRefusal refusal);
LosslessRefusal refusalFromWord(QStringView word);

// Writers: one whole line each, "\n" included.
QByteArray durationLine(double seconds);
QByteArray positionLine(double seconds);
// detail: the run's last line for people, why it failed in the encoder's words.
QByteArray errorLine(Error error, const QString &detail = {});
QByteArray losslessCopyLine();
// codec: the source's video codec, for LosslessRefusal::Codec.
QByteArray losslessEncodeLine(LosslessRefusal why, const QString &codec);
// The path as bytes, as the file system has it.
QByteArray outputLine(const QByteArray &path);
// One line for each thing the output's check found wrong, before its error line.
QByteArray checkLine(const CheckDifference &difference);
// conv -probe: the length of the index-th path (0 for the first), when known,
// and what its encoder may take instead of probing again (opaque here).
QByteArray probedLine(int index, std::optional<double> seconds, const QByteArray &info = {});

// One path conv -probe answered for.
struct ProbedPath
{
    int index = 0;
    std::optional<double> duration;
    QByteArray info;

    friend bool operator==(const ProbedPath &, const ProbedPath &) = default;
};

// What one run reported so far.
struct RunReport
{
    std::optional<double> duration;
    std::optional<double> position; // the latest
    QString output;                 // the path written, byte for byte (see common/paths.h)
    Error error = Error::None;
    QString detail; // the failure's last line, as the encoder gave it
    bool losslessAsked = false;
    bool losslessCopied = false;
    LosslessRefusal losslessRefusal = LosslessRefusal::None;
    QString losslessCodec;
    QList<CheckDifference> checks;
    // conv -probe: each path's answer, as they came.
    QList<ProbedPath> probed;

    // Why the lossless rotation was refused in one word: the source's codec
    // name when the codec was the reason, else the reason's word.
    QString losslessWhy() const;
};

// Collects report lines out of pieces of the report channel cut anywhere,
// skipping at once any line that is not one.
class Reader
{
public:
    // True when the piece brought a position, a probed path or the output: the
    // run moved on.
    bool feed(QByteArrayView piece);
    void reset();
    const RunReport &report() const { return m_report; }

private:
    bool readLine(QByteArrayView line);

    QByteArray m_line;
    bool m_skipping = false;
    RunReport m_report;
};

} // namespace Report
