#include "measure/frequency_list.h"

#include <gtest/gtest.h>

#include "measure/series_duration.h"

namespace quillon {
namespace {

struct ListCase {
    const char* typed;
    std::vector<int32_t> values;
    const char* problem;
};

TEST(FrequencyListTest, TypedListsAreReadInTheirOrderOrRefusedWithTheReason)
{
    const ListCase cases[] = {
        {"1k 10k 100k 1M", {1000, 10000, 100000, 1000000}, ""},
        {"20, 1.5kHz;150 Hz 1MHz", {}, "\"Hz\" is not a frequency (written as 1k 10k 100k 1M)."},
        {"20,1.5kHz;150hz\t1MHz", {20, 1500, 150, 1000000}, ""},
        {"1M 100k", {1000000, 100000}, ""},
        {"999.6 19.4", {}, "19.4 Hz is outside the meter's 20 Hz to 1 MHz."},
        {"1.0000004M", {1000000}, ""},
        {"1.001M", {}, "1.001 MHz is outside the meter's 20 Hz to 1 MHz."},
        {"-1k", {}, "-1 kHz is outside the meter's 20 Hz to 1 MHz."},
        {"1m", {}, "\"1m\": m would be milli; write 1M or 1MHz for a megahertz."},
        {"10k 1k 10000", {}, "10 kHz is in the list twice."},
        {"  ;, ", {}, "The list has no frequency (written as 1k 10k 100k 1M)."},
        {"1k ten", {}, "\"ten\" is not a frequency (written as 1k 10k 100k 1M)."},
        {"1e400", {}, "\"1e400\" is not a frequency (written as 1k 10k 100k 1M)."},
    };
    for (const ListCase& c : cases) {
        const TypedList<int32_t> list = ReadFrequencyList(c.typed);
        EXPECT_EQ(list.values, c.values) << c.typed;
        EXPECT_EQ(list.problem, c.problem) << c.typed;
    }
    // What the list box is filled with reads back as the same list.
    const std::vector<int32_t> odd = {20, 150, 1500, 12345, 100000, 1000000};
    EXPECT_EQ(FrequencyListText(odd), "20 150 1.5k 12.345k 100k 1M");
    EXPECT_EQ(ReadFrequencyList(FrequencyListText(odd)).values, odd);
}

TEST(FrequencyListTest, DecadesAreFilledEvenlyOnALogScaleWithTheStopIncluded)
{
    EXPECT_EQ(DecadeFrequencyList(1000, 1e6, 1).values,
              (std::vector<int32_t>{1000, 10000, 100000, 1000000}));
    EXPECT_EQ(DecadeFrequencyList(100, 1000, 5).values,
              (std::vector<int32_t>{100, 158, 251, 398, 631, 1000}));
    // Downwards, and a stop off the grid is added.
    EXPECT_EQ(DecadeFrequencyList(1e6, 2e5, 2).values,
              (std::vector<int32_t>{1000000, 316228, 200000}));
    // At the low end many points round to the same hertz: each counts once.
    EXPECT_EQ(DecadeFrequencyList(20, 22, 100).values, (std::vector<int32_t>{20, 21, 22}));
    EXPECT_EQ(DecadeFrequencyList(10, 1000, 5).problem,
              "10 Hz is outside the meter's 20 Hz to 1 MHz.");
    EXPECT_EQ(DecadeFrequencyList(100, 1000, 0).problem, "The points per decade must be 1 to 100.");
}

TEST(FrequencyListTest, BiasListsAreReadToTheMillivoltInTheUsersSign)
{
    const struct {
        const char* typed;
        std::vector<int16_t> millivolts;
        const char* problem;
    } cases[] = {
        {"-2 -1.5V, 0;0.0005", {}, "\"0.0005\" is in the list twice."},
        {"-2 -1.5V, 0;0.0015", {-2000, -1500, 0, 2}, ""},
        {"32.767 -32.768", {32767, -32768}, ""},
        {"32.768", {}, "\"32.768\" is beyond the -32.768 to 32.767 V a bias is held in."},
        {"1 x", {}, "\"x\" is not a bias in volts (written as -2 -1.5 -1)."},
        {"", {}, "The list has no bias (written as -2 -1.5 -1)."},
    };
    for (const auto& c : cases) {
        const TypedList<int16_t> list = ReadBiasList(c.typed);
        EXPECT_EQ(list.problem, c.problem) << c.typed;
        EXPECT_EQ(list.values, c.millivolts) << c.typed;
    }
}

TEST(FrequencyListTest, ASeriesTakesTheDataSheetTimeOfEachPointWithItsDelayAndAveraging)
{
    InstrumentSettings instrument;
    instrument.integration = Integration::Long;
    instrument.averaging = 4;
    instrument.triggerDelay = "0.5";
    // 500 ms delay + 4 x 1040 ms (long, below 1 kHz) + the bus's 15 ms.
    EXPECT_EQ(PointMilliseconds(instrument, 100), 500u + 4u * 1040u + 15u);
    EXPECT_EQ(PointMilliseconds(instrument, 1000000), 500u + 4u * 820u + 15u);
    instrument.integration.reset();  // the meter's own: medium
    EXPECT_EQ(SeriesMilliseconds(instrument, {100, 1000}, 10),
              10u * (515 + 4 * 400 + 515 + 4 * 190));
    // C-f changes the frequency before each point: 160 ms below 1 kHz, 100
    // ms below 10 kHz; with one frequency it never changes.
    EXPECT_EQ(FrequencySweepMilliseconds(instrument, {100, 1000}, 10),
              10u * (515 + 4 * 400 + 160 + 515 + 4 * 190 + 100));
    EXPECT_EQ(FrequencySweepMilliseconds(instrument, {100}, 10), 10u * (515 + 4 * 400));
}

}  // namespace
}  // namespace quillon
