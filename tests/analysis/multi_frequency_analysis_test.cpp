#include "analysis/multi_frequency_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/text_number.h"
#include "platform/clock.h"
#include "sim/simulated_lab.h"

namespace quillon {
namespace {

constexpr double kPadAreaSquareMicrons = 10000.0;

// C-V curves of the simulated device at each frequency, read from the
// simulated meter over the simulated bus as a run reads them: FREQ, then
// BIAS:VOLT, *TRG and the reply at each bias, with the meter's noise and
// number format.
FrequencyFamily MeasureFamily(const MosDevice& device, double fromVolts, double toVolts)
{
    VirtualClock clock;
    SimulatedLabSettings settings;
    settings.device = device;
    SimulatedLab lab = MakeSimulatedLab(clock, settings);
    SimulatedBus& bus = *lab.bus;
    const int ud = bus.ibdev(0, kSimulatedMeterAddress, 0, ni::T10s, 1, 0);
    auto say = [&](const std::string& message) {
        bus.ibwrt(ud, message.data(), static_cast<long>(message.size()));
    };
    for (const char* message :
         {"FUNC:IMP CPG", "VOLT 50mV", "TRIG:SOUR BUS", "APER LONG,4", "BIAS:STAT ON"})
        say(message);
    FrequencyFamily family;
    family.padAreaSquareMicrons = kPadAreaSquareMicrons;
    const int steps = static_cast<int>(std::lround((toVolts - fromVolts) / 0.05));
    for (double logF = 3.0; logF <= 6.0 + 1e-9; logF += 0.25) {
        const double frequency = std::round(std::pow(10.0, logF));
        say("FREQ " + SignedDecimal(frequency) + "Hz");
        for (int i = 0; i <= steps; ++i) {
            const double bias = fromVolts + 0.05 * i;
            say("BIAS:VOLT " + SignedDecimal(bias));
            say("*TRG");
            char reply[100] = {};
            bus.ibrd(ud, reply, sizeof reply - 1);
            const std::string text(reply);
            family.points.push_back({bias, frequency, NumberOfText(text.substr(0, 12)),
                                     NumberOfText(text.substr(13, 12))});
        }
    }
    return family;
}

// Dit and tau recovered at three biases in depletion, against the traps at
// the surface Fermi level of the simulated device, for a uniform density
// and a U-shaped one (whose cross-section also changes across the gap).
TEST(MultiFrequencyTruth, RecoversTheTrapDensityAndTimeConstantOfTheSimulatedDevice)
{
    MosDevice uniform;
    uniform.trapResponse = TrapResponse::Continuum;
    uniform.interfaceTrapDensity = 5e10;
    MosDevice shaped = uniform;
    shaped.interfaceTrapEdgeDensity = 1e12;
    shaped.trapCrossSectionDecadesPerEv = 1.0;
    for (const MosDevice& device : {uniform, shaped}) {
        const MultiFrequencyAnalysis analysis =
            AnalyseFrequencyFamily(MeasureFamily(device, -3.0, 2.0));
        ASSERT_TRUE(analysis.oxideCapacitance.value) << analysis.oxideCapacitance.reason;
        int checked = 0;
        for (const BiasTraps& b : analysis.biases) {
            const long millivolts = std::lround(b.biasVolts * 1000.0);
            if (millivolts != -800 && millivolts != -750 && millivolts != -700) continue;
            ++checked;
            const InterfaceTrapState truth = EvaluateInterfaceTraps(device, b.biasVolts);
            SCOPED_TRACE(::testing::Message()
                         << device.interfaceTrapEdgeDensity << " at " << b.biasVolts << " V");
            ASSERT_TRUE(b.trapDensity.value) << b.trapDensity.reason;
            ASSERT_TRUE(b.timeConstant.value) << b.timeConstant.reason;
            const double densityRatio = *b.trapDensity.value / truth.densityPerSquareCmEv;
            const double timeRatio = *b.timeConstant.value / truth.timeConstantSeconds;
            EXPECT_LT(std::fabs(std::log(densityRatio)), std::log(1.3)) << densityRatio;
            // Tighter than a factor 2, so that the single level's w tau = 1
            // in place of the continuum's 1.98 fails too.
            EXPECT_LT(std::fabs(std::log(timeRatio)), std::log(1.5)) << timeRatio;
            ASSERT_TRUE(b.energyAboveMidgap.value) << b.energyAboveMidgap.reason;
            EXPECT_NEAR(*b.energyAboveMidgap.value, truth.energyAboveMidgapEv, 0.05);
        }
        EXPECT_EQ(checked, 3);
        EXPECT_EQ(analysis.biases.front().energyAboveMidgap.reason,
                  "in accumulation: C within 10 % of Cox at 1 MHz");
    }
}

// The accumulation capacitance falling with frequency, as a leaky or lossy
// dielectric's does: a family made of a given Cacc(f) and the slope found.
TEST(MultiFrequencyAnalysis, DispersionIsTheSlopeOverLog10fRelativeToTheLowestFrequency)
{
    MosDevice device;
    device.leakageSiemens = 0.0;
    FrequencyFamily family = MeasureFamily(device, -3.0, 2.0);
    // 2 % of Cacc less per decade above 1 kHz, at every bias alike.
    for (FamilyPoint& p : family.points)
        p.capacitanceFarads *= 1.0 - 0.02 * std::log10(p.frequencyHertz / 1000.0);
    const MultiFrequencyAnalysis analysis = AnalyseFrequencyFamily(family);
    ASSERT_TRUE(analysis.dispersion.value) << analysis.dispersion.reason;
    EXPECT_NEAR(*analysis.dispersion.value, -2.0, 0.05);
    EXPECT_EQ(analysis.accumulation.size(), 13u);
    EXPECT_EQ(analysis.curves.front().label, "1 kHz");
    EXPECT_EQ(analysis.curves[4].label, "10 kHz");
    EXPECT_EQ(analysis.curves.back().label, "1 MHz");
}

TEST(MultiFrequencyAnalysis, ValuesThatCannotBeHadSayWhy)
{
    const MosDevice device;
    FrequencyFamily family = MeasureFamily(device, -3.0, 2.0);
    family.padAreaSquareMicrons.reset();
    // A second reading of a bias and frequency does not count; a bias with
    // two frequencies has too few.
    family.points.push_back({-3.0, 1000.0, 1e-9, 1e-3});
    family.points.push_back({5.0, 1000.0, 1e-12, 1e-9});
    family.points.push_back({5.0, 2000.0, 1e-12, 1e-9});
    const MultiFrequencyAnalysis analysis = AnalyseFrequencyFamily(family);
    ASSERT_TRUE(analysis.oxideCapacitance.value);
    EXPECT_LT(*analysis.oxideCapacitance.value, 1e-9);
    EXPECT_EQ(analysis.biases.back().trapDensity.reason, "too few frequencies: 2 (3 needed)");
    for (const BiasTraps& b : analysis.biases) {
        if (!b.peakFrequency.value) continue;
        EXPECT_EQ(b.trapDensity.reason, "no pad area");
        EXPECT_EQ(b.energyAboveMidgap.reason, "no pad area");
        EXPECT_TRUE(b.timeConstant.value);
    }
    EXPECT_EQ(analysis.biases.front().peakFrequency.reason,
              "in accumulation: C within 10 % of Cox at 1 MHz");
    // Just past accumulation the traps follow every frequency, and the
    // oxide's leakage lifts Gp/w towards the lowest one.
    for (const BiasTraps& b : analysis.biases) {
        if (std::lround(b.biasVolts * 1000.0) != -1200) continue;
        EXPECT_EQ(b.peakFrequency.reason,
                  "peak outside the measured range (at the lowest frequency)");
    }

    const std::string table = TrapTableText(analysis);
    EXPECT_EQ(
        table.substr(0, table.find('\r')),
        "V [V]\tf peak [Hz]\t(Gp/w)max [pF]\tDit [cm-2 eV-1]\ttau [s]\tpsi_s [V]\tE - Ei [eV]");
    EXPECT_NE(table.find("5.000\tn/a (too few frequencies: 2 (3 needed))"), std::string::npos);

    // Without accumulation there is no Cox, and so nothing of the traps.
    FrequencyFamily depleted;
    for (const FamilyPoint& p : family.points)
        if (p.biasVolts > -0.5 && p.biasVolts < 4.0) depleted.points.push_back(p);
    const MultiFrequencyAnalysis none = AnalyseFrequencyFamily(depleted);
    EXPECT_FALSE(none.oxideCapacitance.value);
    EXPECT_EQ(none.biases.front().trapDensity.reason, none.oxideCapacitance.reason);
    EXPECT_FALSE(none.dispersion.value);
}

TEST(MultiFrequencyAnalysis, LossPeakOnAParabolaInLnF)
{
    // y = 5 - (ln f - ln 3000)^2 sampled at 1k, 2k, 4k, 8k: the vertex.
    std::vector<LossSpectrumPoint> spectrum;
    for (double f : {1000.0, 2000.0, 4000.0, 8000.0}) {
        const double x = std::log(f / 3000.0);
        spectrum.push_back({f, 5.0 - x * x});
    }
    const LossPeak peak = FindLossPeak(spectrum);
    ASSERT_TRUE(peak.frequency.value);
    EXPECT_NEAR(*peak.frequency.value, 3000.0, 1e-6);
    EXPECT_NEAR(*peak.gpOverOmega.value, 5.0, 1e-9);
    EXPECT_TRUE(peak.frequency.doubt.empty());

    spectrum = {{1000.0, 1.0}, {2000.0, 2.0}, {4000.0, 3.0}};
    EXPECT_EQ(FindLossPeak(spectrum).frequency.reason,
              "peak outside the measured range (at the highest frequency)");
    spectrum.pop_back();
    EXPECT_EQ(FindLossPeak(spectrum).frequency.reason, "too few frequencies");
}

}  // namespace
}  // namespace quillon
