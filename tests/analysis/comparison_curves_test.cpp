#include "analysis/comparison_curves.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

StoredRun RunOf(const std::vector<double>& biases, const std::vector<double>& conductances = {})
{
    StoredRun run;
    for (std::size_t i = 0; i < biases.size(); ++i)
        run.points.push_back({biases[i], 100e-12 + 1e-12 * double(i),
                              i < conductances.size() ? conductances[i] : 1e-6});
    return run;
}

std::vector<std::size_t> Sizes(const std::vector<Polyline>& lines)
{
    std::vector<std::size_t> sizes;
    for (const Polyline& line : lines) sizes.push_back(line.size());
    return sizes;
}

struct LegCase {
    const char* name;
    std::vector<double> biases;
    std::vector<SweepLeg> legs;
    std::vector<std::size_t> legSizes;
};

TEST(ComparisonCurves, SplitsLegsWhereTheSweepTurnsOrStartsAgain)
{
    constexpr SweepDirection up = SweepDirection::Up;
    constexpr SweepDirection down = SweepDirection::Down;
    const LegCase cases[] = {
        {"single sweep over two cycles", {0, 1, 2, 0, 1, 2}, {}, {3, 3}},
        {"double sweep repeating the stop bias", {0, 1, 2, 2, 1, 0}, {}, {3, 3}},
        {"double sweep, falling first", {2, 1, 0, 0, 1, 2, 2, 1, 0}, {}, {3, 3, 3}},
        {"double sweep turning at once", {0, 1, 2, 1, 0}, {}, {3, 2}},
        {"one bias throughout", {1, 1, 1}, {}, {3}},
        {"cycles as the file says",
         {0, 1, 2, 0, 1, 2},
         {{up, 1}, {up, 1}, {up, 1}, {up, 2}, {up, 2}, {up, 2}},
         {3, 3}},
        {"legs the file says over the bias",
         {0, 1, 0, 1},
         {{up, 1}, {up, 1}, {down, 1}, {down, 1}},
         {2, 2}},
    };
    for (const LegCase& c : cases) {
        StoredRun run = RunOf(c.biases);
        run.legs = c.legs;
        RunTrace whole;
        ExtendRunTrace(whole, run);
        EXPECT_EQ(Sizes(whole.capacitance), c.legSizes) << c.name;
        EXPECT_EQ(Sizes(whole.conductance), c.legSizes) << c.name;
        // Point by point, as the run in progress comes, the same lines.
        StoredRun growing;
        RunTrace live;
        for (std::size_t i = 0; i < run.points.size(); ++i) {
            growing.points.push_back(run.points[i]);
            if (i < run.legs.size()) growing.legs.push_back(run.legs[i]);
            ExtendRunTrace(live, growing);
        }
        EXPECT_EQ(Sizes(live.capacitance), c.legSizes) << c.name;
        EXPECT_EQ(Sizes(live.conductance), c.legSizes) << c.name;
    }
    // The repeated stop bias starts the return.
    RunTrace trace;
    ExtendRunTrace(trace, RunOf({0, 1, 2, 2, 1, 0}));
    EXPECT_DOUBLE_EQ(trace.capacitance[1][0].y, 103e-12);
    EXPECT_EQ(trace.rewrites, 1u);
}

TEST(ComparisonCurves, LogarithmicConductanceLeavesOutAndBreaksAtGNotAboveZero)
{
    // The return repeats its stop with G <= 0: the moved point is not drawn.
    const StoredRun run = RunOf({0, 1, 2, 3, 3, 2, 1}, {1e-6, 0, 2e-6, 3e-6, -1e-6, 2e-6, 1e-6});
    for (const bool logarithmic : {false, true}) {
        ComparisonOptions options;
        options.logConductance = logarithmic;
        const ComparisonCurves curves = MakeComparisonCurves({{&run, 0}}, options);
        const RunCurves& g = curves.conductance.runs.at(0);
        const std::vector<std::size_t> sizes =
            logarithmic ? std::vector<std::size_t>{1, 2, 2} : std::vector<std::size_t>{4, 3};
        EXPECT_EQ(Sizes(g.lines), sizes);
        EXPECT_EQ(g.pointsLeftOut, logarithmic ? 2u : 0u);
        EXPECT_EQ(curves.conductance.notes.size(), logarithmic ? 1u : 0u);
        EXPECT_EQ(curves.conductance.yUnit.title, "G [µS]");
        EXPECT_DOUBLE_EQ(g.lines[0][0].y, 1.0);
        EXPECT_EQ(Sizes(curves.capacitance.runs.at(0).lines), (std::vector<std::size_t>{4, 3}));
    }
    ComparisonOptions options;
    options.logConductance = true;
    const ComparisonCurves curves = MakeComparisonCurves({{&run, 0}}, options);
    EXPECT_EQ(curves.conductance.notes[0],
              "run: 2 points with G <= 0 left out of the logarithmic G axis.");
    EXPECT_TRUE(curves.conductance.logarithmic);
    EXPECT_GT(curves.conductance.yRange.low, 0);
}

TEST(ComparisonCurves, NormalisesToEachRunsCmaxAndLeavesOutARunWithout)
{
    StoredRun large = RunOf({0, 1, 2});
    large.sample = "large";
    StoredRun empty = RunOf({0, 1});
    empty.sample = "empty";
    for (MeasuredPoint& point : empty.points) point.capacitance = -1e-12;
    ComparisonOptions options;
    options.normalisedCapacitance = true;
    const ComparisonCurves curves = MakeComparisonCurves({{&large, 0}, {&empty, 1}}, options);
    const ComparisonChart& c = curves.capacitance;
    EXPECT_EQ(c.yUnit.title, "C/Cmax");
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_DOUBLE_EQ(c.runs[0].lines[0][2].y, 1.0);
    EXPECT_DOUBLE_EQ(c.runs[0].lines[0][0].y, 100.0 / 102.0);
    ASSERT_EQ(c.notes.size(), 1u);
    EXPECT_EQ(c.notes[0].rfind("empty:", 0), 0u) << c.notes[0];
    // It is still drawn where it can be.
    EXPECT_EQ(curves.conductance.runs.size(), 2u);
    EXPECT_EQ(curves.conductance.runs[1].colour, PaletteColour(1));

    const ComparisonCurves plain = MakeComparisonCurves({{&large, 0}, {&empty, 1}}, {});
    EXPECT_EQ(plain.capacitance.yUnit.title, "C [pF]");
    EXPECT_DOUBLE_EQ(plain.capacitance.runs[0].lines[0][2].y, 102.0);
}

TEST(ComparisonCurves, LabelsRunsBySampleAndStartDistinctly)
{
    std::tm started{};
    started.tm_year = 2026 - 1900;
    started.tm_mon = 11;
    started.tm_mday = 7;
    started.tm_hour = 14;
    started.tm_min = 30;
    started.tm_sec = 15;
    struct Case {
        std::string sample, path, part;
        bool timed;
        RunSource source;
        std::string label;
    };
    const Case cases[] = {
        {"wafer3-d12", "/d/cv.csv", "", true, RunSource::CsvDataFile,
         "wafer3-d12, 2026-12-07 14:30:15"},
        {"", "/d/cv.csv", "", true, RunSource::CsvDataFile, "cv.csv, 2026-12-07 14:30:15"},
        {"wafer3", "/d/log.txt", "record 3", false, RunSource::LogRecord,
         "wafer3, log.txt / record 3"},
        {"", "/d/log.txt", "record 3", false, RunSource::LogRecord, "log.txt / record 3"},
        {"", "", "", false, RunSource::InProgress, "run in progress"},
    };
    for (const Case& c : cases) {
        StoredRun run;
        run.sample = c.sample;
        run.path = c.path;
        run.partOfFile = c.part;
        run.source = c.source;
        if (c.timed) run.started = started;
        EXPECT_EQ(RunLabel(run), c.label);
    }
    StoredRun a = RunOf({0, 1});
    a.sample = "x";
    StoredRun b = a;
    StoredRun c = a;
    c.sample = "x (2)";
    const ComparisonCurves curves = MakeComparisonCurves({{&a, 0}, {&b, 1}, {&c, 2}}, {});
    EXPECT_EQ(curves.capacitance.runs[0].label, "x");
    EXPECT_EQ(curves.capacitance.runs[1].label, "x (3)");
    EXPECT_EQ(curves.capacitance.runs[2].label, "x (2)");
}

TEST(ComparisonCurves, RangesHaveAMarginAndNeverZeroWidth)
{
    struct Case {
        std::vector<double> values;
        bool logarithmic;
        double low, high;
    };
    const Case cases[] = {
        {{0, 10}, false, -0.5, 10.5},     {{0}, false, -1, 1}, {{5, 5}, false, 4.5, 5.5},
        {{-2}, false, -2.2, -1.8},        {{}, false, 0, 1},   {{1e-6}, true, 1e-7, 1e-5},
        {{2e-6, 5e-4}, true, 1e-6, 1e-3},
    };
    for (const Case& c : cases) {
        ValueSpan span;
        for (const double value : c.values) span.Add(value);
        const AxisRange range = RangeWithMargin(span, c.logarithmic);
        EXPECT_DOUBLE_EQ(range.low, c.low) << c.values.size();
        EXPECT_DOUBLE_EQ(range.high, c.high) << c.values.size();
    }
    const StoredRun one = RunOf({1.5});
    const ComparisonCurves curves = MakeComparisonCurves({{&one, 0}}, {});
    EXPECT_LT(curves.capacitance.xRange.low, 1.5);
    EXPECT_GT(curves.capacitance.xRange.high, 1.5);
    EXPECT_LT(curves.capacitance.yRange.low, curves.capacitance.yRange.high);
}

}  // namespace
}  // namespace quillon
