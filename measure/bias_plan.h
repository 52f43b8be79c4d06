// The bias points of a run, in millivolts: forward sweeps from start towards
// stop, each optionally followed by a return sweep, repeated per cycle.
#pragma once

#include <cstdint>
#include <vector>

namespace quillon {

inline constexpr int kMostPlannedPoints = 32767;

struct BiasSweep {
    int16_t startMillivolts = 0;
    int16_t stopMillivolts = 0;
    int16_t stepMillivolts = 0;  // signed; a step pointing away from stop gives no points
    int16_t cycles = 1;
    bool doubleSweep = false;
};

// The number of points the plan holds, found without building it, so that a
// plan far beyond what a run can hold costs nothing to refuse.
int64_t BiasPlanLength(const BiasSweep& sweep);

// Forward: start, start + step, ... up to the last value that does not pass
// stop. Return: stop, stop - step, ... down to the last value that does not
// pass start. The step must not be 0.
std::vector<int16_t> BuildBiasPlan(const BiasSweep& sweep);

}  // namespace quillon
