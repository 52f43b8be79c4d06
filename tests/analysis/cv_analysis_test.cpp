#include "analysis/cv_analysis.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

namespace quillon {
namespace {

struct Point {
    double bias;
    double capacitance;
    double conductance;
};

// A finished run as the measurement leaves it: the arrays hold the points,
// Bias still in the meter's sign, the maxima as they ran.
SweepData FinishedRun(const std::vector<Point>& points, int16_t biasSign = 1)
{
    SweepData sweep;
    sweep.Allocate(static_cast<int>(points.size()));
    sweep.BiasSign = biasSign;
    for (std::size_t i = 0; i < points.size(); ++i) {
        sweep.Bias[i + 1] = biasSign * points[i].bias;
        sweep.Capacitance[i + 1] = points[i].capacitance;
        sweep.Conductance[i + 1] = points[i].conductance;
        sweep.Cmax = std::max(sweep.Cmax, points[i].capacitance);
        sweep.Gmax = std::max(sweep.Gmax, points[i].conductance);
    }
    sweep.PointCount = static_cast<int16_t>(points.size());
    return sweep;
}

// The two capacitances of the worked example, 1e-10 F and 3e-11 F.
SweepData WorkedExampleRun()
{
    return FinishedRun({{-1.0, 1e-10, 2e-6}, {1.0, 3e-11, 1e-6}});
}

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

std::string Blanks(std::size_t count)
{
    return std::string(count, ' ');
}

const RunTimes kTwelveSeconds{1000, 13345};  // 12.345 s

// ---------------------------------------------------------------------------

TEST(WorkedExample, ThicknessIsA32BitReal)
{
    const auto cet = CapacitanceEquivalentThickness(10000, 1e-10);
    static_assert(std::is_same_v<decltype(cet), const float>);
    EXPECT_FLOAT_EQ(cet, 3.425276e-9f);
}

TEST(WorkedExample, FactorAndIterations)
{
    const double factor = DopingFactor(1e-10, 3e-11, 10000.0f);
    EXPECT_NEAR(factor / 1.13645e17, 1.0, 1e-5);

    const double expected[] = {2.575e18, 2.159e18, 2.139e18, 2.138e18};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(IterateDoping(factor, i + 1) / expected[i], 1.0, 3e-4) << "iteration " << i + 1;
    EXPECT_EQ(IterateDoping(factor, 0), 1e20);
    EXPECT_NEAR(IterateDoping(factor, 10) / 2.13753e18, 1.0, 5e-6);
}

TEST(WorkedExample, DopingDebyeLengthAndRatio)
{
    AnalysisResults results;
    results.Cet = 3.425276e-9f;
    const std::optional<double> doping = ComputeDoping(1e-10, 3e-11, 10000.0f, results);
    ASSERT_TRUE(doping.has_value());
    EXPECT_NEAR(*doping / 2.13753e18, 1.0, 5e-6);
    EXPECT_NEAR(results.Nsub / 2.13753e24, 1.0, 5e-6);
    EXPECT_NEAR(results.DebyeLength / 2.796e-9, 1.0, 2e-4);
    EXPECT_NEAR(results.CfbRatio, 0.786077, 1e-6);
    EXPECT_FLOAT_EQ(results.Cet, 3.425276e-9f);
}

TEST(WorkedExample, SummaryLines)
{
    SweepData sweep = WorkedExampleRun();
    AnalysisResults results;
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "10000", 0, results);

    ASSERT_TRUE(summary.information.has_value());
    const std::vector<std::string> lines = LinesOf(*summary.information);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[3], "Cmax:100.000[pF]" + Blanks(9));
    EXPECT_EQ(lines[6], "CET:3.43nm");
    EXPECT_EQ(lines[7], "Nsub:2.14E+18 (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*0.786");
    EXPECT_FLOAT_EQ(results.Cet, 3.425276e-9f);
    EXPECT_NEAR(results.Nsub / 2.13753e24, 1.0, 5e-6);
    EXPECT_NEAR(results.CfbRatio, 0.786077, 1e-6);
}

// ---------------------------------------------------------------------------

// 41 points from -2 V to 2 V: accumulation at the start, inversion at the
// end, a conductance peak in depletion; 100 um circular pad.
SweepData RealisticRun()
{
    std::vector<Point> points;
    for (int i = 0; i <= 40; ++i) {
        const double bias = -2.0 + 0.1 * i;
        const double fall = 1 / (1 + std::exp(-(bias - 0.2) / 0.25));
        const double capacitance = 1.2e-10 - (1.2e-10 - 4.7e-11) * fall;
        const double conductance = 1e-6 + 10e-6 * std::exp(-std::pow((bias - 0.2) / 0.3, 2));
        points.push_back({bias, capacitance, conductance});
    }
    points.front().capacitance = 1.23456e-10;
    points.back().capacitance = 4.5678e-11;
    points[22].conductance = 12.3456e-6;
    return FinishedRun(points);
}

TEST(Summary, NineLinesOfARealisticRun)
{
    SweepData sweep = RealisticRun();
    AnalysisResults results;
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "7853.98", 2, results);

    ASSERT_TRUE(summary.information.has_value());
    EXPECT_EQ(*summary.information,
              "41Points\r\n"
              " 12.345sec\r\n"
              "3.321/s\r\n"
              "Cmax:123.456[pF]" +
                  Blanks(9) +
                  "\r\n"
                  "Cmin:45.678[pF]" +
                  Blanks(10) +
                  "\r\n"
                  "Gmax:12.3456[uS]" +
                  Blanks(9) +
                  "\r\n"
                  "CET:2.18nm\r\n"
                  "Nsub:1.08E+19 (cm-3)\r\n"
                  "CFB: Cmax*0.840");
    EXPECT_EQ(summary.finishText, "Progress finished 12.345 s");
    EXPECT_EQ(summary.runListEntry, " 3\t3.321/s");
    EXPECT_TRUE(summary.redrawGraphs);
}

TEST(Summary, ExtremesStartFromTheRunningMaxima)
{
    SweepData sweep = FinishedRun({{0.0, 1e-10, 1e-6}, {1.0, 5e-11, 2e-6}});
    sweep.Cmax = 2e-10;  // as if a point had read more than the arrays hold
    sweep.Gmax = 3e-6;
    sweep.Cmin = 0.0;  // a stale value of an earlier run
    AnalysisResults results;
    SummarizeRun(sweep, kTwelveSeconds, "10000", 0, results);
    EXPECT_EQ(sweep.Cmax, 2e-10);
    EXPECT_EQ(sweep.Gmax, 3e-6);
    EXPECT_EQ(sweep.Cmin, 5e-11);
}

TEST(Summary, InvertedBiasIsTurnedBackToTheUsersValues)
{
    SweepData sweep =
        FinishedRun({{-1.5, 1e-10, 1e-6}, {0.5, 5e-11, 2e-6}, {2.0, 4e-11, 1e-6}}, -1);
    ASSERT_EQ(sweep.Bias[1], 1.5);  // the meter's sign while running
    AnalysisResults results;
    SummarizeRun(sweep, kTwelveSeconds, "10000", 0, results);
    EXPECT_EQ(sweep.Bias, (std::vector<double>{0.0, -1.5, 0.5, 2.0}));
}

TEST(Summary, ResultsOfTheLastSummaryAreKept)
{
    AnalysisResults results;
    SweepData first = WorkedExampleRun();
    SummarizeRun(first, kTwelveSeconds, "10000", 0, results);
    const AnalysisResults afterFirst = results;

    SweepData onePoint = FinishedRun({{0.0, 2e-10, 1e-6}});
    SummarizeRun(onePoint, kTwelveSeconds, "500", 1, results);
    EXPECT_EQ(results.Cet, afterFirst.Cet);
    EXPECT_EQ(results.Nsub, afterFirst.Nsub);
    EXPECT_EQ(results.DebyeLength, afterFirst.DebyeLength);
    EXPECT_EQ(results.CfbRatio, afterFirst.CfbRatio);

    SweepData second = FinishedRun({{0.0, 2e-10, 1e-6}, {1.0, 5e-11, 1e-6}});
    SummarizeRun(second, kTwelveSeconds, "5000", 2, results);
    EXPECT_FLOAT_EQ(results.Cet, CapacitanceEquivalentThickness(5000, 2e-10));
    EXPECT_NE(results.Nsub, afterFirst.Nsub);
    EXPECT_NE(results.CfbRatio, afterFirst.CfbRatio);
}

// ---------------------------------------------------------------------------

TEST(ValueTexts, RangeBoundaries)
{
    EXPECT_EQ(CmaxText(0.001), "1.000[mF]" + Blanks(11));
    EXPECT_EQ(CmaxText(1e-6), "1.000[uF]" + Blanks(11));
    EXPECT_EQ(CmaxText(1e-9), "1.000[nF]" + Blanks(11));
    EXPECT_EQ(CmaxText(std::nextafter(1e-9, 0.0)), "1000.000[pF]" + Blanks(8));
    EXPECT_EQ(CmaxText(std::nextafter(1e-6, 0.0)), "1000.000[nF]" + Blanks(8));
    EXPECT_EQ(CmaxText(123.456e-12), "123.456[pF]" + Blanks(9));
    EXPECT_EQ(CmaxText(0.0), "0.000[pF]" + Blanks(11));

    EXPECT_EQ(CminText(1.0), "1000.000[mF]" + Blanks(8));
    EXPECT_EQ(CminText(2.5e-6), "2.500[uF]" + Blanks(11));
    EXPECT_EQ(CminText(-2e-12), "-2.000[pF]" + Blanks(10));
    EXPECT_EQ(CminText(4.5678e-11), "45.678[pF]" + Blanks(10));

    EXPECT_EQ(GmaxText(0.001), "1.0000[mS]" + Blanks(10));
    EXPECT_EQ(GmaxText(std::nextafter(0.001, 0.0)), "1000.0000[uS]" + Blanks(7));
    EXPECT_EQ(GmaxText(0.0), "0.0000[uS]" + Blanks(10));
    EXPECT_EQ(GmaxText(12.3456e-6), "12.3456[uS]" + Blanks(9));
}

TEST(ValueTexts, LongerTextsAreCutToTwentyCharacters)
{
    EXPECT_EQ(CmaxText(123456789012.0), "123456789012000.000[");
    EXPECT_EQ(CminText(-12.5), "-12500000000000.000[");
    EXPECT_EQ(GmaxText(12345678901.0), "12345678901000.0000[");
    EXPECT_EQ(CmaxText(12345678.0), "12345678000.000[mF]" + Blanks(1));
}

TEST(ValueTexts, NeverShowInfinity)
{
    EXPECT_EQ(CmaxText(HUGE_VAL), "n/a" + Blanks(17));
    EXPECT_EQ(GmaxText(HUGE_VAL), "n/a" + Blanks(17));
}

// ---------------------------------------------------------------------------

TEST(Rate, PointsPerSecond)
{
    EXPECT_EQ(RateText(41, 12345), "3.321/s");
    EXPECT_EQ(RateText(2, 3000), "0.667/s");
    EXPECT_EQ(RateText(1000, 250), "4000.000/s");
    EXPECT_EQ(RateText(0, 1500), "0.000/s");
}

TEST(Rate, ARunOfNoTimeHasNone)
{
    EXPECT_EQ(RateText(5, 0), "n/a");
    SweepData sweep = WorkedExampleRun();
    AnalysisResults results;
    const RunSummary summary = SummarizeRun(sweep, {7000, 7000}, "10000", 0, results);
    EXPECT_EQ(summary.runListEntry, " 1\tn/a");
    ASSERT_TRUE(summary.information.has_value());
    const std::vector<std::string> lines = LinesOf(*summary.information);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], " 0sec");
    EXPECT_EQ(lines[2], "n/a");
    EXPECT_EQ(lines[7], "Nsub:2.14E+18 (cm-3)");
    EXPECT_EQ(summary.finishText, "Progress finished 0.000 s");
}

TEST(Rate, ElapsedTimeSurvivesTheTickCountWrappingAround)
{
    EXPECT_EQ(ElapsedMilliseconds({0xFFFFFF00u, 0x100u}), 512u);
    EXPECT_EQ(ElapsedMilliseconds({1000, 13345}), 12345u);
}

TEST(RunList, EntriesAreNumberedAfterThoseBefore)
{
    EXPECT_EQ(RunListEntry(0, "3.321/s"), " 1\t3.321/s");
    EXPECT_EQ(RunListEntry(8, "0.500/s"), " 9\t0.500/s");
    EXPECT_EQ(RunListEntry(9, "n/a"), " 10\tn/a");

    SweepData sweep = WorkedExampleRun();
    AnalysisResults results;
    EXPECT_EQ(SummarizeRun(sweep, {0, 4000}, "10000", 4, results).runListEntry, " 5\t0.500/s");
}

TEST(ElapsedTime, DecimalsOnlyAsNeeded)
{
    EXPECT_EQ(ElapsedSecondsText(12345), " 12.345");
    EXPECT_EQ(ElapsedSecondsText(12000), " 12");
    EXPECT_EQ(ElapsedSecondsText(12300), " 12.3");
    EXPECT_EQ(ElapsedSecondsText(12050), " 12.05");
    EXPECT_EQ(ElapsedSecondsText(7), " 0.007");
    EXPECT_EQ(ElapsedSecondsText(0), " 0");
    EXPECT_EQ(ElapsedSecondsText(4294967295u), " 4294967.295");
}

TEST(ElapsedTime, FinishTextHasThreeDecimals)
{
    EXPECT_EQ(FinishText(12345), "Progress finished 12.345 s");
    EXPECT_EQ(FinishText(12000), "Progress finished 12.000 s");
    EXPECT_EQ(FinishText(5), "Progress finished 0.005 s");
}

TEST(ElapsedTime, SummaryLineTwoWithAndWithoutDecimals)
{
    AnalysisResults results;
    SweepData whole = WorkedExampleRun();
    const RunSummary wholeSeconds = SummarizeRun(whole, {500, 12500}, "10000", 0, results);
    ASSERT_TRUE(wholeSeconds.information.has_value());
    EXPECT_EQ(LinesOf(*wholeSeconds.information)[1], " 12sec");

    SweepData part = WorkedExampleRun();
    const RunSummary partSeconds = SummarizeRun(part, {500, 1750}, "10000", 1, results);
    ASSERT_TRUE(partSeconds.information.has_value());
    EXPECT_EQ(LinesOf(*partSeconds.information)[1], " 1.25sec");
}

// ---------------------------------------------------------------------------

TEST(Guard, ZeroOrOnePointAddsTheEntryButNoSummary)
{
    for (int count : {0, 1}) {
        SCOPED_TRACE(count);
        std::vector<Point> points;
        if (count == 1) points.push_back({-2.0, 1e-10, 3e-6});
        SweepData sweep = FinishedRun(points, -1);
        AnalysisResults results{1e-9f, 1e21, 1e-8, 0.5};
        const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "10000", 3, results);

        EXPECT_EQ(summary.runListEntry, count == 1 ? " 4\t0.081/s" : " 4\t0.000/s");
        EXPECT_FALSE(summary.information.has_value());
        EXPECT_FALSE(summary.finishText.has_value());
        EXPECT_FALSE(summary.redrawGraphs);
        EXPECT_EQ(sweep.Cmin, count == 1 ? 1e-10 : 1.0);
        EXPECT_EQ(sweep.Cmax, count == 1 ? 1e-10 : 0.0);
        EXPECT_EQ(sweep.Gmax, count == 1 ? 3e-6 : 0.0);
        if (count == 1) {
            EXPECT_EQ(sweep.Bias[1], -2.0);
        }
        EXPECT_EQ(results.Cet, 1e-9f);
        EXPECT_EQ(results.Nsub, 1e21);
        EXPECT_EQ(results.DebyeLength, 1e-8);
        EXPECT_EQ(results.CfbRatio, 0.5);
    }
}

TEST(Guard, NoPositiveCapacitanceGivesNoSummary)
{
    SweepData sweep = FinishedRun({{0.0, 0.0, 1e-6}, {1.0, -3e-12, 2e-6}, {2.0, -1e-12, 0.0}});
    AnalysisResults results;
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "10000", 0, results);
    EXPECT_EQ(sweep.Cmax, 0.0);
    EXPECT_EQ(sweep.Cmin, -3e-12);
    EXPECT_EQ(sweep.Gmax, 2e-6);
    EXPECT_EQ(summary.runListEntry, " 1\t0.243/s");
    EXPECT_FALSE(summary.information.has_value());
    EXPECT_FALSE(summary.finishText.has_value());
    EXPECT_FALSE(summary.redrawGraphs);
    EXPECT_EQ(results.Cet, 0.0f);
}

TEST(Guard, NoCapacitanceBelowOneFaradLeavesCminAtOne)
{
    SweepData sweep = FinishedRun({{0.0, 2.0, 1e-6}, {1.0, 3.0, 2e-6}});
    AnalysisResults results;
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "10000", 0, results);
    EXPECT_EQ(sweep.Cmin, 1.0);
    ASSERT_TRUE(summary.information.has_value());
    EXPECT_EQ(LinesOf(*summary.information)[4], "Cmin:1000.000[mF]" + Blanks(8));
}

// ---------------------------------------------------------------------------

TEST(ZeroCmin, DopingShowsZeroAndTheRatioOfTheLastAnalysis)
{
    AnalysisResults untouched{1e-9f, 1e21, 1e-8, 0.5};
    EXPECT_FALSE(ComputeDoping(1e-10, 0.0, 10000.0f, untouched).has_value());
    EXPECT_FALSE(ComputeDoping(0.0, 3e-11, 10000.0f, untouched).has_value());
    EXPECT_EQ(untouched.Nsub, 1e21);
    EXPECT_EQ(untouched.DebyeLength, 1e-8);
    EXPECT_EQ(untouched.CfbRatio, 0.5);

    // None before: the ratio shows as 0.
    AnalysisResults fresh;
    SweepData sweep = FinishedRun({{0.0, 1e-10, 1e-6}, {1.0, 0.0, 1e-6}});
    RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "10000", 0, fresh);
    ASSERT_TRUE(summary.information.has_value());
    std::vector<std::string> lines = LinesOf(*summary.information);
    EXPECT_EQ(lines[4], "Cmin:0.000[pF]" + Blanks(11));
    EXPECT_EQ(lines[6], "CET:3.43nm");
    EXPECT_EQ(lines[7], "Nsub:0.00E+00 (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*0.000");
    EXPECT_TRUE(summary.redrawGraphs);

    // After a successful analysis: its ratio stays and is shown.
    AnalysisResults kept;
    SweepData good = WorkedExampleRun();
    SummarizeRun(good, kTwelveSeconds, "10000", 0, kept);
    const double ratio = kept.CfbRatio;
    const double nsub = kept.Nsub;
    SweepData zero = FinishedRun({{0.0, 2e-10, 1e-6}, {1.0, 0.0, 1e-6}});
    summary = SummarizeRun(zero, kTwelveSeconds, "10000", 1, kept);
    ASSERT_TRUE(summary.information.has_value());
    lines = LinesOf(*summary.information);
    EXPECT_EQ(lines[7], "Nsub:0.00E+00 (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*0.786");
    EXPECT_EQ(kept.CfbRatio, ratio);
    EXPECT_EQ(kept.Nsub, nsub);
    EXPECT_FLOAT_EQ(kept.Cet, CapacitanceEquivalentThickness(10000, 2e-10));
}

TEST(NegativePadArea, ThicknessNegativeDopingFromTheSquareRatioKept)
{
    AnalysisResults results;
    results.CfbRatio = 0.25;
    SweepData sweep = WorkedExampleRun();
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "-10000", 0, results);
    ASSERT_TRUE(summary.information.has_value());
    const std::vector<std::string> lines = LinesOf(*summary.information);
    EXPECT_EQ(lines[6], "CET:-3.43nm");
    EXPECT_EQ(lines[7], "Nsub:2.14E+18 (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*0.250");
    EXPECT_FLOAT_EQ(results.Cet, -3.425276e-9f);
    EXPECT_NEAR(results.Nsub / 2.13753e24, 1.0, 5e-6);
    EXPECT_NEAR(results.DebyeLength / 2.796e-9, 1.0, 2e-4);
    EXPECT_EQ(results.CfbRatio, 0.25);
}

// ---------------------------------------------------------------------------

TEST(NotComputable, PadAreaZero)
{
    for (const char* area : {"0", "", "abc"}) {
        SCOPED_TRACE(area);
        AnalysisResults results{1e-9f, 1e21, 1e-8, 0.5};
        SweepData sweep = FinishedRun({{-1.0, 1e-10, 2e-6}, {1.0, 3e-11, 1e-6}}, -1);
        const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, area, 0, results);

        ASSERT_TRUE(summary.information.has_value());
        const std::vector<std::string> lines = LinesOf(*summary.information);
        ASSERT_EQ(lines.size(), 9u);
        EXPECT_EQ(lines[3], "Cmax:100.000[pF]" + Blanks(9));
        EXPECT_EQ(lines[6], "CET:0.00nm");
        EXPECT_EQ(lines[7], "Nsub:n/a (cm-3)");
        EXPECT_EQ(lines[8], "CFB: Cmax*n/a");
        EXPECT_EQ(summary.finishText, "Progress finished 12.345 s");
        EXPECT_TRUE(summary.redrawGraphs);
        EXPECT_EQ(summary.runListEntry, " 1\t0.162/s");
        EXPECT_EQ(sweep.Bias[1], -1.0);
        EXPECT_EQ(results.Cet, 0.0f);
        EXPECT_EQ(results.Nsub, 1e21);
        EXPECT_EQ(results.DebyeLength, 1e-8);
        EXPECT_EQ(results.CfbRatio, 0.5);
    }
}

TEST(NotComputable, CmaxEqualToCmin)
{
    AnalysisResults results{0, 1e21, 1e-8, 0.5};
    SweepData sweep = FinishedRun({{0.0, 1e-10, 1e-6}, {1.0, 1e-10, 1e-6}, {2.0, 1e-10, 1e-6}});
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "10000", 0, results);

    ASSERT_TRUE(summary.information.has_value());
    const std::vector<std::string> lines = LinesOf(*summary.information);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[4], "Cmin:100.000[pF]" + Blanks(9));
    EXPECT_EQ(lines[6], "CET:3.43nm");
    EXPECT_EQ(lines[7], "Nsub:n/a (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*n/a");
    EXPECT_TRUE(summary.finishText.has_value());
    EXPECT_TRUE(summary.redrawGraphs);
    EXPECT_FLOAT_EQ(results.Cet, 3.425276e-9f);
    EXPECT_EQ(results.Nsub, 1e21);
    EXPECT_EQ(results.DebyeLength, 1e-8);
    EXPECT_EQ(results.CfbRatio, 0.5);
}

TEST(NotComputable, DopingNeverReturnsAnInfiniteValueAsComputed)
{
    AnalysisResults results{3.4e-9f, 1e21, 1e-8, 0.5};
    const std::optional<double> equal = ComputeDoping(1e-10, 1e-10, 10000.0f, results);
    ASSERT_TRUE(equal.has_value());
    EXPECT_FALSE(std::isfinite(*equal));
    const std::optional<double> noArea = ComputeDoping(1e-10, 3e-11, 0.0f, results);
    ASSERT_TRUE(noArea.has_value());
    EXPECT_FALSE(std::isfinite(*noArea));
    EXPECT_EQ(results.Nsub, 1e21);
    EXPECT_EQ(results.DebyeLength, 1e-8);
    EXPECT_EQ(results.CfbRatio, 0.5);
}

TEST(NotComputable, PadAreaBeyondA32BitReal)
{
    AnalysisResults results{0, 1e21, 1e-8, 0.5};
    SweepData sweep = WorkedExampleRun();
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "1e52", 0, results);
    ASSERT_TRUE(summary.information.has_value());
    const std::vector<std::string> lines = LinesOf(*summary.information);
    EXPECT_EQ(lines[6], "CET:n/a");
    EXPECT_EQ(lines[7], "Nsub:n/a (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*n/a");
    EXPECT_TRUE(std::isfinite(results.Cet));
    EXPECT_EQ(results.Nsub, 1e21);
    EXPECT_EQ(results.CfbRatio, 0.5);
}

TEST(InformationText, LineEndsOnlyBetweenLines)
{
    SummaryFigures figures;
    figures.pointCount = 2;
    figures.elapsedMilliseconds = 1000;
    figures.cmax = 1e-10;
    figures.cmin = 3e-11;
    figures.gmax = 1e-6;
    figures.cet = 3.425276e-9f;
    figures.doping = 2.13753e18;
    figures.cfbRatio = 0.786077;
    EXPECT_EQ(InformationText(figures),
              "2Points\r\n 1sec\r\n2.000/s\r\nCmax:100.000[pF]" + Blanks(9) +
                  "\r\nCmin:30.000[pF]" + Blanks(10) + "\r\nGmax:1.0000[uS]" + Blanks(10) +
                  "\r\nCET:3.43nm\r\nNsub:2.14E+18 (cm-3)\r\nCFB: Cmax*0.786");
}

TEST(Locale, DecimalPointWhateverTheLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no decimal-comma locale installed";
    SweepData sweep = RealisticRun();
    AnalysisResults results;
    const RunSummary summary = SummarizeRun(sweep, kTwelveSeconds, "7853.98", 0, results);
    std::setlocale(LC_ALL, "C");
    ASSERT_TRUE(summary.information.has_value());
    const std::vector<std::string> lines = LinesOf(*summary.information);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], " 12.345sec");
    EXPECT_EQ(lines[2], "3.321/s");
    EXPECT_EQ(lines[3], "Cmax:123.456[pF]" + Blanks(9));
    EXPECT_EQ(lines[6], "CET:2.18nm");
    EXPECT_EQ(lines[7], "Nsub:1.08E+19 (cm-3)");
    EXPECT_EQ(lines[8], "CFB: Cmax*0.840");
    EXPECT_EQ(summary.runListEntry, " 1\t3.321/s");
    EXPECT_EQ(summary.finishText, "Progress finished 12.345 s");
}

}  // namespace
}  // namespace quillon
