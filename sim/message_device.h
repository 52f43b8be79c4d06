// Common ground of the simulated instruments: program messages collected
// until EOI or a newline, a 488.2 output queue, the status byte with MAV
// and RQS, service request enable, and a transcript of what reached the
// instrument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sim/simulated_device.h"

namespace quillon {

// One thing that reached an instrument, for tests.
struct DeviceEvent {
    enum class Kind { Message, Clear, Read, SerialPoll };
    Kind kind;
    uint32_t tick;
    std::string text;  // the message, or the bytes read
};

class MessageDevice : public SimulatedDevice {
public:
    static constexpr uint8_t kMav = 16;
    static constexpr uint8_t kRqs = 64;

    explicit MessageDevice(Clock& clock) : clock_(clock) {}

    void Listen(std::string_view bytes, bool end) override;
    std::optional<uint32_t> OutputReadyTick() override;
    std::string Talk(std::size_t maxBytes, bool& end) override;
    void DeviceClear() override;
    uint8_t SerialPoll() override;
    std::optional<uint32_t> ServiceRequestTick() override;

    // Off by default: a long run would otherwise keep every message.
    void RecordTranscript(bool on) { recording_ = on; }
    const std::vector<DeviceEvent>& Transcript() const { return transcript_; }
    void ClearTranscript() { transcript_.clear(); }
    // Commands the instrument did not understand, in the order received.
    const std::vector<std::string>& Unrecognised() const { return unrecognised_; }

    // When on, the instrument never asserts SRQ (its output still arrives).
    void SetServiceRequestSuppressed(bool on) { srqSuppressed_ = on; }

protected:
    // One command of a program message, upper-cased, leading ":" removed;
    // returns false when the command is not understood.
    virtual bool Execute(const std::string& header, const std::string& argument) = 0;
    // Output that becomes available at the given tick (now for a query).
    void QueueOutput(std::string text, uint32_t readyTick);
    void CancelOutput();
    Clock& clock() { return clock_; }
    uint8_t serviceRequestEnable() const { return sre_; }

private:
    void Parse(const std::string& message);
    void Note(DeviceEvent::Kind kind, std::string text);
    // Brings pending output due by now into the queue.
    void Update();

    Clock& clock_;
    std::string input_;
    std::string output_;
    std::size_t outputRead_ = 0;
    std::optional<std::string> pending_;
    uint32_t pendingTick_ = 0;
    uint8_t sre_ = 0;
    bool requesting_ = false;
    uint32_t requestTick_ = 0;
    bool srqSuppressed_ = false;
    bool recording_ = false;
    std::vector<DeviceEvent> transcript_;
    std::vector<std::string> unrecognised_;
};

// An instrument that only answers "*IDN?" with a fixed reply.
class SimulatedInstrument final : public MessageDevice {
public:
    SimulatedInstrument(Clock& clock, std::string identification)
        : MessageDevice(clock), identification_(std::move(identification))
    {
    }

protected:
    bool Execute(const std::string& header, const std::string& argument) override;

private:
    std::string identification_;
};

}  // namespace quillon
