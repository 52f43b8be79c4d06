// The readings of one device at several test frequencies, as the analysis
// of several frequencies takes them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct FamilyPoint {
    double biasVolts = 0.0;  // in the user's sign, as the data file gives it
    double frequencyHertz = 0.0;
    double capacitanceFarads = 0.0;   // Cp as measured
    double conductanceSiemens = 0.0;  // G as measured
};

// Readings of one device at several frequencies: C-V runs at several
// frequencies, C-f sweeps at several biases, or both. At most one point per
// bias (to the millivolt) and frequency (to the hertz): the first counts.
struct FrequencyFamily {
    std::vector<FamilyPoint> points;  // any order
    std::optional<double> padAreaSquareMicrons;
    std::string sample;  // for titles and the report; may be empty
    std::string source;  // what it came from, e.g. "4 runs" or a file name
};

}  // namespace quillon
