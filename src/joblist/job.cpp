#include "job.h"

FailureReason failureReasonOf(Report::Error error)
{
    switch (error) {
    case Report::Error::None:
        return FailureReason::None;
    case Report::Error::Source:
        return FailureReason::SourceUnreadable;
    case Report::Error::NotAFile:
        return FailureReason::SourceNotAFile;
    case Report::Error::Output:
        return FailureReason::OutputNotWritable;
    case Report::Error::NameTooLong:
        return FailureReason::OutputNameTooLong;
    case Report::Error::DiskFull:
        return FailureReason::DiskFull;
    case Report::Error::FfmpegMissing:
        return FailureReason::FfmpegMissing;
    case Report::Error::ClipRange:
        return FailureReason::ClipRange;
    case Report::Error::CheckFailed:
        return FailureReason::OutputCheckFailed;
    case Report::Error::Usage:
    case Report::Error::Interrupted:
    case Report::Error::Failed:
        break;
    }
    return FailureReason::EncoderFailed;
}
