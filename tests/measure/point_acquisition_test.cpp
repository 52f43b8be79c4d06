#include "measure/point_acquisition.h"

#include <gtest/gtest.h>

#include <clocale>

#include "common/text_number.h"
#include "measure/instrument_setup.h"
#include "measure_fixture.h"
#include "sim/meter_arguments.h"
#include "tests/support/fault_injecting_driver.h"

namespace quillon {
namespace {

InstrumentSettings Settings(Integration integration, int32_t averaging, int32_t hertz,
                            const char* triggerDelay)
{
    InstrumentSettings settings;
    settings.integration = integration;
    settings.averaging = averaging;
    settings.frequencyHertz = hertz;
    settings.acLevel = "50";
    settings.triggerDelay = triggerDelay;
    return settings;
}

class PointAcquisitionTest : public ::testing::Test {
protected:
    PointAcquisitionTest()
    {
        ud = SetUpInstrument(Settings(Integration::Short, 1, 1000, "0"), bench.clock).descriptor;
        bench.lab.bus->ClearCalls();
    }

    testing::Bench bench;
    int16_t ud = -1;
    std::string reply = FixedWidth("V,C,G", kReplyLength);
};

TEST(BiasCommand, SignedDecimalWithoutUnit)
{
    EXPECT_EQ(BiasCommand(0.5), "BIAS:VOLT  .5");
    EXPECT_EQ(BiasCommand(-1.25), "BIAS:VOLT -1.25");
    EXPECT_EQ(BiasCommand(0.0), "BIAS:VOLT  0");
    EXPECT_EQ(BiasCommand(-2.0), "BIAS:VOLT -2");
    EXPECT_EQ(BiasCommand(0.3), "BIAS:VOLT  .3");
}

TEST(BiasCommand, SameTextWhateverTheLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no decimal-comma locale installed";
    const std::string command = BiasCommand(-0.75);
    const std::string field = MeterNumberField(1.5e-10);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(command, "BIAS:VOLT -.75");
    EXPECT_EQ(field, "+1.50000E-10");
}

TEST(ParseReply, TakesTheTwelveCharacterFields)
{
    PointReading reading = ParseReply("+1.23456E-10,+4.56789E-07");
    EXPECT_DOUBLE_EQ(reading.capacitance, 1.23456e-10);
    EXPECT_DOUBLE_EQ(reading.conductance, 4.56789e-07);
    reading = ParseReply("+9.90000E+37,+9.90000E+37");
    EXPECT_DOUBLE_EQ(reading.capacitance, 9.9e37);
    reading = ParseReply("V,C,G");
    EXPECT_EQ(reading.capacitance, 0.0);
    EXPECT_EQ(reading.conductance, 0.0);
    // Beyond a double's range: the meter's overflow value, never infinity.
    reading = ParseReply("+9.9E+999   ,-9.9E+999   ");
    EXPECT_EQ(reading.capacitance, kOverflowValue);
    EXPECT_EQ(reading.conductance, kOverflowValue);
}

TEST_F(PointAcquisitionTest, TriggerSendsClearAbortBiasAndTriggerWithoutPauses)
{
    const uint32_t before = bench.clock.TickCount();
    TriggerPoint(ud, 0.5);
    EXPECT_EQ(bench.CallsOn(ud), (std::vector<std::string>{"ibclr ", "ibwrt ABORT;:INIT",
                                                           "ibwrt BIAS:VOLT  .5", "ibwrt *TRG"}));
    EXPECT_EQ(bench.clock.TickCount(), before);
    EXPECT_DOUBLE_EQ(bench.lab.meter->biasVolts(), 0.5);
    EXPECT_EQ(bench.lab.meter->triggers(), 1);
}

TEST_F(PointAcquisitionTest, CollectWaitsForTheServiceRequestPollsAndReads)
{
    bench.lab.meter->ClearTranscript();
    TriggerPoint(ud, -2.0);
    const uint32_t triggered = bench.clock.TickCount();
    const PointReading reading = CollectPoint(ud, reply);
    ASSERT_EQ(reading.outcome, PointReading::Outcome::Read);

    const std::vector<BusCall>& calls = bench.lab.bus->Calls();
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[4].call, "ibwait");
    EXPECT_EQ(calls[4].data, "18432");  // TIMO | RQS
    EXPECT_NE(calls[4].status & ni::RQS, 0);
    EXPECT_EQ(calls[5].call, "ibrsp");
    EXPECT_EQ(calls[6].call, "ibrd");
    // SHORT at 1 kHz, one measurement: 40 ms after the trigger.
    EXPECT_EQ(calls[4].tick, triggered + 40);

    EXPECT_EQ(reply.size(), kReplyLength);
    EXPECT_EQ(reply[12], ',');
    EXPECT_DOUBLE_EQ(reading.capacitance, NumberOfText(reply.substr(0, 12)));
    EXPECT_DOUBLE_EQ(reading.conductance, NumberOfText(reply.substr(13)));
    // Accumulation on the default device: close to the oxide capacitance.
    EXPECT_GT(reading.capacitance, 30e-12);
    EXPECT_LT(reading.capacitance, 36e-12);
    EXPECT_GT(reading.conductance, 0.0);

    // What the meter itself saw, and when.
    using Kind = DeviceEvent::Kind;
    const std::vector<DeviceEvent>& seen = bench.lab.meter->Transcript();
    ASSERT_EQ(seen.size(), 6u);
    const Kind kinds[] = {Kind::Clear,   Kind::Message,    Kind::Message,
                          Kind::Message, Kind::SerialPoll, Kind::Read};
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].kind, kinds[i]) << i;
    EXPECT_EQ(seen[2].text, "BIAS:VOLT -2");
    EXPECT_EQ(seen[4].text, "80");
    EXPECT_EQ(seen[4].tick, triggered + 40);
    EXPECT_EQ(seen[5].text, reply);
}

TEST_F(PointAcquisitionTest, ReplyWithOverflowValue)
{
    bench.lab.meter->SetFault(Simulated4284A::Fault::Overflow);
    TriggerPoint(ud, 0.0);
    const PointReading reading = CollectPoint(ud, reply);
    ASSERT_EQ(reading.outcome, PointReading::Outcome::Read);
    EXPECT_DOUBLE_EQ(reading.capacitance, 9.9e37);
    EXPECT_NE(reply.find(kOverflowReply), std::string::npos);
}

TEST(IsMeterReply, OnlyTheMetersTwoFieldsAreAReply)
{
    const std::pair<const char*, bool> cases[] = {
        {"+1.23456E-10,+4.56789E-07", true},
        {"-1.23456E-10,-4.56789E+07", true},
        {"+9.90000E+37,+9.90000E+37", true},
        {"16", false},                         // an adapter's own poll result
        {"+1.23456E-10,+4.56", false},         // a short reply
        {"+1.23456E-10;+4.56789E-07", false},  // another separator
        {"1.23456E-10,+4.56789E-07+", false},  // no sign
        {"+1.23456e-10,+4.56789E-07", false},  // the meter writes a capital E
        {"+1.2345E-10,+4.56789E-007", false},
        {"+1.23456E-10,+4.56789E-07\n", false},
        {"", false},
    };
    for (const auto& [text, reply] : cases) EXPECT_EQ(IsMeterReply(text), reply) << text;
    EXPECT_EQ(QuotedBytes(std::string("16\r\n\x04\\\xE9", 7)), "16\\r\\n\\x04\\x5C\\xE9");
}

TEST_F(PointAcquisitionTest, AShortReplyIsNoPoint)
{
    TriggerPoint(ud, 1.0);
    ASSERT_EQ(CollectPoint(ud, reply).outcome, PointReading::Outcome::Read);
    const std::string previous = reply;

    // Its head and the previous reply's tail would look like a point.
    bench.lab.meter->SetFault(Simulated4284A::Fault::ShortReply);
    TriggerPoint(ud, 1.0);
    const PointReading reading = CollectPoint(ud, reply);
    EXPECT_EQ(reading.outcome, PointReading::Outcome::NotAReply);
    EXPECT_EQ(reading.received, reply.substr(0, Simulated4284A::kShortReplyLength));
    EXPECT_EQ(reply.substr(Simulated4284A::kShortReplyLength),
              previous.substr(Simulated4284A::kShortReplyLength));
}

TEST_F(PointAcquisitionTest, MissingServiceRequestTimesOutAfterTenSecondsWithoutReading)
{
    bench.lab.meter->SetFault(Simulated4284A::Fault::NoServiceRequest);
    TriggerPoint(ud, 0.0);
    const uint32_t triggered = bench.clock.TickCount();
    const std::string before = reply;
    const PointReading reading = CollectPoint(ud, reply);
    EXPECT_EQ(reading.outcome, PointReading::Outcome::TimedOut);
    EXPECT_EQ(bench.clock.TickCount() - triggered, 10000u);
    EXPECT_EQ(reply, before);
    EXPECT_EQ(bench.lab.bus->Calls().back().call, "ibwait");
}

TEST_F(PointAcquisitionTest, AbsentMeterTimesOut)
{
    bench.lab.bus->Detach(0, kSimulatedMeterAddress);
    TriggerPoint(ud, 0.0);
    EXPECT_EQ(CollectPoint(ud, reply).outcome, PointReading::Outcome::TimedOut);
    EXPECT_EQ(bench.lab.bus->Calls().back().call, "ibwait");
}

TEST_F(PointAcquisitionTest, FailedWaitIsABusFailureNotThePreviousPoint)
{
    TriggerPoint(ud, 0.0);
    ASSERT_EQ(CollectPoint(ud, reply).outcome, PointReading::Outcome::Read);
    GpibOnline(ud, 0);  // the descriptor is gone: every call now fails with EDVR
    const std::string before = reply;
    const PointReading reading = CollectPoint(ud, reply);
    EXPECT_EQ(reading.outcome, PointReading::Outcome::BusFailure);
    EXPECT_EQ(iberr, ni::EDVR);
    EXPECT_EQ(reply, before);
}

TEST_F(PointAcquisitionTest, ReturnToIdleClearsBeforeSwitchingTheBiasOff)
{
    TriggerPoint(ud, 1.5);  // stopped while the meter measures
    bench.lab.bus->ClearCalls();
    const uint32_t start = bench.clock.TickCount();
    EXPECT_EQ(ReturnToIdle(ud, bench.clock), std::nullopt);
    const std::vector<BusCall>& calls = bench.lab.bus->Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].call, "ibclr");
    EXPECT_EQ(calls[0].tick, start);
    EXPECT_EQ(calls[1].data, "BIAS:STAT OFF");
    EXPECT_EQ(calls[1].tick, start + 50);
    EXPECT_EQ(calls[2].data, "TRIG:SOUR INT");
    EXPECT_EQ(calls[2].tick, start + 100);
    EXPECT_EQ(calls[3].call, "ibonl");
    EXPECT_EQ(calls[3].data, "0");
    EXPECT_EQ(calls[3].tick, start + 150);
    EXPECT_FALSE(bench.lab.meter->biasOn());
    EXPECT_FALSE(bench.lab.meter->busTrigger());
    // The triggered measurement was cleared: it never answers.
    EXPECT_FALSE(bench.lab.meter->OutputReadyTick().has_value());
}

TEST_F(PointAcquisitionTest, ALaterFailedIdleStepCastsDoubtOnTheBiasOff)
{
    // Data written to a network adapter is not acknowledged: only a later
    // step shows that the connection was gone.
    testing::FaultInjectingDriver front(*bench.lab.bus);
    SelectGpibDriver(front);
    front.beforeCall = [&](const std::string& call) {
        if (call == "ibonl") bench.lab.bus->ibonl(ud, 0);
    };
    const std::optional<std::string> doubt = ReturnToIdle(ud, bench.clock);
    SelectGpibDriver(*bench.lab.bus);
    ASSERT_TRUE(doubt.has_value());
    EXPECT_NE(doubt->find("iberr = EDVR"), std::string::npos) << *doubt;
}

TEST_F(PointAcquisitionTest, MeasurementTimeFollowsIntegrationAveragingAndDelay)
{
    ud = SetUpInstrument(Settings(Integration::Long, 3, 100, "0.25"), bench.clock).descriptor;
    TriggerPoint(ud, 0.0);
    const uint32_t triggered = bench.clock.TickCount();
    ASSERT_EQ(CollectPoint(ud, reply).outcome, PointReading::Outcome::Read);
    EXPECT_EQ(bench.clock.TickCount() - triggered, 250u + 3u * 1040u);
}

}  // namespace
}  // namespace quillon
