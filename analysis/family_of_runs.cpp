#include "analysis/family_of_runs.h"

#include <utility>

#include "analysis/comparison_curves.h"
#include "analysis/run_overview.h"

namespace quillon {

namespace {

// The number of points of the run's first sweep.
std::size_t FirstSweepLength(const StoredRun& run)
{
    LegSplit split;
    while (split.pointsSeen < run.points.size()) {
        TakeNextPoint(split, run);
        if (split.starts.size() > 1) return split.starts[1];
    }
    return run.points.size();
}

}  // namespace

RunsAsFamily FamilyOfRuns(const std::vector<StoredRun>& runs)
{
    RunsAsFamily result;
    FrequencyFamily& family = result.family;
    for (const StoredRun& run : runs) {
        if (!run.frequencyHertz) {
            result.leftOut.push_back(SourceText(run) + ": the frequency is not known");
            continue;
        }
        if (!family.padAreaSquareMicrons) family.padAreaSquareMicrons = run.padAreaSquareMicrons;
        if (family.sample.empty()) family.sample = run.sample;
        const std::size_t length = FirstSweepLength(run);
        for (std::size_t i = 0; i < length; ++i) {
            const MeasuredPoint& point = run.points[i];
            family.points.push_back(
                {point.bias, *run.frequencyHertz, point.capacitance, point.conductance});
        }
    }
    const std::size_t used = runs.size() - result.leftOut.size();
    family.source = std::to_string(used) + (used == 1 ? " run" : " runs");
    return result;
}

FrequencyFamily FamilyOfFrequencySweep(const std::vector<FrequencySweepPoint>& points,
                                       std::optional<double> padAreaSquareMicrons,
                                       std::string sample, std::string source)
{
    FrequencyFamily family;
    family.padAreaSquareMicrons = padAreaSquareMicrons;
    family.sample = std::move(sample);
    family.source = std::move(source);
    for (const FrequencySweepPoint& point : points)
        family.points.push_back({point.biasVolts, static_cast<double>(point.frequencyHertz),
                                 point.capacitanceFarads, point.conductanceSiemens});
    return family;
}

}  // namespace quillon
