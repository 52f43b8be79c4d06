// The bench the program finds when no GPIB driver is installed: board 0
// with a 4284A at address 17 and a multimeter at address 22.
#pragma once

#include <memory>

#include "sim/simulated_4284a.h"
#include "sim/simulated_bus.h"

namespace quillon {

struct SimulatedLab {
    std::unique_ptr<SimulatedBus> bus;
    Simulated4284A* meter = nullptr;            // owned by the bus
    SimulatedInstrument* multimeter = nullptr;  // owned by the bus
};

inline constexpr int kSimulatedMeterAddress = 17;
inline constexpr int kSimulatedMultimeterAddress = 22;
inline constexpr const char* kSimulatedMultimeterIdentification = "HEWLETT-PACKARD,34401A,0,11-5-2";

SimulatedLab MakeSimulatedLab(Clock& clock);

}  // namespace quillon
