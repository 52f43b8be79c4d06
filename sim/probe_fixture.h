// The probe station between the simulated meter and the device: the
// probes' and cables' stray capacitance and conductance across the device,
// and their series resistance and inductance in line with all of it, and
// where the probes stand (on the device, lifted off it, on a short pad).
// The meter's cable-length setting that does not match the cables turns
// the phase of every reading by an angle that grows with the frequency.
#pragma once

#include <complex>

#include "common/probe_placement.h"

namespace quillon {

struct ProbeFixture {
    double strayFarads = 0.0;
    double straySiemens = 0.0;
    double seriesOhms = 0.0;
    double seriesHenries = 0.0;
    // The length of the cables from the meter to the probes [m].
    double cableMetres = 0.0;
};

// The phase a metre of cable length the meter does not allow for adds per
// hertz: the delay of the signal there and back along a coaxial cable.
inline constexpr double kCableDelaySecondsPerMetre = 10e-9;

// True when the fixture adds nothing to a reading at all.
bool IsTransparent(const ProbeFixture& fixture);

// The impedance the meter sees at `frequencyHertz` with the probes at
// `position`, the device's own admittance being `deviceAdmittance`, and the
// meter set for `cableSettingMetres` of cable. A lifted probe with nothing
// stray across it is an impedance too large to measure (1e30 ohm).
std::complex<double> MeasuredImpedance(const ProbeFixture& fixture, ProbePlacement position,
                                       std::complex<double> deviceAdmittance, double frequencyHertz,
                                       double cableSettingMetres);

}  // namespace quillon
