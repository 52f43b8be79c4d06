#include "measure/series_duration.h"

#include <cmath>
#include <string>

#include "common/meter_measurement_time.h"
#include "common/text_number.h"

namespace quillon {

namespace {

// Device clear, three writes, the wait, the serial poll and the read of a
// point on a GPIB card; an adapter on a serial line takes longer.
constexpr uint64_t kBusMillisecondsPerPoint = 15;

}  // namespace

uint64_t PointMilliseconds(const InstrumentSettings& instrument, int32_t frequencyHertz)
{
    const int aperture = static_cast<int>(instrument.integration.value_or(Integration::Medium));
    const double delaySeconds = NumberOfText(instrument.triggerDelay);
    const uint64_t delay =
        std::isfinite(delaySeconds) && delaySeconds > 0 ? std::llround(delaySeconds * 1000) : 0;
    const uint64_t averaging = instrument.averaging > 0 ? instrument.averaging : 1;
    return delay + averaging * DataSheetMeasurementMilliseconds(aperture, frequencyHertz) +
           kBusMillisecondsPerPoint;
}

uint64_t SeriesMilliseconds(const InstrumentSettings& instrument,
                            const std::vector<int32_t>& frequenciesHertz,
                            uint64_t pointsPerFrequency)
{
    uint64_t total = 0;
    for (const int32_t hertz : frequenciesHertz)
        total += pointsPerFrequency * PointMilliseconds(instrument, hertz);
    return total;
}

uint64_t FrequencySweepMilliseconds(const InstrumentSettings& instrument,
                                    const std::vector<int32_t>& frequenciesHertz,
                                    uint64_t biasCount)
{
    uint64_t total = SeriesMilliseconds(instrument, frequenciesHertz, biasCount);
    if (frequenciesHertz.size() > 1)
        for (const int32_t hertz : frequenciesHertz)
            total += biasCount * FrequencyChangeMilliseconds(hertz);
    return total;
}

}  // namespace quillon
