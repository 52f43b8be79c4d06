#include "measure/instrument_setup.h"

#include <gtest/gtest.h>

#include "measure_fixture.h"

namespace quillon {
namespace {

InstrumentSettings ExampleSettings()
{
    MeasurementSettingsValues values;
    values.text[kGpibBoard] = "0";
    values.text[kInstrumentAddress] = "17";
    values.text[kFrequency] = "1000";
    values.text[kAcLevel] = "50";
    values.text[kTriggerDelay] = " 0.01 ";
    values.text[kAveraging] = "2";
    values.option = static_cast<int>(Integration::Medium);
    return std::get<InstrumentSettings>(ReadInstrumentSettings(values));
}

const std::vector<std::string> kExampleMessages = {"DISP:PAGE MEAS",   "DISP:LINE \"TESTING\"",
                                                   "FUNC:IMP CPG",     "FREQ  1000Hz",
                                                   "VOLT 50mV",        "TRIG:SOUR BUS",
                                                   "OUTP:HPOW ON",     "FUNC:IMP:RANG:AUTO ON",
                                                   "APER MED,2",       "FUNC:SMON:VAC ON",
                                                   "FUNC:SMON:IAC ON", "TRIG:DEL 0.01",
                                                   "BIAS:STAT ON",     "*SRE 16"};

TEST(InstrumentSetup, SendsTheWholeSequenceWithItsPauses)
{
    testing::Bench bench;
    const InstrumentConnection connection = SetUpInstrument(ExampleSettings(), bench.clock);
    ASSERT_TRUE(connection.opened);
    const int ud = connection.descriptor;

    std::vector<std::string> expected = {"ibconfig 27,1", "ibclr "};
    for (const std::string& message : kExampleMessages) expected.push_back("ibwrt " + message);
    EXPECT_EQ(bench.CallsOn(ud), expected);

    // One pause of 20 ms after the clear and after each of the 14 messages.
    std::vector<uint32_t> ticks;
    for (const BusCall& call : bench.lab.bus->Calls())
        if (call.call == "ibwrt") ticks.push_back(call.tick);
    ASSERT_EQ(ticks.size(), 14u);
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i], 1020u + 20u * i) << i;
    EXPECT_EQ(bench.clock.TickCount(), 1300u);

    EXPECT_TRUE(bench.lab.meter->Unrecognised().empty());
    EXPECT_EQ(bench.lab.meter->frequencyHertz(), 1000.0);
    EXPECT_EQ(bench.lab.meter->aperture(), Simulated4284A::Aperture::Medium);
    EXPECT_EQ(bench.lab.meter->averaging(), 2);
    EXPECT_DOUBLE_EQ(bench.lab.meter->triggerDelaySeconds(), 0.01);
    EXPECT_TRUE(bench.lab.meter->biasOn());
    EXPECT_TRUE(bench.lab.meter->busTrigger());
}

TEST(InstrumentSetup, OpensWithTheTenSecondLimitAndEoi)
{
    testing::Bench bench;
    InstrumentSettings settings = ExampleSettings();
    settings.board = 0;
    settings.address = 22;
    SetUpInstrument(settings, bench.clock);
    const BusCall& open = bench.lab.bus->Calls().front();
    EXPECT_EQ(open.call, "ibdev");
    EXPECT_EQ(open.data, "0,22");
}

TEST(InstrumentSetup, NoIntegrationSelectedWritesAnEmptyMessage)
{
    testing::Bench bench;
    InstrumentSettings settings = ExampleSettings();
    settings.integration.reset();
    const InstrumentConnection connection = SetUpInstrument(settings, bench.clock);
    const std::vector<std::string> calls = bench.CallsOn(connection.descriptor);
    ASSERT_EQ(calls.size(), 16u);
    EXPECT_EQ(calls[9], "ibwrt FUNC:IMP:RANG:AUTO ON");
    EXPECT_EQ(calls[10], "ibwrt ");
    EXPECT_EQ(bench.lab.bus->Calls()[11].count, 0);
    EXPECT_EQ(calls[11], "ibwrt FUNC:SMON:VAC ON");
    EXPECT_EQ(bench.clock.TickCount(), 1300u);
}

TEST(InstrumentSetup, ApertureAndFrequencyTexts)
{
    EXPECT_EQ(ApertureCommand(Integration::Short, 4), "APER SHORT,4");
    EXPECT_EQ(ApertureCommand(Integration::Long, 255), "APER LONG,255");
    EXPECT_EQ(ApertureCommand(std::nullopt, 4), "");

    testing::Bench bench;
    InstrumentSettings settings = ExampleSettings();
    settings.frequencyHertz = -5;
    settings.acLevel = "abc";
    const InstrumentConnection connection = SetUpInstrument(settings, bench.clock);
    const std::vector<std::string> calls = bench.CallsOn(connection.descriptor);
    EXPECT_EQ(calls[5], "ibwrt FREQ -5Hz");
    EXPECT_EQ(calls[6], "ibwrt VOLT abcmV");
}

TEST(InstrumentSetup, RefusedDescriptorStopsBeforeAnyTraffic)
{
    testing::Bench bench;
    bench.lab.bus->SetBoardPresent(2, false);
    InstrumentSettings settings = ExampleSettings();
    settings.board = 2;
    const InstrumentConnection connection = SetUpInstrument(settings, bench.clock);
    EXPECT_FALSE(connection.opened);
    EXPECT_EQ(connection.descriptor, -1);
    EXPECT_EQ(iberr, ni::ENEB);
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(bench.lab.bus->Calls().size(), 1u);
    EXPECT_EQ(bench.clock.TickCount(), 1000u);

    settings.board = 0;
    settings.address = 31;  // not a primary address
    EXPECT_FALSE(SetUpInstrument(settings, bench.clock).opened);
    EXPECT_EQ(iberr, ni::EARG);
}

}  // namespace
}  // namespace quillon
