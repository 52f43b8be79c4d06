// The 4284A's measurement times from its data sheet, for the simulated meter
// and for the time a series of runs is expected to take.
#pragma once

#include <cstdint>

namespace quillon {

// One measurement [ms] with the integration time `aperture` (0 short,
// 1 medium, 2 long) at a test frequency: the data sheet gives them at
// 100 Hz (taken below 1 kHz), 1 kHz (below 10 kHz) and 10 kHz and above.
inline uint32_t DataSheetMeasurementMilliseconds(int aperture, double frequencyHertz)
{
    static constexpr uint32_t kTimes[3][3] = {{270, 40, 30}, {400, 190, 180}, {1040, 830, 820}};
    const int column = frequencyHertz < 1000.0 ? 0 : frequencyHertz < 10000.0 ? 1 : 2;
    const int row = aperture < 0 ? 0 : aperture > 2 ? 2 : aperture;
    return kTimes[row][column];
}

// After a change of the test frequency the source, the ranging and the
// detector's filters settle for a few periods of the new frequency, longest
// at low frequencies: the next measurement starts that much later [ms].
// Chosen for the simulated meter (no data-sheet figure at hand), and short
// enough that a run's set-up pauses after FREQ cover it at any frequency.
inline uint32_t FrequencyChangeMilliseconds(double frequencyHertz)
{
    return frequencyHertz < 1000.0 ? 160 : frequencyHertz < 10000.0 ? 100 : 60;
}

}  // namespace quillon
