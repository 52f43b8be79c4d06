#include "sim/mos_capacitor.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "common/physical_constants.h"

namespace quillon {

namespace {

constexpr double kElementaryCharge = 1.602176634e-19;  // C
constexpr double kBoltzmann = 1.380649e-23;            // J/K
constexpr double kVacuumPermittivity = 8.8541878128e-12;
constexpr double kSiliconPermittivity = 11.7 * kVacuumPermittivity;
constexpr double kOxidePermittivity = 3.9 * kVacuumPermittivity;
constexpr double kSiliconBandGapEv = 1.12;
constexpr double kIntrinsicDensityAt300KPerCubicCm = 1.0e10;
constexpr double kThermalVelocityAt300KCmPerSecond = 1.0e7;

// Band bending is handled in units of kT/q. Beyond this the exponentials of
// the charge function would overflow; no realistic bias gets anywhere near.
constexpr double kMaxReducedPotential = 700.0;
// Above this the minority term is evaluated relative to the inversion onset
// so that exp(u) alone cannot overflow.
constexpr double kLargeReducedPotential = 30.0;
constexpr double kSeriesLimit = 1e-3;
constexpr double kFlatBandLimit = 1e-8;
constexpr int kMaxSolverSteps = 200;
constexpr double kSolverTolerance = 1e-10;

// exp(-u) + u - 1 without the cancellation near flat band.
double HoleTerm(double u)
{
    if (std::fabs(u) < kSeriesLimit) {
        const double u2 = u * u;
        return u2 * (0.5 - u / 6.0 + u2 / 24.0 - u2 * u / 120.0);
    }
    return std::expm1(-u) + u;
}

double HoleTermSlope(double u)
{
    return -std::expm1(-u);
}

// (n0/p0) * (exp(u) - u - 1), with n0/p0 = exp(-twoUb).
double ElectronTerm(double u, double twoUb)
{
    const double ratio = std::exp(-twoUb);
    if (std::fabs(u) < kSeriesLimit) {
        const double u2 = u * u;
        return ratio * u2 * (0.5 + u / 6.0 + u2 / 24.0 + u2 * u / 120.0);
    }
    if (u > kLargeReducedPotential) return std::exp(u - twoUb) - ratio * (1.0 + u);
    return ratio * (std::expm1(u) - u);
}

double ElectronTermSlope(double u, double twoUb)
{
    if (u > kLargeReducedPotential) return std::exp(u - twoUb) - std::exp(-twoUb);
    return std::exp(-twoUb) * std::expm1(u);
}

// Smooth minimum with a width of one kT/q, so the depletion edge stops
// moving at the onset of inversion without a corner in C(V).
double SoftMinimum(double a, double b)
{
    return std::min(a, b) - std::log1p(std::exp(-std::fabs(a - b)));
}

// Silicon substrate, worked as p-type: an n-type substrate is the same
// problem with every potential negated.
struct Substrate {
    double temperature = 300.0;
    double beta = 0.0;         // q/kT [1/V]
    double chargeScale = 0.0;  // sqrt(2 eps_si kT p0) [C/m^2]
    double twoUb = 0.0;        // 2 phi_F in units of kT/q
    double majorityPerCubicCm = 0.0;

    // E - Ei [eV] of the surface Fermi level at band bending u, in this
    // p-type frame: at flat band the Fermi level lies phi_F below Ei.
    double EnergyAboveMidgap(double u) const { return (u - 0.5 * twoUb) / beta; }

    // Gate charge per area that holds the band bending u: the semiconductor
    // charge with its sign turned, so it has the sign of u.
    double Charge(double u) const
    {
        const double f2 = HoleTerm(u) + ElectronTerm(u, twoUb);
        const double magnitude = chargeScale * std::sqrt(std::max(f2, 0.0));
        return u < 0.0 ? -magnitude : magnitude;
    }

    // dQ/dpsi with every carrier in equilibrium: the quasi-static value.
    double EquilibriumCapacitance(double u) const
    {
        const double ratio = std::exp(-twoUb);
        if (std::fabs(u) < kFlatBandLimit)
            return 0.5 * beta * chargeScale * std::sqrt(2.0 * (1.0 + ratio));
        const double f2 = HoleTerm(u) + ElectronTerm(u, twoUb);
        const double slope = HoleTermSlope(u) + ElectronTermSlope(u, twoUb);
        return 0.5 * beta * chargeScale * std::fabs(slope) / std::sqrt(f2);
    }

    // dQ/dpsi from majority carriers and the depletion edge only, with the
    // depletion width held at its maximum once the surface inverts: the
    // inversion layer cannot be generated within one period of the signal.
    double HighFrequencyCapacitance(double u) const
    {
        // 2 phi_F plus the kT/q that the majority-carrier tail takes off the
        // depletion layer: the width then equals sqrt(4 eps_si phi_F/(q N)).
        const double uDepletion = SoftMinimum(u, twoUb + 1.0);
        if (std::fabs(uDepletion) < kFlatBandLimit)
            return 0.5 * beta * chargeScale * std::sqrt(2.0);
        return 0.5 * beta * chargeScale * std::fabs(HoleTermSlope(uDepletion)) /
               std::sqrt(HoleTerm(uDepletion));
    }
};

// The U-shaped part of the trap density, over x = E - Ei [eV]; symmetric
// in x, so the same in the p-type frame as in the substrate's own.
struct TrapEdges {
    double densityPerSquareCmEv = 0.0;
    double widthEv = 0.1;

    bool Present() const { return densityPerSquareCmEv > 0.0; }

    double Density(double x) const
    {
        const double half = 0.5 * kSiliconBandGapEv;
        const double inGap = std::clamp(x, -half, half);
        return densityPerSquareCmEv *
               (std::exp((inGap - half) / widthEv) + std::exp((-inGap - half) / widthEv));
    }

    // Integral of Density from 0 to x [cm^-2].
    double Integral(double x) const
    {
        const double half = 0.5 * kSiliconBandGapEv;
        const double inGap = std::clamp(x, -half, half);
        const double inside =
            densityPerSquareCmEv * widthEv *
            (std::exp((inGap - half) / widthEv) - std::exp((-inGap - half) / widthEv));
        return inside + (x - inGap) * Density(inGap);
    }

    // The charge the edges' traps take [C/m^2] as the surface Fermi level
    // moves from its flat-band energy to x; like the uniform part's, it has
    // the sign of the band bending.
    double Charge(double x, double flatBandX) const
    {
        return kElementaryCharge * 1e4 * (Integral(x) - Integral(flatBandX));
    }

    // dCharge/dpsi_s [F/m^2].
    double Capacitance(double x) const { return kElementaryCharge * 1e4 * Density(x); }
};

TrapEdges MakeTrapEdges(const MosDevice& device)
{
    TrapEdges edges;
    edges.densityPerSquareCmEv = std::max(device.interfaceTrapEdgeDensity, 0.0);
    // Narrower than this the exponentials would overflow inside the gap.
    edges.widthEv = std::max(device.interfaceTrapEdgeWidthEv, 0.005);
    return edges;
}

Substrate MakeSubstrate(const MosDevice& device)
{
    // Outside this range the statistics used here (full ionisation, no
    // degeneracy) mean nothing anyway; the clamp only keeps numbers finite.
    const double temperature = std::clamp(device.temperatureKelvin, 50.0, 800.0);
    const double dopingPerCubicCm = std::clamp(device.dopingPerCubicCm, 1e10, 1e21);

    const double thermalVolts = kBoltzmann * temperature / kElementaryCharge;
    const double thermalVoltsAt300K = kBoltzmann * 300.0 / kElementaryCharge;
    const double logIntrinsic =
        std::log(kIntrinsicDensityAt300KPerCubicCm) + 1.5 * std::log(temperature / 300.0) -
        0.5 * kSiliconBandGapEv * (1.0 / thermalVolts - 1.0 / thermalVoltsAt300K);
    const double intrinsic = std::exp(logIntrinsic);
    const double halfDoping = 0.5 * dopingPerCubicCm;
    const double majority = halfDoping + std::sqrt(halfDoping * halfDoping + intrinsic * intrinsic);

    Substrate s;
    s.temperature = temperature;
    s.beta = 1.0 / thermalVolts;
    s.majorityPerCubicCm = majority;
    s.twoUb = 2.0 * (std::log(majority) - logIntrinsic);
    s.chargeScale =
        std::sqrt(2.0 * kSiliconPermittivity * kBoltzmann * temperature * majority * 1e6);
    return s;
}

// Reduced surface potential u = q psi_s / kT for a gate drive Vg - Vfb,
// from Vg - Vfb = psi_s + (Qs + Qit)/Cox. The left side grows strictly with u,
// so Newton steps kept inside a shrinking bracket always converge.
double SolveSurfacePotential(const Substrate& s, double drive, double oxideCapacitance,
                             double trapCapacitance, const TrapEdges& edges)
{
    const double target = s.beta * drive;
    // The edges' share is added only where there are edges, so that a
    // device without them solves exactly as before they existed.
    auto residual = [&](double u) {
        const double r =
            u + s.beta * s.Charge(u) / oxideCapacitance + trapCapacitance * u / oxideCapacitance;
        if (!edges.Present()) return r - target;
        return r +
               s.beta * edges.Charge(s.EnergyAboveMidgap(u), s.EnergyAboveMidgap(0.0)) /
                   oxideCapacitance -
               target;
    };
    auto slope = [&](double u) {
        const double d = 1.0 + (s.EquilibriumCapacitance(u) + trapCapacitance) / oxideCapacitance;
        if (!edges.Present()) return d;
        return d + edges.Capacitance(s.EnergyAboveMidgap(u)) / oxideCapacitance;
    };

    double lo = -kMaxReducedPotential;
    double hi = s.twoUb + kMaxReducedPotential;
    if (residual(lo) >= 0.0) return lo;
    if (residual(hi) <= 0.0) return hi;

    // Start from the obvious regime: the accumulation-layer exponential, or
    // the depletion approximation capped just past the inversion onset.
    double u;
    if (drive <= 0.0) {
        u = -2.0 * std::log1p(oxideCapacitance * -drive / s.chargeScale);
    } else {
        const double gamma =
            std::sqrt(2.0 * kSiliconPermittivity * kElementaryCharge * s.majorityPerCubicCm * 1e6) /
            oxideCapacitance;
        const double root = 0.5 * (std::sqrt(gamma * gamma + 4.0 * drive) - gamma);
        u = std::min(s.beta * root * root,
                     s.twoUb + 2.0 * std::log1p(oxideCapacitance * drive / s.chargeScale));
    }
    u = std::clamp(u, lo, hi);

    double previousStep = hi - lo;
    for (int i = 0; i < kMaxSolverSteps; ++i) {
        const double r = residual(u);
        if (r == 0.0) return u;
        if (r < 0.0)
            lo = u;
        else
            hi = u;
        const double d = slope(u);
        double next = u - r / d;
        // Bisect when Newton leaves the bracket or stops halving its steps,
        // which bounds the work even from a poor starting point.
        if (!(next > lo && next < hi) || std::fabs(2.0 * r) > std::fabs(previousStep * d))
            next = 0.5 * (lo + hi);
        previousStep = next - u;
        u = next;
        if (std::fabs(previousStep) < kSolverTolerance || hi - lo < kSolverTolerance) break;
    }
    return u;
}

}  // namespace

namespace {

// The DC solution at a bias and the traps at the surface Fermi level.
struct TrapSolution {
    Substrate substrate;
    double oxideCapacitance = 0.0;  // [F/m^2]
    double u = 0.0;                 // reduced band bending, p-type frame
    double energyAboveMidgapEv = 0.0;
    double trapCapacitance = 0.0;  // q D(E) [F/m^2]
    double logCaptureRate = 0.0;   // ln(sigma(E) v_th p0) [1/s]
    double captureRate = 0.0;      // sigma(E) v_th p0 [1/s]
};

TrapSolution SolveTraps(const MosDevice& device, double biasVolts, SweepDirection direction)
{
    const double flatBand =
        device.flatBandVolts + (direction == SweepDirection::Down ? device.hysteresisVolts : 0.0);
    double bias = std::isnan(biasVolts) ? flatBand : biasVolts;
    bias = std::clamp(bias, -1000.0, 1000.0);

    TrapSolution t;
    t.substrate = MakeSubstrate(device);
    const Substrate& s = t.substrate;
    t.oxideCapacitance = kOxidePermittivity / std::max(device.oxideThicknessMetres, 1e-10);
    const double uniformTrapCapacitance =
        kElementaryCharge * std::max(device.interfaceTrapDensity, 0.0) * 1e4;
    const TrapEdges edges = MakeTrapEdges(device);

    double drive = bias - flatBand;
    if (!device.pTypeSubstrate) drive = -drive;
    t.u = SolveSurfacePotential(s, drive, t.oxideCapacitance, uniformTrapCapacitance, edges);
    const double frameEnergy = s.EnergyAboveMidgap(t.u);
    t.energyAboveMidgapEv = device.pTypeSubstrate ? frameEnergy : -frameEnergy;
    t.trapCapacitance = uniformTrapCapacitance;
    if (edges.Present()) t.trapCapacitance += edges.Capacitance(frameEnergy);

    // Traps exchanging with majority carriers at the surface:
    // tau = 1 / (sigma v_th p_s), p_s = p0 exp(-u). Carried in logarithms
    // because tau spans hundreds of decades across the sweep.
    const double thermalVelocity =
        kThermalVelocityAt300KCmPerSecond * std::sqrt(s.temperature / 300.0);
    t.captureRate = std::max(device.trapCaptureCrossSectionSquareCm, 1e-30) * thermalVelocity *
                    s.majorityPerCubicCm;
    t.logCaptureRate = std::log(t.captureRate);
    if (device.trapCrossSectionDecadesPerEv != 0.0) {
        const double decades =
            std::clamp(device.trapCrossSectionDecadesPerEv * t.energyAboveMidgapEv, -100.0, 100.0);
        t.captureRate *= std::pow(10.0, decades);
        t.logCaptureRate += decades * std::log(10.0);
    }
    return t;
}

// The continuum's loss and response over x = w tau, from ln x:
// ln(1 + x^2) / (2 x) and atan(x) / x, kept finite where x under- or
// overflows.
void ContinuumFractions(double logOmegaTau, double& lossFraction, double& responseFraction)
{
    if (logOmegaTau > 0.0) {
        const double inverse = std::exp(-logOmegaTau);
        lossFraction = inverse * (logOmegaTau + 0.5 * std::log1p(inverse * inverse));
        responseFraction = inverse * std::atan(1.0 / inverse);
        if (inverse == 0.0) responseFraction = 0.0;
        return;
    }
    const double x = std::exp(logOmegaTau);
    if (x < 1e-4) {
        lossFraction = 0.5 * x * (1.0 - 0.5 * x * x);
        responseFraction = 1.0 - x * x / 3.0;
        return;
    }
    lossFraction = std::log1p(x * x) / (2.0 * x);
    responseFraction = std::atan(x) / x;
}

}  // namespace

CapacitanceConductance EvaluateMosCapacitor(const MosDevice& device, double biasVolts,
                                            double frequencyHertz, SweepDirection direction)
{
    const double frequency = frequencyHertz >= 1.0 ? frequencyHertz : 1.0;
    const double omega = 2.0 * kPi * std::min(frequency, 1e12);
    const TrapSolution t = SolveTraps(device, biasVolts, direction);
    const Substrate& s = t.substrate;
    const double u = t.u;

    // The single level's formula is kept as it always was: the default
    // device reads exactly what it read before the continuum existed.
    const double logOmegaTau = device.trapCrossSectionDecadesPerEv != 0.0
                                   ? std::log(omega) - t.logCaptureRate + u
                                   : std::log(omega / t.captureRate) + u;
    double lossFraction;      // omega tau / (1 + (omega tau)^2) for one level
    double responseFraction;  // 1 / (1 + (omega tau)^2) for one level
    if (device.trapResponse == TrapResponse::Continuum) {
        ContinuumFractions(logOmegaTau, lossFraction, responseFraction);
    } else if (logOmegaTau > 0.0) {
        const double inverse = std::exp(-logOmegaTau);
        const double inverse2 = inverse * inverse;
        lossFraction = inverse / (1.0 + inverse2);
        responseFraction = inverse2 / (1.0 + inverse2);
    } else {
        const double x = std::exp(logOmegaTau);
        lossFraction = x / (1.0 + x * x);
        responseFraction = 1.0 / (1.0 + x * x);
    }

    using Admittance = std::complex<double>;
    const Admittance semiconductor(
        omega * t.trapCapacitance * lossFraction,
        omega * (s.HighFrequencyCapacitance(u) + t.trapCapacitance * responseFraction));
    const Admittance oxide(0.0, omega * t.oxideCapacitance);
    const Admittance perArea = oxide * semiconductor / (oxide + semiconductor);

    CapacitanceConductance result;
    result.capacitanceFarads = perArea.imag() / omega * device.padAreaSquareMetres;
    result.conductanceSiemens = perArea.real() * device.padAreaSquareMetres + device.leakageSiemens;
    // Without a series resistance the pad's values are left exactly as they
    // are, not passed through a division by one.
    if (device.seriesResistanceOhms > 0.0) {
        const Admittance pad(result.conductanceSiemens, omega * result.capacitanceFarads);
        const Admittance terminals = pad / (1.0 + device.seriesResistanceOhms * pad);
        result.capacitanceFarads = terminals.imag() / omega;
        result.conductanceSiemens = terminals.real();
    }
    return result;
}

InterfaceTrapState EvaluateInterfaceTraps(const MosDevice& device, double biasVolts,
                                          SweepDirection direction)
{
    const TrapSolution t = SolveTraps(device, biasVolts, direction);
    InterfaceTrapState state;
    state.surfacePotentialVolts = (device.pTypeSubstrate ? t.u : -t.u) / t.substrate.beta;
    state.energyAboveMidgapEv = t.energyAboveMidgapEv;
    state.densityPerSquareCmEv = t.trapCapacitance / (kElementaryCharge * 1e4);
    state.timeConstantSeconds = std::exp(std::min(t.u - t.logCaptureRate, 700.0));
    return state;
}

}  // namespace quillon
