#include "measure/bias_plan.h"

namespace quillon {

namespace {

// Points from `from` in steps of `step` that do not pass `to`.
int64_t PointsNotPassing(int from, int to, int step)
{
    if (step > 0) return from <= to ? (to - from) / step + 1 : 0;
    if (step < 0) return from >= to ? (from - to) / -step + 1 : 0;
    return 0;
}

}  // namespace

int64_t BiasPlanLength(const BiasSweep& sweep)
{
    if (sweep.stepMillivolts == 0 || sweep.cycles <= 0) return 0;
    const int64_t forward =
        PointsNotPassing(sweep.startMillivolts, sweep.stopMillivolts, sweep.stepMillivolts);
    const int64_t back =
        sweep.doubleSweep
            ? PointsNotPassing(sweep.stopMillivolts, sweep.startMillivolts, -sweep.stepMillivolts)
            : 0;
    return sweep.cycles * (forward + back);
}

std::vector<int16_t> BuildBiasPlan(const BiasSweep& sweep)
{
    std::vector<int16_t> plan;
    if (sweep.stepMillivolts == 0) return plan;
    plan.reserve(static_cast<std::size_t>(BiasPlanLength(sweep)));
    // The running value is wider than a bias, so that the step past the
    // last point never overflows near the ends of the range.
    const int step = sweep.stepMillivolts;
    const auto notPassed = [](int v, int end, int direction) {
        return direction > 0 ? v <= end : v >= end;
    };
    for (int cycle = 1; cycle <= sweep.cycles; ++cycle) {
        for (int v = sweep.startMillivolts; notPassed(v, sweep.stopMillivolts, step); v += step)
            plan.push_back(static_cast<int16_t>(v));
        if (sweep.doubleSweep)
            for (int v = sweep.stopMillivolts; notPassed(v, sweep.startMillivolts, -step);
                 v -= step)
                plan.push_back(static_cast<int16_t>(v));
    }
    return plan;
}

}  // namespace quillon
