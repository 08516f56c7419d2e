#pragma once

#include "media.h"

#include <QString>

#include <atomic>
#include <thread>

// The source probed on a thread of its own, so that loading libav and reading
// the source overlap ffmpeg's start instead of delaying it. Stop signals are
// blocked on that thread: they reach the thread that supervises ffmpeg.
class BackgroundProbe
{
public:
    explicit BackgroundProbe(const QString &path);
    BackgroundProbe(const BackgroundProbe &) = delete;
    BackgroundProbe &operator=(const BackgroundProbe &) = delete;
    // Tells libav to give up, then waits for the thread.
    ~BackgroundProbe();

    // Becomes readable when the answer is there; to poll.
    int readyFd() const { return m_ready[0]; }
    bool answered() const { return m_answered.load(std::memory_order_acquire); }
    // The answer; waits for it when it is not there yet.
    MediaInfo take();
    void cancel() { m_cancel = true; }

private:
    std::atomic<bool> m_cancel = false;
    std::atomic<bool> m_answered = false;
    int m_ready[2] = {-1, -1};
    MediaInfo m_info;
    std::thread m_thread;
};
