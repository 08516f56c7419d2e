#include "phaselog.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace PhaseLog {
namespace {

std::array<std::atomic<qint64>, std::size_t(Mark::Count)> marks = {};

qint64 now()
{
    timespec t = {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool wanted()
{
    static const bool asked = std::getenv("TORVANE_PHASE_LOG") != nullptr;
    return asked;
}

} // namespace

void mark(Mark which)
{
    if (!wanted())
        return;
    std::atomic<qint64> &slot = marks[std::size_t(which)];
    if (which == Mark::FfmpegEnd) {
        slot.store(now());
        return;
    }
    qint64 unset = 0;
    slot.compare_exchange_strong(unset, now());
}

void write()
{
    if (!wanted())
        return;
    const auto at = [](Mark which) { return QByteArray::number(marks[std::size_t(which)].load()); };
    const QByteArray line = "phases pid=" + QByteArray::number(qint64(::getpid())) +
                            " exec=" + at(Mark::Exec) + " probe=" + at(Mark::ProbeStart) + '-' +
                            at(Mark::ProbeEnd) + " ffmpeg=" + at(Mark::FfmpegStart) + '-' +
                            at(Mark::FfmpegEnd) + " checked=" + at(Mark::Checked) +
                            " published=" + at(Mark::Published) + '\n';
    const int fd = ::open(std::getenv("TORVANE_PHASE_LOG"),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t n = ::write(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

} // namespace PhaseLog
