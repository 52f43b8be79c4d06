#include "sim/mos_capacitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace quillon {
namespace {

// Textbook closed forms, written out independently of the model so that the
// tests compare the full charge-balance solution against them.
constexpr double kQ = 1.602176634e-19;
constexpr double kEps0 = 8.8541878128e-12;
constexpr double kEpsSi = 11.7 * kEps0;
constexpr double kEpsOx = 3.9 * kEps0;
constexpr double kThermalVolts = 1.380649e-23 * 300.0 / kQ;
constexpr double kNiPerCubicMetre = 1.0e16;  // 1e10 cm^-3 at 300 K
constexpr double kPi = 3.14159265358979323846;

double Series(double a, double b)
{
    return a * b / (a + b);
}

double OxideCapacitance(const MosDevice& d)
{
    return kEpsOx / d.oxideThicknessMetres * d.padAreaSquareMetres;
}

double DopingPerCubicMetre(const MosDevice& d)
{
    return d.dopingPerCubicCm * 1e6;
}

double FermiPotential(const MosDevice& d)
{
    return kThermalVolts * std::log(DopingPerCubicMetre(d) / kNiPerCubicMetre);
}

double MaximumDepletionWidth(const MosDevice& d)
{
    return std::sqrt(4.0 * kEpsSi * FermiPotential(d) / (kQ * DopingPerCubicMetre(d)));
}

double MinimumCapacitance(const MosDevice& d)
{
    return Series(OxideCapacitance(d), kEpsSi / MaximumDepletionWidth(d) * d.padAreaSquareMetres);
}

double FlatBandCapacitance(const MosDevice& d)
{
    const double debyeLength = std::sqrt(kEpsSi * kThermalVolts / (kQ * DopingPerCubicMetre(d)));
    return Series(OxideCapacitance(d), kEpsSi / debyeLength * d.padAreaSquareMetres);
}

// p-type threshold: flat band plus 2 phi_F plus the maximum depletion charge
// over Cox.
double ThresholdVolts(const MosDevice& d)
{
    const double oxidePerArea = kEpsOx / d.oxideThicknessMetres;
    const double depletionCharge = kQ * DopingPerCubicMetre(d) * MaximumDepletionWidth(d);
    return d.flatBandVolts + 2.0 * FermiPotential(d) + depletionCharge / oxidePerArea;
}

struct Point {
    double volts;
    CapacitanceConductance value;
};

std::vector<Point> Sweep(const MosDevice& d, double from, double to, double step, double frequency)
{
    std::vector<Point> points;
    const int count = static_cast<int>(std::lround((to - from) / step));
    for (int i = 0; i <= count; ++i) {
        const double v = from + i * step;
        points.push_back({v, EvaluateMosCapacitor(d, v, frequency)});
    }
    return points;
}

const Point& LargestConductance(const std::vector<Point>& points)
{
    return *std::max_element(points.begin(), points.end(), [](const Point& a, const Point& b) {
        return a.value.conductanceSiemens < b.value.conductanceSiemens;
    });
}

double Capacitance(const MosDevice& d, double volts, double frequency)
{
    return EvaluateMosCapacitor(d, volts, frequency).capacitanceFarads;
}

TEST(MosCapacitance, AccumulationApproachesOxideCapacitance)
{
    for (double tox : {10e-9, 50e-9}) {
        SCOPED_TRACE(tox);
        MosDevice d;
        d.oxideThicknessMetres = tox;
        const double cox = OxideCapacitance(d);

        const double atMinus5 = Capacitance(d, -5.0, 1e5);
        EXPECT_GT(atMinus5, 0.97 * cox);
        EXPECT_LE(atMinus5, cox);

        // Deep in accumulation the hole layer adds a capacitance Q/(2kT/q),
        // so 1 - C/Cox falls like 2kT/q over the gate drive.
        const double atMinus20 = Capacitance(d, -20.0, 1e5);
        const double expectedShortfall = 2.0 * kThermalVolts / (d.flatBandVolts + 20.0);
        EXPECT_NEAR(1.0 - atMinus20 / cox, expectedShortfall, 0.1 * expectedShortfall);
    }
}

TEST(MosCapacitance, InversionSettlesAtOxideInSeriesWithMaximumDepletion)
{
    for (double doping : {1e15, 1e16, 1e17}) {
        SCOPED_TRACE(doping);
        MosDevice d;
        d.dopingPerCubicCm = doping;
        const double cmin = MinimumCapacitance(d);
        for (double frequency : {1e3, 1e5, 1e6}) {
            SCOPED_TRACE(frequency);
            const double at5 = Capacitance(d, 5.0, frequency);
            EXPECT_NEAR(at5, cmin, 0.03 * cmin);
            // High frequency: no return towards Cox with more inversion
            // charge, and no further widening of the depletion layer.
            EXPECT_NEAR(Capacitance(d, 15.0, frequency), at5, 0.005 * at5);
        }
    }
}

TEST(MosCapacitance, InversionPlateauRisesWithTemperature)
{
    // More intrinsic carriers at 400 K lower phi_F and so the maximum
    // depletion width.
    MosDevice cold;
    MosDevice hot;
    hot.temperatureKelvin = 400.0;
    EXPECT_GT(Capacitance(hot, 5.0, 1e5), 1.02 * Capacitance(cold, 5.0, 1e5));
}

TEST(MosCapacitance, FlatBandIsOxideInSeriesWithDebyeCapacitance)
{
    for (double doping : {1e15, 1e16, 1e17}) {
        SCOPED_TRACE(doping);
        MosDevice d;
        d.dopingPerCubicCm = doping;
        d.interfaceTrapDensity = 0.0;
        const double cfb = FlatBandCapacitance(d);
        EXPECT_NEAR(Capacitance(d, d.flatBandVolts, 1e3), cfb, 0.002 * cfb);
        EXPECT_NEAR(Capacitance(d, d.flatBandVolts, 1e6), cfb, 0.002 * cfb);
    }
}

TEST(MosCapacitance, TrapsThatFollowTheSignalAddCapacitanceAtFlatBand)
{
    MosDevice d;
    const double cfb = FlatBandCapacitance(d);
    const double at1k = Capacitance(d, d.flatBandVolts, 1e3);
    const double at1M = Capacitance(d, d.flatBandVolts, 1e6);
    EXPECT_GT(at1k, cfb);
    EXPECT_NEAR(at1k, cfb, 0.05 * cfb);
    // At 1 MHz the trap time at flat band is no longer short next to the
    // period, so part of the trap capacitance drops out.
    EXPECT_LT(at1M, at1k);
    EXPECT_GT(at1M, cfb);
}

TEST(MosCapacitance, FallsSteadilyFromAccumulationToInversion)
{
    const MosDevice d;
    const double cox = OxideCapacitance(d);
    for (double frequency : {1e3, 1e5, 1e6}) {
        SCOPED_TRACE(frequency);
        const auto points = Sweep(d, -5.0, 5.0, 0.05, frequency);
        for (std::size_t i = 1; i < points.size(); ++i) {
            SCOPED_TRACE(points[i].volts);
            const double previous = points[i - 1].value.capacitanceFarads;
            const double current = points[i].value.capacitanceFarads;
            EXPECT_LE(current, previous);
            EXPECT_LT(previous - current, 0.15 * cox);
        }
        EXPECT_GT(points.front().value.capacitanceFarads, 0.97 * cox);
        EXPECT_NEAR(points.back().value.capacitanceFarads, MinimumCapacitance(d),
                    0.03 * MinimumCapacitance(d));
    }
}

TEST(MosCapacitance, ReachesTheInversionPlateauWithoutACorner)
{
    // A depletion width cut off hard at its maximum would drop the slope
    // dC/dV to zero within one millivolt at the onset of inversion.
    const MosDevice d;
    const double vth = ThresholdVolts(d);
    const double step = 1e-3;
    const auto points = Sweep(d, vth - 0.3, vth + 0.3, step, 1e5);
    std::vector<double> slopes;
    for (std::size_t i = 1; i < points.size(); ++i)
        slopes.push_back(
            (points[i].value.capacitanceFarads - points[i - 1].value.capacitanceFarads) / step);
    double steepest = 0.0;
    for (double s : slopes) steepest = std::max(steepest, std::fabs(s));
    ASSERT_GT(steepest, 0.0);
    for (std::size_t i = 1; i < slopes.size(); ++i) {
        SCOPED_TRACE(points[i].volts);
        EXPECT_LT(std::fabs(slopes[i] - slopes[i - 1]), 0.05 * steepest);
    }
}

TEST(MosCapacitance, ScalesWithPadArea)
{
    MosDevice small;
    MosDevice large;
    large.padAreaSquareMetres = 4.0 * small.padAreaSquareMetres;
    for (double v : {-5.0, -0.9, -0.6, 0.0, 5.0}) {
        SCOPED_TRACE(v);
        const auto a = EvaluateMosCapacitor(small, v, 1e5);
        const auto b = EvaluateMosCapacitor(large, v, 1e5);
        EXPECT_NEAR(b.capacitanceFarads, 4.0 * a.capacitanceFarads, 1e-9 * b.capacitanceFarads);
        // Leakage is a property of the pad as given, not per area.
        EXPECT_NEAR(b.conductanceSiemens - large.leakageSiemens,
                    4.0 * (a.conductanceSiemens - small.leakageSiemens),
                    1e-6 * b.conductanceSiemens);
    }
}

TEST(MosCapacitance, NTypeMirrorsPType)
{
    MosDevice p;
    MosDevice n;
    n.pTypeSubstrate = false;
    n.flatBandVolts = -p.flatBandVolts;
    for (double frequency : {1e3, 1e5}) {
        for (double v = -5.0; v <= 5.0; v += 0.05) {
            SCOPED_TRACE(v);
            const auto fromP = EvaluateMosCapacitor(p, -v, frequency);
            const auto fromN = EvaluateMosCapacitor(n, v, frequency);
            EXPECT_NEAR(fromN.capacitanceFarads, fromP.capacitanceFarads,
                        1e-9 * fromP.capacitanceFarads);
            EXPECT_NEAR(fromN.conductanceSiemens, fromP.conductanceSiemens,
                        1e-9 * fromP.conductanceSiemens);
        }
    }
    // Accumulation is now at positive bias.
    EXPECT_GT(Capacitance(n, 5.0, 1e5), 5.0 * Capacitance(n, -5.0, 1e5));
}

TEST(MosCapacitance, TrapChargeStretchesTheDepletionRegion)
{
    // Terman: at a frequency the traps cannot follow, a given capacitance
    // means a given surface potential psi_s, and the trap charge moves the
    // bias needed to reach it by q Dit psi_s / Cox.
    MosDevice clean;
    clean.interfaceTrapDensity = 0.0;
    MosDevice trapped;
    trapped.interfaceTrapDensity = 1e12;
    const double frequency = 1e6;
    const double psi = 0.3;
    const double width =
        std::sqrt(2.0 * kEpsSi * (psi - kThermalVolts) / (kQ * DopingPerCubicMetre(clean)));
    const double target =
        Series(OxideCapacitance(clean), kEpsSi / width * clean.padAreaSquareMetres);

    auto biasFor = [&](const MosDevice& d) {
        double lo = d.flatBandVolts;
        double hi = 5.0;
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (lo + hi);
            (Capacitance(d, mid, frequency) > target ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    };
    const double shift = biasFor(trapped) - biasFor(clean);
    const double expected =
        kQ * trapped.interfaceTrapDensity * 1e4 * psi / (kEpsOx / clean.oxideThicknessMetres);
    EXPECT_NEAR(shift, expected, 0.03 * expected);
}

TEST(MosCapacitance, SweepingDownMovesTheCurveByTheHysteresis)
{
    MosDevice d;
    d.hysteresisVolts = 0.2;
    MosDevice without;
    for (double v : {-2.0, -0.9, -0.5, 0.0, 1.0}) {
        SCOPED_TRACE(v);
        const auto up = EvaluateMosCapacitor(d, v, 1e5, SweepDirection::Up);
        const auto down = EvaluateMosCapacitor(d, v + 0.2, 1e5, SweepDirection::Down);
        EXPECT_DOUBLE_EQ(down.capacitanceFarads, up.capacitanceFarads);
        EXPECT_DOUBLE_EQ(down.conductanceSiemens, up.conductanceSiemens);
        EXPECT_EQ(up.capacitanceFarads, Capacitance(without, v, 1e5));
    }
}

TEST(MosCapacitance, SeriesResistanceLowersAccumulationAsTheTextbookSeriesCircuit)
{
    // In accumulation the device is Cox alone: behind Rs the meter reads
    // C / (1 + (w Rs C)^2) and G = w^2 Rs C^2 / (1 + (w Rs C)^2).
    MosDevice d;
    d.oxideThicknessMetres = 20e-9;  // nearer Cox at -5 V than 10 nm
    MosDevice r = d;
    r.seriesResistanceOhms = 2000.0;
    const double omega = 2.0 * kPi * 1e6;
    const double c = Capacitance(d, -5.0, 1e6);
    const double x = omega * r.seriesResistanceOhms * c;
    const auto measured = EvaluateMosCapacitor(r, -5.0, 1e6);
    EXPECT_NEAR(measured.capacitanceFarads, c / (1.0 + x * x), 1e-3 * c);
    EXPECT_NEAR(measured.conductanceSiemens, omega * x * c / (1.0 + x * x),
                0.01 * omega * x * c / (1.0 + x * x));
    // In inversion the small C puts Rs well out of sight.
    EXPECT_NEAR(EvaluateMosCapacitor(r, 5.0, 1e6).capacitanceFarads, Capacitance(d, 5.0, 1e6),
                0.01 * Capacitance(d, 5.0, 1e6));
}

TEST(MosConductance, PositiveEverywhereAndPeaksInDepletion)
{
    const MosDevice d;
    const double vth = ThresholdVolts(d);
    for (double frequency : {1e3, 1e5, 1e6}) {
        SCOPED_TRACE(frequency);
        const auto points = Sweep(d, -5.0, 5.0, 0.005, frequency);
        for (const Point& p : points)
            ASSERT_GE(p.value.conductanceSiemens, d.leakageSiemens) << p.volts;
        const Point& peak = LargestConductance(points);
        EXPECT_GT(peak.volts, d.flatBandVolts);
        EXPECT_LT(peak.volts, vth);
        // A peak, not a step: trap loss dies away in both accumulation and
        // inversion.
        const double peakLoss = peak.value.conductanceSiemens - d.leakageSiemens;
        EXPECT_LT(points.front().value.conductanceSiemens - d.leakageSiemens, 0.01 * peakLoss);
        EXPECT_LT(points.back().value.conductanceSiemens - d.leakageSiemens, 0.01 * peakLoss);
    }
}

TEST(MosConductance, PeakMovesTowardsFlatBandAsFrequencyRises)
{
    // A faster signal needs a shorter trap time, so more majority carriers
    // at the surface: less band bending.
    const MosDevice d;
    const double at1k = LargestConductance(Sweep(d, -2.0, 1.0, 0.002, 1e3)).volts;
    const double at100k = LargestConductance(Sweep(d, -2.0, 1.0, 0.002, 1e5)).volts;
    EXPECT_LT(at100k, at1k - 0.05);
}

TEST(MosConductance, GrowsWithTrapDensityAndIsLeakageWithoutTraps)
{
    MosDevice d;
    d.interfaceTrapDensity = 0.0;
    for (const Point& p : Sweep(d, -5.0, 5.0, 0.1, 1e5))
        EXPECT_NEAR(p.value.conductanceSiemens, d.leakageSiemens, 1e-6 * d.leakageSiemens)
            << p.volts;

    double previousLoss = 0.0;
    for (double dit : {5e10, 1e11, 2e11}) {
        SCOPED_TRACE(dit);
        d.interfaceTrapDensity = dit;
        const double loss =
            LargestConductance(Sweep(d, -2.0, 1.0, 0.002, 1e5)).value.conductanceSiemens -
            d.leakageSiemens;
        if (previousLoss > 0.0) {
            // Nearly proportional while the trap capacitance stays small next
            // to Cox and the depletion capacitance.
            EXPECT_NEAR(loss / previousLoss, 2.0, 0.2);
        }
        previousLoss = loss;
    }
}

TEST(MosConductance, ConductanceMethodRecoversTheTrapDensity)
{
    // Removing Cox from the terminal values gives Gp/omega of the interface,
    // whose maximum over bias is q Dit A / 2 for a single-level trap.
    for (double dit : {5e10, 3e11}) {
        for (double frequency : {1e3, 1e5}) {
            SCOPED_TRACE(dit);
            SCOPED_TRACE(frequency);
            MosDevice d;
            d.interfaceTrapDensity = dit;
            const double omega = 2.0 * kPi * frequency;
            const double cox = OxideCapacitance(d);
            double best = 0.0;
            for (const Point& p : Sweep(d, d.flatBandVolts, ThresholdVolts(d), 1e-3, frequency)) {
                const double gm = p.value.conductanceSiemens - d.leakageSiemens;
                const double cm = p.value.capacitanceFarads;
                const double gpOverOmega =
                    omega * cox * cox * gm / (gm * gm + omega * omega * (cox - cm) * (cox - cm));
                best = std::max(best, gpOverOmega);
            }
            const double expected = kQ * dit * 1e4 * d.padAreaSquareMetres / 2.0;
            EXPECT_NEAR(best, expected, 0.01 * expected);
        }
    }
}

// The readings of the model as it was before the trap continuum, U-shaped
// density and energy-dependent cross-section came in: the default device
// (0) and an n-type one with series resistance and hysteresis (1), at
// biases, frequencies and both directions. Printed with printf("%a") by a
// small program calling EvaluateMosCapacitor at commit 2b22ca8, built with
// g++ -O2 against sim/mos_capacitor.cpp; the new keys at their defaults must
// keep every bit.
struct RecordedReading {
    int device;
    double bias;
    double frequency;
    SweepDirection direction;
    double capacitance;
    double conductance;
};
constexpr SweepDirection Up = SweepDirection::Up;
constexpr SweepDirection Down = SweepDirection::Down;
const RecordedReading kRecordedReadings[] = {
    {0, -0x1.8p+1, 0x1.4p+4, Up, 0x1.279c1662124d9p-35, 0x1.12e0be826da14p-30},
    {0, -0x1.8p+1, 0x1.4p+4, Down, 0x1.279c1662124d9p-35, 0x1.12e0be826da14p-30},
    {0, -0x1.ccccccccccccdp-1, 0x1.4p+4, Up, 0x1.05ba12e39e6ccp-36, 0x1.12e0c5e449e8ep-30},
    {0, -0x1.ccccccccccccdp-1, 0x1.4p+4, Down, 0x1.05ba12e39e6ccp-36, 0x1.12e0c5e449e8ep-30},
    {0, -0x1p-1, 0x1.4p+4, Up, 0x1.56c4ca93f83f4p-38, 0x1.1be7f303ca5bfp-30},
    {0, -0x1p-1, 0x1.4p+4, Down, 0x1.56c4ca93f83f4p-38, 0x1.1be7f303ca5bfp-30},
    {0, 0x0p+0, 0x1.4p+4, Up, 0x1.ba3f14397f0adp-39, 0x1.12e0be8f6cfbcp-30},
    {0, 0x0p+0, 0x1.4p+4, Down, 0x1.ba3f14397f0adp-39, 0x1.12e0be8f6cfbcp-30},
    {0, 0x1.3333333333333p-1, 0x1.4p+4, Up, 0x1.b4a59da28e414p-39, 0x1.12e0be827dd29p-30},
    {0, 0x1.3333333333333p-1, 0x1.4p+4, Down, 0x1.b4a59da28e414p-39, 0x1.12e0be827dd29p-30},
    {0, 0x1.8p+1, 0x1.4p+4, Up, 0x1.b49b95d42171cp-39, 0x1.12e0be826e13p-30},
    {0, 0x1.8p+1, 0x1.4p+4, Down, 0x1.b49b95d42171cp-39, 0x1.12e0be826e13p-30},
    {0, -0x1.8p+1, 0x1.388p+13, Up, 0x1.279c1662124d9p-35, 0x1.12e0bf57e982ep-30},
    {0, -0x1.8p+1, 0x1.388p+13, Down, 0x1.279c1662124d9p-35, 0x1.12e0bf57e982ep-30},
    {0, -0x1.ccccccccccccdp-1, 0x1.388p+13, Up, 0x1.05ba073be49d2p-36, 0x1.2f09b742bf3cdp-30},
    {0, -0x1.ccccccccccccdp-1, 0x1.388p+13, Down, 0x1.05ba073be49d2p-36, 0x1.2f09b742bf3cdp-30},
    {0, -0x1p-1, 0x1.388p+13, Up, 0x1.4b75094a6178cp-38, 0x1.1f522ebd1d836p-30},
    {0, -0x1p-1, 0x1.388p+13, Down, 0x1.4b75094a6178cp-38, 0x1.1f522ebd1d836p-30},
    {0, 0x0p+0, 0x1.388p+13, Up, 0x1.ba3f14397f0acp-39, 0x1.12e0be8f6cfbcp-30},
    {0, 0x0p+0, 0x1.388p+13, Down, 0x1.ba3f14397f0acp-39, 0x1.12e0be8f6cfbcp-30},
    {0, 0x1.3333333333333p-1, 0x1.388p+13, Up, 0x1.b4a59da28e414p-39, 0x1.12e0be827dd29p-30},
    {0, 0x1.3333333333333p-1, 0x1.388p+13, Down, 0x1.b4a59da28e414p-39, 0x1.12e0be827dd29p-30},
    {0, 0x1.8p+1, 0x1.388p+13, Up, 0x1.b49b95d42171cp-39, 0x1.12e0be826e13p-30},
    {0, 0x1.8p+1, 0x1.388p+13, Down, 0x1.b49b95d42171cp-39, 0x1.12e0be826e13p-30},
    {0, -0x1.8p+1, 0x1.e848p+19, Up, 0x1.279c166211f23p-35, 0x1.130151c20bae6p-30},
    {0, -0x1.8p+1, 0x1.e848p+19, Down, 0x1.279c166211f23p-35, 0x1.130151c20bae6p-30},
    {0, -0x1.ccccccccccccdp-1, 0x1.e848p+19, Up, 0x1.0471339b65ed4p-36, 0x1.8dd43196f0248p-21},
    {0, -0x1.ccccccccccccdp-1, 0x1.e848p+19, Down, 0x1.0471339b65ed4p-36, 0x1.8dd43196f0248p-21},
    {0, -0x1p-1, 0x1.e848p+19, Up, 0x1.4b7505343ca21p-38, 0x1.1f522ff8f2a87p-30},
    {0, -0x1p-1, 0x1.e848p+19, Down, 0x1.4b7505343ca21p-38, 0x1.1f522ff8f2a87p-30},
    {0, 0x0p+0, 0x1.e848p+19, Up, 0x1.ba3f14397f0adp-39, 0x1.12e0be8f6cfbcp-30},
    {0, 0x0p+0, 0x1.e848p+19, Down, 0x1.ba3f14397f0adp-39, 0x1.12e0be8f6cfbcp-30},
    {0, 0x1.3333333333333p-1, 0x1.e848p+19, Up, 0x1.b4a59da28e414p-39, 0x1.12e0be827dd29p-30},
    {0, 0x1.3333333333333p-1, 0x1.e848p+19, Down, 0x1.b4a59da28e414p-39, 0x1.12e0be827dd29p-30},
    {0, 0x1.8p+1, 0x1.e848p+19, Up, 0x1.b49b95d42171bp-39, 0x1.12e0be826e13p-30},
    {0, 0x1.8p+1, 0x1.e848p+19, Down, 0x1.b49b95d42171bp-39, 0x1.12e0be826e13p-30},
    {1, -0x1.8p+1, 0x1.4p+4, Up, 0x1.b49bc06bd1c26p-39, 0x1.12e0bcfb59c3ep-30},
    {1, -0x1.8p+1, 0x1.4p+4, Down, 0x1.b49ba05602bb2p-39, 0x1.12e0bcfb59875p-30},
    {1, -0x1.ccccccccccccdp-1, 0x1.4p+4, Up, 0x1.b4b1b1b8da89dp-39, 0x1.12e0bcfb835ebp-30},
    {1, -0x1.ccccccccccccdp-1, 0x1.4p+4, Down, 0x1.b4a2e52227166p-39, 0x1.12e0bcfb67444p-30},
    {1, -0x1p-1, 0x1.4p+4, Up, 0x1.ba3f0e6d9054p-39, 0x1.12e0bd0a2ac0cp-30},
    {1, -0x1p-1, 0x1.4p+4, Down, 0x1.b4c16288e4942p-39, 0x1.12e0bcfba15c4p-30},
    {1, 0x0p+0, 0x1.4p+4, Up, 0x1.56c4c5f00dafap-38, 0x1.1be7f1c49f54dp-30},
    {1, 0x0p+0, 0x1.4p+4, Down, 0x1.f0107c377d363p-39, 0x1.12e0e362ea466p-30},
    {1, 0x1.3333333333333p-1, 0x1.4p+4, Up, 0x1.b96d352752623p-36, 0x1.12e0ceb149baep-30},
    {1, 0x1.3333333333333p-1, 0x1.4p+4, Down, 0x1.5c1c23bdb2e56p-37, 0x1.12e14d50fa9c1p-30},
    {1, 0x1.8p+1, 0x1.4p+4, Up, 0x1.293f695b6ab3ap-35, 0x1.12e0dd31b02dbp-30},
    {1, 0x1.8p+1, 0x1.4p+4, Down, 0x1.285a8cfdc64ecp-35, 0x1.12e0dcffbd4f9p-30},
    {1, -0x1.8p+1, 0x1.388p+13, Up, 0x1.b49bc0690946bp-39, 0x1.13ec1a16761a8p-30},
    {1, -0x1.8p+1, 0x1.388p+13, Down, 0x1.b49ba0533a4p-39, 0x1.13ec19ef2a2cdp-30},
    {1, -0x1.ccccccccccccdp-1, 0x1.388p+13, Up, 0x1.b4b1b1b611a2dp-39, 0x1.13ec34f6f9cf7p-30},
    {1, -0x1.ccccccccccccdp-1, 0x1.388p+13, Down, 0x1.b4a2e51f5e77bp-39, 0x1.13ec22d643a93p-30},
    {1, -0x1p-1, 0x1.388p+13, Up, 0x1.ba3f0e6aabe2dp-39, 0x1.13f30d378c1fcp-30},
    {1, -0x1p-1, 0x1.388p+13, Down, 0x1.b4c162861b603p-39, 0x1.13ec482fea314p-30},
    {1, 0x0p+0, 0x1.388p+13, Up, 0x1.4b7504bafa6abp-38, 0x1.21ba890088db6p-30},
    {1, 0x0p+0, 0x1.388p+13, Down, 0x1.f0107c325666cp-39, 0x1.143a070985b82p-30},
    {1, 0x1.3333333333333p-1, 0x1.388p+13, Up, 0x1.b96d346c6e387p-36, 0x1.577bb6d5c77c9p-30},
    {1, 0x1.3333333333333p-1, 0x1.388p+13, Down, 0x1.5c06e936b68cbp-37, 0x1.9bb8458251d5fp-29},
    {1, 0x1.8p+1, 0x1.388p+13, Up, 0x1.293f687a96457p-35, 0x1.8ecd6564d2c8p-30},
    {1, 0x1.8p+1, 0x1.388p+13, Down, 0x1.285a8c1ef7a01p-35, 0x1.8e0edb5e5b97ap-30},
    {1, -0x1.8p+1, 0x1.e848p+19, Up, 0x1.b49b53b4704c5p-39, 0x1.4ef631c9e0c02p-25},
    {1, -0x1.8p+1, 0x1.e848p+19, Down, 0x1.b49b339eb93c8p-39, 0x1.4ef601d206579p-25},
    {1, -0x1.ccccccccccccdp-1, 0x1.e848p+19, Up, 0x1.b4b144f1141b9p-39, 0x1.4f1700a021661p-25},
    {1, -0x1.ccccccccccccdp-1, 0x1.e848p+19, Down, 0x1.b4a278656f7bbp-39, 0x1.4f00dfd94dc4dp-25},
    {1, -0x1p-1, 0x1.e848p+19, Up, 0x1.ba3e9d720bff9p-39, 0x1.5771e78962a88p-25},
    {1, -0x1p-1, 0x1.e848p+19, Down, 0x1.b4c0f5b563f9p-39, 0x1.4f2e77776b57ep-25},
    {1, 0x0p+0, 0x1.e848p+19, Up, 0x1.4b744265f4969p-38, 0x1.7caeb2b3ee11cp-24},
    {1, 0x0p+0, 0x1.e848p+19, Down, 0x1.f00fdcc27f6d1p-39, 0x1.ade6f3017c2ap-25},
    {1, 0x1.3333333333333p-1, 0x1.e848p+19, Up, 0x1.b950b29e420b9p-36, 0x1.4f090bf8ad55bp-19},
    {1, 0x1.3333333333333p-1, 0x1.e848p+19, Down, 0x1.4dbcb19276002p-37, 0x1.7535ea3f798f4p-21},
    {1, 0x1.8p+1, 0x1.e848p+19, Up, 0x1.291d1edd6b246p-35, 0x1.2e7b0fb08b5ecp-18},
    {1, 0x1.8p+1, 0x1.e848p+19, Down, 0x1.283891714012ap-35, 0x1.2caa4baf77a61p-18},
};

TEST(MosCapacitorRecord, DefaultsReadBitForBitAsBeforeTheTrapContinuum)
{
    MosDevice other;
    other.pTypeSubstrate = false;
    other.seriesResistanceOhms = 100.0;
    other.hysteresisVolts = 0.3;
    other.flatBandVolts = 0.4;
    for (const RecordedReading& r : kRecordedReadings) {
        const auto value =
            EvaluateMosCapacitor(r.device ? other : MosDevice{}, r.bias, r.frequency, r.direction);
        SCOPED_TRACE(::testing::Message() << r.device << " " << r.bias << " V " << r.frequency
                                          << " Hz " << static_cast<int>(r.direction));
        EXPECT_EQ(value.capacitanceFarads, r.capacitance);
        EXPECT_EQ(value.conductanceSiemens, r.conductance);
    }
}

// A continuum's Gp/w over frequency at one bias, from the terminal values
// with Cox taken off as the conductance method does, peaks at w tau = 1.98
// with 0.402 q D of the traps at the surface Fermi level.
TEST(MosConductance, ContinuumPeaksOverFrequencyAtTheTrapsOfTheSurfaceFermiLevel)
{
    MosDevice uniform;
    uniform.trapResponse = TrapResponse::Continuum;
    uniform.leakageSiemens = 0.0;
    MosDevice shaped = uniform;
    shaped.interfaceTrapEdgeDensity = 1e12;
    shaped.trapCrossSectionDecadesPerEv = 2.0;
    for (const MosDevice& d : {uniform, shaped}) {
        double previousPeak = 1e12;
        for (double bias : {-0.8, -0.75, -0.7}) {
            SCOPED_TRACE(::testing::Message() << d.interfaceTrapEdgeDensity << " at " << bias);
            const InterfaceTrapState traps = EvaluateInterfaceTraps(d, bias);
            const double x = traps.energyAboveMidgapEv;
            const double edge = std::exp((x - 0.56) / 0.1) + std::exp((-x - 0.56) / 0.1);
            EXPECT_NEAR(traps.densityPerSquareCmEv,
                        d.interfaceTrapDensity + d.interfaceTrapEdgeDensity * edge, 1e-9 * 5e10);
            const double cox = OxideCapacitance(d);
            double best = 0.0;
            double bestFrequency = 0.0;
            for (double logF = 2.0; logF <= 7.0; logF += 0.002) {
                const double f = std::pow(10.0, logF);
                const double w = 2.0 * kPi * f;
                const auto r = EvaluateMosCapacitor(d, bias, f);
                const double gm = r.conductanceSiemens;
                const double cm = r.capacitanceFarads;
                const double g = w * cox * cox * gm / (gm * gm + w * w * (cox - cm) * (cox - cm));
                if (g > best) {
                    best = g;
                    bestFrequency = f;
                }
            }
            const double expected =
                0.4024 * kQ * traps.densityPerSquareCmEv * 1e4 * d.padAreaSquareMetres;
            EXPECT_NEAR(best, expected, 0.002 * expected);
            EXPECT_NEAR(2.0 * kPi * bestFrequency * traps.timeConstantSeconds, 1.98, 0.02);
            // Further into depletion fewer majority carriers reach the
            // surface: slower traps, a lower peak frequency.
            EXPECT_LT(bestFrequency, 0.5 * previousPeak);
            previousPeak = bestFrequency;
        }
    }
}

TEST(MosCapacitorRange, ExtremeInputsGiveFinitePositiveValues)
{
    for (bool pType : {true, false}) {
        for (double doping : {1e14, 1e16, 1e19}) {
            for (double tox : {1e-9, 10e-9, 200e-9}) {
                for (double frequency : {0.0, -50.0, 20.0, 1e6}) {
                    for (double bias : {-40.0, -1.0, 0.0, 0.9, 40.0}) {
                        MosDevice d;
                        d.pTypeSubstrate = pType;
                        d.dopingPerCubicCm = doping;
                        d.oxideThicknessMetres = tox;
                        // The continuum with a steep U and cross-section on
                        // one substrate type, the single level on the other.
                        if (pType == (doping > 1e15)) {
                            d.trapResponse = TrapResponse::Continuum;
                            d.interfaceTrapEdgeDensity = 1e13;
                            d.interfaceTrapEdgeWidthEv = 0.01;
                            d.trapCrossSectionDecadesPerEv = -30.0;
                        }
                        const auto r = EvaluateMosCapacitor(d, bias, frequency);
                        SCOPED_TRACE(::testing::Message()
                                     << "p=" << pType << " N=" << doping << " tox=" << tox
                                     << " f=" << frequency << " V=" << bias);
                        ASSERT_TRUE(std::isfinite(r.capacitanceFarads));
                        ASSERT_TRUE(std::isfinite(r.conductanceSiemens));
                        EXPECT_GT(r.capacitanceFarads, 0.0);
                        EXPECT_LE(r.capacitanceFarads, OxideCapacitance(d) * (1.0 + 1e-12));
                        EXPECT_GE(r.conductanceSiemens, d.leakageSiemens);
                    }
                }
            }
        }
    }
}

TEST(MosCapacitorRange, FrequencyBelowOneHertzCountsAsOneHertz)
{
    const MosDevice d;
    for (double bias : {-3.0, -0.7, 2.0}) {
        SCOPED_TRACE(bias);
        const auto atOne = EvaluateMosCapacitor(d, bias, 1.0);
        for (double frequency : {0.0, -1.0, 0.25, std::numeric_limits<double>::quiet_NaN()}) {
            const auto r = EvaluateMosCapacitor(d, bias, frequency);
            EXPECT_EQ(r.capacitanceFarads, atOne.capacitanceFarads);
            EXPECT_EQ(r.conductanceSiemens, atOne.conductanceSiemens);
        }
    }
}

}  // namespace
}  // namespace quillon
