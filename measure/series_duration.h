// How long a series of runs will take before it starts, so that a list
// that would keep the station busy for more than a day is asked about.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/measurement_settings.h"

namespace quillon {

inline constexpr uint64_t kOneDayMilliseconds = 24ull * 60 * 60 * 1000;

// One point at `frequencyHertz` with the meter set as `instrument` says:
// the trigger delay, the data sheet's measurement time times the averaging
// (medium integration where none is selected, the meter's own), and the
// bus transactions around them.
uint64_t PointMilliseconds(const InstrumentSettings& instrument, int32_t frequencyHertz);

// `pointsPerFrequency` points at each frequency of the list.
uint64_t SeriesMilliseconds(const InstrumentSettings& instrument,
                            const std::vector<int32_t>& frequenciesHertz,
                            uint64_t pointsPerFrequency);

// A C-f measurement: at each bias every frequency once, each after a change
// of frequency where the list has more than one.
uint64_t FrequencySweepMilliseconds(const InstrumentSettings& instrument,
                                    const std::vector<int32_t>& frequenciesHertz,
                                    uint64_t biasCount);

}  // namespace quillon
