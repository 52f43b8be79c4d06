#include "analysis/parameter_extraction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iomanip>
#include <limits>
#include <sstream>

#include "analysis/analysis_report.h"
#include "gpib/gpib_binding.h"
#include "measure/measurement_run.h"
#include "sim/simulated_lab.h"
#include "tests/app/temp_folder.h"
#include "tests/measure/recording_run_window.h"
#include "tests/platform/recording_desktop.h"

namespace quillon {
namespace {

std::string Figure(double value)
{
    std::ostringstream text;
    text << std::setprecision(5) << value;
    return text.str();
}

// The textbook threshold of the simulated device from its own parameters
// (its n_i is 1e10 cm^-3), written out apart from the program's formula.
double TextbookThreshold(const MosDevice& d)
{
    constexpr double q = 1.602176634e-19;
    constexpr double epsSi = 11.7 * 8.8541878128e-12;
    constexpr double epsOx = 3.9 * 8.8541878128e-12;
    const double kT = 1.380649e-23 * 300.0 / q;
    const double n = d.dopingPerCubicCm * 1e6;
    const double phiB = kT * std::log(d.dopingPerCubicCm / 1e10);
    const double beyond =
        2 * phiB + std::sqrt(4 * epsSi * q * n * phiB) / (epsOx / d.oxideThicknessMetres);
    const double threshold = d.flatBandVolts + (d.pTypeSubstrate ? beyond : -beyond);
    ::testing::Test::RecordProperty("VthTextbook", Figure(threshold));
    return threshold;
}

double OxideCapacitance(const MosDevice& d)
{
    const double cox = 3.9 * 8.8541878128e-12 / d.oxideThicknessMetres * d.padAreaSquareMetres;
    ::testing::Test::RecordProperty("CoxTrue", Figure(cox));
    return cox;
}

// A double sweep in 0.05 V steps at SHORT, measured by the simulated meter
// in virtual time through the whole run, as a user's START would.
ExtractionInput Measure(const MosDevice& device, const char* start, const char* stop,
                        const char* frequency)
{
    VirtualClock clock{1000};
    SimulatedLabSettings lab;
    lab.device = device;
    SimulatedLab bench = MakeSimulatedLab(clock, lab);
    SelectGpibDriver(*bench.bus);
    testing::RecordingRunWindow window;
    window.settings.text = {start, stop,    "0.05", frequency, "1", "0",
                            "50",  "10000", "0",    "17",      "1"};
    window.settings.check[kDoubleSweep] = 1;
    window.settings.option = 0;
    testing::TempFolder temp;
    testing::RecordingDesktop desktop;
    SweepData sweep;
    const RunResult result =
        RunMeasurement(window, sweep, Environment{clock, temp.Folder(), desktop},
                       [](SweepData& data, const RunTimes&) { RestoreUserBiasSign(data); });
    DeselectGpibDriver();
    EXPECT_EQ(result.ending, RunEnding::Completed);
    return InputOfRun(CaptureRun(sweep, window.settings), true);
}

// The value, kept in the test's XML output (--gtest_output=xml:FILE) as the
// figure the check saw.
double Of(const char* name, const Extracted& extracted)
{
    EXPECT_TRUE(extracted.value) << name << ": " << extracted.reason;
    const double value = extracted.value.value_or(std::numeric_limits<double>::quiet_NaN());
    ::testing::Test::RecordProperty(name, Figure(value));
    return value;
}

void ExpectWithinFactor(double value, double truth, double factor)
{
    EXPECT_LT(value, truth * factor);
    EXPECT_GT(value, truth / factor);
}

TEST(TruthCheck, DefaultDeviceGivesItsFlatBandThresholdTrapsAndDoping)
{
    const MosDevice device;
    const Extraction e = ExtractParameters(Measure(device, "-3", "3", "100000"));
    EXPECT_EQ(e.substrate, SubstrateType::P);
    EXPECT_NEAR(Of("VfbUp", e.flatBandUp), device.flatBandVolts, 0.1);
    EXPECT_LT(std::fabs(Of("dVfb", e.hysteresis)), 0.02);
    EXPECT_NEAR(Of("Vth", e.threshold), TextbookThreshold(device), 0.1);
    ExpectWithinFactor(Of("Dit", e.trapDensity), 5e10, 1.5);
    EXPECT_NEAR(Of("Nmean", e.meanProfileDoping), 1e16, 0.15e16);
}

TEST(TruthCheck, NTypeDeviceWithHysteresisAndMoreTraps)
{
    MosDevice device;
    device.pTypeSubstrate = false;
    device.dopingPerCubicCm = 1e17;
    device.interfaceTrapDensity = 2e11;
    device.hysteresisVolts = 0.2;
    const Extraction e = ExtractParameters(Measure(device, "-3", "3", "100000"));
    EXPECT_EQ(e.substrate, SubstrateType::N);
    EXPECT_NEAR(Of("VfbUp", e.flatBandUp), device.flatBandVolts, 0.1);
    EXPECT_NEAR(Of("dVfb", e.hysteresis), 0.2, 0.03);
    EXPECT_NEAR(Of("Vth", e.threshold), TextbookThreshold(device), 0.1);
    ExpectWithinFactor(Of("Dit", e.trapDensity), 2e11, 1.5);
    EXPECT_NEAR(Of("Nmean", e.meanProfileDoping), 1e17, 0.15e17);
}

TEST(TruthCheck, SeriesResistanceIsFoundAndTakenOut)
{
    MosDevice device;
    device.seriesResistanceOhms = 2000;
    // From -5 V: at -3 V the accumulation layer still keeps C 2.7 % below Cox.
    const Extraction e = ExtractParameters(Measure(device, "-5", "3", "1000000"));
    EXPECT_NEAR(Of("Rs", e.seriesResistance), 2000, 200);
    EXPECT_NEAR(Of("Cox", e.oxideCapacitance), OxideCapacitance(device),
                0.02 * OxideCapacitance(device));
}

// ----- input the extraction cannot use ---------------------------------------

using Value = Extracted Extraction::*;

ExtractionInput Ideal(const MosDevice& device, double frequency, double from, double to)
{
    ExtractionInput input;
    input.frequencyHertz = frequency;
    input.padAreaSquareMicrons = device.padAreaSquareMetres * 1e12;
    for (double v = from; v <= to + 1e-9; v += 0.05) {
        const CapacitanceConductance r = EvaluateMosCapacitor(device, v, frequency);
        input.points.push_back({v, r.capacitanceFarads, r.conductanceSiemens});
    }
    return input;
}

struct BadInput {
    const char* name;
    std::function<void(ExtractionInput&)> spoil;
    std::vector<std::pair<Value, const char*>> missing;  // value and a part of its reason
    std::vector<Value> present;
    const char* note = nullptr;  // a part of a note about the run
};

TEST(ExtractParameters, BadInputGivesNotAvailableWithItsReasonAndLeavesTheRest)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    MosDevice resistive;
    resistive.seriesResistanceOhms = 2000;
    const BadInput cases[] = {
        {"one point",
         [](ExtractionInput& in) { in.points.resize(1); },
         {{&Extraction::seriesResistance, "fewer than two"},
          {&Extraction::flatBandUp, "fewer than two"},
          {&Extraction::meanProfileDoping, "fewer than two"}},
         {}},
        {"pad area 0",
         [](ExtractionInput& in) { in.padAreaSquareMicrons = 0; },
         {{&Extraction::depletionDoping, "pad area is 0 or negative"},
          {&Extraction::flatBandUp, "pad area is 0 or negative"},
          {&Extraction::threshold, "pad area is 0 or negative"},
          {&Extraction::trapDensity, "pad area is 0 or negative"},
          {&Extraction::meanProfileDoping, "pad area is 0 or negative"}},
         {&Extraction::seriesResistance, &Extraction::oxideCapacitance, &Extraction::trapPeakBias}},
        {"negative pad area",
         [](ExtractionInput& in) { in.padAreaSquareMicrons = -400; },
         {{&Extraction::depletionDoping, "pad area is 0 or negative"}},
         {&Extraction::oxideCapacitance}},
        {"Cmax = Cmin",
         [](ExtractionInput& in) {
             for (auto& p : in.points) p.capacitance = 1e-11;
         },
         {{&Extraction::flatBandUp, "same at both ends"},
          {&Extraction::trapDensity, "same at both ends"}},
         {&Extraction::oxideCapacitance}},
        {"overflow points are left out",
         [](ExtractionInput& in) {
             in.points[3].capacitance = 9.9e37;
             in.points[4].conductance = 9.9e37;
             in.points[5].capacitance = std::nan("");
             in.points[6].conductance = kInf;
         },
         {{&Extraction::flatBandDown, "no down sweep"}, {&Extraction::hysteresis, "both sweeps"}},
         {&Extraction::flatBandUp, &Extraction::threshold, &Extraction::trapDensity,
          &Extraction::meanProfileDoping},
         "Overflow readings left out: 4 points"},
        {"every point overflows",
         [](ExtractionInput& in) {
             for (auto& p : in.points) p.capacitance = 9.9e37;
         },
         {{&Extraction::oxideCapacitance, "fewer than two"}},
         {},
         "Overflow readings left out"},
        {"no depletion in the sweep",
         [](ExtractionInput& in) { in.points.resize(20); },  // -3 V to -2.05 V
         {{&Extraction::depletionDoping, "does not reach from accumulation to inversion"},
          {&Extraction::flatBandUp, "does not reach"},
          {&Extraction::meanProfileDoping, "does not reach"}},
         {&Extraction::oxideCapacitance}},
        {"no conductance peak: Rs left in",
         [&](ExtractionInput& in) {
             in = Ideal(resistive, 1e6, -3, 3);
             in.correctSeriesResistance = false;
         },
         {{&Extraction::trapDensity, "no conductance peak"}},
         {&Extraction::seriesResistance, &Extraction::flatBandUp}},
        {"Rs correction would make G negative",
         [&](ExtractionInput& in) {
             in = Ideal(resistive, 1e6, -3, 3);
             in.points.back().conductance = 3e-7;  // below w^2 C^2 Rs in inversion
         },
         {},
         {&Extraction::seriesResistance, &Extraction::trapDensity},
         "the Rs correction would make it negative: 1 point"},
        {"frequency 0",
         [](ExtractionInput& in) { in.frequencyHertz = 0; },
         {{&Extraction::seriesResistance, "frequency"}, {&Extraction::trapDensity, "frequency"}},
         {&Extraction::oxideCapacitance, &Extraction::flatBandUp, &Extraction::meanProfileDoping}},
    };
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        ExtractionInput input = Ideal(MosDevice{}, 1e5, -3, 3);
        c.spoil(input);
        const Extraction e = ExtractParameters(input);
        for (const auto& [value, reason] : c.missing) {
            EXPECT_FALSE((e.*value).value);
            EXPECT_NE((e.*value).reason.find(reason), std::string::npos) << (e.*value).reason;
        }
        for (Value value : c.present) EXPECT_TRUE((e.*value).value) << (e.*value).reason;
        for (const ParameterRow& row : ParameterRows(e, true)) {
            EXPECT_EQ(row.value.find_first_of("IN"), std::string::npos) << row.name << row.value;
            if (row.value == "n/a") {
                EXPECT_FALSE(row.note.empty()) << row.name;
            }
        }
        for (const CurvePoint& p : e.curve) EXPECT_TRUE(std::isfinite(p.capacitance));
        for (const ProfilePoint& p : e.profile) EXPECT_TRUE(std::isfinite(p.dopingPerCubicCm));
        if (c.note) {
            ASSERT_FALSE(e.notes.empty());
            EXPECT_NE(e.notes.front().find(c.note), std::string::npos) << e.notes.front();
        }
    }
}

}  // namespace
}  // namespace quillon
