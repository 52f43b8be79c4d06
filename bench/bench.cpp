// Performance figures, one "name value unit" line each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "measure/instrument_setup.h"
#include "measure/point_acquisition.h"
#include "sim/simulated_lab.h"

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// TriggerPoint + CollectPoint through the binding, over a meter that
// measures in no time: what the program itself costs per point.
double TriggerCollectMicroseconds()
{
    quillon::VirtualClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    lab.meter->SetInstantMeasurement(true);
    quillon::SelectGpibDriver(*lab.bus);
    quillon::InstrumentSettings settings;
    settings.integration = quillon::Integration::Short;
    settings.acLevel = "50";
    settings.triggerDelay = "0";
    const int16_t ud = quillon::SetUpInstrument(settings, clock).descriptor;
    lab.meter->ClearTranscript();

    std::string reply = quillon::FixedWidth("V,C,G", quillon::kReplyLength);
    constexpr int kPoints = 5000;
    std::vector<double> samples;
    samples.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const auto start = std::chrono::steady_clock::now();
        quillon::TriggerPoint(ud, -3.0 + 6.0 * i / kPoints);
        quillon::CollectPoint(ud, reply);
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        if (i % 1000 == 999) lab.meter->ClearTranscript();
    }
    return Median(samples);
}

}  // namespace

int main()
{
    std::printf("trigger_collect_us %.2f us\n", TriggerCollectMicroseconds());
    return 0;
}
