// The windows' environment for tests: virtual time, a fresh program folder
// and a desktop that records its messages and beeps.
#pragma once

#include "gpib/gpib_binding.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "sim/simulated_lab.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/temp_folder.h"

namespace quillon::testing {

struct AppEnvironment {
    Environment Get() { return Environment{clock, temp.Folder(), desktop}; }

    VirtualClock clock{1000};
    TempFolder temp;
    RecordingDesktop desktop;
};

// The simulated lab, selected as the bus. Made before a window: the
// window's caption depends on the bus.
inline SimulatedLab SelectedSimulatedLab(Clock& clock, const SimulatedLabSettings& settings = {})
{
    SimulatedLab lab = MakeSimulatedLab(clock, settings);
    SelectGpibDriver(*lab.bus);
    return lab;
}

}  // namespace quillon::testing
