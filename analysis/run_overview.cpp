#include "analysis/run_overview.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "common/date_text.h"
#include "common/text_number.h"
#include "measure/bias_plan.h"

namespace quillon {

namespace {

std::string PlainNumber(double value)
{
    return std::string(Trimmed(SignedDecimal(value)));
}

}  // namespace

RunForAnalysis AnalysisRunOf(const StoredRun& run)
{
    RunForAnalysis analysis;
    analysis.points = run.points;
    analysis.settings = SettingsOf(run, {});
    analysis.started = run.started;
    analysis.frequencyKnown = run.frequencyHertz.has_value();
    analysis.padAreaKnown = run.padAreaSquareMicrons.has_value();
    return analysis;
}

RunOverview OverviewOf(const StoredRun& run)
{
    const Extraction e = ExtractParameters(InputOfRun(AnalysisRunOf(run), true));
    RunOverview overview;
    for (const MeasuredPoint& point : run.points)
        if (std::isfinite(point.capacitance) &&
            (!overview.cmax || point.capacitance > *overview.cmax))
            overview.cmax = point.capacitance;
    overview.oxideCapacitance = e.oxideCapacitance;
    overview.equivalentThickness = e.equivalentThickness;
    overview.doping = e.depletionDoping;
    overview.flatBandUp = e.flatBandUp;
    overview.flatBandDown = e.flatBandDown;
    // The first sweep is the one the threshold is read from.
    const bool firstRises =
        e.firstSweepPoints >= 2 &&
        e.curve[static_cast<std::size_t>(e.firstSweepPoints) - 1].bias > e.curve.front().bias;
    overview.flatBand = firstRises ? e.flatBandUp : e.flatBandDown;
    overview.hysteresis = e.hysteresis;
    overview.threshold = e.threshold;
    overview.trapDensity = e.trapDensity;
    overview.seriesResistance = e.seriesResistance;
    return overview;
}

SweepData SweepDataOf(const StoredRun& run)
{
    SweepData sweep;
    const int points =
        static_cast<int>(std::min<std::size_t>(run.points.size(), kMostPlannedPoints));
    sweep.Allocate(points);
    for (int i = 1; i <= points; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const MeasuredPoint& point = run.points[index - 1];
        sweep.Bias[index] = point.bias;
        sweep.Capacitance[index] = point.capacitance;
        sweep.Conductance[index] = point.conductance;
    }
    sweep.PointCount = static_cast<int16_t>(points);
    // The points are in the user's sign already.
    sweep.BiasSign = 1;
    return sweep;
}

MeasurementSettingsValues SettingsOf(const StoredRun& run, const MeasurementSettingsValues& current)
{
    if (run.settings) return *run.settings;
    MeasurementSettingsValues settings = current;
    if (run.frequencyHertz) settings.text[kFrequency] = PlainNumber(*run.frequencyHertz);
    if (run.padAreaSquareMicrons) settings.text[kPadArea] = PlainNumber(*run.padAreaSquareMicrons);
    return settings;
}

StoredRun InProgressRun(const CsvRunContext& context)
{
    StoredRun run;
    run.source = RunSource::InProgress;
    run.started = context.started;
    run.sample = context.sample;
    run.note = context.note;
    run.settings = context.settings;
    return run;
}

void TakeNewPoints(StoredRun& run, const SweepData& sweep, const std::vector<SweepLeg>& plannedLegs)
{
    const auto points = static_cast<std::size_t>(sweep.ReadablePoints());
    // Only a finished run has its bias back in the user's sign.
    const double sign = sweep.RunPointsRead ? sweep.BiasSign : 1;
    for (std::size_t i = run.points.size() + 1; i <= points; ++i)
        run.points.push_back({sweep.Bias[i] * sign, sweep.Capacitance[i], sweep.Conductance[i]});
    if (plannedLegs.size() >= points)
        for (std::size_t i = run.legs.size(); i < points; ++i) run.legs.push_back(plannedLegs[i]);
}

std::string StartedText(const StoredRun& run)
{
    return run.started ? FormatDate(*run.started, "yyyy-mm-dd hh:nn:ss") : std::string();
}

std::string FrequencyText(const std::optional<double>& hertz)
{
    if (!hertz || !std::isfinite(*hertz)) return kNotAvailable;
    return HertzText(*hertz);
}

std::string SweepText(const StoredRun& run)
{
    if (run.points.empty()) return "no points";
    const auto [low, high] = std::minmax_element(
        run.points.begin(), run.points.end(),
        [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.bias < b.bias; });
    const bool falls = run.points.back().bias < run.points.front().bias ||
                       (!run.legs.empty() && run.legs.front().direction == SweepDirection::Down);
    std::string text = falls ? PlainNumber(high->bias) + " to " + PlainNumber(low->bias)
                             : PlainNumber(low->bias) + " to " + PlainNumber(high->bias);
    text += " V";
    if (!run.legs.empty()) {
        std::set<SweepDirection> directions;
        for (const SweepLeg& leg : run.legs) directions.insert(leg.direction);
        if (directions.size() == 2) text += ", double";
        const int cycles = run.legs.back().cycle;
        if (cycles > 1) text += ", " + std::to_string(cycles) + " cycles";
    }
    return text;
}

std::string SourceText(const StoredRun& run)
{
    if (run.source == RunSource::InProgress) return "measuring now";
    std::string text = std::filesystem::path(run.path).filename().string();
    if (!run.partOfFile.empty()) text += ", " + run.partOfFile;
    return text;
}

}  // namespace quillon
