#include "backgroundprobe.h"

#include "process/signalpipe.h"

#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

BackgroundProbe::BackgroundProbe(const QString &path)
{
    if (::pipe2(m_ready, O_CLOEXEC | O_NONBLOCK) != 0)
        m_ready[0] = m_ready[1] = -1;
    const auto probe = [this, path] {
        m_info = probeMedia(path, [this] { return m_cancel.load(); });
        m_answered.store(true, std::memory_order_release);
        if (m_ready[1] >= 0) {
            [[maybe_unused]] const ssize_t n = ::write(m_ready[1], "", 1);
        }
    };
    // The new thread inherits the mask; this thread's is restored at once.
    const sigset_t stops = StopSignalPipe::signals();
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &stops, &previous);
    try {
        m_thread = std::thread(probe);
    } catch (const std::system_error &) {
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        probe(); // no thread to spare: the answer comes late, but it comes
        return;
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

BackgroundProbe::~BackgroundProbe()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : m_ready)
        if (fd >= 0)
            ::close(fd);
}

MediaInfo BackgroundProbe::take()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_info;
}
