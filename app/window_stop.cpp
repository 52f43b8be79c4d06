#include "app/window_stop.h"

#include <cstdlib>
#include <variant>

#include "app/main_window.h"
#include "gpib/gpib_binding.h"
#include "measure/point_acquisition.h"

namespace quillon {

namespace {

// An exit handler takes no argument: the guard it serves can only be found
// here.
const ExitDuringRunGuard* activeGuard = nullptr;

extern "C" void IdleMeterAtExit()
{
    if (activeGuard) activeGuard->IdleMeterOfUnfinishedRun();
}

}  // namespace

SignalQuit::SignalQuit(const StopSignals& stopSignals, FormLCR& window, Exit exitWith)
    : notifier_(stopSignals.WakeDescriptor(), QSocketNotifier::Read)
{
    connect(&notifier_, &QSocketNotifier::activated, this,
            [&stopSignals, &window, exitWith = std::move(exitWith)] {
                stopSignals.Drain();
                if (!stopSignals.Received()) return;
                window.Command9_Click();
                exitWith(SignalExitStatus(stopSignals.Received()));
            });
}

ExitDuringRunGuard::ExitDuringRunGuard(const FormLCR& window, Clock& clock)
    : window_(window), clock_(clock)
{
    static const bool registered = std::atexit(IdleMeterAtExit) == 0;
    (void)registered;
    activeGuard = this;
}

ExitDuringRunGuard::~ExitDuringRunGuard()
{
    if (activeGuard == this) activeGuard = nullptr;
}

void ExitDuringRunGuard::IdleMeterOfUnfinishedRun() const
{
    if (!window_.Running()) return;
    const SettingOr<InstrumentSettings> read = ReadInstrumentSettings(window_.Settings());
    const auto* instrument = std::get_if<InstrumentSettings>(&read);
    if (!instrument) return;
    int16_t descriptor = -1;
    GpibOpenDevice(instrument->board, instrument->address, 0, ni::T10s, 1, 0, descriptor);
    if (descriptor < 0 || (ibsta & ni::ERR)) return;
    ReturnToIdle(descriptor, clock_);
}

}  // namespace quillon
