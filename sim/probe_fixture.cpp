#include "sim/probe_fixture.h"

#include <cmath>

#include "common/physical_constants.h"

namespace quillon {

namespace {

constexpr double kUnmeasurableOhms = 1e30;

}  // namespace

bool IsTransparent(const ProbeFixture& fixture)
{
    return fixture.strayFarads == 0.0 && fixture.straySiemens == 0.0 && fixture.seriesOhms == 0.0 &&
           fixture.seriesHenries == 0.0 && fixture.cableMetres == 0.0;
}

std::complex<double> MeasuredImpedance(const ProbeFixture& fixture, ProbePlacement position,
                                       std::complex<double> deviceAdmittance, double frequencyHertz,
                                       double cableSettingMetres)
{
    const double omega = 2.0 * kPi * frequencyHertz;
    const std::complex<double> series(fixture.seriesOhms, omega * fixture.seriesHenries);
    std::complex<double> impedance = series;
    if (position != ProbePlacement::OnShortPad) {
        const std::complex<double> across =
            std::complex<double>(fixture.straySiemens, omega * fixture.strayFarads) +
            (position == ProbePlacement::OnDevice ? deviceAdmittance : 0.0);
        impedance +=
            std::abs(across) == 0.0 ? std::complex<double>(kUnmeasurableOhms, 0.0) : 1.0 / across;
    }
    const double phase =
        omega * (fixture.cableMetres - cableSettingMetres) * kCableDelaySecondsPerMetre;
    return impedance * std::polar(1.0, phase);
}

}  // namespace quillon
