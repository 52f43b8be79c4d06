#include "measure/measurement_settings.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

MeasurementSettingsValues Sweep(const char* start, const char* stop, const char* step)
{
    MeasurementSettingsValues values;
    values.text[kStartBias] = start;
    values.text[kStopBias] = stop;
    values.text[kBiasStep] = step;
    return values;
}

int16_t Millivolts(const SettingOr<int16_t>& reading)
{
    EXPECT_TRUE(std::holds_alternative<int16_t>(reading));
    return std::holds_alternative<int16_t>(reading) ? std::get<int16_t>(reading) : 0;
}

TEST(MeasurementSettings, BiasReadsAsSignedMillivolts)
{
    MeasurementSettingsValues values = Sweep("-1.25", "2", "0.25");
    EXPECT_EQ(BiasSign(values), 1);
    EXPECT_EQ(Millivolts(StartBiasMillivolts(values, 1)), -1250);
    values.check[kInvertBias] = 1;
    const int16_t sign = BiasSign(values);
    EXPECT_EQ(sign, -1);
    EXPECT_EQ(Millivolts(StartBiasMillivolts(values, sign)), 1250);
    EXPECT_EQ(Millivolts(StopBiasMillivolts(values, sign)), -2000);
}

TEST(MeasurementSettings, StepPointsFromStartTowardsStop)
{
    const MeasurementSettingsValues values = Sweep("1", "-1", "0.5");
    EXPECT_EQ(Millivolts(BiasStepMillivolts(values, 1000, -1000)), -500);
    EXPECT_EQ(Millivolts(BiasStepMillivolts(values, -1000, 1000)), 500);
    EXPECT_EQ(Millivolts(BiasStepMillivolts(values, 300, 300)), 0);
    // A negative step typed by the user turns the other way.
    const MeasurementSettingsValues negative = Sweep("0", "1", "-0.25");
    EXPECT_EQ(Millivolts(BiasStepMillivolts(negative, 0, 1000)), -250);
}

TEST(MeasurementSettings, OutOfRangeBiasIsReportedWithItsField)
{
    const auto start = StartBiasMillivolts(Sweep("32.768", "0", "1"), 1);
    ASSERT_TRUE(std::holds_alternative<SettingOutOfRange>(start));
    EXPECT_EQ(std::get<SettingOutOfRange>(start).label, "Start Bias [V]");
    EXPECT_EQ(Millivolts(StartBiasMillivolts(Sweep("-32.768", "0", "1"), 1)), -32768);
    // Inverting -32.768 V overflows.
    EXPECT_TRUE(std::holds_alternative<SettingOutOfRange>(
        StartBiasMillivolts(Sweep("-32.768", "0", "1"), -1)));
    EXPECT_TRUE(
        std::holds_alternative<SettingOutOfRange>(StopBiasMillivolts(Sweep("0", "1e9", "1"), 1)));
}

TEST(MeasurementSettings, SwitchesReadTheirValues)
{
    MeasurementSettingsValues values;
    EXPECT_FALSE(DoubleSweep(values));
    values.check = {0, 1, 2, 1, 1};
    EXPECT_TRUE(DoubleSweep(values));
    EXPECT_TRUE(QuitWhenUnbal(values));  // any non-zero value
    EXPECT_TRUE(BeepWhenFinished(values));
    EXPECT_TRUE(BeepWhenTriggered(values));
    values.check = {2, 2, 0, 2, 2};
    EXPECT_EQ(BiasSign(values), 1);
    EXPECT_FALSE(DoubleSweep(values));
    EXPECT_FALSE(QuitWhenUnbal(values));
    EXPECT_FALSE(BeepWhenFinished(values));
}

TEST(MeasurementSettings, InstrumentSettingsFromTheInputs)
{
    MeasurementSettingsValues values;
    values.text[kGpibBoard] = "0";
    values.text[kInstrumentAddress] = "17";
    values.text[kFrequency] = "1e3";
    values.text[kAcLevel] = " 50";
    values.text[kTriggerDelay] = " 0.01 ";
    values.text[kAveraging] = "2";
    values.option = 1;
    const auto read = ReadInstrumentSettings(values);
    ASSERT_TRUE(std::holds_alternative<InstrumentSettings>(read));
    const InstrumentSettings& settings = std::get<InstrumentSettings>(read);
    EXPECT_EQ(settings.board, 0);
    EXPECT_EQ(settings.address, 17);
    EXPECT_EQ(settings.frequencyHertz, 1000);
    EXPECT_EQ(settings.acLevel, " 50");
    EXPECT_EQ(settings.triggerDelay, "0.01");
    EXPECT_EQ(settings.averaging, 2);
    EXPECT_EQ(settings.integration, Integration::Medium);

    values.text[kFrequency] = "1,000";
    values.text[kInstrumentAddress] = "ERROR";
    values.option.reset();
    const InstrumentSettings other = std::get<InstrumentSettings>(ReadInstrumentSettings(values));
    EXPECT_EQ(other.frequencyHertz, 1);
    EXPECT_EQ(other.address, 0);
    EXPECT_FALSE(other.integration.has_value());
}

TEST(MeasurementSettings, InstrumentSettingsRefuseValuesThatDoNotFit)
{
    MeasurementSettingsValues values;
    values.text[kFrequency] = "1000";
    values.text[kAveraging] = "1";
    values.text[kGpibBoard] = "40000";
    auto read = ReadInstrumentSettings(values);
    ASSERT_TRUE(std::holds_alternative<SettingOutOfRange>(read));
    EXPECT_EQ(std::get<SettingOutOfRange>(read).label, "BOARD");

    values.text[kGpibBoard] = "0";
    values.text[kFrequency] = "3e9";
    read = ReadInstrumentSettings(values);
    ASSERT_TRUE(std::holds_alternative<SettingOutOfRange>(read));
    EXPECT_EQ(std::get<SettingOutOfRange>(read).label, "Frequency [Hz]");
}

TEST(MeasurementSettings, CyclesAndPadArea)
{
    MeasurementSettingsValues values;
    values.text[kCycles] = "";
    EXPECT_EQ(Millivolts(CycleCount(values)), 0);
    values.text[kCycles] = "2.5";
    EXPECT_EQ(Millivolts(CycleCount(values)), 2);
    values.text[kCycles] = "32768";
    EXPECT_TRUE(std::holds_alternative<SettingOutOfRange>(CycleCount(values)));
    values.text[kPadArea] = "ERROR";
    EXPECT_EQ(PadAreaSquareMicrons(values), 0.0);
    values.text[kPadArea] = "7853.98";
    EXPECT_DOUBLE_EQ(PadAreaSquareMicrons(values), 7853.98);
}

}  // namespace
}  // namespace quillon
