#include "signalpipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t lastSignal = 0;
// SIGCONTs so far, and how many there had been at the last SIGTSTP.
volatile std::sig_atomic_t continues = 0;
volatile std::sig_atomic_t continuesAtTerminalStop = 0;

extern "C" void onContinue(int)
{
    continues = continues + 1;
}

extern "C" void onStopSignal(int sig)
{
    const int saved = errno;
    if (sig == SIGTSTP)
        continuesAtTerminalStop = continues;
    else
        lastSignal = sig;
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

namespace StopSignalPipe {

bool install()
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : stopSignals)
        ::sigaction(sig, &action, nullptr);
    return true;
}

void catchTerminalStop()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTSTP, &action, nullptr);
    struct sigaction counting = {};
    counting.sa_handler = onContinue;
    counting.sa_flags = SA_RESTART;
    sigemptyset(&counting.sa_mask);
    ::sigaction(SIGCONT, &counting, nullptr);
}

void stopUntilContinued()
{
    // A SIGCONT that came after the Ctrl+Z (fg at once) has let us go on
    // already: stopping now would wait for one that never comes.
    if (continues != continuesAtTerminalStop)
        return;
    // SIGSTOP, not SIGTSTP again: the kernel drops a SIGTSTP to a process
    // whose group has no parent in the session (a script's background job),
    // and the encoders, already held, would be let go at once.
    ::raise(SIGSTOP);
}

void uninstall()
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (const int sig : stopSignals)
        ::sigaction(sig, &byDefault, nullptr);
    ::sigaction(SIGTSTP, &byDefault, nullptr);
    ::sigaction(SIGCONT, &byDefault, nullptr);
}

int readDescriptor()
{
    return signalPipe[0];
}

QList<int> take()
{
    QList<int> arrived;
    unsigned char bytes[16];
    ssize_t n;
    while (signalPipe[0] >= 0 &&
           ((n = ::read(signalPipe[0], bytes, sizeof bytes)) > 0 || (n < 0 && errno == EINTR))) {
        for (ssize_t i = 0; i < n; ++i)
            arrived << bytes[i];
    }
    return arrived;
}

int last()
{
    return lastSignal;
}

sigset_t signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : stopSignals)
        sigaddset(&set, sig);
    return set;
}

} // namespace StopSignalPipe
