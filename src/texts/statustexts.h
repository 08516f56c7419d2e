#pragma once

#include "joblist/job.h"

#include <QString>

#include <optional>

// The one table from the core's states and reason codes to what the user
// reads, shared by the window and the command line.
namespace StatusTexts {

// What the user can do about it, in a few words.
QString failure(FailureReason reason);
// The stable word of the command line's JSON lines ("source-unreadable" ...).
QString failureCode(FailureReason reason);
// What to say beside the reason: what an output's check found and where the
// output was kept, else the encoder's own words.
QString failureDetail(FailureReason reason, const QString &detail,
                      const QList<Report::CheckDifference> &checks, const QString &keptOutput);

// The status column: 等待 / 转换中 45% (已暂停 45% while the batch is paused) /
// 失败：原因 / 已停止.
QString jobStatus(JobState state, double fraction, FailureReason reason, bool paused = false);

// "第 2/4 个"
QString position(int number, int total);
// "剩余约 01:35"; hours are shown when there are any.
QString remaining(int seconds);

// Why a lossless rotation was not done: a codec name ("vp9") or a reason word.
QString losslessRefusal(const QString &why);

// Why a file or folder cannot be used, for an error number of the system.
QString fileError(int error);

// The caption once a batch has ended.
QString batchEnd(int failed, bool stopped);

} // namespace StatusTexts
