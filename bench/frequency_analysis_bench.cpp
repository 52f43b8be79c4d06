#include "bench/frequency_analysis_bench.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "analysis/multi_frequency_analysis.h"
#include "sim/mos_capacitor.h"

namespace quillon {

namespace {

constexpr int kFrequencies = 20;
constexpr int kBiases = 241;
constexpr int kAnalyses = 7;

FrequencyFamily LargeFamily()
{
    MosDevice device;
    device.trapResponse = TrapResponse::Continuum;
    device.interfaceTrapEdgeDensity = 1e12;
    FrequencyFamily family;
    family.padAreaSquareMicrons = 10000;
    for (int f = 0; f < kFrequencies; ++f) {
        const double frequency = std::round(20.0 * std::pow(5e4, f / (kFrequencies - 1.0)));
        for (int b = 0; b < kBiases; ++b) {
            const double bias = -3.0 + 0.025 * b;
            const CapacitanceConductance value = EvaluateMosCapacitor(device, bias, frequency);
            family.points.push_back(
                {bias, frequency, value.capacitanceFarads, value.conductanceSiemens});
        }
    }
    return family;
}

}  // namespace

double AnalyseFamilyMilliseconds()
{
    const FrequencyFamily family = LargeFamily();
    std::vector<double> times;
    std::size_t biases = 0;
    for (int i = 0; i < kAnalyses; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const MultiFrequencyAnalysis analysis = AnalyseFrequencyFamily(family);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        biases += analysis.biases.size();
    }
    // A family that lost its biases measured nothing worth a figure.
    if (biases != static_cast<std::size_t>(kAnalyses * kBiases)) return -1;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace quillon
