// The device parameters of a MOS capacitor on silicon at 300 K extracted
// from the points of one run: substrate type, series resistance and the
// curve corrected for it, flat-band voltage of each sweep direction and the
// hysteresis between them, threshold voltage, interface-trap density by the
// single-frequency conductance method, and the doping profile.
//
// Each value stands on its own: one that cannot be computed carries the
// reason instead of a number, never inf or NaN, and the others are computed
// as far as their own inputs allow. Each is read from its region of the
// first sweep (curve_regions.h): Cox and Rs from accumulation, Dit and the
// profile from depletion, the doping, and so CFB, Vfb and Vth, from the
// levelling-off towards inversion; without its region a value is "n/a".
// A value whose premise is not borne out by the curve carries the doubt.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// A value, or "n/a" with the reason it has none.
struct Extracted {
    std::optional<double> value;
    std::string reason;  // empty when there is a value
    // With a value: why it may be wrong, as what it stands on does not hold.
    std::string doubt;
};

enum class SubstrateType { P, N };

struct MeasuredPoint {
    double bias = 0;         // V, in the user's sign
    double capacitance = 0;  // Cp [F]
    double conductance = 0;  // G [S]
};

struct ExtractionInput {
    std::vector<MeasuredPoint> points;  // in the order measured
    // No value where the run's file does not say.
    std::optional<double> frequencyHertz;
    std::optional<double> padAreaSquareMicrons;
    bool correctSeriesResistance = true;
};

// A point of the curve the values are taken from: corrected for the series
// resistance when that was asked for and could be done, else as measured.
struct CurvePoint {
    double bias = 0;
    double capacitance = 0;
    // No value where the correction would make a conductance that was not
    // negative as measured negative.
    std::optional<double> conductance;
    double measuredCapacitance = 0;
    double measuredConductance = 0;
};

struct ProfilePoint {
    double depthNanometres = 0;
    double dopingPerCubicCm = 0;
};

struct LossPoint {
    double bias = 0;
    double gpOverOmega = 0;  // interface-trap conductance over omega [F]
};

struct Extraction {
    std::optional<SubstrateType> substrate;
    std::string substrateReason;    // when there is no substrate type
    Extracted seriesResistance;     // mean over accumulation [ohm]
    Extracted oxideCapacitance;     // largest C in accumulation [F]
    Extracted equivalentThickness;  // CET from Cox and the pad area, as the run summary [m]
    Extracted depletionDoping;      // from Cmax and Cmin, as the run summary [cm^-3]
    Extracted flatBandCapacitance;  // [F]
    Extracted flatBandUp;           // [V]
    Extracted flatBandDown;         // [V]
    Extracted hysteresis;           // Vfb(down) - Vfb(up) [V]
    Extracted threshold;            // from the first sweep's flat band [V]
    Extracted trapDensity;          // [cm^-2 eV^-1]
    Extracted trapPeakBias;         // where the conductance peaks [V]
    Extracted meanProfileDoping;    // [cm^-3]

    // Every readable point of the run in the order measured; the first
    // sweep is the first firstSweepPoints of them.
    std::vector<CurvePoint> curve;
    bool curveCorrected = false;
    int firstSweepPoints = 0;
    // Gp/omega over the depletion part of the first sweep; none below 0.
    std::vector<LossPoint> loss;
    std::vector<ProfilePoint> profile;
    // About the run as a whole: points left out, and why.
    std::vector<std::string> notes;
};

Extraction ExtractParameters(const ExtractionInput& input);

// Rs from one point in strong accumulation, where the device is the oxide
// capacitance alone: Rs = G / (G^2 + w^2 C^2).
double SeriesResistance(double capacitance, double conductance, double omega);

// The capacitance and conductance of the device behind the series
// resistance (Nicollian and Brews): with a = G - (G^2 + w^2 C^2) Rs,
// Cc = (G^2 + w^2 C^2) C / (a^2 + w^2 C^2) and Gc = (G^2 + w^2 C^2) a / (a^2 + w^2 C^2).
struct CorrectedValues {
    double capacitance = 0;
    double conductance = 0;
};
CorrectedValues CorrectForSeriesResistance(double capacitance, double conductance, double omega,
                                           double seriesOhms);

// Nicollian and Goetzberger's loss of the interface traps, Gp/w, from C
// and G at the terminals (corrected for Rs) with Cox taken off [F].
double GpOverOmega(double omega, double capacitance, double conductance, double cox);
// The depletion width W = eps_Si A (1/C - 1/Cox) [m].
double DepletionDepth(double capacitance, double cox, double areaSquareMetres);
// phi_F = (kT/q) ln(N / ni) [V].
double FermiPotentialVolts(double dopingPerCubicCm);

}  // namespace quillon
