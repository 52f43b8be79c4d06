#include "analysis/run_graph_history.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace quillon {
namespace {

// The graphs of a run of `points` points from 0 V to 1 V whose capacitance
// is `level` throughout, and its conductance `level` x 1e4.
Graphs FlatRun(int points, double level)
{
    SweepData sweep;
    sweep.Allocate(points);
    for (std::size_t i = 1; i <= static_cast<std::size_t>(points); ++i) {
        sweep.Bias[i] = points > 1 ? (static_cast<double>(i) - 1.0) / (points - 1) : 0;
        sweep.Capacitance[i] = level;
        sweep.Conductance[i] = level * 1e4;
    }
    sweep.PointCount = static_cast<int16_t>(points);
    return *DrawGraphs(sweep);
}

// The y of the lines in the earlier runs' grey, in drawing order.
std::vector<float> GreyLevels(const Plot& plot)
{
    std::vector<float> levels;
    for (const PlotLine& line : plot.lines)
        if (line.colour == kEarlierRunGrey) levels.push_back(line.y1);
    return levels;
}

TEST(RunGraphHistory, EarlierCurvesInGreyBetweenTheCurrentGridAndTheCurrentCurve)
{
    RunGraphHistory history;
    EXPECT_EQ(history.Current(), nullptr);
    EXPECT_FALSE(history.WithEarlierRuns());
    history.Add(FlatRun(3, 1e-10), 3);
    history.Add(FlatRun(2, 4e-10), 2);
    const Graphs current = FlatRun(5, 2e-10);
    history.Add(current, 5);
    EXPECT_EQ(history.Current()->capacitance.lines.size(), current.capacitance.lines.size());

    const std::optional<Graphs> shown = history.WithEarlierRuns();
    ASSERT_TRUE(shown);
    for (const auto& [plot, drawn, factor] :
         {std::tuple{&shown->capacitance, &current.capacitance, 1.0},
          std::tuple{&shown->conductance, &current.conductance, 1e4}}) {
        // Two segments of the first run, then the one of the second.
        EXPECT_EQ(GreyLevels(*plot), (std::vector<float>{static_cast<float>(1e-10 * factor),
                                                         static_cast<float>(1e-10 * factor),
                                                         static_cast<float>(4e-10 * factor)}));
        EXPECT_EQ(plot->scale.top, drawn->scale.top);
        ASSERT_EQ(plot->lines.size(), drawn->lines.size() + 3);
        // The grid and axes come first, the current run's four segments last.
        const std::size_t grid = drawn->lines.size() - 4;
        EXPECT_EQ(plot->lines[grid - 1].y1, drawn->lines[grid - 1].y1);
        EXPECT_EQ(plot->lines[grid].colour, kEarlierRunGrey);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(plot->lines[grid + 3 + i].colour, drawn->lines[grid + i].colour) << i;
    }
}

TEST(RunGraphHistory, KeepsTheLastFiveEarlierRuns)
{
    RunGraphHistory history;
    for (int run = 1; run <= 7; ++run) history.Add(FlatRun(2, run * 1e-10), 2);
    // Run 1 is forgotten; 2 to 6 lie beneath run 7.
    EXPECT_EQ(GreyLevels(history.WithEarlierRuns()->capacitance),
              (std::vector<float>{2e-10f, 3e-10f, 4e-10f, 5e-10f, 6e-10f}));
}

}  // namespace
}  // namespace quillon
