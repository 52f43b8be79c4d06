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
