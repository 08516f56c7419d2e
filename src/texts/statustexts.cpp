#include "statustexts.h"

#include "common/formats.h"
#include "common/paths.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

namespace StatusTexts {

QString failure(FailureReason reason)
{
    switch (reason) {
    case FailureReason::None:
        return {};
    case FailureReason::SourceUnreadable:
        return u"源文件无法读取或已损坏"_qs;
    case FailureReason::SourceNotAFile:
        return u"源文件不是普通文件（管道、设备或套接字），无法转换"_qs;
    case FailureReason::OutputNotWritable:
        return u"输出文件夹无法写入"_qs;
    case FailureReason::OutputNameTooLong:
        return u"输出文件名太长，请缩短视频文件名"_qs;
    case FailureReason::DiskFull:
        return u"磁盘空间不足"_qs;
    case FailureReason::FfmpegMissing:
        return u"找不到编码器 ffmpeg"_qs;
    case FailureReason::EncoderMissing:
        return u"找不到编码器程序，请重新安装"_qs;
    case FailureReason::EncoderCrashed:
        return u"编码器异常退出"_qs;
    case FailureReason::EncoderFailed:
        return u"编码器转换失败"_qs;
    case FailureReason::NoOutput:
        return u"编码器没有生成输出文件"_qs;
    case FailureReason::OutputCheckFailed:
        return u"输出文件检查未通过"_qs;
    case FailureReason::ClipRange:
        return u"剪辑的开始时间超出了视频长度"_qs;
    case FailureReason::SourceIsPicture:
        return u"源文件是一张图片，不是视频"_qs;
    case FailureReason::SourceHasNoSound:
        return u"源文件没有声音，无法只转换声音"_qs;
    case FailureReason::OutputFolderUnusable:
        return u"输出文件夹无法创建或写入，请选择其他文件夹"_qs;
    }
    return {};
}

QString failureCode(FailureReason reason)
{
    return failureWord(reason);
}

QString failureDetail(FailureReason reason, const QString &detail,
                      const QList<Report::CheckDifference> &checks, const QString &keptOutput)
{
    if (reason != FailureReason::OutputCheckFailed || checks.isEmpty())
        return detail;
    using Report::CheckFinding;
    QStringList found;
    for (const Report::CheckDifference &d : checks) {
        switch (d.finding) {
        case CheckFinding::Unreadable:
            found << u"文件无法打开（%1）"_qs.arg(d.found);
            break;
        case CheckFinding::NoVideo:
            found << u"没有画面，原视频有"_qs;
            break;
        case CheckFinding::NoSound:
            found << u"没有声音，原视频有"_qs;
            break;
        case CheckFinding::Size:
            found << u"画面为 %1，应为 %2"_qs.arg(d.found, d.expected);
            break;
        case CheckFinding::Duration:
            found << u"长 %1 秒，应为 %2 秒"_qs.arg(d.found, d.expected);
            break;
        case CheckFinding::Undecodable:
            found << u"第一帧画面无法解码"_qs;
            break;
        case CheckFinding::Aspect:
            found << u"画面宽高比为 %1，应为 %2"_qs.arg(d.found, d.expected);
            break;
        case CheckFinding::Colour:
            found << u"画面为 %1，应为转换成 SDR 的 %2"_qs.arg(d.found, d.expected);
            break;
        }
    }
    QString text = found.join(u"；"_qs);
    if (!keptOutput.isEmpty())
        text += u"。文件已保留：%1"_qs.arg(displayPath(keptOutput));
    return text;
}

QString jobStatus(JobState state, double fraction, FailureReason reason, bool paused)
{
    switch (state) {
    case JobState::Waiting:
        return u"等待"_qs;
    case JobState::Running:
        return (paused ? u"已暂停 %1%"_qs : u"转换中 %1%"_qs)
            .arg(int(std::floor(std::clamp(fraction, 0.0, 1.0) * 100)));
    case JobState::Failed:
        return u"失败："_qs + failure(reason);
    case JobState::Stopped:
        return u"已停止"_qs;
    }
    return {};
}

QString position(int number, int total)
{
    return u"第 %1/%2 个"_qs.arg(number).arg(total);
}

QString remaining(int seconds)
{
    seconds = std::max(0, seconds);
    const int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString time =
        h > 0 ? u"%1:%2:%3"_qs.arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'))
              : u"%1:%2"_qs.arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return u"剩余约 "_qs + time;
}

QString losslessRefusal(const QString &why)
{
    static const QList<std::pair<QString, QString>> codecs = {
        {u"h264"_qs, u"H.264"_qs},        {u"hevc"_qs, u"HEVC"_qs},
        {u"mpeg4"_qs, u"MPEG-4"_qs},      {u"vp8"_qs, u"VP8"_qs},
        {u"vp9"_qs, u"VP9"_qs},           {u"av1"_qs, u"AV1"_qs},
        {u"mpeg2video"_qs, u"MPEG-2"_qs}, {u"mpeg1video"_qs, u"MPEG-1"_qs},
        {u"wmv3"_qs, u"WMV"_qs},          {u"theora"_qs, u"Theora"_qs},
    };
    if (why == u"no-video")
        return u"无法无损旋转：源文件没有视频"_qs;
    if (why == u"container")
        return u"无法无损旋转：只有 %1 格式可以无损旋转"_qs.arg(
            Formats::losslessNames().join(u" 和 "_qs));
    if (why == u"filter")
        return u"无法无损旋转：镜像和翻转需要重新编码"_qs;
    if (why == u"display-matrix")
        return u"无法无损旋转：源视频自带的显示方向不是整四分之一圈"_qs;
    if (why == u"libav")
        return u"无法无损旋转：找不到读取视频所需的 libav 库"_qs;
    if (why == u"clip")
        return u"无法无损旋转：剪辑范围需要重新编码"_qs;
    QString codec = why.toUpper();
    for (const auto &[name, shown] : codecs) {
        if (name == why)
            codec = shown;
    }
    return u"无法无损旋转：源视频编码为 "_qs + codec;
}

QString fileError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return u"没有写入权限"_qs;
    case EROFS:
        return u"所在的磁盘是只读的"_qs;
    case ENOSPC:
    case EDQUOT:
        return u"磁盘空间不足"_qs;
    case ENOENT:
        return u"路径不存在"_qs;
    case ENOTDIR:
    case EEXIST:
        return u"路径中有同名的文件，不是文件夹"_qs;
    case ENAMETOOLONG:
        return u"路径太长"_qs;
    case EIO:
        return u"读写磁盘出错"_qs;
    default:
        return u"无法使用（错误 %1）"_qs.arg(error);
    }
}

QString batchEnd(int failed, bool stopped)
{
    if (stopped)
        return u"已停止"_qs;
    return failed == 0 ? u"Done."_qs : u"完成，%1 个视频转换失败"_qs.arg(failed);
}

} // namespace StatusTexts
