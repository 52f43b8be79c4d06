#include "analysis/graph_plot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>
#include <vector>

#include "analysis/graph_axes.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;

static_assert(std::is_same_v<decltype(PlotLine::x1), float>);
static_assert(std::is_same_v<decltype(PlotLine::y2), float>);

SweepData MakeSweep(const std::vector<double>& bias, const std::vector<double>& capacitance,
                    const std::vector<double>& conductance)
{
    SweepData sweep;
    sweep.Allocate(static_cast<int>(bias.size()));
    for (std::size_t i = 0; i < bias.size(); ++i) {
        sweep.Bias[i + 1] = bias[i];
        sweep.Capacitance[i + 1] = capacitance[i];
        sweep.Conductance[i + 1] = conductance[i];
    }
    sweep.PointCount = static_cast<int16_t>(bias.size());
    return sweep;
}

// A sweep whose capacitance and conductance rise with the point number.
SweepData RisingSweep(const std::vector<double>& bias)
{
    std::vector<double> capacitance;
    std::vector<double> conductance;
    for (std::size_t i = 0; i < bias.size(); ++i) {
        capacitance.push_back(1e-10 * static_cast<double>(i + 1));
        conductance.push_back(1e-6 * static_cast<double>(i + 1));
    }
    return MakeSweep(bias, capacitance, conductance);
}

// Biases from `from` to `to` in `steps` equal steps, as the plan gives them
// (whole millivolts).
std::vector<double> Ramp(int fromMillivolts, int toMillivolts, int stepMillivolts)
{
    std::vector<double> bias;
    if (stepMillivolts > 0)
        for (int mv = fromMillivolts; mv <= toMillivolts; mv += stepMillivolts)
            bias.push_back(mv / 1000.0);
    else
        for (int mv = fromMillivolts; mv >= toMillivolts; mv += stepMillivolts)
            bias.push_back(mv / 1000.0);
    return bias;
}

bool IsVertical(const PlotLine& line)
{
    return line.x1 == line.x2 && line.y1 != line.y2;
}

// The x of every vertical line of a colour, in drawing order.
std::vector<float> VerticalLinesX(const Plot& plot, LineColour colour)
{
    std::vector<float> xs;
    for (const PlotLine& line : plot.lines)
        if (IsVertical(line) && line.colour == colour) xs.push_back(line.x1);
    return xs;
}

std::vector<LineColour> DataColours(const Plot& plot, std::size_t segments)
{
    std::vector<LineColour> colours;
    for (std::size_t i = plot.lines.size() - segments; i < plot.lines.size(); ++i)
        colours.push_back(plot.lines[i].colour);
    return colours;
}

void ExpectLine(const PlotLine& line, float x1, float y1, float x2, float y2, LineColour colour)
{
    EXPECT_EQ(line.x1, x1);
    EXPECT_EQ(line.y1, y1);
    EXPECT_EQ(line.x2, x2);
    EXPECT_EQ(line.y2, y2);
    EXPECT_EQ(line.colour, colour);
}

// A horizontal line whose ends are computed from a decimal span, so that
// they are compared to within a few units of the last place.
void ExpectHorizontalLine(const PlotLine& line, float x1, float x2, float y, LineColour colour)
{
    EXPECT_FLOAT_EQ(line.x1, x1);
    EXPECT_FLOAT_EQ(line.x2, x2);
    EXPECT_EQ(line.y1, y);
    EXPECT_EQ(line.y2, y);
    EXPECT_EQ(line.colour, colour);
}

// The lines one whole volt i adds to the vertical grid, in drawing order.
std::vector<PlotLine> ExpectedWholeVolt(int i, double m)
{
    const auto x = static_cast<float>(i);
    std::vector<PlotLine> lines{
        {x, static_cast<float>(-0.1 * m), x, static_cast<float>(1.1 * m), kLightGrey},
        {x, static_cast<float>(-0.02 * m), x, static_cast<float>(0.02 * m), std::nullopt}};
    if (i % 5 == 0) {
        lines.push_back(
            {x, static_cast<float>(-0.1 * m), x, static_cast<float>(1.1 * m), kLightBlue});
        lines.push_back(
            {x, static_cast<float>(-0.03 * m), x, static_cast<float>(0.03 * m), std::nullopt});
    }
    return lines;
}

void ExpectSameLines(const std::vector<PlotLine>& actual, std::size_t from,
                     const std::vector<PlotLine>& expected)
{
    ASSERT_LE(from + expected.size(), actual.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(::testing::Message() << "line " << from + k);
        const PlotLine& e = expected[k];
        ExpectLine(actual[from + k], e.x1, e.y1, e.x2, e.y2, e.colour);
    }
}

class SweepFromMinus2Point3To1Point6 : public ::testing::Test {
protected:
    void SetUp() override
    {
        sweep = RisingSweep(Ramp(-2300, 1600, 100));
        ASSERT_EQ(sweep.PointCount, 40);
        graphs = DrawGraphs(sweep);
        ASSERT_TRUE(graphs.has_value());
    }

    SweepData sweep;
    std::optional<Graphs> graphs;
    static constexpr std::size_t kVerticalGridLines = 6 * 11 + 2;  // -3..2, 5-V lines at 0
};

TEST_F(SweepFromMinus2Point3To1Point6, RaisesTheMaximaToTheLargestPoints)
{
    EXPECT_DOUBLE_EQ(sweep.Cmax, 40e-10);
    EXPECT_DOUBLE_EQ(sweep.Gmax, 40e-6);
}

TEST_F(SweepFromMinus2Point3To1Point6, ScalesHalfAVoltBeyondTheBiasAndTenPercentBeyondTheMaximum)
{
    for (const auto& [plot, m] :
         {std::pair{graphs->capacitance, sweep.Cmax}, std::pair{graphs->conductance, sweep.Gmax}}) {
        EXPECT_NEAR(plot.scale.left, -2.8, 1e-6);
        EXPECT_NEAR(plot.scale.right, 2.1, 1e-6);
        EXPECT_DOUBLE_EQ(plot.scale.top, 1.1 * m);
        EXPECT_DOUBLE_EQ(plot.scale.bottom, -0.1 * m);
    }
}

TEST_F(SweepFromMinus2Point3To1Point6, WholeVoltLinesFromMinus3To2AndTheFiveVoltLineOnlyAt0)
{
    for (const Plot* plot : {&graphs->capacitance, &graphs->conductance}) {
        EXPECT_THAT(VerticalLinesX(*plot, kLightGrey), ElementsAre(-3, -2, -1, 0, 1, 2));
        EXPECT_THAT(VerticalLinesX(*plot, kLightBlue), ElementsAre(0));
    }
}

TEST_F(SweepFromMinus2Point3To1Point6, FirstLinesOfTheGridAreTheLowestWholeVoltWithItsTicks)
{
    const double m = sweep.Cmax;
    const std::vector<PlotLine>& lines = graphs->capacitance.lines;
    ExpectLine(lines[0], -3, static_cast<float>(-0.1 * m), -3, static_cast<float>(1.1 * m),
               kLightGrey);
    ExpectLine(lines[1], -3, static_cast<float>(-0.02 * m), -3, static_cast<float>(0.02 * m),
               std::nullopt);
    const float minorX[9] = {-2.9f, -2.8f, -2.7f, -2.6f, -2.5f, -2.4f, -2.3f, -2.2f, -2.1f};
    for (int j = 0; j < 9; ++j) {
        SCOPED_TRACE(j);
        ExpectLine(lines[static_cast<std::size_t>(2 + j)], minorX[j],
                   static_cast<float>(-0.015 * m), minorX[j], static_cast<float>(0.015 * m), kGrey);
    }
    // The next whole volt follows its predecessor's minor ticks directly.
    ExpectLine(lines[11], -2, static_cast<float>(-0.1 * m), -2, static_cast<float>(1.1 * m),
               kLightGrey);
}

TEST_F(SweepFromMinus2Point3To1Point6, ZeroVoltsCarriesTheFiveVoltLineAndTickAfterItsWholeVoltTick)
{
    const double m = sweep.Gmax;
    const std::vector<PlotLine>& lines = graphs->conductance.lines;
    const std::size_t zero = 3 * 11;  // after -3, -2, -1
    ExpectSameLines(lines, zero, ExpectedWholeVolt(0, m));
    ExpectLine(lines[zero + 4], 0.1f, static_cast<float>(-0.015 * m), 0.1f,
               static_cast<float>(0.015 * m), kGrey);
    ExpectLine(lines[zero + 12], 0.9f, static_cast<float>(-0.015 * m), 0.9f,
               static_cast<float>(0.015 * m), kGrey);
    ExpectLine(lines[zero + 13], 1, static_cast<float>(-0.1 * m), 1, static_cast<float>(1.1 * m),
               kLightGrey);
}

TEST_F(SweepFromMinus2Point3To1Point6, HorizontalGridMaximumAndAxesFollowTheVerticalGrid)
{
    for (const auto& [plot, m] :
         {std::pair{graphs->capacitance, sweep.Cmax}, std::pair{graphs->conductance, sweep.Gmax}}) {
        const std::vector<PlotLine>& lines = plot.lines;
        ASSERT_EQ(lines.size(), kVerticalGridLines + 6 + 2 + 2 + 39);
        std::size_t n = kVerticalGridLines;
        for (int k = 1; k <= 3; ++k) {
            SCOPED_TRACE(k);
            const auto y = static_cast<float>(m / 4 * k);
            ExpectHorizontalLine(lines[n++], -2.8f, 2.1f, y, kLightGrey);
            // The tick is 2 % of the bias span wide, centred on the zero volt axis.
            const PlotLine& tick = lines[n++];
            ExpectHorizontalLine(tick, -0.039f, 0.039f, y, kGrey);
            EXPECT_EQ(tick.x1, -tick.x2);
        }
        // The line at the maximum, and its tick.
        const auto top = static_cast<float>(m);
        ExpectHorizontalLine(lines[n++], -2.8f, 2.1f, top, kLightBlue);
        ExpectHorizontalLine(lines[n++], -0.0585f, 0.0585f, top, std::nullopt);

        ExpectLine(lines[n++], 0, static_cast<float>(-0.1 * m), 0, static_cast<float>(1.1 * m),
                   std::nullopt);
        ExpectLine(lines[n++], -3.3f, 0, 2.6f, 0, std::nullopt);
    }
}

TEST_F(SweepFromMinus2Point3To1Point6, DataJoinsThePointsInMeasurementOrderAsTheLastLines)
{
    const std::vector<PlotLine>& c = graphs->capacitance.lines;
    const std::vector<PlotLine>& g = graphs->conductance.lines;
    const std::size_t first = c.size() - 39;
    for (std::size_t i = 1; i < 40; ++i) {
        SCOPED_TRACE(i);
        ExpectLine(c[first + i - 1], static_cast<float>(sweep.Bias[i]),
                   static_cast<float>(sweep.Capacitance[i]), static_cast<float>(sweep.Bias[i + 1]),
                   static_cast<float>(sweep.Capacitance[i + 1]), kRed);
        ExpectLine(g[first + i - 1], static_cast<float>(sweep.Bias[i]),
                   static_cast<float>(sweep.Conductance[i]), static_cast<float>(sweep.Bias[i + 1]),
                   static_cast<float>(sweep.Conductance[i + 1]), kRed);
    }
    EXPECT_EQ(c.back().x2, 1.6f);
    EXPECT_EQ(c[first].x1, -2.3f);
}

TEST(VerticalGrid, HalvesAtTheBoundsGoToTheEvenWholeVolt)
{
    SweepData sweep = RisingSweep({-2.5, 2.5});
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    // R(-2.5) = -2, so the grid starts one lower at -3; R(2.5) = 2 ends it.
    EXPECT_THAT(VerticalLinesX(graphs->capacitance, kLightGrey), ElementsAre(-3, -2, -1, 0, 1, 2));
    const std::vector<float> minor = VerticalLinesX(graphs->capacitance, kGrey);
    ASSERT_EQ(minor.size(), 6u * 9u);
    EXPECT_EQ(minor.front(), -2.9f);
    EXPECT_EQ(minor.back(), 2.9f);
}

TEST(VerticalGrid, OtherHalvesRoundToEvenToo)
{
    // -1.5 -> -2 (first line -3), -0.5 -> 0 (first -1), 3.5 -> 4, 0.5 -> 0.
    const struct {
        double low, high;
        float first, last;
    } cases[] = {{-1.5, 3.5, -3, 4}, {-0.5, 0.5, -1, 0}, {1.5, 1.5, 1, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.low << ".." << c.high);
        SweepData sweep = RisingSweep({c.low, c.high});
        const std::optional<Graphs> graphs = DrawGraphs(sweep);
        ASSERT_TRUE(graphs);
        const std::vector<float> xs = VerticalLinesX(graphs->conductance, kLightGrey);
        ASSERT_FALSE(xs.empty());
        EXPECT_EQ(xs.front(), c.first);
        EXPECT_EQ(xs.back(), c.last);
        EXPECT_EQ(xs.size(), static_cast<std::size_t>(c.last - c.first) + 1);
    }
}

TEST(VerticalGrid, BiasIsRoundedAsASinglePrecisionValue)
{
    // As a double this is above 2.5 and would round to 3; as a 32-bit real
    // it is exactly 2.5, which rounds to 2.
    SweepData sweep = RisingSweep({0.0, 2.5000000001});
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    EXPECT_EQ(VerticalLinesX(graphs->capacitance, kLightGrey).back(), 2);
    EXPECT_EQ(graphs->capacitance.scale.right, 3.0);
}

TEST(VerticalGrid, FiveVoltLinesAtNegativeMultiples)
{
    SweepData sweep = RisingSweep(Ramp(-11000, -4000, 1000));
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    const double m = sweep.Gmax;
    EXPECT_THAT(VerticalLinesX(graphs->conductance, kLightBlue), ElementsAre(-10, -5));
    // -12 and -11 come first, each with its tick and nine minor ticks.
    ExpectSameLines(graphs->conductance.lines, 2 * 11, ExpectedWholeVolt(-10, m));
    const std::vector<float> xs = VerticalLinesX(graphs->conductance, kLightGrey);
    EXPECT_EQ(xs.front(), -12);
    EXPECT_EQ(xs.back(), -4);
}

TEST(DataLines, DoubleSweepIsRedOutAndBlueBack)
{
    SweepData sweep = RisingSweep({-1, 0, 1, 0, -1});
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    for (const Plot* plot : {&graphs->capacitance, &graphs->conductance})
        EXPECT_THAT(DataColours(*plot, 4), ElementsAre(kRed, kRed, kBlue, kBlue));
}

TEST(DataLines, JumpBetweenCyclesIsOneSegmentInTheColourOfItsDirection)
{
    SweepData rising = RisingSweep({0, 0.5, 1, 0, 0.5, 1});
    std::optional<Graphs> graphs = DrawGraphs(rising);
    ASSERT_TRUE(graphs);
    EXPECT_THAT(DataColours(graphs->capacitance, 5), ElementsAre(kRed, kRed, kBlue, kRed, kRed));
    const PlotLine& jump = graphs->capacitance.lines[graphs->capacitance.lines.size() - 3];
    EXPECT_EQ(jump.x1, 1);
    EXPECT_EQ(jump.x2, 0);

    SweepData falling = RisingSweep({1, 0.5, 0, 1, 0.5, 0});
    graphs = DrawGraphs(falling);
    ASSERT_TRUE(graphs);
    EXPECT_THAT(DataColours(graphs->conductance, 5), ElementsAre(kBlue, kBlue, kRed, kBlue, kBlue));
}

TEST(DataLines, EqualBiasesMakeARedSegment)
{
    SweepData sweep = RisingSweep({0.3, 0.3, 0.2});
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    EXPECT_THAT(DataColours(graphs->capacitance, 2), ElementsAre(kRed, kBlue));
}

TEST(DataLines, CoordinatesAreSinglePrecisionValues)
{
    SweepData sweep = MakeSweep({0.1, 0.2}, {3.3e-10, 1e-10}, {0.7e-6, 0.1e-6});
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    const PlotLine& c = graphs->capacitance.lines.back();
    EXPECT_EQ(c.x1, 0.1f);
    EXPECT_NE(static_cast<double>(c.x1), 0.1);
    EXPECT_EQ(c.y1, 3.3e-10f);
    EXPECT_EQ(c.x2, 0.2f);
    EXPECT_EQ(c.y2, 1e-10f);
    const PlotLine& g = graphs->conductance.lines.back();
    EXPECT_EQ(g.y1, 0.7e-6f);
    EXPECT_EQ(g.y2, 0.1e-6f);
}

TEST(DataLines, NegativeValuesAreDrawnBelowTheZeroLine)
{
    SweepData sweep = MakeSweep({0, 1, 2}, {2e-10, -5e-11, -1e-9}, {-3e-6, 1e-6, -2e-6});
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    EXPECT_DOUBLE_EQ(sweep.Cmax, 2e-10);
    EXPECT_DOUBLE_EQ(sweep.Gmax, 1e-6);
    const std::vector<PlotLine>& c = graphs->capacitance.lines;
    ExpectLine(c[c.size() - 2], 0, 2e-10f, 1, -5e-11f, kRed);
    // Beyond the -0.1 M margin: left to the surface to clip.
    ExpectLine(c[c.size() - 1], 1, -5e-11f, 2, -1e-9f, kRed);
    EXPECT_LT(c.back().y2, graphs->capacitance.scale.bottom);
    const std::vector<PlotLine>& g = graphs->conductance.lines;
    ExpectLine(g[g.size() - 2], 0, -3e-6f, 1, 1e-6f, kRed);
    ExpectLine(g[g.size() - 1], 1, 1e-6f, 2, -2e-6f, kRed);
}

TEST(DrawGraphs, KeepsLargerMaximaAlreadyFound)
{
    SweepData sweep = RisingSweep({0, 1});
    sweep.Cmax = 5e-10;
    sweep.Gmax = 7e-6;
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    EXPECT_EQ(sweep.Cmax, 5e-10);
    EXPECT_EQ(sweep.Gmax, 7e-6);
    EXPECT_DOUBLE_EQ(graphs->capacitance.scale.top, 1.1 * 5e-10);
    EXPECT_DOUBLE_EQ(graphs->conductance.scale.top, 1.1 * 7e-6);
}

TEST(DrawGraphs, OverflowValueDrawsNothingAndLeavesThePointsAlone)
{
    SweepData sweep = MakeSweep({0, 0.5, 1}, {1e-10, 9.9e37, 2e-10}, {1e-6, 9.9e37, 3e-6});
    const SweepData before = sweep;
    EXPECT_FALSE(DrawGraphs(sweep).has_value());
    EXPECT_EQ(sweep.Cmax, 9.9e37);
    EXPECT_EQ(sweep.Gmax, 9.9e37);
    EXPECT_EQ(sweep.Bias, before.Bias);
    EXPECT_EQ(sweep.Capacitance, before.Capacitance);
    EXPECT_EQ(sweep.Conductance, before.Conductance);
    EXPECT_EQ(sweep.PointCount, before.PointCount);
    EXPECT_EQ(sweep.Cmin, before.Cmin);
}

TEST(DrawGraphs, GuardIsMoreThanOneFarad)
{
    SweepData oneFarad = MakeSweep({0, 1}, {1.0, 0.5}, {1e-3, 2e-3});
    EXPECT_TRUE(DrawGraphs(oneFarad).has_value());

    // The guard looks at Cmax, not only at the points of this run.
    SweepData storedMaximum = RisingSweep({0, 1});
    storedMaximum.Cmax = 1.5;
    EXPECT_FALSE(DrawGraphs(storedMaximum).has_value());
}

TEST(DrawGraphs, ReadsOnlyThePointsTheArraysHold)
{
    SweepData sweep = RisingSweep({0, 0.5, 1});
    sweep.Allocate(2);  // a new run took the arrays; PointCount is still 3
    sweep.Bias = {0, -1, 1};
    sweep.Capacitance = {0, 1e-10, 2e-10};
    sweep.Conductance = {0, 1e-6, 2e-6};
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    EXPECT_THAT(VerticalLinesX(graphs->capacitance, kLightGrey), ElementsAre(-2, -1, 0, 1));
    ExpectLine(graphs->capacitance.lines.back(), -1, 1e-10f, 1, 2e-10f, kRed);
    EXPECT_DOUBLE_EQ(sweep.Cmax, 2e-10);
}

TEST(DrawGraphs, NoPointsGiveTheFramingLinesOnly)
{
    SweepData sweep;
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    // The bias range never left its start values 100 and -100.
    EXPECT_EQ(graphs->capacitance.scale.left, 99.5);
    EXPECT_EQ(graphs->capacitance.scale.right, -99.5);
    const std::vector<PlotLine>& lines = graphs->capacitance.lines;
    ASSERT_EQ(lines.size(), 6u + 2u + 2u);
    ExpectLine(lines.back(), 99, 0, -99, 0, std::nullopt);
}

TEST(DrawGraphs, LongestRunReservesExactlyTheLinesItDraws)
{
    std::vector<double> bias;
    for (int i = 0; i < 32767; ++i) bias.push_back((i % 2001 - 1000) / 100.0);
    SweepData sweep = RisingSweep(bias);
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    // -11..10 whole volts, five of them multiples of 5.
    const std::size_t expected = 22 * 11 + 5 * 2 + 6 + 2 + 2 + 32766;
    for (const Plot* plot : {&graphs->capacitance, &graphs->conductance}) {
        EXPECT_EQ(plot->lines.size(), expected);
        EXPECT_EQ(plot->lines.capacity(), expected);
    }
}

TEST(Readout, VoltageHasTwoDecimalsAndTheUnit)
{
    EXPECT_EQ(VoltageReadout(-1.25f), "-1.25V");
    EXPECT_EQ(VoltageReadout(0.0f), "0.00V");
    EXPECT_EQ(VoltageReadout(2.5f), "2.50V");
    EXPECT_EQ(VoltageReadout(-0.004f), "0.00V");
    EXPECT_EQ(VoltageReadout(12.346f), "12.35V");
}

TEST(Readout, CapacitancePicksTheUnitByMagnitude)
{
    EXPECT_EQ(CapacitanceReadout(2.5e-10f), "250.00pF  ");
    EXPECT_EQ(CapacitanceReadout(-0.0005f), "-500.00uF ");
    EXPECT_EQ(CapacitanceReadout(1.5f), "1.50F     ");
    EXPECT_EQ(CapacitanceReadout(-1.0f), "-1.00F    ");
    EXPECT_EQ(CapacitanceReadout(0.0025f), "2.50mF    ");
    EXPECT_EQ(CapacitanceReadout(4.7e-9f), "4.70nF    ");
    EXPECT_EQ(CapacitanceReadout(-3.3e-8f), "-33.00nF  ");
    EXPECT_EQ(CapacitanceReadout(0.0f), "0.00pF    ");
    EXPECT_EQ(CapacitanceReadout(1.2346e-11f), "12.35pF   ");
}

TEST(Readout, ConductanceHasNoPlainSiemensRange)
{
    EXPECT_EQ(ConductanceReadout(2.0f), "2000.00mS ");
    EXPECT_EQ(ConductanceReadout(-0.5f), "-500.00mS ");
    EXPECT_EQ(ConductanceReadout(0.0125f), "12.50mS   ");
    EXPECT_EQ(ConductanceReadout(5e-5f), "50.00uS   ");
    EXPECT_EQ(ConductanceReadout(-1e-7f), "-0.10uS   ");
    EXPECT_EQ(ConductanceReadout(0.0f), "0.00uS    ");
}

TEST(Readout, ThresholdsAreSinglePrecisionValues)
{
    EXPECT_EQ(CapacitanceReadout(0.001f), "1.00mF    ");
    EXPECT_EQ(CapacitanceReadout(-0.001f), "-1.00mF   ");
    EXPECT_EQ(CapacitanceReadout(std::nextafter(0.001f, 0.0f)), "1000.00uF ");
    // 1e-6f and 1e-9f lie just below 1e-6 and 1e-9 as doubles; they still
    // reach the range they name.
    EXPECT_EQ(CapacitanceReadout(1e-6f), "1.00uF    ");
    EXPECT_EQ(CapacitanceReadout(std::nextafter(1e-6f, 0.0f)), "1000.00nF ");
    EXPECT_EQ(CapacitanceReadout(1e-9f), "1.00nF    ");
    EXPECT_EQ(CapacitanceReadout(-1e-9f), "-1.00nF   ");
    EXPECT_EQ(CapacitanceReadout(std::nextafter(1e-9f, 0.0f)), "1000.00pF ");

    EXPECT_EQ(ConductanceReadout(0.001f), "1.00mS    ");
    EXPECT_EQ(ConductanceReadout(std::nextafter(0.001f, 0.0f)), "1000.00uS ");
}

TEST(Readout, LongTextsAreCutToTenCharacters)
{
    EXPECT_EQ(CapacitanceReadout(123456.0f), "123456.00F");
    EXPECT_EQ(CapacitanceReadout(1234567.0f), "1234567.00");
    EXPECT_EQ(CapacitanceReadout(-1234567.0f), "-1234567.0");
    EXPECT_EQ(ConductanceReadout(2000.0f), "2000000.00");
    for (float y : {1.0f, 1e-3f, 1e-6f, 1e-9f, 1e-12f, -7e5f, 3e30f}) {
        EXPECT_EQ(CapacitanceReadout(y).size(), 10u) << y;
        EXPECT_EQ(ConductanceReadout(y).size(), 10u) << y;
    }
}

TEST(Readout, StartUpCoordinatesReadAsTheWindowShowsThem)
{
    const PlotScale& c = kCapacitanceStartScale;
    EXPECT_EQ(VoltageReadout(static_cast<float>(c.left)), "-5.00V");
    EXPECT_EQ(VoltageReadout(static_cast<float>(c.right)), "5.00V");
    EXPECT_EQ(CapacitanceReadout(static_cast<float>(c.top)), "1.00nF    ");
    EXPECT_EQ(CapacitanceReadout(static_cast<float>(c.bottom)), "-100.00pF ");
    EXPECT_EQ(CapacitanceReadout(static_cast<float>((c.top + c.bottom) / 2)), "450.00pF  ");

    const PlotScale& g = kConductanceStartScale;
    EXPECT_EQ(VoltageReadout(static_cast<float>(g.left)), "-5.00V");
    EXPECT_EQ(VoltageReadout(static_cast<float>(g.right)), "5.00V");
    EXPECT_EQ(ConductanceReadout(static_cast<float>(g.top)), "1.00mS    ");
    EXPECT_EQ(ConductanceReadout(static_cast<float>(g.bottom)), "-0.10uS   ");
}

TEST(GraphAxes, RoundTicksAreOneTwoOrFiveTimesAPowerOfTen)
{
    const std::tuple<double, double, int, std::vector<double>> cases[] = {
        {-3.5, 3.5, 9, {-3, -2, -1, 0, 1, 2, 3}},
        {-1.1e-12, 3.8e-11, 7, {0, 1e-11, 2e-11, 3e-11}},
        {-3.45e-12, 3.795e-11, 8, {0, 5e-12, 1e-11, 1.5e-11, 2e-11, 2.5e-11, 3e-11, 3.5e-11}},
        {0.12, 0.49, 5, {0.2, 0.3, 0.4}},
        {-0.7, 10.2, 6, {0, 2, 4, 6, 8, 10}},
        {-0.7, 10.2, 5, {0, 5, 10}},
        {2, 2, 5, {}},
        {0, std::nan(""), 5, {}},
    };
    for (const auto& [low, high, most, expected] : cases) {
        const std::vector<double> ticks = RoundTicks(low, high, most);
        ASSERT_EQ(ticks.size(), expected.size()) << low << " " << high;
        for (std::size_t i = 0; i < ticks.size(); ++i)
            EXPECT_NEAR(ticks[i], expected[i], 1e-6 * std::fabs(high - low)) << i;
    }
}

TEST(GraphAxes, APlotsFrameNamesItsQuantitiesInUnitsThatSuitThemAndItsCurves)
{
    SweepData sweep = RisingSweep({-3, -1, 1, 3, 1, -1, -3});
    for (std::size_t i = 1; i < sweep.Capacitance.size(); ++i) sweep.Capacitance[i] = 3.45e-11;
    const std::optional<Graphs> graphs = DrawGraphs(sweep);
    ASSERT_TRUE(graphs);
    const GraphFrame frame = FrameOfPlot(graphs->capacitance, "C", "F");
    EXPECT_EQ(frame.x.title, "Bias [V]");
    std::vector<std::string> labels;
    for (const AxisTick& tick : frame.x.ticks) labels.push_back(tick.label);
    EXPECT_THAT(labels, ElementsAre("-3", "-2", "-1", "0", "1", "2", "3"));
    EXPECT_EQ(frame.y.title, "C [pF]");
    labels.clear();
    for (const AxisTick& tick : frame.y.ticks) labels.push_back(tick.label);
    EXPECT_THAT(labels, ElementsAre("0", "5", "10", "15", "20", "25", "30", "35"));
    ASSERT_EQ(frame.legend.size(), 2u);
    EXPECT_EQ(frame.legend[0].colour, kRed);
    EXPECT_EQ(frame.legend[0].text, "bias rising");
    EXPECT_EQ(frame.legend[1].text, "bias falling");
}

}  // namespace
}  // namespace quillon
