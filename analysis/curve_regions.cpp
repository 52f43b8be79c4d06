#include "analysis/curve_regions.h"

#include <algorithm>
#include <cmath>

#include "common/physical_constants.h"

namespace quillon {

namespace {

// A fall of C smaller than this fraction of its largest value is not told
// from the meter's basic accuracy (0.05 %) well enough for the depletion
// capacitance to be known within a few per cent; nor is one that is not
// well clear of the scatter of C.
constexpr double kLeastFallFraction = 0.02;
constexpr double kLeastFallInScatters = 10;
// A slope within this many times its own scatter is level.
constexpr double kLevelInScatters = 3;
constexpr double kChordsPerSweep = 30;
// Strong accumulation: C within this fraction of Cox. The accumulation
// layer gives (1/C) dC/dV = (q / 2kT) (1 - C/Cox)^2, so the slope alone says
// how close C is, whatever the rest of the sweep looks like (a sweep in
// accumulation alone is steepest at its far end).
constexpr double kAccumulationBelowCox = 0.05;
// Fractions of the steepest slope below which the curve counts as level:
// past the steepest fall, in depletion; levelled off towards inversion; and
// flat on the inversion floor, the maximum-depletion capacitance.
constexpr double kPastSteepestSlope = 0.5;
constexpr double kLevelledSlope = 0.25;
constexpr double kFlatSlope = 0.02;
constexpr std::size_t kLeastRegionPoints = 3;
// The median of |x| over a normal scatter of width 1, and the sum of the
// squares of the fourth-difference weights 1, -4, 6, -4, 1.
constexpr double kMedianAbsoluteDeviation = 0.6744897501960817;
constexpr double kFourthDifferenceVariance = 70;

CurveRegion Counted(std::size_t points, const char* none, const char* tooFew)
{
    if (points == 0) return {points, none};
    if (points < kLeastRegionPoints) return {points, tooFew};
    return {points, {}};
}

}  // namespace

double RelativeScatter(const std::vector<double>& values)
{
    std::vector<double> deviations;
    for (std::size_t i = 2; i + 2 < values.size(); ++i) {
        if (values[i] == 0) continue;
        const double fourth =
            values[i - 2] - 4 * values[i - 1] + 6 * values[i] - 4 * values[i + 1] + values[i + 2];
        deviations.push_back(std::fabs(fourth / values[i]));
    }
    if (deviations.empty()) return 0;
    const auto middle = deviations.begin() + static_cast<std::ptrdiff_t>(deviations.size() / 2);
    std::nth_element(deviations.begin(), middle, deviations.end());
    return *middle / kMedianAbsoluteDeviation / std::sqrt(kFourthDifferenceVariance);
}

CurveRegions FindCurveRegions(const std::vector<double>& bias,
                              const std::vector<double>& capacitance)
{
    CurveRegions regions;
    const std::size_t n = std::min(bias.size(), capacitance.size());
    const auto missing = [&](const std::string& reason) {
        regions.noFall = reason;
        for (CurveRegion* region : {&regions.accumulation, &regions.depletion, &regions.transition,
                                    &regions.flatInversion})
            region->missing = reason;
        return regions;
    };
    if (n < 2) return missing("fewer than two points");

    const auto end = capacitance.begin() + static_cast<std::ptrdiff_t>(n);
    const auto [lowest, highest] = std::minmax_element(capacitance.begin(), end);
    regions.relativeScatter = RelativeScatter({capacitance.begin(), end});
    const double leastFall =
        std::max(kLeastFallFraction, kLeastFallInScatters * regions.relativeScatter) * *highest;
    const double front = capacitance.front();
    const double back = capacitance[n - 1];
    if (front == back) return missing("C is the same at both ends of the sweep");
    if (*highest - *lowest < leastFall || std::fabs(front - back) < leastFall)
        return missing("C changes too little over the sweep to tell accumulation from inversion");
    regions.accumulationFirst = front > back;

    // The chord of each point reaches as far as half a chord length either
    // side; the bias only moves one way, so both of its ends only move on.
    const double halfChord = std::fabs(bias[n - 1] - bias[0]) / kChordsPerSweep / 2;
    std::vector<double> slope(n);
    std::vector<double> scatterOfSlope(n);
    std::size_t from = 0;
    std::size_t to = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (from < i && std::fabs(bias[i] - bias[from]) > halfChord) ++from;
        to = std::max(to, i);
        while (to + 1 < n && std::fabs(bias[to + 1] - bias[i]) <= halfChord) ++to;
        const std::size_t a = from < i ? from : (i > 0 ? i - 1 : i);
        const std::size_t b = to > i ? to : (i + 1 < n ? i + 1 : i);
        const double chord = std::fabs(bias[b] - bias[a]);
        if (chord == 0) continue;
        slope[i] = std::fabs(capacitance[b] - capacitance[a]) / chord;
        scatterOfSlope[i] = std::sqrt(2.0) * regions.relativeScatter * capacitance[i] / chord;
    }
    const double steepest = *std::max_element(slope.begin(), slope.end());
    // The t-th point from the accumulation end.
    const auto at = [&](std::size_t t) { return regions.accumulationFirst ? t : n - 1 - t; };
    const auto level = [&](std::size_t i, double fraction) {
        return slope[i] <= fraction * steepest + kLevelInScatters * scatterOfSlope[i];
    };
    const auto inAccumulation = [&](std::size_t i) {
        constexpr double kSlopePerC =
            kAccumulationBelowCox * kAccumulationBelowCox / (2 * kThermalVoltageVolts);
        return slope[i] <= kSlopePerC * capacitance[i] + kLevelInScatters * scatterOfSlope[i];
    };
    std::size_t accumulation = 0;
    while (accumulation < n && inAccumulation(at(accumulation))) ++accumulation;
    const auto fromInversion = [&](double fraction) {
        std::size_t count = 0;
        while (count < n && level(at(n - 1 - count), fraction)) ++count;
        return count;
    };

    regions.accumulation = Counted(
        accumulation, "no accumulation: C does not level off at the accumulation end of the sweep",
        "fewer than three points in accumulation");
    const char* notInversion =
        "the sweep does not reach from accumulation to inversion: C has not levelled off at its "
        "end";
    regions.transition = Counted(fromInversion(kLevelledSlope), notInversion, notInversion);
    regions.flatInversion = Counted(fromInversion(kFlatSlope), "C has no flat part in inversion",
                                    "C has no flat part in inversion");
    const std::size_t plateaus = regions.accumulation.points + regions.flatInversion.points;
    const std::size_t between = plateaus < n ? n - plateaus : 0;
    if (!level(at(n - 1), kPastSteepestSlope))
        regions.depletion = {between,
                             "the sweep does not reach depletion: C falls fastest at its end"};
    else
        regions.depletion = Counted(between, "fewer than three points in depletion",
                                    "fewer than three points in depletion");
    return regions;
}

}  // namespace quillon
