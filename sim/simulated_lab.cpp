#include "sim/simulated_lab.h"

namespace quillon {

namespace {

Simulated4284A::Fault MeterFault(SimulatedMeterFault fault)
{
    switch (fault) {
        case SimulatedMeterFault::NoServiceRequest:
            return Simulated4284A::Fault::NoServiceRequest;
        case SimulatedMeterFault::Overflow:
            return Simulated4284A::Fault::Overflow;
        case SimulatedMeterFault::ShortReply:
            return Simulated4284A::Fault::ShortReply;
        case SimulatedMeterFault::None:
        case SimulatedMeterFault::Absent:
            break;
    }
    return Simulated4284A::Fault::None;
}

}  // namespace

SimulatedLab MakeSimulatedLab(Clock& clock)
{
    return MakeSimulatedLab(clock, SimulatedLabSettings{});
}

SimulatedLab MakeSimulatedLab(Clock& clock, const SimulatedLabSettings& settings)
{
    SimulatedLab lab;
    lab.bus = std::make_unique<SimulatedBus>(clock);
    // A meter configured onto the multimeter's address takes its place.
    const bool meterPresent = settings.fault != SimulatedMeterFault::Absent;
    if (!meterPresent || settings.meterAddress != kSimulatedMultimeterAddress) {
        auto multimeter =
            std::make_unique<SimulatedInstrument>(clock, kSimulatedMultimeterIdentification);
        lab.multimeter = multimeter.get();
        lab.bus->Attach(0, kSimulatedMultimeterAddress, std::move(multimeter));
    }
    if (meterPresent) {
        auto meter = std::make_unique<Simulated4284A>(clock, settings.device);
        meter->SetTimeScale(settings.timeScale);
        meter->SetFault(MeterFault(settings.fault));
        meter->SetFixture(settings.fixture);
        lab.meter = meter.get();
        lab.bus->Attach(0, settings.meterAddress, std::move(meter));
    }
    return lab;
}

}  // namespace quillon
