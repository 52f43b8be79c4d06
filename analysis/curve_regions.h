// The regions of one high-frequency C-V sweep, found from the shape of the
// curve alone: the plateau of accumulation, the fall through depletion, the
// levelling-off towards inversion and the flat floor of inversion. Each
// extracted value holds only where its region is in the sweep; a value
// taken from a curve without it is a number with no meaning.
//
// The slope of C is read as a chord over a thirtieth of the sweep's bias
// span (at least to the neighbouring points), which keeps most of the
// meter's scatter out of it. Accumulation is where that slope is as small as
// the accumulation layer makes it within 5 % of Cox; the other regions are
// level where the slope is a small fraction of the steepest one, or within
// the scatter of C.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

// A region, counted in points from its end of the sweep.
struct CurveRegion {
    std::size_t points = 0;
    std::string missing;  // why there is none, or too short a one; empty when found
    bool Found() const { return missing.empty(); }
};

struct CurveRegions {
    // Why the regions cannot be told apart at all; empty when C falls far
    // enough from one end of the sweep to the other.
    std::string noFall;
    // The sweep's first point is at its accumulation end (the larger C).
    bool accumulationFirst = false;
    // From the accumulation end: C level at its largest.
    CurveRegion accumulation;
    // The sweep goes past the steepest fall of C; the points between the
    // plateau of accumulation and the floor of inversion.
    CurveRegion depletion;
    // From the inversion end: C has levelled off after its fall.
    CurveRegion transition;
    // From the inversion end: C flat at its floor.
    CurveRegion flatInversion;
    // The scatter of C from point to point, as a fraction of C.
    double relativeScatter = 0;
};

// The regions of a sweep whose points are in the order measured, the bias
// moving one way.
CurveRegions FindCurveRegions(const std::vector<double>& bias,
                              const std::vector<double>& capacitance);

// The scatter of the values from point to point, as a fraction of them:
// from the fourth differences, which a smooth curve hardly contributes to,
// through their median, which the few points on a sharp bend do not move.
// 0 for fewer than five values.
double RelativeScatter(const std::vector<double>& values);

}  // namespace quillon
