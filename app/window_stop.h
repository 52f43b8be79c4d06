// How the window's program ends when it is told to from outside: a stop
// signal, or the display going away. Either can come in the middle of a
// run, with the DC bias on the device; the run must end as STOP ends it
// (bias off, log record closed) before the process does.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>

#include "platform/clock.h"
#include "platform/stop_signals.h"

namespace quillon {

class FormLCR;

// On SIGINT, SIGTERM or SIGHUP, presses STOP and tells the event loops to
// exit with SignalExitStatus. A run is a call made from the main event loop,
// which therefore ends only once the run has returned to idle; message boxes
// still to come in the run return at once, unseen.
class SignalQuit final : public QObject {
public:
    using Exit = std::function<void(int status)>;
    SignalQuit(const StopSignals& stopSignals, FormLCR& window, Exit exitWith);

private:
    QSocketNotifier notifier_;
};

// While it lives, an exit of the process in the middle of a run of `window`
// sends the meter back to idle first. Qt exits so when the X server goes
// away while its event loop runs, which a run lets it do once a point; the
// run notices a lost display itself only before that. The log record then
// stays without its closing empty line, as after a crash.
class ExitDuringRunGuard {
public:
    ExitDuringRunGuard(const FormLCR& window, Clock& clock);
    ~ExitDuringRunGuard();
    ExitDuringRunGuard(const ExitDuringRunGuard&) = delete;
    ExitDuringRunGuard& operator=(const ExitDuringRunGuard&) = delete;

    // What the exit handler does: the idle sequence to the meter of the
    // window's settings, when a run is in progress.
    void IdleMeterOfUnfinishedRun() const;

private:
    const FormLCR& window_;
    Clock& clock_;
};

}  // namespace quillon
