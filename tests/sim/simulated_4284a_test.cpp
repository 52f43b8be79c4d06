#include "sim/simulated_4284a.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/text_number.h"
#include "sim/meter_arguments.h"

namespace quillon {
namespace {

class Meter : public ::testing::Test {
protected:
    void Say(const std::string& message) { meter.Listen(message, true); }

    std::string Answer()
    {
        std::optional<uint32_t> ready = meter.OutputReadyTick();
        if (!ready) return {};
        const int32_t wait = static_cast<int32_t>(*ready - clock.TickCount());
        if (wait > 0) clock.Sleep(static_cast<uint32_t>(wait));
        bool end = false;
        std::string text = meter.Talk(1000, end);
        EXPECT_TRUE(end);
        return text;
    }

    void Configure(const char* aperture)
    {
        for (const char* message :
             {"FUNC:IMP CPG", "FREQ  1000Hz", "VOLT 50mV", "TRIG:SOUR BUS", "FUNC:SMON:VAC ON",
              "FUNC:SMON:IAC ON", "BIAS:STAT ON", "*SRE 16"})
            Say(message);
        Say(aperture);
    }

    // C of one triggered point at a bias.
    double Capacitance(double bias)
    {
        Say("ABORT;:INIT");
        Say("BIAS:VOLT " + SignedDecimal(bias));
        Say("*TRG");
        return NumberOfText(Answer().substr(0, 12));
    }

    VirtualClock clock;
    Simulated4284A meter{clock};
};

TEST_F(Meter, IdentifiesItselfLikeTheRealOne)
{
    Say("*IDN?");
    const std::string id = Answer();
    EXPECT_EQ(id.back(), '\n');
    EXPECT_NE(id.find(",4284A,"), std::string::npos);
    EXPECT_EQ(id.rfind("HEWLETT-PACKARD,", 0), 0u);
}

TEST_F(Meter, ReplyHasTheMetersAsciiFormat)
{
    Configure("APER MED,1");
    Say("BIAS:VOLT -3");
    Say("*TRG");
    EXPECT_FALSE(meter.OutputReadyTick() <= clock.TickCount());
    const std::string reply = Answer();
    // C, G, status, then the two level monitors.
    ASSERT_EQ(reply.size(), 12u + 1 + 12 + 3 + 13 + 13 + 1);
    for (std::size_t field : {0u, 13u}) {
        EXPECT_TRUE(reply[field] == '+' || reply[field] == '-');
        EXPECT_EQ(reply[field + 2], '.');
        EXPECT_EQ(reply[field + 8], 'E');
    }
    EXPECT_EQ(reply.substr(25, 3), ",+0");
    EXPECT_EQ(reply.substr(28, 13), ",+5.00000E-02");
    EXPECT_EQ(reply.back(), '\n');
    EXPECT_EQ(MeterNumberField(1.234564e-10), "+1.23456E-10");
    EXPECT_EQ(MeterNumberField(-4.56789e-7), "-4.56789E-07");
    EXPECT_EQ(MeterNumberField(0.0), "+0.00000E+00");
}

TEST_F(Meter, ServiceRequestOnlyWhenEnabledAndReleasedByThePoll)
{
    Say("TRIG:SOUR BUS");
    Say("*TRG");
    EXPECT_FALSE(meter.ServiceRequestTick().has_value());
    Say("*SRE 16");
    Say("*TRG");
    const std::optional<uint32_t> request = meter.ServiceRequestTick();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(*request, clock.TickCount() + meter.MeasurementMilliseconds());
    clock.Sleep(meter.MeasurementMilliseconds());
    EXPECT_EQ(meter.SerialPoll(), Simulated4284A::kRqs | Simulated4284A::kMav);
    EXPECT_EQ(meter.SerialPoll(), Simulated4284A::kMav);
    EXPECT_FALSE(meter.ServiceRequestTick().has_value());
}

TEST_F(Meter, TriggerNeedsTheBusTriggerSource)
{
    Say("*SRE 16");
    Say("TRIG:SOUR INT");
    Say("*TRG");
    EXPECT_EQ(meter.triggers(), 0);
    EXPECT_FALSE(meter.OutputReadyTick().has_value());
}

TEST_F(Meter, BiasAppliesOnlyWhileSwitchedOnAndWithinRange)
{
    Configure("APER LONG,8");
    const double accumulation = Capacitance(-5.0);
    Say("BIAS:VOLT 41");
    EXPECT_DOUBLE_EQ(meter.biasVolts(), -5.0);
    Say("BIAS:STAT OFF");
    const double atZeroVolts = Capacitance(-5.0);  // the bias is set, but not applied
    EXPECT_LT(atZeroVolts * 2, accumulation);
    Say("BIAS:STAT ON");
    EXPECT_NEAR(Capacitance(-5.0), accumulation, accumulation * 1e-3);
}

TEST_F(Meter, SweepShowsAccumulationDepletionAndInversion)
{
    Configure("APER LONG,4");
    const double accumulation = Capacitance(-4.0);
    const double flatBand = Capacitance(-0.9);
    const double depletion = Capacitance(0.0);
    const double inversion = Capacitance(4.0);
    EXPECT_GT(accumulation, flatBand);
    EXPECT_GT(flatBand, depletion);
    EXPECT_GT(depletion, inversion);
    // Oxide capacitance of 10 nm over 100 µm x 100 µm: 34.5 pF.
    EXPECT_NEAR(accumulation, 34.5e-12, 1.5e-12);
}

TEST_F(Meter, FlatBandLiesHigherWhileTheBiasComesDown)
{
    MosDevice device;
    device.hysteresisVolts = 0.3;
    meter.SetDevice(device);
    Configure("APER LONG,8");
    Capacitance(-2.0);
    const double up = Capacitance(-0.9);
    const double upAgain = Capacitance(-0.9);  // the same bias keeps the direction
    Capacitance(1.0);
    const double down = Capacitance(-0.6);
    EXPECT_NEAR(upAgain, up, up * 1e-3);
    EXPECT_NEAR(down, up, up * 1e-3);
    // Up again: the flat band is back at -0.9 V.
    const double expected = EvaluateMosCapacitor(device, -0.5, 1000.0).capacitanceFarads;
    EXPECT_NEAR(Capacitance(-0.5), expected, expected * 1e-3);
}

TEST_F(Meter, NoiseShrinksWithLongerIntegration)
{
    auto spread = [&](const char* aperture) {
        Configure(aperture);
        std::vector<double> values;
        for (int i = 0; i < 40; ++i) values.push_back(Capacitance(-3.0));
        double mean = 0, square = 0;
        const auto count = static_cast<double>(values.size());
        for (double v : values) mean += v / count;
        for (double v : values) square += (v - mean) * (v - mean) / count;
        return std::sqrt(square) / mean;
    };
    const double fast = spread("APER SHORT,1");
    const double slow = spread("APER LONG,16");
    EXPECT_GT(fast, 0.0);
    EXPECT_LT(slow * 5, fast);
}

TEST_F(Meter, FaultModes)
{
    Configure("APER SHORT,1");
    meter.SetFault(Simulated4284A::Fault::Overflow);
    Say("*TRG");
    EXPECT_EQ(Answer().substr(0, 25), "+9.90000E+37,+9.90000E+37");

    meter.SetFault(Simulated4284A::Fault::ShortReply);
    Say("*TRG");
    EXPECT_EQ(Answer().size(), Simulated4284A::kShortReplyLength);

    meter.SerialPoll();
    meter.SetFault(Simulated4284A::Fault::NoServiceRequest);
    Say("*TRG");
    EXPECT_FALSE(meter.ServiceRequestTick().has_value());
    EXPECT_TRUE(meter.OutputReadyTick().has_value());
}

TEST_F(Meter, MeasurementTimesFollowTheDataSheet)
{
    Say("TRIG:DEL 0");
    const struct {
        const char* aperture;
        const char* frequency;
        uint32_t milliseconds;
    } cases[] = {
        {"APER SHORT,1", "FREQ 100Hz", 270},   {"APER SHORT,1", "FREQ 1000Hz", 40},
        {"APER SHORT,1", "FREQ 10000Hz", 30},  {"APER MED,1", "FREQ 100Hz", 400},
        {"APER MED,2", "FREQ 1000Hz", 380},    {"APER MED,1", "FREQ 1MAHz", 180},
        {"APER LONG,1", "FREQ 100Hz", 1040},   {"APER LONG,1", "FREQ 1kHz", 830},
        {"APER LONG,1", "FREQ 100000Hz", 820},
    };
    for (const auto& c : cases) {
        Say(c.aperture);
        Say(c.frequency);
        EXPECT_EQ(meter.MeasurementMilliseconds(), c.milliseconds)
            << c.aperture << " " << c.frequency;
    }
    Say("TRIG:DEL 0.5");
    EXPECT_EQ(meter.MeasurementMilliseconds(), 500u + 820u);
}

TEST_F(Meter, AFrequencyChangeDelaysTheNextMeasurementByWhatIsLeftOfItsSettling)
{
    Configure("APER SHORT,1");
    Say("TRIG:DEL 0");
    const struct {
        const char* frequency;
        uint32_t sleptMilliseconds;  // between FREQ and the trigger
        uint32_t extraMilliseconds;  // beyond the measurement time
    } cases[] = {
        {"FREQ 100Hz", 0, 160}, {"FREQ 5kHz", 30, 70}, {"FREQ 100kHz", 0, 60},
        {"FREQ 100kHz", 0, 0},  {"FREQ 20Hz", 200, 0}, {"FREQ 1MAHz", 59, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frequency);
        Say(c.frequency);
        clock.Sleep(c.sleptMilliseconds);
        const uint32_t start = clock.TickCount();
        Say("*TRG");
        Answer();
        EXPECT_EQ(clock.TickCount() - start, meter.MeasurementMilliseconds() + c.extraMilliseconds);
        // Settled once: the next trigger takes the measurement time alone.
        Say("*TRG");
        Answer();
        EXPECT_EQ(clock.TickCount() - start,
                  2 * meter.MeasurementMilliseconds() + c.extraMilliseconds);
    }
    // In a set-up the trigger source comes after the frequency.
    Say("FREQ 50Hz");
    Say("TRIG:SOUR BUS");
    const uint32_t start = clock.TickCount();
    Say("*TRG");
    Answer();
    EXPECT_EQ(clock.TickCount() - start, meter.MeasurementMilliseconds());
}

TEST_F(Meter, UnknownCommandsAreNoted)
{
    Say("FUNC:IMP CPG;:BOGUS 1");
    ASSERT_EQ(meter.Unrecognised().size(), 1u);
    EXPECT_EQ(meter.Unrecognised()[0], "BOGUS 1");
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// C and G of one point at 1 MHz and -3 V from a meter with `fixture` that
// was told `commands` first.
std::pair<double, double> PointBehind(const ProbeFixture& fixture,
                                      const std::vector<std::string>& commands)
{
    VirtualClock clock;
    Simulated4284A meter{clock};
    meter.SetFixture(fixture);
    for (const char* message : {"FUNC:IMP CPG", "FREQ 1MAHZ", "TRIG:SOUR BUS", "APER LONG",
                                "BIAS:STAT ON", "BIAS:VOLT -3"})
        meter.Listen(message, true);
    for (const std::string& command : commands) meter.Listen(command, true);
    EXPECT_TRUE(meter.Unrecognised().empty());
    meter.Listen("*TRG", true);
    clock.Sleep(meter.MeasurementMilliseconds());
    bool end = false;
    const std::string reply = meter.Talk(100, end);
    return {NumberOfText(reply.substr(0, 12)), NumberOfText(reply.substr(13, 12))};
}

TEST(MeterBehindAProbeStation, TheFixtureAddsToTheReadingAsACircuitDoes)
{
    constexpr double kPi = 3.14159265358979323846;
    const std::pair<double, double> bare = PointBehind({}, {});
    // No fixture, and correction switched on without data: the same bits.
    EXPECT_EQ(PointBehind({}, {"CORR:LENG 0", "CORR:OPEN:STAT ON", "CORR:SHOR:STAT ON"}), bare);

    // 0.5 pF across the device, with the meter's own scatter the same.
    const std::pair<double, double> stray = PointBehind({0.5e-12, 2e-6, 0, 0, 0}, {});
    EXPECT_NEAR(stray.first - bare.first, 0.5e-12, 1e-16);
    EXPECT_NEAR(stray.second - bare.second, 2e-6, 1e-9);

    // A metre of cable the meter is not told of turns the phase by
    // omega x 10 ns: G grows by omega C sin(phase).
    const double omega = 2.0 * kPi * 1e6;
    const double phase = omega * kCableDelaySecondsPerMetre;
    const std::pair<double, double> cable = PointBehind({0, 0, 0, 0, 1.0}, {});
    EXPECT_NEAR(cable.second - bare.second, omega * bare.first * std::sin(phase),
                1e-3 * omega * bare.first * phase);
    // Told of it, the meter reads as if there were none.
    const std::pair<double, double> told = PointBehind({0, 0, 0, 0, 1.0}, {"CORR:LENG 1"});
    EXPECT_NEAR(told.first, bare.first, 1e-18);
    EXPECT_NEAR(told.second, bare.second, 1e-13);
}

}  // namespace
}  // namespace quillon
