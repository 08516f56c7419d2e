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
    case Report::Error::StillPicture:
        return FailureReason::SourceIsPicture;
    case Report::Error::NoSound:
        return FailureReason::SourceHasNoSound;
    case Report::Error::Usage:
    case Report::Error::Interrupted:
    case Report::Error::Failed:
        break;
    }
    return FailureReason::EncoderFailed;
}

QString failureWord(FailureReason reason)
{
    switch (reason) {
    case FailureReason::None:
        return {};
    case FailureReason::SourceUnreadable:
        return u"source-unreadable"_qs;
    case FailureReason::SourceNotAFile:
        return u"source-not-a-file"_qs;
    case FailureReason::OutputNotWritable:
        return u"output-not-writable"_qs;
    case FailureReason::OutputNameTooLong:
        return u"output-name-too-long"_qs;
    case FailureReason::DiskFull:
        return u"disk-full"_qs;
    case FailureReason::FfmpegMissing:
        return u"ffmpeg-missing"_qs;
    case FailureReason::EncoderMissing:
        return u"encoder-missing"_qs;
    case FailureReason::EncoderCrashed:
        return u"encoder-crashed"_qs;
    case FailureReason::EncoderFailed:
        return u"encoder-failed"_qs;
    case FailureReason::NoOutput:
        return u"no-output"_qs;
    case FailureReason::OutputCheckFailed:
        return u"output-check-failed"_qs;
    case FailureReason::ClipRange:
        return u"clip-range"_qs;
    case FailureReason::SourceIsPicture:
        return u"source-is-picture"_qs;
    case FailureReason::SourceHasNoSound:
        return u"source-has-no-sound"_qs;
    case FailureReason::OutputFolderUnusable:
        return u"output-folder-unusable"_qs;
    }
    return {};
}

FailureReason failureFromWord(QStringView word)
{
    for (int r = int(FailureReason::SourceUnreadable);
         r <= int(FailureReason::OutputFolderUnusable); ++r) {
        if (word == failureWord(FailureReason(r)))
            return FailureReason(r);
    }
    return FailureReason::None;
}
