// Small-signal response of a MOS capacitor on silicon, for the simulated
// LCR meter: parallel capacitance Cp and conductance G at a DC bias and a
// test frequency.
//
// The capacitance is the high-frequency curve at every test frequency: the
// inversion layer is taken not to follow the AC signal, so in inversion the
// capacitance stays at Cox in series with the maximum-depletion capacitance
// instead of climbing back to Cox. Interface traps respond through their
// capture time on majority carriers, which gives the conductance peak in
// depletion; their charge also stretches the curve along the bias axis.
// The traps that answer the signal are those at the Fermi level at the
// surface, so both their density and their time constant move with the
// bias: the density through its U shape across the gap, the time constant
// through the majority carriers at the surface and the cross-section.
// They answer as one level (the program's first model, still the default)
// or as the continuum of Nicollian and Goetzberger (Schroder, Semiconductor
// Material and Device Characterization, ch. 6):
//   Gp/w = q Dit / (2 w tau) ln(1 + (w tau)^2),  Cit = q Dit atan(w tau) / (w tau),
// whose Gp/w peaks at w tau = 1.98 with 0.402 q Dit.
// The values are those seen at the terminals: Cox in series with the
// semiconductor and its traps, oxide leakage across the whole pad, and all
// of it behind the series resistance of substrate and contacts.
#pragma once

#include "common/sweep_direction.h"

namespace quillon {

// How the interface traps at the surface Fermi level answer the signal.
enum class TrapResponse {
    // Gp/w = q Dit w tau / (1 + (w tau)^2), Cit = q Dit / (1 + (w tau)^2).
    SingleLevel,
    // Traps at every energy around the Fermi level, each with the time
    // constant of its own level: the formulas above.
    Continuum,
};

struct MosDevice {
    bool pTypeSubstrate = true;
    double oxideThicknessMetres = 10e-9;
    // Net dopant concentration of the substrate, acceptors for p-type and
    // donors for n-type; fully ionised, non-degenerate statistics.
    double dopingPerCubicCm = 1e16;
    double padAreaSquareMetres = 100e-6 * 100e-6;
    // Bias at which the bands are flat; the interface traps are neutral there.
    double flatBandVolts = -0.9;
    double temperatureKelvin = 300.0;
    // Interface trap density [cm^-2 eV^-1], uniform across the gap; gives
    // the conductance peak in depletion.
    double interfaceTrapDensity = 5e10;
    // The U shape on top of it, rising towards both band edges:
    //   D(E) = interfaceTrapDensity
    //        + interfaceTrapEdgeDensity (exp((E - Ec)/w) + exp((Ev - E)/w)),
    // w = interfaceTrapEdgeWidthEv, Ec - Ei = Ei - Ev = Eg/2 = 0.56 eV; so
    // the edge density is what it adds at a band edge. Past the band edges,
    // where the surface Fermi level only goes a few kT, D keeps its edge value.
    double interfaceTrapEdgeDensity = 0.0;
    double interfaceTrapEdgeWidthEv = 0.1;
    TrapResponse trapResponse = TrapResponse::SingleLevel;
    // Oxide leakage as a parallel conductance [S].
    double leakageSiemens = 1e-9;
    // Capture cross-section of the interface traps for majority carriers;
    // sets the trap time constant and so where the conductance peaks.
    double trapCaptureCrossSectionSquareCm = 1e-16;
    // The cross-section's change with the trap energy: it is
    // trapCaptureCrossSectionSquareCm x 10^(k (E - Ei) / eV) with k this
    // many decades per eV (0: the same at every energy).
    double trapCrossSectionDecadesPerEv = 0.0;
    // Substrate and contact resistance in series with the whole pad [ohm].
    double seriesResistanceOhms = 0.0;
    // How much higher the flat band lies while the bias sweeps down than
    // while it sweeps up [V], as mobile ions or charge trapped in the oxide
    // would move it.
    double hysteresisVolts = 0.0;
};

struct CapacitanceConductance {
    double capacitanceFarads = 0.0;
    double conductanceSiemens = 0.0;
};

// Finite for any bias; a frequency below 1 Hz (including zero or negative)
// counts as 1 Hz.
CapacitanceConductance EvaluateMosCapacitor(const MosDevice& device, double biasVolts,
                                            double frequencyHertz,
                                            SweepDirection direction = SweepDirection::Up);

// The interface traps that answer at a bias: those at the Fermi level at the
// surface. The same solution EvaluateMosCapacitor works from, for tests
// that compare what an analysis recovers with what the device has.
struct InterfaceTrapState {
    double surfacePotentialVolts = 0.0;  // band bending, in the substrate's own sign
    double energyAboveMidgapEv = 0.0;    // E - Ei of the traps at the surface Fermi level
    double densityPerSquareCmEv = 0.0;   // D(E) there [cm^-2 eV^-1]
    double timeConstantSeconds = 0.0;    // 1 / (sigma(E) v_th p_s), majority carriers
};
InterfaceTrapState EvaluateInterfaceTraps(const MosDevice& device, double biasVolts,
                                          SweepDirection direction = SweepDirection::Up);

}  // namespace quillon
