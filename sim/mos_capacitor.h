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
// The values are those seen at the terminals: Cox in series with the
// semiconductor and its traps, oxide leakage across the whole pad, and all
// of it behind the series resistance of substrate and contacts.
#pragma once

#include "common/sweep_direction.h"

namespace quillon {

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
    // Interface trap density [cm^-2 eV^-1], taken uniform across the gap;
    // gives the conductance peak in depletion.
    double interfaceTrapDensity = 5e10;
    // Oxide leakage as a parallel conductance [S].
    double leakageSiemens = 1e-9;
    // Capture cross-section of the interface traps for majority carriers;
    // sets the trap time constant and so where the conductance peaks.
    double trapCaptureCrossSectionSquareCm = 1e-16;
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

}  // namespace quillon
