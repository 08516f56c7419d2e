#pragma once

#include "common/report.h"
#include "jobsettings.h"

#include <QMetaType>
#include <QString>

// Why a job, or a whole batch, could not be converted. The front ends turn a
// reason into a text the user can act on; the encoder's own words go along as
// the detail.
enum class FailureReason {
    None,
    SourceUnreadable,
    SourceNotAFile,
    OutputNotWritable,
    OutputNameTooLong,
    DiskFull,
    FfmpegMissing,
    EncoderMissing,
    EncoderCrashed,
    EncoderFailed,
    NoOutput,
    OutputCheckFailed, // written and kept, but not what was asked for
    ClipRange,
    SourceIsPicture,  // a photo, not a video
    SourceHasNoSound, // only its sound was asked for
    OutputFolderUnusable,
};

// The failure an encoder reported, as the batch shows it.
FailureReason failureReasonOf(Report::Error error);
// A stable word for each reason, for scripts and logs ("source-unreadable" ...),
// and back; None for no word known.
QString failureWord(FailureReason reason);
FailureReason failureFromWord(QStringView word);

enum class JobState {
    Waiting,
    Running,
    Failed,
    Stopped, // converted by the next Start, like a waiting job
};

// One source file on its way through a batch.
struct Job
{
    quint64 id = 0;
    QString source;
    // The folders between the folder it was found in and the file ("a/b/"),
    // which the output may keep; empty for a file added by itself.
    QString subfolder;
    QString typeLabel;
    JobSettings settings;
    JobState state = JobState::Waiting;

    // While running: pass i of n and how much of the whole job is done (0..1).
    int pass = 0;
    int passCount = 0;
    double fraction = 0;

    FailureReason failure = FailureReason::None;
    QString failureDetail; // the encoder's own last line
    // For OutputCheckFailed: what the check found, and the output kept all the same.
    QList<Report::CheckDifference> failureChecks;
    QString keptOutput;

    // What its encoders printed, the last EncoderProcess::TailLimit characters.
    QString encoderOutput;
    // Why a lossless rotation was not possible: the source's video codec, or
    // a reason word; empty when it was not asked for or was done.
    QString losslessRefusal;
};

Q_DECLARE_METATYPE(FailureReason)
