// The lists a series of runs is typed as: test frequencies ("1k 10k 100k
// 1M", or a start, a stop and points per decade) and the biases of a C-f
// measurement ("-2 -1.5 -1"), read and checked before anything is sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The 4284A's test frequencies.
inline constexpr int32_t kLowestTestFrequencyHertz = 20;
inline constexpr int32_t kHighestTestFrequencyHertz = 1000000;

// A list as read, or why it cannot be used (then `values` is empty).
template <typename T>
struct TypedList {
    std::vector<T> values;
    std::string problem;
};

// Frequencies separated by blanks, commas or semicolons, each a number with
// an optional k or M and an optional Hz ("1k", "10kHz", "1M", "150"), kept
// in the order typed and rounded to the hertz the meter is set in. Refused:
// an empty list, a word that is no frequency, one outside 20 Hz to 1 MHz, a
// frequency given twice, and "m" (milli or mega?).
TypedList<int32_t> ReadFrequencyList(std::string_view text);

// From `startHertz` to `stopHertz` (either way round) at `pointsPerDecade`
// evenly spaced on a log scale, the stop included; frequencies that round
// to the same hertz count once.
TypedList<int32_t> DecadeFrequencyList(double startHertz, double stopHertz, int pointsPerDecade);

// "1k 10k 100k 1M 1.5k 20": the list as ReadFrequencyList reads it back.
std::string FrequencyListText(const std::vector<int32_t>& frequenciesHertz);

// Biases in volts separated by blanks, commas or semicolons, an optional V
// after each, in the user's sign, rounded to the millivolt as the sweep's
// are. Refused: an empty list, a word that is no bias, one beyond the
// -32.768 to 32.767 V a bias is held in, a bias given twice.
TypedList<int16_t> ReadBiasList(std::string_view text);

}  // namespace quillon
