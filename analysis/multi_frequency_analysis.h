// The analysis of one device measured at several frequencies: the C-V and
// G-V families, the interface traps by the multi-frequency conductance
// method of Nicollian and Goetzberger (Schroder, Semiconductor Material and
// Device Characterization, ch. 6) and the frequency dispersion of the
// accumulation capacitance.
//
// At each bias Gp/w is taken over frequency from the values corrected for
// the series resistance, with Cox taken off:
//   Gp/w = w Gc Cox^2 / (Gc^2 + w^2 (Cox - Cc)^2).
// Its peak, on a parabola in ln f through the highest point and its
// neighbours, gives for a continuum of traps
//   Dit = 2.5 / (q A) (Gp/w)max,  tau = 1.98 / (2 pi f_peak).
// Cox is the accumulation capacitance at the lowest frequency, Rs the
// accumulation estimate at the highest (where leakage does not count), the
// substrate type and doping those of the highest-frequency curve
// (parameter_extraction.h), and the surface potential from that curve by
// the depletion approximation: W = eps_si A (1/C - 1/Cox),
// psi_s = q N W^2 / (2 eps_si). Every value that cannot be had carries its
// reason instead; a bias whose C at the highest frequency is within 10 % of
// Cox counts as accumulation, where Gp/w is only the scatter of Cox - C.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/frequency_family.h"
#include "analysis/parameter_extraction.h"

namespace quillon {

struct FamilyCurvePoint {
    double biasVolts = 0.0;
    double capacitanceFarads = 0.0;
    double conductanceSiemens = 0.0;
};

// The points of one frequency, sorted by bias.
struct FamilyCurve {
    double frequencyHertz = 0.0;
    std::string label;  // "100 kHz"
    std::vector<FamilyCurvePoint> points;
};

struct LossSpectrumPoint {
    double frequencyHertz = 0.0;
    double gpOverOmegaFarads = 0.0;
};

// The traps at one bias.
struct BiasTraps {
    double biasVolts = 0.0;
    std::vector<LossSpectrumPoint> spectrum;  // by frequency; empty without Cox
    Extracted peakFrequency;                  // [Hz]
    Extracted peakGpOverOmega;                // [F]
    Extracted trapDensity;                    // [cm^-2 eV^-1]
    Extracted timeConstant;                   // [s]
    Extracted surfacePotential;               // band bending, magnitude [V]
    Extracted energyAboveMidgap;              // E - Ei of the traps measured [eV]
};

struct AccumulationPoint {
    double frequencyHertz = 0.0;
    double capacitanceFarads = 0.0;  // corrected for Rs
};

struct MultiFrequencyAnalysis {
    std::vector<FamilyCurve> curves;  // by frequency
    std::vector<BiasTraps> biases;    // by bias
    std::optional<SubstrateType> substrate;
    Extracted oxideCapacitance;  // [F]
    Extracted seriesResistance;  // [ohm]
    Extracted doping;            // [cm^-3]
    double accumulationBiasVolts = 0.0;
    std::vector<AccumulationPoint> accumulation;  // by frequency
    Extracted dispersion;                         // [% per decade]
    std::vector<std::string> notes;               // about the family as a whole
};

MultiFrequencyAnalysis AnalyseFrequencyFamily(const FrequencyFamily& family);

// The Gp/w peak of a spectrum sorted by frequency: the highest point, on a
// parabola in ln f through it and its neighbours. No value for fewer than
// three points or a highest point at the first or last frequency.
struct LossPeak {
    Extracted frequency;
    Extracted gpOverOmega;
};
LossPeak FindLossPeak(const std::vector<LossSpectrumPoint>& spectrum);

// The per-bias table as TAB text with a header line, n/a and the reason
// where a value is missing; and the whole report for Copy and Save.
std::string TrapTableText(const MultiFrequencyAnalysis& analysis);
std::string MultiFrequencyReportText(const FrequencyFamily& family,
                                     const MultiFrequencyAnalysis& analysis);

}  // namespace quillon
