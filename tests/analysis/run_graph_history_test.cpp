#include "analysis/run_graph_history.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace quillon {
namespace {

// A run of `points` points from 0 V to 1 V whose capacitance and conductance
// are all `level`, and its graphs.
struct DrawnRun {
    SweepData sweep;
    Graphs graphs;
};

DrawnRun FlatRun(int points, double level)
{
    DrawnRun run;
    run.sweep.Allocate(points);
    for (int i = 1; i <= points; ++i) {
        const auto at = static_cast<std::size_t>(i);
        run.sweep.Bias[at] = points > 1 ? (i - 1.0) / (points - 1) : 0;
        run.sweep.Capacitance[at] = level;
        run.sweep.Conductance[at] = level * 1e4;
    }
    run.sweep.PointCount = static_cast<int16_t>(points);
    run.graphs = *DrawGraphs(run.sweep);
    return run;
}

bool SameLine(const PlotLine& a, const PlotLine& b)
{
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2 && a.colour == b.colour;
}

void ExpectSamePlot(const Plot& actual, const Plot& expected)
{
    EXPECT_EQ(actual.scale.left, expected.scale.left);
    EXPECT_EQ(actual.scale.top, expected.scale.top);
    ASSERT_EQ(actual.lines.size(), expected.lines.size());
    for (std::size_t i = 0; i < expected.lines.size(); ++i)
        EXPECT_TRUE(SameLine(actual.lines[i], expected.lines[i])) << "line " << i;
}

// The y of the lines drawn in the earlier runs' grey.
std::vector<float> GreyLevels(const Plot& plot)
{
    std::vector<float> levels;
    for (const PlotLine& line : plot.lines)
        if (line.colour == kEarlierRunGrey) levels.push_back(line.y1);
    return levels;
}

TEST(RunGraphHistory, NothingBeforeTheFirstRunAndTheCurrentRunExactlyAsDrawn)
{
    RunGraphHistory history;
    EXPECT_EQ(history.Current(), nullptr);
    EXPECT_FALSE(history.WithEarlierRuns());

    const DrawnRun first = FlatRun(3, 1e-10);
    history.Add(first.graphs, 3);
    ASSERT_NE(history.Current(), nullptr);
    ExpectSamePlot(history.Current()->capacitance, first.graphs.capacitance);
    // With nothing before it the current run is all there is.
    ExpectSamePlot(history.WithEarlierRuns()->conductance, first.graphs.conductance);

    const DrawnRun second = FlatRun(4, 2e-10);
    history.Add(second.graphs, 4);
    ExpectSamePlot(history.Current()->capacitance, second.graphs.capacitance);
    EXPECT_EQ(history.EarlierRunCount(), 1u);
}

TEST(RunGraphHistory, EarlierCurvesInGreyBetweenTheGridAndTheCurrentCurve)
{
    RunGraphHistory history;
    history.Add(FlatRun(3, 1e-10).graphs, 3);
    history.Add(FlatRun(2, 4e-10).graphs, 2);
    const DrawnRun current = FlatRun(5, 2e-10);
    history.Add(current.graphs, 5);

    const std::optional<Graphs> shown = history.WithEarlierRuns();
    ASSERT_TRUE(shown);
    for (const auto& [plot, drawn, scale] :
         {std::tuple{&shown->capacitance, &current.graphs.capacitance, 1.0},
          std::tuple{&shown->conductance, &current.graphs.conductance, 1e4}}) {
        // Two segments of the first run, then one of the second, oldest first.
        const std::vector<float> expected = {static_cast<float>(1e-10 * scale),
                                             static_cast<float>(1e-10 * scale),
                                             static_cast<float>(4e-10 * scale)};
        EXPECT_EQ(GreyLevels(*plot), expected);
        // The current run's scale, its grid and axes first, its own curve last.
        EXPECT_EQ(plot->scale.top, drawn->scale.top);
        ASSERT_EQ(plot->lines.size(), drawn->lines.size() + 3);
        const std::size_t grid = drawn->lines.size() - 4;
        for (std::size_t i = 0; i < grid; ++i) EXPECT_TRUE(SameLine(plot->lines[i], drawn->lines[i]));
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_TRUE(SameLine(plot->lines[grid + 3 + i], drawn->lines[grid + i])) << i;
    }
}

TEST(RunGraphHistory, KeepsTheLastFiveEarlierRunsAndNoCurveOfARunOfOnePoint)
{
    RunGraphHistory history;
    for (int run = 1; run <= 7; ++run) history.Add(FlatRun(2, run * 1e-10).graphs, 2);
    EXPECT_EQ(history.EarlierRunCount(), kMostEarlierRuns);
    // Run 1 is forgotten; 2 to 6 lie beneath run 7.
    const std::vector<float> levels = GreyLevels(history.WithEarlierRuns()->capacitance);
    EXPECT_EQ(levels, (std::vector<float>{2e-10f, 3e-10f, 4e-10f, 5e-10f, 6e-10f}));

    history.Add(FlatRun(1, 9e-10).graphs, 1);
    history.Add(FlatRun(2, 8e-10).graphs, 2);
    // The one-point run has no curve, and its grid is not taken for one.
    EXPECT_EQ(GreyLevels(history.WithEarlierRuns()->capacitance),
              (std::vector<float>{4e-10f, 5e-10f, 6e-10f, 7e-10f}));
}

}  // namespace
}  // namespace quillon
