#include "measure/frequency_sweep_run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "measure_fixture.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

class FrequencySweepRunTest : public ::testing::Test {
protected:
    FrequencySweepRunTest()
    {
        // The sweep's own inputs are not used; SHORT, inverted bias.
        window.settings.text = {"x", "x", "x", "FREQ", "1", "0", "50", "10000", "0", "17", "1"};
        window.settings.option = 0;
        window.settings.check[kInvertBias] = 1;
        window.onYield = [this](int) {
            atTrigger.push_back({bench.lab.meter->biasVolts(),
                                 static_cast<int32_t>(bench.lab.meter->frequencyHertz())});
        };
    }

    // The meter's bias and frequency as each point was triggered.
    std::vector<std::pair<double, int32_t>> atTrigger;
    testing::Bench bench;
    testing::TempFolder temp;
    testing::RecordingDesktop desktop;
    Environment environment{bench.clock, temp.Folder(), desktop};
    testing::RecordingRunWindow window;
    const FrequencySweepPlan plan{{-500, 250}, {1000, 100000, 20}};
};

TEST_F(FrequencySweepRunTest, EachBiasIsMeasuredAtEveryFrequencySentAfterTheClearBeforeTheTrigger)
{
    const FrequencySweepResult result = RunFrequencySweep(window, environment, plan);
    EXPECT_EQ(result.ending, RunEnding::Completed);
    EXPECT_TRUE(desktop.messages.empty());
    // The meter gets the opposite sign; the points keep the user's.
    const std::vector<std::pair<double, int32_t>> expected = {
        {0.5, 1000}, {0.5, 100000}, {0.5, 20}, {-0.25, 1000}, {-0.25, 100000}, {-0.25, 20}};
    EXPECT_EQ(atTrigger, expected);
    ASSERT_EQ(result.points.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(result.points[i].biasVolts, -expected[i].first) << i;
        EXPECT_EQ(result.points[i].frequencyHertz, expected[i].second) << i;
    }
    // The conductance of the traps follows the frequency.
    EXPECT_NE(result.points[0].conductanceSiemens, result.points[1].conductanceSiemens);
    // A frequency is sent only where it changes, right after the clear.
    std::vector<std::string> afterClear;
    const std::vector<BusCall>& calls = bench.lab.bus->Calls();
    for (std::size_t i = 0; i + 1 < calls.size(); ++i)
        if (calls[i].call == "ibclr")
            afterClear.push_back(calls[i + 1].call + " " + calls[i + 1].data);
    EXPECT_EQ(afterClear.size(), 8u);  // the set-up's, six points', the return to idle's
    EXPECT_EQ(std::count(afterClear.begin(), afterClear.end(), "ibwrt FREQ  100000Hz"), 2);
    EXPECT_EQ(std::count(afterClear.begin(), afterClear.end(), "ibwrt FREQ  20Hz"), 2);
    EXPECT_EQ(std::count(afterClear.begin(), afterClear.end(), "ibwrt FREQ  1000Hz"), 1);
    EXPECT_FALSE(bench.lab.meter->biasOn());
}

TEST_F(FrequencySweepRunTest, ATimeOutKeepsThePointsReadAndSwitchesTheBiasOff)
{
    window.onYield = [this](int point) {
        if (point == 4) bench.lab.meter->SetFault(Simulated4284A::Fault::NoServiceRequest);
    };
    const FrequencySweepResult result = RunFrequencySweep(window, environment, plan);
    EXPECT_EQ(result.ending, RunEnding::TimedOut);
    EXPECT_EQ(result.points.size(), 3u);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, kTimeOverMessage);
    EXPECT_FALSE(bench.lab.meter->biasOn());
    EXPECT_EQ(window.running, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace quillon
