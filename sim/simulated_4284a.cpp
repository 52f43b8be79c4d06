#include "sim/simulated_4284a.h"

#include <cmath>

#include "common/meter_measurement_time.h"
#include "common/physical_constants.h"
#include "common/text_number.h"
#include "sim/meter_arguments.h"

namespace quillon {

namespace {

constexpr double kOverflowValue = 9.9e37;

}  // namespace

Simulated4284A::Simulated4284A(Clock& clock, MosDevice device, uint32_t noiseSeed)
    : MessageDevice(clock), device_(device), noise_(noiseSeed)
{
}

void Simulated4284A::SetFault(Fault fault)
{
    fault_ = fault;
    SetServiceRequestSuppressed(fault == Fault::NoServiceRequest);
}

uint32_t Simulated4284A::MeasurementMilliseconds() const
{
    if (timeScale_ == 0.0) return 0;
    const uint32_t perMeasurement =
        DataSheetMeasurementMilliseconds(static_cast<int>(aperture_), frequency_);
    const uint32_t real = static_cast<uint32_t>(std::lround(triggerDelay_ * 1000.0)) +
                          static_cast<uint32_t>(averaging_) * perMeasurement;
    if (timeScale_ == 1.0) return real;
    return static_cast<uint32_t>(std::lround(real * timeScale_));
}

std::string Simulated4284A::Reply()
{
    double capacitance = kOverflowValue;
    double conductance = kOverflowValue;
    const bool overflow = fault_ == Fault::Overflow;
    if (!overflow) {
        const CapacitanceConductance ideal = correction_.Reading(
            fixture_, probes_,
            EvaluateMosCapacitor(device_, biasOn_ ? bias_ : 0.0, frequency_, biasDirection_),
            frequency_, clock().TickCount());
        static constexpr double kRelativeNoise[] = {5e-4, 1e-4, 3e-5};
        const double sigma = kRelativeNoise[static_cast<int>(aperture_)] / std::sqrt(averaging_);
        std::normal_distribution<double> gauss(0.0, sigma);
        const double susceptance = 2.0 * kPi * frequency_ * ideal.capacitanceFarads;
        capacitance = ideal.capacitanceFarads * (1.0 + gauss(noise_));
        conductance = ideal.conductanceSiemens + susceptance * gauss(noise_);
    }
    std::string reply = MeterNumberField(capacitance) + "," + MeterNumberField(conductance) +
                        (overflow ? ",+1" : ",+0");
    if (voltageMonitor_) reply += "," + MeterNumberField(acLevelVolts_);
    if (currentMonitor_)
        reply += "," + MeterNumberField(
                           overflow ? 0.0 : acLevelVolts_ * 2.0 * kPi * frequency_ * capacitance);
    reply += "\n";
    if (fault_ == Fault::ShortReply) reply.resize(kShortReplyLength);
    return reply;
}

void Simulated4284A::DeviceClear()
{
    correction_.Cancel();
    MessageDevice::DeviceClear();
}

bool Simulated4284A::Execute(const std::string& header, const std::string& argument)
{
    if (header == "*OPC?" || header.rfind("CORR:", 0) == 0) {
        std::string answer;
        uint32_t readyTick = 0;
        const SimulatedCorrection::Standard onProbes{probes_, device_, biasOn_ ? bias_ : 0.0};
        if (!correction_.Execute(header, argument, clock().TickCount(), timeScale_, onProbes,
                                 answer, readyTick))
            return false;
        if (!answer.empty()) QueueOutput(answer, readyTick);
        return true;
    }
    if (header == "*IDN?") {
        QueueOutput(std::string(kIdentification) + "\n", clock().TickCount());
    } else if (header == "*TRG") {
        // Only the bus trigger starts a measurement; other sources ignore it.
        if (!busTrigger_) return true;
        ++triggers_;
        const uint32_t now = clock().TickCount();
        uint32_t settling = 0;
        if (frequencySettling_) {
            // The tick count may wrap between the change and the trigger.
            const auto left = static_cast<int32_t>(frequencySettledTick_ - now);
            if (left > 0) settling = static_cast<uint32_t>(left);
            frequencySettling_ = false;
        }
        QueueOutput(Reply(), now + settling + MeasurementMilliseconds());
    } else if (header == "ABORT") {
        CancelOutput();
    } else if (header == "INIT" || header == "DISP:PAGE" || header == "DISP:LINE" ||
               header == "OUTP:HPOW" || header == "FUNC:IMP:RANG:AUTO") {
    } else if (header == "FUNC:IMP") {
        return argument == "CPG";
    } else if (header == "FUNC:SMON:VAC") {
        voltageMonitor_ = IsOnArgument(argument);
    } else if (header == "FUNC:SMON:IAC") {
        currentMonitor_ = IsOnArgument(argument);
    } else if (header == "FREQ") {
        const double frequency = ValueOfQuantity(argument);
        if (frequency >= 20.0 && frequency <= 1e6 && frequency != frequency_) {
            frequency_ = frequency;
            frequencySettling_ = timeScale_ > 0.0;
            frequencySettledTick_ =
                clock().TickCount() + static_cast<uint32_t>(std::lround(
                                          FrequencyChangeMilliseconds(frequency) * timeScale_));
        }
    } else if (header == "VOLT") {
        const double level = ValueOfQuantity(argument);
        if (level >= 0.005 && level <= 20.0) acLevelVolts_ = level;
    } else if (header == "TRIG:SOUR") {
        busTrigger_ = argument == "BUS";
        // A set-up names the trigger source after the frequency and goes on
        // for longer than the settling with its other commands; over a
        // Prologix adapter the meter may see them later than the program
        // sent them, which must not make the run's first point late.
        frequencySettling_ = false;
    } else if (header == "TRIG:DEL") {
        const double delay = NumberOfText(argument);
        if (delay >= 0.0 && delay <= 60.0) triggerDelay_ = delay;
    } else if (header == "APER") {
        const auto comma = argument.find(',');
        const std::string speed = argument.substr(0, comma);
        if (speed == "SHORT")
            aperture_ = Aperture::Short;
        else if (speed == "MED")
            aperture_ = Aperture::Medium;
        else if (speed == "LONG")
            aperture_ = Aperture::Long;
        else
            return false;
        const double count =
            comma == std::string::npos ? 1.0 : NumberOfText(argument.substr(comma + 1));
        if (count >= 1.0 && count <= 255.0) averaging_ = static_cast<int>(count);
    } else if (header == "BIAS:STAT") {
        biasOn_ = IsOnArgument(argument);
    } else if (header == "BIAS:VOLT") {
        const double bias = NumberOfText(argument);
        if (std::fabs(bias) <= 40.0) {
            // The same bias again leaves the oxide charge where it was.
            if (bias != bias_)
                biasDirection_ = bias < bias_ ? SweepDirection::Down : SweepDirection::Up;
            bias_ = bias;
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace quillon
