// The simulated meter's open and short correction: the cable-length
// setting, the open and short measured over the meter's preset frequencies
// or at the one spot frequency, each switched on or off, and the time the
// measurement of a standard takes, which "*OPC?" waits for and a device
// clear cancels. What a correction measured is kept as the probe station
// stood then, so that it can be evaluated at any frequency as the real
// meter interpolates its preset points.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/mos_capacitor.h"
#include "sim/probe_fixture.h"

namespace quillon {

// The real meter measures its 48 preset frequencies in about 90 s; a spot
// correction takes a couple of seconds.
inline constexpr uint32_t kAllFrequenciesCorrectionMilliseconds = 90000;
inline constexpr uint32_t kSpotCorrectionMilliseconds = 2000;

class SimulatedCorrection {
public:
    // What the probes had under them when a standard was measured.
    struct Standard {
        ProbePlacement position = ProbePlacement::Lifted;
        MosDevice device;
        double biasVolts = 0.0;
        // The meter's cable length when the standard was measured: filled
        // in by the correction.
        double cableSettingMetres = 0.0;
    };

    // Handles the correction commands and queries ("CORR:..." and "*OPC?");
    // false for any other header. `reply` receives a query's answer and the
    // tick at which it is ready.
    bool Execute(const std::string& header, const std::string& argument, uint32_t now,
                 double timeScale, const Standard& onProbes, std::string& reply,
                 uint32_t& replyTick);
    // A device clear: a standard being measured is dropped.
    void Cancel() { pending_.reset(); }

    // The reading of the device behind `fixture` with the probes at
    // `position`, corrected as the meter's state says.
    CapacitanceConductance Reading(const ProbeFixture& fixture, ProbePlacement position,
                                   const CapacitanceConductance& device, double frequencyHertz,
                                   uint32_t now);

private:
    enum class Kind { Open, Short };
    struct Pending {
        Kind kind;
        bool spot;
        Standard standard;
        uint32_t doneTick;
    };
    void Settle(uint32_t now);
    // The data the meter uses at this frequency: the spot's where the spot
    // correction is on and the frequency is the spot's, else the preset
    // frequencies'.
    const std::optional<Standard>& DataFor(Kind kind, double frequencyHertz) const;

    double cableSettingMetres_ = 0.0;
    bool openOn_ = false;
    bool shortOn_ = false;
    bool spotOn_ = false;
    double spotFrequencyHertz_ = 1000.0;
    std::optional<Standard> openAll_, shortAll_, openSpot_, shortSpot_;
    std::optional<Pending> pending_;
};

}  // namespace quillon
