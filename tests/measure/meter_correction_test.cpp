#include "measure/meter_correction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "measure/instrument_setup.h"
#include "measure/point_acquisition.h"
#include "measure_fixture.h"

namespace quillon {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAccumulationVolts = -3.0;
const MeterLocation kMeter{0, 17};

// 0.5 pF across the probes, 2 ohm and 50 nH in line with them.
ProbeFixture StationFixture(double cableMetres = 0.0)
{
    return {0.5e-12, 0.0, 2.0, 50e-9, cableMetres};
}

class MeterCorrectionTest : public ::testing::Test {
protected:
    void Fit(const ProbeFixture& fixture) { bench.lab.meter->SetFixture(fixture); }

    // One point of the run's own kind in accumulation, where C is Cmax.
    PointReading Accumulation(int32_t hertz)
    {
        InstrumentSettings settings;
        settings.integration = Integration::Long;
        settings.averaging = 1;
        settings.frequencyHertz = hertz;
        settings.acLevel = "50";
        settings.triggerDelay = "0";
        const int16_t ud = SetUpInstrument(settings, bench.clock).descriptor;
        TriggerPoint(ud, kAccumulationVolts);
        std::string reply(kReplyLength, ' ');
        PointReading reading = CollectPoint(ud, reply);
        ReturnToIdle(ud, bench.clock);
        return reading;
    }
    static CapacitanceConductance Device(double hertz)
    {
        return EvaluateMosCapacitor(MosDevice{}, kAccumulationVolts, hertz);
    }
    static double CapacitanceError(const PointReading& reading, double hertz)
    {
        return std::fabs(reading.capacitance / Device(hertz).capacitanceFarads - 1.0);
    }

    CorrectionOutcome Measure(CorrectionStandard standard, ProbePlacement position,
                              CorrectionSpan span = CorrectionSpan::AllFrequencies,
                              double hertz = 100000.0, const CorrectionProgress& progress = {})
    {
        bench.lab.meter->SetProbePosition(position);
        CorrectionOutcome outcome =
            MeasureStandard(kMeter, standard, span, hertz, bench.clock, progress);
        bench.lab.meter->SetProbePosition(ProbePlacement::OnDevice);
        return outcome;
    }
    void OpenAndShort(CorrectionSpan span = CorrectionSpan::AllFrequencies, double hertz = 100000.0)
    {
        const CorrectionOutcome open =
            Measure(CorrectionStandard::Open, ProbePlacement::Lifted, span, hertz);
        ASSERT_TRUE(open.done) << open.failure.value_or("");
        const CorrectionOutcome shorted =
            Measure(CorrectionStandard::Short, ProbePlacement::OnShortPad, span, hertz);
        ASSERT_TRUE(shorted.done) << shorted.failure.value_or("");
        ASSERT_TRUE(shorted.meterState);
        EXPECT_TRUE(shorted.meterState->openOn);
        EXPECT_TRUE(shorted.meterState->shortOn);
    }

    testing::Bench bench;
};

TEST_F(MeterCorrectionTest, TruthCheckOpenAndShortRemoveTheFixture)
{
    Fit(StationFixture());
    // The stray 0.5 pF is 1.5 % of the pad's 34 pF.
    EXPECT_GT(CapacitanceError(Accumulation(100000), 1e5), 0.01);
    const uint32_t start = bench.clock.TickCount();
    OpenAndShort();
    // Two standards over the preset frequencies, about 90 s each.
    EXPECT_GE(bench.clock.TickCount() - start, 2 * kAllFrequenciesCorrectionMilliseconds);
    EXPECT_LT(CapacitanceError(Accumulation(100000), 1e5), 0.001);
    EXPECT_LT(CapacitanceError(Accumulation(1000000), 1e6), 0.01);
    // At 1 MHz the series 2 ohm alone would read as a conductance of
    // (omega C)^2 R, some 1e-7 S: it is gone too.
    EXPECT_NEAR(Accumulation(1000000).conductance, Device(1e6).conductanceSiemens, 3e-8);
}

TEST_F(MeterCorrectionTest, TruthCheckACorrectionAtTheWrongCableLengthLeavesAPhaseError)
{
    Fit(StationFixture(1.0));
    OpenAndShort();  // with the meter still set for 0 m
    const double omegaC = 2.0 * kPi * 1e6 * Device(1e6).capacitanceFarads;
    const double phase = 2.0 * kPi * 1e6 * 1.0 * kCableDelaySecondsPerMetre;
    // The phase turned by the cable shows as omega C sin(phase) of conductance.
    const double wrong = Accumulation(1000000).conductance - Device(1e6).conductanceSiemens;
    EXPECT_NEAR(std::fabs(wrong), omegaC * std::sin(phase), 0.05 * omegaC * phase);

    const CorrectionOutcome set = SetCableLength(kMeter, 1, bench.clock);
    ASSERT_TRUE(set.done);
    ASSERT_TRUE(set.meterState);
    EXPECT_EQ(set.meterState->cableMetres, 1);
    OpenAndShort();
    EXPECT_NEAR(Accumulation(1000000).conductance, Device(1e6).conductanceSiemens, 3e-8);
}

TEST_F(MeterCorrectionTest, SpotCorrectionHoldsAtItsFrequencyAndSaysSo)
{
    Fit(StationFixture());
    bench.lab.meter->ClearTranscript();
    const uint32_t start = bench.clock.TickCount();
    OpenAndShort(CorrectionSpan::Spot, 100000.0);
    EXPECT_LT(bench.clock.TickCount() - start, 10000u);
    EXPECT_LT(CapacitanceError(Accumulation(100000), 1e5), 0.001);
    // Elsewhere the meter has no data and leaves the fixture in.
    EXPECT_GT(CapacitanceError(Accumulation(10000), 1e4), 0.01);

    std::vector<std::string> sent;
    for (const DeviceEvent& event : bench.lab.meter->Transcript())
        if (event.kind == DeviceEvent::Kind::Message) sent.push_back(event.text);
    const auto first = std::find(sent.begin(), sent.end(), "CORR:SPOT1:FREQ 100000Hz");
    ASSERT_LE(first + 4, sent.end());
    const std::vector<std::string> open(first, first + 4);
    EXPECT_EQ(open, (std::vector<std::string>{"CORR:SPOT1:FREQ 100000Hz", "CORR:SPOT1:STAT ON",
                                              "CORR:SPOT1:OPEN", "*OPC?"}));
    const CorrectionOutcome state = ReadCorrectionState(kMeter, bench.clock);
    ASSERT_TRUE(state.meterState);
    EXPECT_EQ(state.meterState->spotFrequencyHertz, 100000.0);
    EXPECT_EQ(CorrectionStateText(*state.meterState),
              "open on, short on, cable 0 m, spot 100000 Hz, open never, short never");
}

TEST_F(MeterCorrectionTest, FaultsSayWhatHappenedAndLeaveTheCorrectionAsItWas)
{
    Fit(StationFixture());
    struct Case {
        const char* what;
        double timeScale;
        CorrectionStandard standard;
        ProbePlacement position;
        uint32_t cancelAfterMilliseconds;  // 0: never
        const char* message;
    };
    const Case cases[] = {
        {"the meter takes longer than the limit", 2.0, CorrectionStandard::Open,
         ProbePlacement::Lifted, 0, "did not finish the open correction within 150 s"},
        {"Cancel in the middle", 1.0, CorrectionStandard::Open, ProbePlacement::Lifted, 20000,
         "The open correction was cancelled"},
        {"a short measured with the probes up", 1.0, CorrectionStandard::Short,
         ProbePlacement::Lifted, 0, "The short reads 3.18E+06 ohm uncorrected at 100000 Hz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bench.lab.meter->SetTimeScale(c.timeScale);
        int calls = 0;
        const CorrectionOutcome outcome = Measure(
            c.standard, c.position, CorrectionSpan::AllFrequencies, 100000.0,
            [&](uint32_t elapsed) {
                ++calls;
                return c.cancelAfterMilliseconds == 0 || elapsed < c.cancelAfterMilliseconds;
            });
        EXPECT_FALSE(outcome.done);
        ASSERT_TRUE(outcome.failure);
        EXPECT_NE(outcome.failure->find(c.message), std::string::npos) << *outcome.failure;
        EXPECT_GT(calls, 0);
        ASSERT_TRUE(outcome.meterState);
        EXPECT_FALSE(outcome.meterState->openOn);
        EXPECT_FALSE(outcome.meterState->shortOn);
        // Long after, nothing the meter was measuring lands.
        bench.clock.Sleep(200000);
        EXPECT_LT(Accumulation(100000).capacitance, 1.0) << "no nonsense data took effect";
        const CorrectionOutcome later = ReadCorrectionState(kMeter, bench.clock);
        ASSERT_TRUE(later.meterState);
        EXPECT_FALSE(later.meterState->openOn);
        EXPECT_FALSE(later.meterState->shortOn);
    }
}

TEST_F(MeterCorrectionTest, AMeterThatIsNotThereIsNamed)
{
    const CorrectionOutcome outcome = SetCableLength({0, 9}, 1, bench.clock);
    EXPECT_FALSE(outcome.done);
    ASSERT_TRUE(outcome.failure);
    EXPECT_NE(outcome.failure->find("\"CORR:LENG 1\""), std::string::npos) << *outcome.failure;
    EXPECT_FALSE(outcome.meterState);
}

}  // namespace
}  // namespace quillon
