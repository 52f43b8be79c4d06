#include "analysis/parameter_extraction.h"

#include <algorithm>
#include <cmath>

#include "analysis/curve_regions.h"
#include "analysis/cv_analysis.h"
#include "common/physical_constants.h"
#include "common/text_number.h"
#include "measure/point_acquisition.h"

namespace quillon {

namespace {

constexpr double kSquareMetresPerSquareMicron = 1e-12;
constexpr double kCubicCentimetresPerCubicMetre = 1e-6;
constexpr double kLargestCapacitance = 1.0;  // F, as the graphs take it
// A conductance this little below zero after the correction is rounding at
// the point Rs was taken from, not a negative value.
constexpr double kCorrectionRounding = 1e-12;

// A doping above this from Cmax and Cmin means that Cmin is not the
// inversion floor: the sweep ends in accumulation or depletion, and the
// silicon would in any case be degenerate, beyond what the relations hold for.
constexpr double kMostDopingPerCubicCm = 1e20;
// The doping profile is read between these depths: nearer the surface than
// three Debye lengths the majority carriers' tail makes the depletion
// approximation fail, and close to the widest depletion the inversion layer
// starts to screen the depletion edge, which then stops moving.
constexpr double kProfileShallowestDebyeLengths = 3.0;
constexpr double kProfileDeepestFraction = 0.9;
// The conductance peak is looked for in depletion: between these fractions
// of the way from Cmin up to Cox.
constexpr double kLossFloor = 0.03;
constexpr double kLossCeiling = 0.70;
// Rs counts only when its mean over accumulation stands this many standard
// errors clear of 0; scatter alone goes that far once in several hundred runs.
constexpr double kSignificantStandardErrors = 3;
constexpr const char* kNoFlatInversion =
    "no flat part in inversion: Cmin may lie above the inversion floor, and the doping then "
    "comes out too high";
constexpr const char* kFromDopingInDoubt = "from the doping, which is in doubt";

// A stretch of points measured while the bias moved one way.
struct Sweep {
    std::size_t first = 0;
    std::size_t last = 0;  // inclusive
    int direction = 0;     // +1 up, -1 down, 0 the bias never moved
};

std::vector<Sweep> SplitIntoSweeps(const std::vector<MeasuredPoint>& points)
{
    std::vector<Sweep> sweeps;
    if (points.empty()) return sweeps;
    Sweep current;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double step = points[i].bias - points[i - 1].bias;
        const int direction = step > 0 ? 1 : step < 0 ? -1 : 0;
        // The turning point ends one sweep and starts the next.
        if (direction != 0 && current.direction != 0 && direction != current.direction) {
            sweeps.push_back(current);
            current = Sweep{i - 1, i, direction};
            continue;
        }
        current.last = i;
        if (current.direction == 0) current.direction = direction;
    }
    sweeps.push_back(current);
    return sweeps;
}

const Sweep* FirstSweepGoing(const std::vector<Sweep>& sweeps, int direction)
{
    for (const Sweep& sweep : sweeps)
        if (sweep.direction == direction) return &sweep;
    return nullptr;
}

Extracted Value(double value)
{
    if (!std::isfinite(value))
        return {std::nullopt, "the result is beyond the range of numbers", {}};
    return {value, {}, {}};
}

Extracted Missing(std::string reason)
{
    return {std::nullopt, std::move(reason), {}};
}

std::string Points(int count)
{
    return std::to_string(count) + (count == 1 ? " point" : " points");
}

std::string Picofarads(double farads)
{
    return FormatNumber(farads * 1e12, "0.000") + " pF";
}

// The bias at which C first crosses `level` along the sweep, interpolated
// linearly between the two points either side.
std::optional<double> CrossingBias(const std::vector<CurvePoint>& curve, const Sweep& sweep,
                                   double level)
{
    for (std::size_t i = sweep.first; i < sweep.last; ++i) {
        const double before = curve[i].capacitance - level;
        const double after = curve[i + 1].capacitance - level;
        if (before == 0) return curve[i].bias;
        if ((before < 0) != (after < 0) && after != 0) {
            const double fraction = before / (before - after);
            return curve[i].bias + fraction * (curve[i + 1].bias - curve[i].bias);
        }
        if (after == 0) return curve[i + 1].bias;
    }
    return std::nullopt;
}

// The run's frequency and pad area as the values use them, each with the
// reason it cannot be used, so that only the values needing it go without.
struct Inputs {
    double omega = 0;
    double areaSquareMetres = 0;
    std::string areaReason;  // when the pad area cannot be used
    std::string frequencyReason;
};

// The point `t` places from the accumulation end of the sweep.
std::size_t FromAccumulationEnd(const CurveRegions& regions, const Sweep& sweep, std::size_t t)
{
    return regions.accumulationFirst ? sweep.first + t : sweep.last - t;
}

CurveRegions RegionsOfFirstSweep(const Sweep& first, const std::vector<double>& bias,
                                 const std::vector<double>& capacitance)
{
    const auto from = static_cast<std::ptrdiff_t>(first.first);
    const auto to = static_cast<std::ptrdiff_t>(first.last + 1);
    return FindCurveRegions({bias.begin() + from, bias.begin() + to},
                            {capacitance.begin() + from, capacitance.begin() + to});
}

// How far G scatters in accumulation, as a fraction of w C, and the
// standard error of Rs taken from there; a G the correction takes below 0 by
// no more than these give is scatter.
struct ConductanceScatter {
    double perSusceptance = 0;
    double seriesOhmsStandardError = 0;
};

// The substrate type and Rs from the first sweep as measured.
ConductanceScatter ReadSubstrateAndSeriesResistance(const Inputs& inputs,
                                                    const std::vector<MeasuredPoint>& points,
                                                    const Sweep& first, const CurveRegions& regions,
                                                    Extraction& out)
{
    if (first.direction == 0)
        out.substrateReason = "the bias does not change during the run";
    else if (!regions.noFall.empty())
        out.substrateReason = regions.noFall;
    else
        // C is larger at the low-bias end on p-type.
        out.substrate = (first.direction > 0) == regions.accumulationFirst ? SubstrateType::P
                                                                           : SubstrateType::N;

    if (!out.substrate) {
        out.seriesResistance = Missing("no substrate type: " + out.substrateReason);
        return {};
    }
    if (!inputs.frequencyReason.empty()) {
        out.seriesResistance = Missing(inputs.frequencyReason);
        return {};
    }
    if (!regions.accumulation.Found()) {
        out.seriesResistance = Missing(regions.accumulation.missing);
        return {};
    }
    // In accumulation the device is Cox alone, and every point gives Rs; their
    // mean and its standard error say whether G there is more than scatter.
    const std::size_t count = regions.accumulation.points;
    double sum = 0;
    double sumOfSquares = 0;
    double sumOfC = 0;
    for (std::size_t t = 0; t < count; ++t) {
        const MeasuredPoint& p = points[FromAccumulationEnd(regions, first, t)];
        const double rs = SeriesResistance(p.capacitance, p.conductance, inputs.omega);
        sum += rs;
        sumOfSquares += rs * rs;
        sumOfC += p.capacitance;
    }
    const double n = static_cast<double>(count);
    const double mean = sum / n;
    // Rs = G / (w C)^2 there, so G scatters by the scatter of Rs times
    // (w C)^2. The meter scatters G about as much, against w C, as it does
    // C; that holds the scatter up where a few points happen to agree.
    const double susceptance = inputs.omega * sumOfC / n;
    const double deviation =
        std::max(std::sqrt(std::max(0.0, (sumOfSquares - sum * mean) / (n - 1))),
                 regions.relativeScatter / susceptance);
    const double standardError = deviation / std::sqrt(n);
    const ConductanceScatter scatter{deviation * susceptance, standardError};
    if (mean < 0) {
        out.seriesResistance =
            Missing(mean > -kSignificantStandardErrors * standardError
                        ? "G in accumulation is no more than its scatter: no series resistance "
                          "to be seen"
                        : "G in accumulation is negative");
        return scatter;
    }
    out.seriesResistance = Value(mean);
    if (out.seriesResistance.value && mean < kSignificantStandardErrors * standardError)
        out.seriesResistance.doubt = "not significant against the scatter of G in accumulation (" +
                                     FormatNumber(standardError, "0.0") +
                                     " Ohm standard error): the curve is not corrected";
    return scatter;
}

void ReadCurve(const ExtractionInput& input, const Inputs& inputs,
               const std::vector<MeasuredPoint>& points, const ConductanceScatter& scatter,
               Extraction& out)
{
    const bool correct = input.correctSeriesResistance && out.seriesResistance.value &&
                         out.seriesResistance.doubt.empty();
    out.curveCorrected = correct;
    int negative = 0;
    for (const MeasuredPoint& p : points) {
        CurvePoint point{p.bias, p.capacitance, p.conductance, p.capacitance, p.conductance};
        if (correct) {
            const CorrectedValues corrected = CorrectForSeriesResistance(
                p.capacitance, p.conductance, inputs.omega, *out.seriesResistance.value);
            point.capacitance = corrected.capacitance;
            point.conductance = corrected.conductance;
            // A G that was negative as measured is noise and keeps its
            // corrected value, as does one the correction takes below 0 by
            // no more than the scatter of G and of Rs; one that only the
            // correction made clearly negative has none.
            const double susceptance = inputs.omega * p.capacitance;
            const double magnitude = p.conductance * p.conductance + susceptance * susceptance;
            const double scatterOfCorrected = std::hypot(
                scatter.perSusceptance * susceptance, magnitude * scatter.seriesOhmsStandardError);
            if (!std::isfinite(corrected.conductance) ||
                (p.conductance >= 0 &&
                 corrected.conductance < -kSignificantStandardErrors * scatterOfCorrected)) {
                point.conductance.reset();
                ++negative;
            }
        }
        out.curve.push_back(point);
    }
    if (negative > 0)
        out.notes.push_back("G left out, as the Rs correction would make it negative: " +
                            Points(negative));
}

void ReadTrapDensity(const Inputs& inputs, const Sweep& first, const CurveRegions& regions,
                     double cox, double cmin, Extraction& out)
{
    const auto missing = [&](std::string reason) {
        out.trapDensity = Missing(std::move(reason));
        out.trapPeakBias = out.trapDensity;
    };
    if (!inputs.frequencyReason.empty()) return missing(inputs.frequencyReason);
    if (!regions.depletion.Found()) return missing(regions.depletion.missing);
    const double floor = cmin + kLossFloor * (cox - cmin);
    const double ceiling = cmin + kLossCeiling * (cox - cmin);
    std::vector<LossPoint> depletion;
    for (std::size_t i = first.first; i <= first.last; ++i) {
        const CurvePoint& p = out.curve[i];
        if (!(p.capacitance > floor && p.capacitance < ceiling && p.conductance)) continue;
        const double loss = GpOverOmega(inputs.omega, p.capacitance, *p.conductance, cox);
        if (std::isfinite(loss)) depletion.push_back({p.bias, loss});
    }
    // The traps only take energy from the signal: a loss below 0 is the
    // scatter of G where the traps give next to none, and is not plotted.
    int belowZero = 0;
    for (const LossPoint& point : depletion) {
        if (point.gpOverOmega < 0)
            ++belowZero;
        else
            out.loss.push_back(point);
    }
    if (belowZero > 0)
        out.notes.push_back("Gp/\u03c9 below 0 left out, as G there is scatter: " +
                            Points(belowZero));
    if (out.loss.size() < 3) return missing("fewer than three points in depletion");
    // The peak of the curve as plotted; Hill and Coleman's formula at the
    // largest G is the same expression, but the largest G need not be where
    // Gp/w is largest once Rs has been taken out. A peak has points of the
    // depletion part on both sides, plotted or not.
    const auto peak = std::max_element(
        depletion.begin(), depletion.end(),
        [](const LossPoint& x, const LossPoint& y) { return x.gpOverOmega < y.gpOverOmega; });
    if (peak == depletion.begin() || peak == depletion.end() - 1 || !(peak->gpOverOmega > 0))
        return missing("no conductance peak in depletion: Gp/\u03c9 is largest at its edge");
    out.trapPeakBias = Value(peak->bias);
    if (!inputs.areaReason.empty()) {
        out.trapDensity = Missing(inputs.areaReason);
        return;
    }
    // Dit = 2 (Gp/w)max / (q A), which is Hill and Coleman's
    // (2 / (q A)) (Gm/w) / ((Gm / (w Cox))^2 + (1 - Cm/Cox)^2) at that point.
    const double areaSquareCm = inputs.areaSquareMetres * 1e4;
    out.trapDensity = Value(2 * peak->gpOverOmega / (kElementaryChargeCoulombs * areaSquareCm));
}

void ReadProfile(const Inputs& inputs, const Sweep& first, const CurveRegions& regions, double cox,
                 double cmin, Extraction& out)
{
    if (!inputs.areaReason.empty()) {
        out.meanProfileDoping = Missing(inputs.areaReason);
        return;
    }
    if (!regions.depletion.Found()) {
        out.meanProfileDoping = Missing(regions.depletion.missing);
        return;
    }
    if (!out.depletionDoping.value) {
        out.meanProfileDoping = Missing("no doping: " + out.depletionDoping.reason);
        return;
    }
    const double area = inputs.areaSquareMetres;
    const double debyeLength = std::sqrt(
        kSiliconPermittivityFaradsPerMetre * kThermalVoltageVolts /
        (kElementaryChargeCoulombs * *out.depletionDoping.value / kCubicCentimetresPerCubicMetre));
    const double shallowest = kProfileShallowestDebyeLengths * debyeLength;
    const double deepest = kProfileDeepestFraction * DepletionDepth(cmin, cox, area);
    // d(1/C^2)/dV has the sign of the bias direction that deepens depletion.
    const double expectedSign = *out.substrate == SubstrateType::P ? 1.0 : -1.0;
    double sum = 0;
    for (std::size_t i = first.first; i < first.last; ++i) {
        const CurvePoint& a = out.curve[i];
        const CurvePoint& b = out.curve[i + 1];
        if (a.bias == b.bias) continue;
        const double inverseSquareA = 1 / (a.capacitance * a.capacitance);
        const double inverseSquareB = 1 / (b.capacitance * b.capacitance);
        const double slope = (inverseSquareB - inverseSquareA) / (b.bias - a.bias);
        if (slope * expectedSign <= 0) continue;
        // N = 2 / (q eps_Si A^2 |d(1/C^2)/dV|) at W = eps_Si A (1/C - 1/Cox).
        const double depth =
            DepletionDepth(1 / std::sqrt(0.5 * (inverseSquareA + inverseSquareB)), cox, area);
        if (!(depth >= shallowest && depth <= deepest)) continue;
        const double doping = 2 /
                              (kElementaryChargeCoulombs * kSiliconPermittivityFaradsPerMetre *
                               area * area * std::fabs(slope)) *
                              kCubicCentimetresPerCubicMetre;
        if (!std::isfinite(doping)) continue;
        out.profile.push_back({depth * 1e9, doping});
        sum += doping;
    }
    if (out.profile.empty())
        out.meanProfileDoping = Missing("no two neighbouring points in depletion");
    else
        out.meanProfileDoping = Value(sum / static_cast<double>(out.profile.size()));
}

}  // namespace

double GpOverOmega(double omega, double capacitance, double conductance, double cox)
{
    const double d = cox - capacitance;
    return omega * conductance * cox * cox / (conductance * conductance + omega * omega * d * d);
}

double DepletionDepth(double capacitance, double cox, double areaSquareMetres)
{
    return kSiliconPermittivityFaradsPerMetre * areaSquareMetres * (1 / capacitance - 1 / cox);
}

double FermiPotentialVolts(double dopingPerCubicCm)
{
    return kThermalVoltageVolts * std::log(dopingPerCubicCm / kIntrinsicDensityPerCubicCm);
}

double SeriesResistance(double capacitance, double conductance, double omega)
{
    const double susceptance = omega * capacitance;
    return conductance / (conductance * conductance + susceptance * susceptance);
}

CorrectedValues CorrectForSeriesResistance(double capacitance, double conductance, double omega,
                                           double seriesOhms)
{
    const double susceptance = omega * capacitance;
    const double magnitude = conductance * conductance + susceptance * susceptance;
    double a = conductance - magnitude * seriesOhms;
    if (a < 0 && -a <= kCorrectionRounding * conductance) a = 0;
    const double denominator = a * a + susceptance * susceptance;
    return {magnitude * capacitance / denominator, magnitude * a / denominator};
}

Extraction ExtractParameters(const ExtractionInput& input)
{
    Extraction out;

    std::vector<MeasuredPoint> points;
    int overflow = 0;
    int notPositive = 0;
    for (const MeasuredPoint& p : input.points) {
        const bool finite =
            std::isfinite(p.bias) && std::isfinite(p.capacitance) && std::isfinite(p.conductance);
        if (!finite || std::fabs(p.capacitance) >= kOverflowValue ||
            std::fabs(p.conductance) >= kOverflowValue || p.capacitance > kLargestCapacitance)
            ++overflow;
        else if (p.capacitance <= 0)
            ++notPositive;
        else
            points.push_back(p);
    }
    if (overflow > 0) out.notes.push_back("Overflow readings left out: " + Points(overflow));
    if (notPositive > 0) out.notes.push_back("C of 0 or below, left out: " + Points(notPositive));

    Inputs inputs;
    const double frequencyHertz = input.frequencyHertz.value_or(0);
    const double padAreaSquareMicrons = input.padAreaSquareMicrons.value_or(0);
    inputs.omega = 2 * kPi * frequencyHertz;
    if (!input.frequencyHertz)
        inputs.frequencyReason = "the frequency is not known";
    else if (!(frequencyHertz > 0) || !std::isfinite(inputs.omega))
        inputs.frequencyReason = "the frequency is not above 0";
    inputs.areaSquareMetres = padAreaSquareMicrons * kSquareMetresPerSquareMicron;
    if (!input.padAreaSquareMicrons)
        inputs.areaReason = "the pad area is not known";
    else if (!std::isfinite(padAreaSquareMicrons))
        inputs.areaReason = "the pad area is not a number";
    else if (padAreaSquareMicrons <= 0)
        inputs.areaReason = "the pad area is 0 or negative";

    Extracted* const values[] = {
        &out.seriesResistance, &out.oxideCapacitance,    &out.equivalentThickness,
        &out.depletionDoping,  &out.flatBandCapacitance, &out.flatBandUp,
        &out.flatBandDown,     &out.hysteresis,          &out.threshold,
        &out.trapDensity,      &out.trapPeakBias,        &out.meanProfileDoping};
    if (points.size() < 2) {
        out.substrateReason = "fewer than two readable points";
        for (Extracted* value : values) *value = Missing(out.substrateReason);
        return out;
    }

    const std::vector<Sweep> sweeps = SplitIntoSweeps(points);
    const Sweep& first = sweeps.front();
    out.firstSweepPoints = static_cast<int>(first.last - first.first + 1);
    std::vector<double> bias;
    std::vector<double> capacitance;
    for (const MeasuredPoint& p : points) {
        bias.push_back(p.bias);
        capacitance.push_back(p.capacitance);
    }
    // Rs comes from the accumulation of the curve as measured; the other
    // values from the regions of the curve they are read from.
    CurveRegions regions = RegionsOfFirstSweep(first, bias, capacitance);
    const ConductanceScatter scatter =
        ReadSubstrateAndSeriesResistance(inputs, points, first, regions, out);
    ReadCurve(input, inputs, points, scatter, out);
    if (out.curveCorrected) {
        for (std::size_t i = 0; i < points.size(); ++i) capacitance[i] = out.curve[i].capacitance;
        regions = RegionsOfFirstSweep(first, bias, capacitance);
    }

    double cox = 0;
    double cmin = kLargestCapacitance;
    for (std::size_t i = first.first; i <= first.last; ++i)
        cmin = std::min(cmin, out.curve[i].capacitance);
    for (std::size_t t = 0; t < regions.accumulation.points; ++t)
        cox = std::max(cox, out.curve[FromAccumulationEnd(regions, first, t)].capacitance);
    // Everything below needs the oxide capacitance, and so accumulation.
    std::string noOxide;
    if (!out.substrate)
        noOxide = "no substrate type: " + out.substrateReason;
    else if (!regions.accumulation.Found())
        noOxide = regions.accumulation.missing;
    if (!noOxide.empty()) {
        for (Extracted* value : values)
            if (value != &out.seriesResistance) *value = Missing(noOxide);
        return out;
    }
    out.oxideCapacitance = Value(cox);
    if (!inputs.areaReason.empty()) {
        out.equivalentThickness = Missing(inputs.areaReason);
    } else {
        const float cet = CapacitanceEquivalentThickness(*input.padAreaSquareMicrons, cox);
        out.equivalentThickness = std::isfinite(cet) ? Value(static_cast<double>(cet))
                                                     : Missing("the pad area is too large");
    }

    // The doping and the flat-band ratio exactly as the run summary computes
    // them, from the curve's own Cmax and Cmin.
    if (!inputs.areaReason.empty()) {
        out.depletionDoping = Missing(inputs.areaReason);
    } else if (!regions.transition.Found()) {
        out.depletionDoping = Missing(regions.transition.missing);
    } else {
        AnalysisResults summary;
        summary.Cet = CapacitanceEquivalentThickness(*input.padAreaSquareMicrons, cox);
        const std::optional<double> doping =
            ComputeDoping(cox, cmin, static_cast<float>(*input.padAreaSquareMicrons), summary);
        if (!doping || !std::isfinite(*doping) || !(*doping > 0) || !std::isfinite(summary.Cet))
            out.depletionDoping = Missing("the maximum-depletion relation has no solution");
        else if (*doping > kMostDopingPerCubicCm)
            out.depletionDoping =
                Missing("the sweep does not reach from accumulation to inversion");
        else
            out.depletionDoping = Value(*doping);
        if (out.depletionDoping.value) {
            if (!regions.flatInversion.Found()) out.depletionDoping.doubt = kNoFlatInversion;
            out.flatBandCapacitance = Value(summary.CfbRatio * cox);
            if (!out.depletionDoping.doubt.empty())
                out.flatBandCapacitance.doubt = kFromDopingInDoubt;
        }
    }
    if (!out.flatBandCapacitance.value)
        out.flatBandCapacitance = Missing("no doping: " + out.depletionDoping.reason);

    const Sweep* up = FirstSweepGoing(sweeps, 1);
    const Sweep* down = FirstSweepGoing(sweeps, -1);
    const auto flatBand = [&](const Sweep* sweep, const char* name) {
        if (!out.flatBandCapacitance.value)
            return Missing("no flat-band capacitance: " + out.flatBandCapacitance.reason);
        if (!sweep) return Missing(std::string("the run has no ") + name + " sweep");
        const double cfb = *out.flatBandCapacitance.value;
        if (const std::optional<double> crossing = CrossingBias(out.curve, *sweep, cfb)) {
            Extracted vfb = Value(*crossing);
            vfb.doubt = out.flatBandCapacitance.doubt;
            return vfb;
        }
        return Missing(std::string("C never crosses the flat-band capacitance ") + Picofarads(cfb) +
                       " in the " + name + " sweep");
    };
    out.flatBandUp = flatBand(up, "up");
    out.flatBandDown = flatBand(down, "down");
    if (out.flatBandUp.value && out.flatBandDown.value)
        out.hysteresis = Value(*out.flatBandDown.value - *out.flatBandUp.value);
    else
        out.hysteresis = Missing("needs the flat band of both sweeps");

    const Extracted& firstFlatBand = first.direction > 0 ? out.flatBandUp : out.flatBandDown;
    if (!firstFlatBand.value) {
        out.threshold = Missing("no flat-band voltage: " + firstFlatBand.reason);
    } else if (!out.depletionDoping.value) {
        out.threshold = Missing("no doping: " + out.depletionDoping.reason);
    } else {
        // Vth = Vfb +/- (2 phiB + sqrt(4 eps_Si q N phiB) / Cox').
        const double doping = *out.depletionDoping.value;
        const double fermi = FermiPotentialVolts(doping);
        const double depletionCharge =
            std::sqrt(4 * kSiliconPermittivityFaradsPerMetre * kElementaryChargeCoulombs *
                      (doping / kCubicCentimetresPerCubicMetre) * fermi);
        const double oxidePerArea = cox / inputs.areaSquareMetres;
        const double beyondFlatBand = 2 * fermi + depletionCharge / oxidePerArea;
        const double sign = *out.substrate == SubstrateType::P ? 1.0 : -1.0;
        out.threshold = Value(*firstFlatBand.value + sign * beyondFlatBand);
        if (!out.depletionDoping.doubt.empty()) out.threshold.doubt = kFromDopingInDoubt;
    }

    ReadTrapDensity(inputs, first, regions, cox, cmin, out);
    ReadProfile(inputs, first, regions, cox, cmin, out);
    return out;
}

}  // namespace quillon
