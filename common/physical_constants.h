// The physical constants the analysis computes with, each named with its
// unit, so that a relative permittivity cannot be taken for one in F/m.
// Silicon and its oxide are taken at 300 K throughout.
#pragma once

namespace quillon {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kElementaryChargeCoulombs = 1.602176634e-19;
inline constexpr double kBoltzmannJoulesPerKelvin = 1.380649e-23;
inline constexpr double kVacuumPermittivityFaradsPerMetre = 8.8541878128e-12;

inline constexpr double kSiliconRelativePermittivity = 11.7;
inline constexpr double kOxideRelativePermittivity = 3.9;
inline constexpr double kSiliconPermittivityFaradsPerMetre =
    kSiliconRelativePermittivity * kVacuumPermittivityFaradsPerMetre;

inline constexpr double kTemperatureKelvin = 300.0;
inline constexpr double kThermalVoltageVolts =
    kBoltzmannJoulesPerKelvin * kTemperatureKelvin / kElementaryChargeCoulombs;
// Intrinsic carrier density of silicon at 300 K, as the analysis has always
// taken it (the run summary's doping iteration depends on it).
inline constexpr double kIntrinsicDensityPerCubicCm = 1.45e10;

}  // namespace quillon
