// The bench the program finds when no GPIB driver is installed: board 0
// with a 4284A (at address 17 unless configured otherwise) and a multimeter
// at address 22.
#pragma once

#include <memory>

#include "sim/mos_capacitor.h"
#include "sim/probe_fixture.h"
#include "sim/simulated_4284a.h"
#include "sim/simulated_bus.h"

namespace quillon {

struct SimulatedLab {
    std::unique_ptr<SimulatedBus> bus;
    Simulated4284A* meter = nullptr;            // owned by the bus; none when absent
    SimulatedInstrument* multimeter = nullptr;  // owned by the bus
};

inline constexpr int kSimulatedMeterAddress = 17;
inline constexpr int kSimulatedMultimeterAddress = 22;
inline constexpr const char* kSimulatedMultimeterIdentification = "HEWLETT-PACKARD,34401A,0,11-5-2";

// What can go wrong with the simulated meter, as a user can ask for it.
enum class SimulatedMeterFault {
    None,
    Absent,  // no meter on the bus at all
    NoServiceRequest,
    Overflow,
    ShortReply,
};

// The meter and the device under it.
struct SimulatedLabSettings {
    int meterAddress = kSimulatedMeterAddress;
    MosDevice device;
    // A factor on the real meter's measurement times; 0 measures instantly.
    double timeScale = 1.0;
    SimulatedMeterFault fault = SimulatedMeterFault::None;
    // The probes and cables in front of the device; none by default.
    ProbeFixture fixture;
};

SimulatedLab MakeSimulatedLab(Clock& clock);
SimulatedLab MakeSimulatedLab(Clock& clock, const SimulatedLabSettings& settings);

}  // namespace quillon
