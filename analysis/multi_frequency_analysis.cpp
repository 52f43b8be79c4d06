#include "analysis/multi_frequency_analysis.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "analysis/cv_analysis.h"
#include "common/physical_constants.h"
#include "common/text_number.h"

namespace quillon {

namespace {

// For a continuum of traps Gp/w peaks at w tau = 1.98 with 0.402 q Dit
// (Nicollian and Goetzberger 1967; Schroder eq. 6.57ff); Schroder's
// rounded inverse of 0.402 is 2.5.
constexpr double kContinuumPeakOmegaTau = 1.98;
constexpr double kContinuumDensityPerPeak = 2.5;
constexpr int kFewestFrequencies = 3;
constexpr double kAccumulationFractionOfCox = 0.9;

Extracted Value(double value)
{
    if (!std::isfinite(value)) return {std::nullopt, "not finite", {}};
    return {value, {}, {}};
}

Extracted Missing(std::string reason)
{
    return {std::nullopt, std::move(reason), {}};
}

long long MilliVolts(double volts)
{
    return std::llround(volts * 1000.0);
}

// `format` as printf's "%.4g", "%.3f", "%.3e", in the C locale.
std::string Number(double value, const char* format = "%.4g")
{
    return CLocaleNumber(value, format[2] - '0', format[3]);
}

// The points as the family defines them: finite, one per bias and frequency.
std::vector<FamilyPoint> DistinctPoints(const FrequencyFamily& family)
{
    std::vector<FamilyPoint> points;
    std::map<std::pair<long long, long long>, bool> seen;
    for (const FamilyPoint& p : family.points) {
        if (!std::isfinite(p.biasVolts) || !std::isfinite(p.frequencyHertz) ||
            !std::isfinite(p.capacitanceFarads) || !std::isfinite(p.conductanceSiemens) ||
            p.frequencyHertz <= 0.0)
            continue;
        const auto key = std::make_pair(MilliVolts(p.biasVolts), std::llround(p.frequencyHertz));
        if (seen.emplace(key, true).second) points.push_back(p);
    }
    return points;
}

Extraction ExtractCurve(const FamilyCurve& curve, std::optional<double> area, bool correct)
{
    ExtractionInput input;
    for (const FamilyCurvePoint& p : curve.points)
        input.points.push_back({p.biasVolts, p.capacitanceFarads, p.conductanceSiemens});
    input.frequencyHertz = curve.frequencyHertz;
    input.padAreaSquareMicrons = area;
    input.correctSeriesResistance = correct;
    return ExtractParameters(input);
}

CorrectedValues Corrected(const Extracted& seriesResistance, double capacitance, double conductance,
                          double frequency)
{
    if (!seriesResistance.value) return {capacitance, conductance};
    return CorrectForSeriesResistance(capacitance, conductance, 2.0 * kPi * frequency,
                                      *seriesResistance.value);
}

// Cox, Rs, substrate and doping of the family, and the accumulation bias.
void FindDeviceParameters(MultiFrequencyAnalysis& out, std::optional<double> area)
{
    const FamilyCurve& lowest = out.curves.front();
    const FamilyCurve& highest = out.curves.back();
    const Extraction high = ExtractCurve(highest, area, false);
    out.substrate = high.substrate;
    out.seriesResistance = high.seriesResistance;
    if (out.seriesResistance.value && !out.seriesResistance.doubt.empty())
        out.seriesResistance = Missing(out.seriesResistance.doubt);
    if (!out.seriesResistance.value)
        out.notes.push_back("not corrected for the series resistance: " +
                            out.seriesResistance.reason);
    out.doping = high.depletionDoping;

    // At the lowest frequency, where the accumulation layer follows best.
    const Extraction low = ExtractCurve(lowest, area, false);
    if (!low.oxideCapacitance.value) {
        out.oxideCapacitance =
            Missing("no accumulation at " + lowest.label + ": " + low.oxideCapacitance.reason);
        return;
    }
    const auto at = std::find_if(lowest.points.begin(), lowest.points.end(), [&](const auto& p) {
        return p.capacitanceFarads == *low.oxideCapacitance.value;
    });
    if (at == lowest.points.end()) {
        out.oxideCapacitance = low.oxideCapacitance;
        return;
    }
    out.accumulationBiasVolts = at->biasVolts;
    out.oxideCapacitance = Value(Corrected(out.seriesResistance, at->capacitanceFarads,
                                           at->conductanceSiemens, lowest.frequencyHertz)
                                     .capacitance);
}

void FindDispersion(MultiFrequencyAnalysis& out)
{
    if (!out.oxideCapacitance.value) {
        out.dispersion = Missing(out.oxideCapacitance.reason);
        return;
    }
    const long long bias = MilliVolts(out.accumulationBiasVolts);
    for (const FamilyCurve& curve : out.curves)
        for (const FamilyCurvePoint& p : curve.points)
            if (MilliVolts(p.biasVolts) == bias)
                out.accumulation.push_back(
                    {curve.frequencyHertz, Corrected(out.seriesResistance, p.capacitanceFarads,
                                                     p.conductanceSiemens, curve.frequencyHertz)
                                               .capacitance});
    if (out.accumulation.size() < 2) {
        out.dispersion = Missing("fewer than 2 frequencies at the accumulation bias");
        return;
    }
    // Least-squares slope of C over log10 f.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const AccumulationPoint& p : out.accumulation) {
        const double x = std::log10(p.frequencyHertz);
        sx += x;
        sy += p.capacitanceFarads;
        sxx += x * x;
        sxy += x * p.capacitanceFarads;
    }
    const double n = static_cast<double>(out.accumulation.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    out.dispersion = Value(100.0 * slope / out.accumulation.front().capacitanceFarads);
}

// Near Cox, Gp/w is the scatter of C over the small Cox - C, whatever the
// traps do.
bool InAccumulation(const MultiFrequencyAnalysis& out, double biasVolts)
{
    const FamilyCurve& highest = out.curves.back();
    for (const FamilyCurvePoint& p : highest.points)
        if (MilliVolts(p.biasVolts) == MilliVolts(biasVolts))
            return Corrected(out.seriesResistance, p.capacitanceFarads, p.conductanceSiemens,
                             highest.frequencyHertz)
                       .capacitance > kAccumulationFractionOfCox * *out.oxideCapacitance.value;
    return false;
}

// The band bending and the trap energy at a bias, from the highest-frequency
// curve by the depletion approximation.
void FindEnergy(const MultiFrequencyAnalysis& out, const FamilyCurve& highest,
                std::optional<double> area, BiasTraps& traps)
{
    auto missing = [&](const std::string& reason) {
        traps.surfacePotential = Missing(reason);
        traps.energyAboveMidgap = Missing(reason);
    };
    if (!area || *area <= 0.0) return missing("no pad area");
    if (!out.oxideCapacitance.value) return missing(out.oxideCapacitance.reason);
    if (!out.doping.value) return missing("no doping: " + out.doping.reason);
    if (!out.substrate) return missing("no substrate type");
    const auto at = std::find_if(highest.points.begin(), highest.points.end(), [&](const auto& p) {
        return MilliVolts(p.biasVolts) == MilliVolts(traps.biasVolts);
    });
    if (at == highest.points.end()) return missing("no point at " + highest.label);
    if (InAccumulation(out, traps.biasVolts))
        return missing("in accumulation: C within 10 % of Cox at " + highest.label);
    const double c = Corrected(out.seriesResistance, at->capacitanceFarads, at->conductanceSiemens,
                               highest.frequencyHertz)
                         .capacitance;
    const double cox = *out.oxideCapacitance.value;
    if (c >= cox) return missing("not depleted: C is Cox at " + highest.label);
    const double areaSquareMetres = *area * 1e-12;
    const double width = DepletionDepth(c, cox, areaSquareMetres);
    const double dopingPerCubicMetre = *out.doping.value * 1e6;
    const double psi = kElementaryChargeCoulombs * dopingPerCubicMetre * width * width /
                       (2.0 * kSiliconPermittivityFaradsPerMetre);
    const double fermi = FermiPotentialVolts(*out.doping.value);
    if (psi > 2.0 * fermi) return missing("inverted: band bending past 2 phi_F");
    traps.surfacePotential = Value(psi);
    // p-type: the surface Fermi level lies phi_F - psi_s below Ei; n-type above.
    traps.energyAboveMidgap = Value(*out.substrate == SubstrateType::P ? psi - fermi : fermi - psi);
}

void FindTraps(MultiFrequencyAnalysis& out, const std::vector<FamilyPoint>& points,
               std::optional<double> area)
{
    std::map<long long, std::vector<FamilyPoint>> byBias;
    for (const FamilyPoint& p : points) byBias[MilliVolts(p.biasVolts)].push_back(p);
    for (auto& [millivolts, atBias] : byBias) {
        std::sort(atBias.begin(), atBias.end(), [](const FamilyPoint& a, const FamilyPoint& b) {
            return a.frequencyHertz < b.frequencyHertz;
        });
        BiasTraps traps;
        traps.biasVolts = atBias.front().biasVolts;
        FindEnergy(out, out.curves.back(), area, traps);
        std::string reason;
        if (!out.oxideCapacitance.value)
            reason = out.oxideCapacitance.reason;
        else if (static_cast<int>(atBias.size()) < kFewestFrequencies)
            reason = "too few frequencies: " + std::to_string(atBias.size()) + " (3 needed)";
        else if (InAccumulation(out, traps.biasVolts))
            reason = "in accumulation: C within 10 % of Cox at " + out.curves.back().label;
        if (!reason.empty()) {
            traps.peakFrequency = traps.peakGpOverOmega = traps.trapDensity = traps.timeConstant =
                Missing(reason);
            out.biases.push_back(std::move(traps));
            continue;
        }
        const double cox = *out.oxideCapacitance.value;
        for (const FamilyPoint& p : atBias) {
            const double omega = 2.0 * kPi * p.frequencyHertz;
            const CorrectedValues c = Corrected(out.seriesResistance, p.capacitanceFarads,
                                                p.conductanceSiemens, p.frequencyHertz);
            traps.spectrum.push_back(
                {p.frequencyHertz, GpOverOmega(omega, c.capacitance, c.conductance, cox)});
        }
        const LossPeak peak = FindLossPeak(traps.spectrum);
        traps.peakFrequency = peak.frequency;
        traps.peakGpOverOmega = peak.gpOverOmega;
        if (!peak.frequency.value) {
            traps.trapDensity = traps.timeConstant = Missing(peak.frequency.reason);
        } else {
            traps.timeConstant =
                Value(kContinuumPeakOmegaTau / (2.0 * kPi * *peak.frequency.value));
            if (!area || *area <= 0.0)
                traps.trapDensity = Missing("no pad area");
            else
                traps.trapDensity = Value(kContinuumDensityPerPeak * *peak.gpOverOmega.value /
                                          (kElementaryChargeCoulombs * *area * 1e-8));
        }
        out.biases.push_back(std::move(traps));
    }
}

}  // namespace

LossPeak FindLossPeak(const std::vector<LossSpectrumPoint>& spectrum)
{
    LossPeak peak;
    const std::size_t n = spectrum.size();
    if (n < static_cast<std::size_t>(kFewestFrequencies)) {
        peak.frequency = peak.gpOverOmega = Missing("too few frequencies");
        return peak;
    }
    auto value = [&](std::size_t i) { return spectrum[i].gpOverOmegaFarads; };
    std::size_t best = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (value(i) > value(best)) best = i;
    if (best == 0 || best == n - 1) {
        peak.frequency = peak.gpOverOmega =
            Missing(std::string("peak outside the measured range (at the ") +
                    (best == 0 ? "lowest" : "highest") + " frequency)");
        return peak;
    }
    // Parabola through the three points in x = ln f.
    const double x0 = std::log(spectrum[best - 1].frequencyHertz);
    const double x1 = std::log(spectrum[best].frequencyHertz);
    const double x2 = std::log(spectrum[best + 1].frequencyHertz);
    const double y0 = value(best - 1), y1 = value(best), y2 = value(best + 1);
    const double d01 = (y1 - y0) / (x1 - x0);
    const double d12 = (y2 - y1) / (x2 - x1);
    const double a = (d12 - d01) / (x2 - x0);
    double x = x1;
    double y = y1;
    if (a < 0.0) {
        const double b = d01 - a * (x0 + x1);
        x = std::clamp(-b / (2.0 * a), x0, x2);
        y = y1 + (x - x1) * (d01 + a * (x - x0));
    }
    peak.frequency = Value(std::exp(x));
    peak.gpOverOmega = Value(y);
    return peak;
}

MultiFrequencyAnalysis AnalyseFrequencyFamily(const FrequencyFamily& family)
{
    MultiFrequencyAnalysis out;
    const std::vector<FamilyPoint> points = DistinctPoints(family);
    std::map<long long, FamilyCurve> byFrequency;
    for (const FamilyPoint& p : points) {
        FamilyCurve& curve = byFrequency[std::llround(p.frequencyHertz)];
        curve.frequencyHertz = p.frequencyHertz;
        curve.points.push_back({p.biasVolts, p.capacitanceFarads, p.conductanceSiemens});
    }
    for (auto& [hertz, curve] : byFrequency) {
        std::sort(curve.points.begin(), curve.points.end(),
                  [](const auto& a, const auto& b) { return a.biasVolts < b.biasVolts; });
        curve.label = HertzText(curve.frequencyHertz);
        out.curves.push_back(std::move(curve));
    }
    if (out.curves.empty()) {
        const std::string none = "no readable points";
        out.oxideCapacitance = out.seriesResistance = out.doping = out.dispersion = Missing(none);
        out.notes.push_back(none);
        return out;
    }
    if (out.curves.size() < static_cast<std::size_t>(kFewestFrequencies))
        out.notes.push_back("fewer than 3 frequencies: no trap values");
    if (!family.padAreaSquareMicrons) out.notes.push_back("no pad area: no trap density");
    FindDeviceParameters(out, family.padAreaSquareMicrons);
    FindDispersion(out);
    FindTraps(out, points, family.padAreaSquareMicrons);
    return out;
}

namespace {

std::string Cell(const Extracted& e, double scale, const char* format)
{
    if (!e.value) return std::string(kNotAvailable) + " (" + e.reason + ")";
    return Number(*e.value * scale, format);
}

}  // namespace

std::string TrapTableText(const MultiFrequencyAnalysis& analysis)
{
    std::string text =
        "V [V]\tf peak [Hz]\t(Gp/w)max [pF]\tDit [cm-2 eV-1]\ttau [s]\tpsi_s [V]\tE - Ei [eV]";
    text += kCrLf;
    for (const BiasTraps& b : analysis.biases) {
        text += Number(b.biasVolts, "%.3f") + "\t" + Cell(b.peakFrequency, 1, "%.4g") + "\t" +
                Cell(b.peakGpOverOmega, 1e12, "%.4g") + "\t" + Cell(b.trapDensity, 1, "%.3e") +
                "\t" + Cell(b.timeConstant, 1, "%.3e") + "\t" +
                Cell(b.surfacePotential, 1, "%.3f") + "\t" + Cell(b.energyAboveMidgap, 1, "%.3f");
        text += kCrLf;
    }
    return text;
}

std::string MultiFrequencyReportText(const FrequencyFamily& family,
                                     const MultiFrequencyAnalysis& analysis)
{
    std::string text = "Analysis of several frequencies";
    if (!family.sample.empty()) text += ": " + family.sample;
    text += kCrLf;
    if (!family.source.empty()) text += "From: " + family.source + std::string(kCrLf);
    text += "Frequencies:";
    for (const FamilyCurve& c : analysis.curves) text += " " + c.label;
    text += kCrLf;
    auto line = [&](const char* name, const Extracted& e, double scale, const char* format,
                    const char* unit) {
        text += std::string(name) + "\t" + Cell(e, scale, format) + (e.value ? unit : "");
        if (e.value && !e.doubt.empty()) text += " (" + e.doubt + ")";
        text += kCrLf;
    };
    line("Cox", analysis.oxideCapacitance, 1e12, "%.4g", " pF");
    line("Rs", analysis.seriesResistance, 1, "%.4g", " Ohm");
    line("Doping", analysis.doping, 1, "%.3e", " cm-3");
    line("Dispersion of Cacc", analysis.dispersion, 1, "%.3f", " % per decade");
    for (const AccumulationPoint& p : analysis.accumulation)
        text += "Cacc at " + HertzText(p.frequencyHertz) + "\t" +
                Number(p.capacitanceFarads * 1e12, "%.4f") + " pF" + std::string(kCrLf);
    for (const std::string& note : analysis.notes) text += "Note: " + note + std::string(kCrLf);
    text +=
        "Dit = 2.5/(qA) (Gp/w)max, tau = 1.98/(2 pi f peak): continuum of traps "
        "(Nicollian and Goetzberger 1967; Schroder ch. 6); E - Ei from the highest "
        "frequency by the depletion approximation";
    text += kCrLf;
    text += kCrLf;
    text += TrapTableText(analysis);
    return text;
}

}  // namespace quillon
