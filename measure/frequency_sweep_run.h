// C and G against the test frequency at fixed biases (C-f and G-f): at each
// bias of a list the meter measures once at each frequency of another, the
// frequency sent before each trigger. The meter is set up from the main
// window's inputs as for a sweep (level, integration, averaging, delay,
// board, address, inverted bias, "Quit when UNBAL", beeps); its bias sweep
// and frequency are not used.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/measurement_run.h"

namespace quillon {

struct FrequencySweepPoint {
    double biasVolts = 0.0;  // in the user's sign
    int32_t frequencyHertz = 0;
    double capacitanceFarads = 0.0;  // Cp
    double conductanceSiemens = 0.0;
};

struct FrequencySweepPlan {
    std::vector<int16_t> biasMillivolts;  // in the user's sign
    std::vector<int32_t> frequenciesHertz;
};

struct FrequencySweepResult {
    RunEnding ending = RunEnding::Refused;
    RunTimes times;
    // In the order measured: every frequency at the first bias, then at the
    // next. A run ended early keeps the points it read.
    std::vector<FrequencySweepPoint> points;
};

// The whole measurement, from locking the window to giving it back with the
// meter idle and its bias off; messages as a sweep's. Nothing goes into the
// monthly log, whose records are sweeps.
FrequencySweepResult RunFrequencySweep(RunWindow& window, const Environment& environment,
                                       const FrequencySweepPlan& plan);

}  // namespace quillon
