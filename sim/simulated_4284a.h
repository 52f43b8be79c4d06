// A simulated 4284A precision LCR meter measuring a MOS capacitor: the
// commands the program sends, the bus trigger with the meter's measurement
// times, the ASCII reply, the service request on message available, and
// fault modes for tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "sim/message_device.h"
#include "sim/mos_capacitor.h"
#include "sim/probe_fixture.h"
#include "sim/simulated_correction.h"

namespace quillon {

class Simulated4284A final : public MessageDevice {
public:
    enum class Aperture { Short, Medium, Long };
    enum class Fault {
        None,
        NoServiceRequest,  // the reply comes, the SRQ never does
        ShortReply,        // the reply stops after kShortReplyLength bytes
        Overflow,          // the bridge cannot balance: C and G read +9.90000E+37
    };
    static constexpr std::size_t kShortReplyLength = 18;
    static constexpr const char* kIdentification = "HEWLETT-PACKARD,4284A,2940J05127,REV01.20";

    explicit Simulated4284A(Clock& clock, MosDevice device = {}, uint32_t noiseSeed = 4284);

    void SetFault(Fault fault);
    // Measures in no time at all, for measuring the program's own cost.
    void SetInstantMeasurement(bool on) { timeScale_ = on ? 0.0 : 1.0; }
    // A factor on the real meter's measurement times: 1 keeps them, 0 makes
    // every measurement instant, 0.1 ten times faster.
    void SetTimeScale(double factor) { timeScale_ = factor > 0.0 ? factor : 0.0; }
    void SetDevice(const MosDevice& device) { device_ = device; }
    // The probe station in front of the device, and where its probes stand.
    void SetFixture(const ProbeFixture& fixture) { fixture_ = fixture; }
    void SetProbePosition(ProbePlacement position) { probes_ = position; }
    ProbePlacement probePosition() const { return probes_; }
    // A device clear also cancels a correction being measured.
    void DeviceClear() override;

    // What the meter is set to, for tests.
    double frequencyHertz() const { return frequency_; }
    double biasVolts() const { return bias_; }
    bool biasOn() const { return biasOn_; }
    bool busTrigger() const { return busTrigger_; }
    Aperture aperture() const { return aperture_; }
    int averaging() const { return averaging_; }
    double triggerDelaySeconds() const { return triggerDelay_; }
    int triggers() const { return triggers_; }

    // Milliseconds from the trigger to the reply with the present settings.
    uint32_t MeasurementMilliseconds() const;

protected:
    bool Execute(const std::string& header, const std::string& argument) override;

private:
    std::string Reply();

    MosDevice device_;
    ProbeFixture fixture_;
    ProbePlacement probes_ = ProbePlacement::OnDevice;
    SimulatedCorrection correction_;
    std::mt19937 noise_;
    Fault fault_ = Fault::None;
    double timeScale_ = 1.0;
    double frequency_ = 1000.0;
    double acLevelVolts_ = 1.0;
    double bias_ = 0.0;
    // The way the bias last moved, for the device's hysteresis.
    SweepDirection biasDirection_ = SweepDirection::Up;
    bool biasOn_ = false;
    bool busTrigger_ = false;
    bool voltageMonitor_ = false;
    bool currentMonitor_ = false;
    Aperture aperture_ = Aperture::Medium;
    int averaging_ = 1;
    double triggerDelay_ = 0.0;
    int triggers_ = 0;
    // Tick count at which the last frequency change has settled.
    uint32_t frequencySettledTick_ = 0;
    bool frequencySettling_ = false;
};

}  // namespace quillon
