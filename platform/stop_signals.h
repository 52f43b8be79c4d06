// SIGINT, SIGTERM and SIGHUP as a request to stop: the signal only marks
// the request, and the program ends its run as STOP ends it (the DC bias
// off, the log record closed) before it exits. Ending at once would leave
// the bias on the device under test.
#pragma once

namespace quillon {

class StopSignals {
public:
    // Takes the three signals over until destruction, which gives them back
    // to the handlers they had. Only one StopSignals may exist at a time.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first of the signals that arrived, or 0 while none has. A request
    // is never taken back: a second signal changes nothing.
    int Received() const;
    // Becomes readable when a signal arrives, for an event loop that must
    // wake up for it; Drain() empties it again.
    int WakeDescriptor() const { return wakeRead_; }
    void Drain() const;

private:
    int wakeRead_ = -1;
};

// What the program's exit status is after a stop by `signal` in a window:
// 128 + the signal's number, as a shell reports a program the signal ended.
int SignalExitStatus(int signal);

}  // namespace quillon
