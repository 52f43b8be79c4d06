// One device's readings at several frequencies from what the program
// measured or read back: runs at several frequencies, or a C-f measurement.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/frequency_family.h"
#include "analysis/stored_run.h"
#include "measure/frequency_sweep_run.h"

namespace quillon {

// The first sweep of each run with a known frequency (a double sweep's
// return, and later cycles, would give a second point at one bias and
// frequency); the pad area and the sample of the first run that has them.
// Runs without a frequency are left out and named in `leftOut`.
struct RunsAsFamily {
    FrequencyFamily family;
    std::vector<std::string> leftOut;
};
RunsAsFamily FamilyOfRuns(const std::vector<StoredRun>& runs);

FrequencyFamily FamilyOfFrequencySweep(const std::vector<FrequencySweepPoint>& points,
                                       std::optional<double> padAreaSquareMicrons,
                                       std::string sample, std::string source);

}  // namespace quillon
