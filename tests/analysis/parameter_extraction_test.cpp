#include "analysis/parameter_extraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iomanip>
#include <limits>
#include <optional>
#include <sstream>

#include "analysis/analysis_report.h"
#include "gpib/gpib_binding.h"
#include "measure/measurement_run.h"
#include "sim/simulated_lab.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/temp_folder.h"

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
    return d.flatBandVolts + (d.pTypeSubstrate ? beyond : -beyond);
}

double OxideCapacitance(const MosDevice& d)
{
    return 3.9 * 8.8541878128e-12 / d.oxideThicknessMetres * d.padAreaSquareMetres;
}

struct SweepSettings {
    const char* start;
    const char* stop;
    const char* step;
    const char* frequency;
    bool doubleSweep;
};

// A sweep at SHORT, measured by the simulated meter in virtual time through
// the whole run, as a user's START would.
ExtractionInput Measure(const MosDevice& device, const SweepSettings& sweep)
{
    VirtualClock clock{1000};
    SimulatedLabSettings lab;
    lab.device = device;
    SimulatedLab bench = MakeSimulatedLab(clock, lab);
    SelectGpibDriver(*bench.bus);
    testing::RecordingRunWindow window;
    window.settings.text = {sweep.start, sweep.stop, sweep.step, sweep.frequency,
                            "1",         "0",        "50",       "10000",
                            "0",         "17",       "1"};
    window.settings.check[kDoubleSweep] = sweep.doubleSweep ? 1 : 0;
    window.settings.option = 0;
    testing::TempFolder temp;
    testing::RecordingDesktop desktop;
    SweepData data;
    const RunResult result =
        RunMeasurement(window, data, Environment{clock, temp.Folder(), desktop},
                       [](SweepData& run, const RunTimes&) { RestoreUserBiasSign(run); });
    DeselectGpibDriver();
    EXPECT_EQ(result.ending, RunEnding::Completed);
    return InputOfRun(CaptureRun(data, window.settings, std::nullopt), true);
}

using Value = Extracted Extraction::*;

// One value of a truth check: within a tolerance of the device's own value
// and without a doubt, "n/a", or given with a doubt.
struct Check {
    enum class Kind { Near, WithinFactor, NotAvailable, Doubted };
    Kind kind;
    const char* name;
    Value value;
    double truth = 0;
    double tolerance = 0;        // absolute for Near, a factor for WithinFactor
    const char* text = nullptr;  // a part of the reason or of the doubt
};

Check Near(const char* name, Value value, double truth, double tolerance)
{
    return {Check::Kind::Near, name, value, truth, tolerance};
}
Check WithinFactor(const char* name, Value value, double truth, double factor)
{
    return {Check::Kind::WithinFactor, name, value, truth, factor};
}
Check NotAvailable(const char* name, Value value, const char* reason)
{
    return {Check::Kind::NotAvailable, name, value, 0, 0, reason};
}
Check Doubted(const char* name, Value value, const char* doubt)
{
    return {Check::Kind::Doubted, name, value, 0, 0, doubt};
}

struct TruthCase {
    const char* name;
    MosDevice device;
    SweepSettings sweep;
    std::optional<SubstrateType> substrate;
    std::vector<Check> checks;
    std::optional<bool> curveCorrected = std::nullopt;
};

std::vector<TruthCase> TruthCases()
{
    const MosDevice standard;
    MosDevice nType;
    nType.pTypeSubstrate = false;
    nType.dopingPerCubicCm = 1e17;
    nType.interfaceTrapDensity = 2e11;
    nType.hysteresisVolts = 0.2;
    MosDevice resistive;
    resistive.seriesResistanceOhms = 2000;
    MosDevice slightlyResistive;
    slightlyResistive.seriesResistanceOhms = 200;
    // Cox is far below the depletion capacitance: C hardly moves.
    MosDevice flat;
    flat.oxideThicknessMetres = 1000e-9;
    flat.dopingPerCubicCm = 1e20;
    const SubstrateType p = SubstrateType::P;
    using E = Extraction;
    return {
        {"default device",
         standard,
         {"-3", "3", "0.05", "100000", true},
         p,
         {Near("VfbUp", &E::flatBandUp, standard.flatBandVolts, 0.1),
          Near("dVfb", &E::hysteresis, 0, 0.02),
          Near("Vth", &E::threshold, TextbookThreshold(standard), 0.1),
          WithinFactor("Dit", &E::trapDensity, 5e10, 1.5),
          Near("Nmean", &E::meanProfileDoping, 1e16, 0.15e16),
          // Without a series resistance G in accumulation is scatter.
          Doubted("Rs", &E::seriesResistance, "not significant")},
         false},
        {"n-type device with hysteresis and more traps",
         nType,
         {"-3", "3", "0.05", "100000", true},
         SubstrateType::N,
         {Near("VfbUp", &E::flatBandUp, nType.flatBandVolts, 0.1),
          Near("dVfb", &E::hysteresis, 0.2, 0.03),
          Near("Vth", &E::threshold, TextbookThreshold(nType), 0.1),
          WithinFactor("Dit", &E::trapDensity, 2e11, 1.5),
          Near("Nmean", &E::meanProfileDoping, 1e17, 0.15e17)}},
        // From -5 V: at -3 V the accumulation layer still keeps C 2.7 % below Cox.
        {"series resistance found and taken out",
         resistive,
         {"-5", "3", "0.05", "1000000", true},
         p,
         {Near("Rs", &E::seriesResistance, 2000, 200),
          Near("Cox", &E::oxideCapacitance, OxideCapacitance(resistive),
               0.02 * OxideCapacitance(resistive))},
         true},
        // At 1 MHz the largest corrected G and the largest Gp/w lie at
        // different biases.
        {"small series resistance at 1 MHz",
         slightlyResistive,
         {"-3", "3", "0.05", "1000000", true},
         p,
         {Near("Rs", &E::seriesResistance, 200, 20),
          WithinFactor("Dit", &E::trapDensity, 5e10, 1.5)},
         true},
        {"flat: no region at all",
         flat,
         {"-3", "3", "0.05", "10000", true},
         std::nullopt,
         {NotAvailable("Rs", &E::seriesResistance, "too little"),
          NotAvailable("Cox", &E::oxideCapacitance, "too little"),
          NotAvailable("Vth", &E::threshold, "too little"),
          NotAvailable("Dit", &E::trapDensity, "too little")}},
        {"accumulation only",
         standard,
         {"-3", "-2", "0.05", "10000", false},
         p,
         {Near("Cox", &E::oxideCapacitance, OxideCapacitance(standard),
               0.03 * OxideCapacitance(standard)),
          NotAvailable("Dit", &E::trapDensity, "does not reach depletion"),
          NotAvailable("N", &E::depletionDoping, "does not reach")}},
        {"inversion only",
         standard,
         {"1", "3", "0.05", "10000", false},
         std::nullopt,
         {NotAvailable("Rs", &E::seriesResistance, "too little"),
          NotAvailable("Cox", &E::oxideCapacitance, "too little"),
          NotAvailable("Dit", &E::trapDensity, "too little")}},
        {"two points",
         standard,
         {"-0.5", "0.5", "1", "100000", false},
         p,
         {NotAvailable("N", &E::depletionDoping, "accumulation"),
          NotAvailable("Vth", &E::threshold, "accumulation")}},
        // Few points in accumulation, few around the peak.
        {"coarse steps",
         standard,
         {"-3", "3", "0.2", "100000", true},
         p,
         {WithinFactor("Dit", &E::trapDensity, 5e10, 1.5),
          Doubted("Rs", &E::seriesResistance, "not significant")},
         false},
        {"stopped before inversion",
         standard,
         {"-3", "-0.3", "0.05", "100000", true},
         p,
         {Doubted("N", &E::depletionDoping, "no flat part in inversion"),
          Near("Nmean", &E::meanProfileDoping, 1e16, 0.15e16),
          WithinFactor("Dit", &E::trapDensity, 5e10, 1.5)}},
    };
}

// The figures each check saw go to the test's XML output
// (--gtest_output=xml:FILE) as properties named after the case.
TEST(TruthCheck, EachValueFromItsRegionOfTheSimulatedCurveOrNotAvailable)
{
    for (const TruthCase& c : TruthCases()) {
        SCOPED_TRACE(c.name);
        const Extraction e = ExtractParameters(Measure(c.device, c.sweep));
        EXPECT_EQ(e.substrate, c.substrate) << e.substrateReason;
        if (c.curveCorrected) {
            EXPECT_EQ(e.curveCorrected, *c.curveCorrected);
        }
        for (const Check& check : c.checks) {
            SCOPED_TRACE(check.name);
            const Extracted& x = e.*check.value;
            ::testing::Test::RecordProperty(std::string(c.name) + ": " + check.name,
                                            x.value ? Figure(*x.value) : "n/a: " + x.reason);
            if (check.kind == Check::Kind::NotAvailable) {
                EXPECT_FALSE(x.value);
                EXPECT_NE(x.reason.find(check.text), std::string::npos) << x.reason;
                continue;
            }
            if (!x.value) {
                ADD_FAILURE() << "n/a: " << x.reason;
                continue;
            }
            if (check.kind == Check::Kind::Doubted) {
                EXPECT_NE(x.doubt.find(check.text), std::string::npos) << x.doubt;
                continue;
            }
            EXPECT_EQ(x.doubt, "");
            if (check.kind == Check::Kind::Near) {
                EXPECT_NEAR(*x.value, check.truth, check.tolerance);
            } else {
                EXPECT_LT(*x.value, check.truth * check.tolerance);
                EXPECT_GT(*x.value, check.truth / check.tolerance);
            }
        }
        // The peak is the top of the Gp/w curve as plotted, and that curve
        // holds no value below 0.
        double highest = 0;
        for (const LossPoint& point : e.loss) {
            EXPECT_GE(point.gpOverOmega, 0) << point.bias;
            if (point.gpOverOmega > highest) highest = point.gpOverOmega;
        }
        if (e.trapPeakBias.value) {
            const auto peak = std::find_if(e.loss.begin(), e.loss.end(), [&](const LossPoint& p) {
                return p.bias == *e.trapPeakBias.value;
            });
            EXPECT_TRUE(peak != e.loss.end() && peak->gpOverOmega == highest);
        }
    }
}

// ----- input the extraction cannot use ---------------------------------------

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
         {{&Extraction::oxideCapacitance, "same at both ends"},
          {&Extraction::flatBandUp, "same at both ends"},
          {&Extraction::trapDensity, "same at both ends"}},
         {}},
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
