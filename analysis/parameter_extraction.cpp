#include "analysis/parameter_extraction.h"

#include <algorithm>
#include <cmath>

#include "analysis/cv_analysis.h"
#include "analysis/physical_constants.h"
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
    if (!std::isfinite(value)) return {std::nullopt, "the result is beyond the range of numbers"};
    return {value, {}};
}

Extracted Missing(std::string reason)
{
    return {std::nullopt, std::move(reason)};
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

void ReadCurve(const ExtractionInput& input, const Inputs& inputs,
               const std::vector<MeasuredPoint>& points, Extraction& out)
{
    const bool correct = input.correctSeriesResistance && out.seriesResistance.value;
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
            // corrected value; one that only the correction made negative
            // has none.
            if (!std::isfinite(corrected.conductance) ||
                (corrected.conductance < 0 && p.conductance >= 0)) {
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

// The substrate type and Rs from the first sweep as measured.
void ReadSubstrateAndSeriesResistance(const Inputs& inputs,
                                      const std::vector<MeasuredPoint>& points, const Sweep& first,
                                      Extraction& out)
{
    const MeasuredPoint& a = points[first.first];
    const MeasuredPoint& b = points[first.last];
    if (first.direction == 0) {
        out.substrateReason = "the bias does not change during the run";
    } else if (a.capacitance == b.capacitance) {
        out.substrateReason = "C is the same at both ends of the sweep";
    } else {
        const MeasuredPoint& low = a.bias < b.bias ? a : b;
        const MeasuredPoint& high = a.bias < b.bias ? b : a;
        out.substrate = low.capacitance > high.capacitance ? SubstrateType::P : SubstrateType::N;
    }

    if (!out.substrate) {
        out.seriesResistance = Missing("no substrate type: " + out.substrateReason);
    } else if (!inputs.frequencyReason.empty()) {
        out.seriesResistance = Missing(inputs.frequencyReason);
    } else {
        // Strong accumulation: the lowest bias on p-type, the highest on n-type.
        const bool lowIsAccumulation = *out.substrate == SubstrateType::P;
        const MeasuredPoint& accumulation = (a.bias < b.bias) == lowIsAccumulation ? a : b;
        const double rs =
            SeriesResistance(accumulation.capacitance, accumulation.conductance, inputs.omega);
        if (rs < 0)
            out.seriesResistance = Missing("G in accumulation is negative");
        else
            out.seriesResistance = Value(rs);
    }
}

void ReadTrapDensity(const Inputs& inputs, const Sweep& first, double cox, double cmin,
                     Extraction& out)
{
    if (!inputs.frequencyReason.empty()) {
        out.trapDensity = Missing(inputs.frequencyReason);
        out.trapPeakBias = out.trapDensity;
        return;
    }
    const double floor = cmin + kLossFloor * (cox - cmin);
    const double ceiling = cmin + kLossCeiling * (cox - cmin);
    std::vector<std::size_t> depletion;
    for (std::size_t i = first.first; i <= first.last; ++i) {
        const CurvePoint& p = out.curve[i];
        if (p.capacitance > floor && p.capacitance < ceiling && p.conductance) {
            depletion.push_back(i);
            out.loss.push_back({p.bias, inputs.omega * *p.conductance * cox * cox /
                                            (*p.conductance * *p.conductance +
                                             inputs.omega * inputs.omega * (cox - p.capacitance) *
                                                 (cox - p.capacitance))});
        }
    }
    if (depletion.size() < 3) {
        out.trapDensity = Missing("fewer than three points in depletion");
        out.trapPeakBias = out.trapDensity;
        return;
    }
    const auto peak = std::max_element(depletion.begin(), depletion.end(), [&](auto x, auto y) {
        return *out.curve[x].conductance < *out.curve[y].conductance;
    });
    if (peak == depletion.begin() || peak == depletion.end() - 1 ||
        *out.curve[*peak].conductance <= 0) {
        out.trapDensity = Missing("no conductance peak in depletion: G is largest at its edge");
        out.trapPeakBias = out.trapDensity;
        return;
    }
    const CurvePoint& p = out.curve[*peak];
    out.trapPeakBias = Value(p.bias);
    if (!inputs.areaReason.empty()) {
        out.trapDensity = Missing(inputs.areaReason);
        return;
    }
    // Hill and Coleman: Dit = (2 / (q A)) (Gm/w) / ((Gm / (w Cox))^2 + (1 - Cm/Cox)^2).
    const double gOverOmega = *p.conductance / inputs.omega;
    const double lossTerm = gOverOmega / cox;
    const double capacitanceTerm = 1 - p.capacitance / cox;
    const double areaSquareCm = inputs.areaSquareMetres * 1e4;
    out.trapDensity = Value(2 / (kElementaryChargeCoulombs * areaSquareCm) * gOverOmega /
                            (lossTerm * lossTerm + capacitanceTerm * capacitanceTerm));
}

double DepletionDepth(double capacitance, double cox, double areaSquareMetres)
{
    return kSiliconPermittivityFaradsPerMetre * areaSquareMetres * (1 / capacitance - 1 / cox);
}

void ReadProfile(const Inputs& inputs, const Sweep& first, double cox, double cmin, Extraction& out)
{
    if (!inputs.areaReason.empty()) {
        out.meanProfileDoping = Missing(inputs.areaReason);
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
    inputs.omega = 2 * kPi * input.frequencyHertz;
    if (!(input.frequencyHertz > 0) || !std::isfinite(inputs.omega))
        inputs.frequencyReason = "the frequency is not above 0";
    inputs.areaSquareMetres = input.padAreaSquareMicrons * kSquareMetresPerSquareMicron;
    if (!std::isfinite(input.padAreaSquareMicrons))
        inputs.areaReason = "the pad area is not a number";
    else if (input.padAreaSquareMicrons <= 0)
        inputs.areaReason = "the pad area is 0 or negative";

    Extracted* const values[] = {
        &out.seriesResistance,    &out.oxideCapacitance, &out.depletionDoping,
        &out.flatBandCapacitance, &out.flatBandUp,       &out.flatBandDown,
        &out.hysteresis,          &out.threshold,        &out.trapDensity,
        &out.trapPeakBias,        &out.meanProfileDoping};
    if (points.size() < 2) {
        out.substrateReason = "fewer than two readable points";
        for (Extracted* value : values) *value = Missing(out.substrateReason);
        return out;
    }

    const std::vector<Sweep> sweeps = SplitIntoSweeps(points);
    const Sweep& first = sweeps.front();
    out.firstSweepPoints = static_cast<int>(first.last - first.first + 1);
    ReadSubstrateAndSeriesResistance(inputs, points, first, out);
    ReadCurve(input, inputs, points, out);

    double cox = 0;
    double cmin = kLargestCapacitance;
    for (std::size_t i = first.first; i <= first.last; ++i) {
        cox = std::max(cox, out.curve[i].capacitance);
        cmin = std::min(cmin, out.curve[i].capacitance);
    }
    out.oxideCapacitance = Value(cox);
    // Everything below needs the fall of C from accumulation to inversion.
    std::string noFall;
    if (!out.substrate)
        noFall = "no substrate type: " + out.substrateReason;
    else if (!out.oxideCapacitance.value)
        noFall = out.oxideCapacitance.reason;
    else if (cox <= cmin)
        noFall = "Cmax equals Cmin";
    if (!noFall.empty()) {
        for (Extracted* value : values)
            if (value != &out.seriesResistance && value != &out.oxideCapacitance)
                *value = Missing(noFall);
        return out;
    }

    // The doping and the flat-band ratio exactly as the run summary computes
    // them, from the curve's own Cmax and Cmin.
    if (!inputs.areaReason.empty()) {
        out.depletionDoping = Missing(inputs.areaReason);
    } else {
        AnalysisResults summary;
        summary.Cet = CapacitanceEquivalentThickness(input.padAreaSquareMicrons, cox);
        const std::optional<double> doping =
            ComputeDoping(cox, cmin, static_cast<float>(input.padAreaSquareMicrons), summary);
        if (!doping || !std::isfinite(*doping) || !(*doping > 0) || !std::isfinite(summary.Cet))
            out.depletionDoping = Missing("the maximum-depletion relation has no solution");
        else if (*doping > kMostDopingPerCubicCm)
            out.depletionDoping =
                Missing("the sweep does not reach from accumulation to inversion");
        else
            out.depletionDoping = Value(*doping);
        if (out.depletionDoping.value) out.flatBandCapacitance = Value(summary.CfbRatio * cox);
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
        if (const std::optional<double> bias = CrossingBias(out.curve, *sweep, cfb))
            return Value(*bias);
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
        const double fermi = kThermalVoltageVolts * std::log(doping / kIntrinsicDensityPerCubicCm);
        const double depletionCharge =
            std::sqrt(4 * kSiliconPermittivityFaradsPerMetre * kElementaryChargeCoulombs *
                      (doping / kCubicCentimetresPerCubicMetre) * fermi);
        const double oxidePerArea = cox / inputs.areaSquareMetres;
        const double beyondFlatBand = 2 * fermi + depletionCharge / oxidePerArea;
        const double sign = *out.substrate == SubstrateType::P ? 1.0 : -1.0;
        out.threshold = Value(*firstFlatBand.value + sign * beyondFlatBand);
    }

    ReadTrapDensity(inputs, first, cox, cmin, out);
    ReadProfile(inputs, first, cox, cmin, out);
    return out;
}

}  // namespace quillon
