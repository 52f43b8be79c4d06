#include "analysis/family_of_runs.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(FamilyOfRunsTest, EachRunGivesItsFirstSweepAtItsFrequencyAndRunsWithoutOneAreNamed)
{
    StoredRun doubleSweep;
    doubleSweep.path = "/runs/cv-a.csv";
    doubleSweep.frequencyHertz = 1e5;
    doubleSweep.padAreaSquareMicrons = 2500;
    doubleSweep.sample = "w1";
    // Up from -1 V to 0 V and back, the stop bias measured twice.
    for (const double bias : {-1.0, -0.5, 0.0, 0.0, -0.5, -1.0})
        doubleSweep.points.push_back({bias, 1e-11 - bias * 1e-12, 1e-7});
    StoredRun withLegs = doubleSweep;
    withLegs.frequencyHertz = 1e3;
    withLegs.padAreaSquareMicrons.reset();
    withLegs.legs = {{SweepDirection::Up, 1},   {SweepDirection::Up, 1},
                     {SweepDirection::Down, 1}, {SweepDirection::Down, 1},
                     {SweepDirection::Down, 1}, {SweepDirection::Down, 1}};
    StoredRun unknown = doubleSweep;
    unknown.path = "/runs/table.txt";
    unknown.frequencyHertz.reset();

    const RunsAsFamily made = FamilyOfRuns({unknown, doubleSweep, withLegs});
    EXPECT_EQ(made.leftOut, std::vector<std::string>{"table.txt: the frequency is not known"});
    EXPECT_EQ(made.family.source, "2 runs");
    EXPECT_EQ(made.family.sample, "w1");
    EXPECT_EQ(made.family.padAreaSquareMicrons, 2500.0);
    std::vector<std::pair<double, double>> biasAndFrequency;
    for (const FamilyPoint& point : made.family.points)
        biasAndFrequency.emplace_back(point.biasVolts, point.frequencyHertz);
    // Without legs the sweep ends at its stop; the legs end it where they say.
    const std::vector<std::pair<double, double>> expected = {
        {-1.0, 1e5}, {-0.5, 1e5}, {0.0, 1e5}, {-1.0, 1e3}, {-0.5, 1e3}};
    EXPECT_EQ(biasAndFrequency, expected);
    EXPECT_EQ(made.family.points[1].capacitanceFarads, 1.05e-11);
}

}  // namespace
}  // namespace quillon
