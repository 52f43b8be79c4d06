#include "sim/simulated_lab.h"

namespace quillon {

SimulatedLab MakeSimulatedLab(Clock& clock)
{
    SimulatedLab lab;
    lab.bus = std::make_unique<SimulatedBus>(clock);
    auto meter = std::make_unique<Simulated4284A>(clock);
    lab.meter = meter.get();
    lab.bus->Attach(0, kSimulatedMeterAddress, std::move(meter));
    auto multimeter =
        std::make_unique<SimulatedInstrument>(clock, kSimulatedMultimeterIdentification);
    lab.multimeter = multimeter.get();
    lab.bus->Attach(0, kSimulatedMultimeterAddress, std::move(multimeter));
    return lab;
}

}  // namespace quillon
