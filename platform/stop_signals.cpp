#include "platform/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace quillon {

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// A signal handler reaches nothing but file-scope state, and may touch
// nothing but a sig_atomic_t and write(): this is all it has.
volatile std::sig_atomic_t receivedSignal = 0;
volatile std::sig_atomic_t wakeWrite = -1;
std::array<struct sigaction, kStopSignals.size()> previousActions{};

extern "C" void MarkStopRequest(int signal)
{
    const int savedErrno = errno;
    if (receivedSignal == 0) receivedSignal = signal;
    const char byte = 1;
    // A full pipe already wakes its reader; nothing is lost by a failed write.
    if (wakeWrite >= 0 && ::write(wakeWrite, &byte, 1) < 0) {
    }
    errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = ends[0];
        wakeWrite = ends[1];
    }
    receivedSignal = 0;

    struct sigaction action {};
    action.sa_handler = MarkStopRequest;
    // Interrupted bus and file calls carry on: the run itself decides when
    // to stop, between two points.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &action, &previousActions[i]);
}

StopSignals::~StopSignals()
{
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
    if (wakeWrite >= 0) ::close(wakeWrite);
    wakeWrite = -1;
    if (wakeRead_ >= 0) ::close(wakeRead_);
    receivedSignal = 0;
}

int StopSignals::Received() const
{
    return receivedSignal;
}

void StopSignals::Drain() const
{
    char bytes[64];
    while (wakeRead_ >= 0 && ::read(wakeRead_, bytes, sizeof bytes) > 0) {
    }
}

int SignalExitStatus(int signal)
{
    return 128 + signal;
}

}  // namespace quillon
