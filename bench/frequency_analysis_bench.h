// How long the analysis of several frequencies takes for a large family:
// 20 frequencies of 241 biases each, as a frequency list of C-V runs
// gives it, analysed whenever the Frequencies tab is shown.
#pragma once

namespace quillon {

// The median time of a few analyses of a family of 20 frequencies
// (20 Hz to 1 MHz, evenly in log f) by 241 biases (-3 V to 3 V) of the
// simulated device with a trap continuum [ms].
double AnalyseFamilyMilliseconds();

}  // namespace quillon
