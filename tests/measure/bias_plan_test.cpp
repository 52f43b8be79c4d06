#include "measure/bias_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

BiasSweep Sweep(int start, int stop, int step, int cycles = 1, bool doubleSweep = false)
{
    return {static_cast<int16_t>(start), static_cast<int16_t>(stop), static_cast<int16_t>(step),
            static_cast<int16_t>(cycles), doubleSweep};
}

using Plan = std::vector<int16_t>;

TEST(BiasPlan, ForwardSweepsEndAtTheLastValueNotPassingStop)
{
    EXPECT_EQ(BuildBiasPlan(Sweep(0, 1000, 250)), (Plan{0, 250, 500, 750, 1000}));
    EXPECT_EQ(BuildBiasPlan(Sweep(0, 1000, 300)), (Plan{0, 300, 600, 900}));
    EXPECT_EQ(BuildBiasPlan(Sweep(1000, -1000, -500)), (Plan{1000, 500, 0, -500, -1000}));
}

TEST(BiasPlan, ReturnSweepStartsExactlyAtStop)
{
    // On the grid: stop is measured twice in a row.
    const Plan twoCycles = BuildBiasPlan(Sweep(0, 1000, 250, 2, true));
    const Plan oneCycle = {0, 250, 500, 750, 1000, 1000, 750, 500, 250, 0};
    Plan expected = oneCycle;
    expected.insert(expected.end(), oneCycle.begin(), oneCycle.end());
    EXPECT_EQ(twoCycles, expected);
    // Off the grid: the return sweep runs on a grid of its own.
    EXPECT_EQ(BuildBiasPlan(Sweep(0, 1000, 300, 1, true)),
              (Plan{0, 300, 600, 900, 1000, 700, 400, 100}));
}

TEST(BiasPlan, AStepAwayFromStopGivesNoPoints)
{
    EXPECT_TRUE(BuildBiasPlan(Sweep(0, 1000, -100, 3, true)).empty());
    EXPECT_EQ(BiasPlanLength(Sweep(0, 1000, -100, 3, true)), 0);
    EXPECT_TRUE(BuildBiasPlan(Sweep(0, 1000, 0)).empty());
}

TEST(BiasPlan, EndsOfTheRangeDoNotOverflow)
{
    EXPECT_EQ(BuildBiasPlan(Sweep(32000, 32767, 500)), (Plan{32000, 32500}));
    EXPECT_EQ(BuildBiasPlan(Sweep(-32000, -32768, -500)), (Plan{-32000, -32500}));
    EXPECT_EQ(BuildBiasPlan(Sweep(-32768, 32767, 32767, 1, true)),
              (Plan{-32768, -1, 32766, 32767, 0, -32767}));
}

TEST(BiasPlan, LengthIsKnownWithoutBuilding)
{
    for (int start : {-1000, 0, 370})
        for (int stop : {-1000, 5, 999})
            for (int step : {-333, -7, 1, 250})
                for (bool back : {false, true}) {
                    const BiasSweep sweep = Sweep(start, stop, step, 3, back);
                    EXPECT_EQ(BiasPlanLength(sweep),
                              static_cast<int64_t>(BuildBiasPlan(sweep).size()))
                        << start << " " << stop << " " << step << " " << back;
                }
    // Far more than a run holds, counted without the memory for it.
    EXPECT_EQ(BiasPlanLength(Sweep(-32768, 32767, 1, 32767, true)), 32767LL * 2 * 65536);
}

}  // namespace
}  // namespace quillon
