#include "sim/simulated_correction.h"

#include <cmath>

#include "common/physical_constants.h"
#include "common/text_number.h"
#include "sim/meter_arguments.h"

namespace quillon {

namespace {

std::complex<double> AdmittanceOf(const CapacitanceConductance& value, double frequencyHertz)
{
    return {value.conductanceSiemens, 2.0 * kPi * frequencyHertz * value.capacitanceFarads};
}

bool Ahead(uint32_t tick, uint32_t now)
{
    return static_cast<int32_t>(tick - now) > 0;
}

}  // namespace

void SimulatedCorrection::Settle(uint32_t now)
{
    if (!pending_ || Ahead(pending_->doneTick, now)) return;
    // A standard measured switches its correction on, as on the meter.
    if (pending_->kind == Kind::Open) {
        (pending_->spot ? openSpot_ : openAll_) = pending_->standard;
        openOn_ = true;
    } else {
        (pending_->spot ? shortSpot_ : shortAll_) = pending_->standard;
        shortOn_ = true;
    }
    pending_.reset();
}

bool SimulatedCorrection::Execute(const std::string& header, const std::string& argument,
                                  uint32_t now, double timeScale, const Standard& onProbes,
                                  std::string& reply, uint32_t& replyTick)
{
    Settle(now);
    replyTick = now;
    const auto start = [&](Kind kind, bool spot) {
        const uint32_t real =
            spot ? kSpotCorrectionMilliseconds : kAllFrequenciesCorrectionMilliseconds;
        Standard standard = onProbes;
        standard.cableSettingMetres = cableSettingMetres_;
        pending_ = Pending{kind, spot, standard,
                           now + static_cast<uint32_t>(std::lround(real * timeScale))};
    };
    if (header == "*OPC?") {
        reply = "1\n";
        if (pending_) replyTick = pending_->doneTick;
    } else if (header == "CORR:LENG") {
        const double metres = NumberOfText(argument);
        if (metres != 0.0 && metres != 1.0 && metres != 2.0 && metres != 4.0) return false;
        cableSettingMetres_ = metres;
    } else if (header == "CORR:LENG?") {
        reply = std::to_string(static_cast<int>(cableSettingMetres_)) + "\n";
    } else if (header == "CORR:OPEN") {
        start(Kind::Open, false);
    } else if (header == "CORR:SHOR") {
        start(Kind::Short, false);
    } else if (header == "CORR:SPOT1:OPEN") {
        start(Kind::Open, true);
    } else if (header == "CORR:SPOT1:SHOR") {
        start(Kind::Short, true);
    } else if (header == "CORR:OPEN:STAT") {
        openOn_ = IsOnArgument(argument);
    } else if (header == "CORR:SHOR:STAT") {
        shortOn_ = IsOnArgument(argument);
    } else if (header == "CORR:SPOT1:STAT") {
        spotOn_ = IsOnArgument(argument);
    } else if (header == "CORR:SPOT1:FREQ") {
        const double frequency = ValueOfQuantity(argument);
        if (frequency < 20.0 || frequency > 1e6) return false;
        spotFrequencyHertz_ = frequency;
    } else if (header == "CORR:OPEN:STAT?") {
        reply = openOn_ ? "1\n" : "0\n";
    } else if (header == "CORR:SHOR:STAT?") {
        reply = shortOn_ ? "1\n" : "0\n";
    } else if (header == "CORR:SPOT1:STAT?") {
        reply = spotOn_ ? "1\n" : "0\n";
    } else if (header == "CORR:SPOT1:FREQ?") {
        reply = MeterNumberField(spotFrequencyHertz_) + "\n";
    } else {
        return false;
    }
    return true;
}

const std::optional<SimulatedCorrection::Standard>& SimulatedCorrection::DataFor(
    Kind kind, double frequencyHertz) const
{
    const bool spot = spotOn_ && frequencyHertz == spotFrequencyHertz_;
    if (kind == Kind::Open) return spot ? openSpot_ : openAll_;
    return spot ? shortSpot_ : shortAll_;
}

CapacitanceConductance SimulatedCorrection::Reading(const ProbeFixture& fixture,
                                                    ProbePlacement position,
                                                    const CapacitanceConductance& device,
                                                    double frequencyHertz, uint32_t now)
{
    Settle(now);
    const std::optional<Standard>& open = DataFor(Kind::Open, frequencyHertz);
    const std::optional<Standard>& shorted = DataFor(Kind::Short, frequencyHertz);
    const bool openInEffect = openOn_ && open;
    const bool shortInEffect = shortOn_ && shorted;
    // Nothing between the meter and the device, and nothing corrected: the
    // device's own values untouched, to the last bit.
    if (IsTransparent(fixture) && cableSettingMetres_ == 0.0 &&
        position == ProbePlacement::OnDevice && !openInEffect && !shortInEffect)
        return device;

    const auto measured = [&](const Standard& standard) {
        // Lifted or on the short pad, the probes see nothing of the device.
        const CapacitanceConductance then =
            standard.position == ProbePlacement::OnDevice
                ? EvaluateMosCapacitor(standard.device, standard.biasVolts, frequencyHertz)
                : CapacitanceConductance{};
        return MeasuredImpedance(fixture, standard.position, AdmittanceOf(then, frequencyHertz),
                                 frequencyHertz, standard.cableSettingMetres);
    };
    std::complex<double> impedance =
        MeasuredImpedance(fixture, position, AdmittanceOf(device, frequencyHertz), frequencyHertz,
                          cableSettingMetres_);
    // The short's impedance is in line with everything: taken off first;
    // then the open's admittance, less the short's part of it, is across
    // what remains.
    std::complex<double> shortImpedance = 0.0;
    if (shortInEffect) {
        shortImpedance = measured(*shorted);
        impedance -= shortImpedance;
    }
    if (openInEffect) {
        const std::complex<double> openAdmittance = 1.0 / (measured(*open) - shortImpedance);
        impedance = impedance / (1.0 - impedance * openAdmittance);
    }
    const std::complex<double> admittance =
        std::abs(impedance) == 0.0 ? std::complex<double>(1e30, 0.0) : 1.0 / impedance;
    return {admittance.imag() / (2.0 * kPi * frequencyHertz), admittance.real()};
}

}  // namespace quillon
