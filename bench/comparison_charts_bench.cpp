#include "bench/comparison_charts_bench.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "app/run_comparison_charts.h"
#include "bench/silent_desktop.h"
#include "platform/desktop.h"

namespace quillon {

namespace {

constexpr int kKeptRuns = 3;
constexpr int kKeptRunPoints = 1000;
// The calls timed at the end of the run, after it has grown to its size.
constexpr int kTimedCalls = 200;

// A double sweep from -3 V to 3 V and back, of a capacitor between 20 and
// 100 pF.
MeasuredPoint SweepPoint(int index, int points)
{
    const int half = std::max(points / 2, 1);
    const double position = index < half ? double(index) / half : double(points - index) / half;
    const double bias = -3 + 6 * position;
    const double capacitance = 20e-12 + 80e-12 / (1 + std::exp(2 * bias));
    return {bias, capacitance, 1e-6 * (1 + 0.5 * std::sin(bias))};
}

StoredRun Sweep(int points, RunSource source)
{
    StoredRun run;
    run.source = source;
    run.sample = "bench";
    for (int i = 0; i < points; ++i) run.points.push_back(SweepPoint(i, points));
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

double LiveRunPointMicrosecondsAt(int points)
{
    SilentDesktop desktop;
    RunComparisonCharts charts(desktop);
    charts.resize(1200, 500);
    std::vector<StoredRun> kept;
    for (int r = 0; r < kKeptRuns; ++r)
        kept.push_back(Sweep(kKeptRunPoints, RunSource::CsvDataFile));
    charts.ShowRuns(kept);

    const StoredRun whole = Sweep(points, RunSource::InProgress);
    StoredRun live = whole;
    live.points.clear();
    std::vector<double> samples;
    for (int i = 0; i < points; ++i) {
        live.points.push_back(whole.points[std::size_t(i)]);
        const bool timed = i >= points - kTimedCalls;
        const auto start = std::chrono::steady_clock::now();
        charts.ShowLiveRun(live);
        const auto end = std::chrono::steady_clock::now();
        if (timed)
            samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    return Median(samples);
}

double LiveRunPointMicroseconds()
{
    return std::max(LiveRunPointMicrosecondsAt(1000), LiveRunPointMicrosecondsAt(32767));
}

}  // namespace quillon
