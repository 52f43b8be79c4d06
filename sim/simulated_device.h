// An instrument on the simulated bus, seen from the bus: what it hears as
// a listener, what it says as a talker, and when it requests service.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

class SimulatedDevice {
public:
    virtual ~SimulatedDevice() = default;

    // Data bytes addressed to the device; `end` is true when EOI came with
    // the last of them.
    virtual void Listen(std::string_view bytes, bool end) = 0;

    // When the device will have output to send, if ever; a tick at or
    // before now means output is waiting.
    virtual std::optional<uint32_t> OutputReadyTick() = 0;

    // Up to maxBytes of waiting output; `end` tells whether EOI came with the
    // last byte returned.
    virtual std::string Talk(std::size_t maxBytes, bool& end) = 0;

    // Selected (SDC) or universal (DCL) device clear.
    virtual void DeviceClear() = 0;

    // Serial poll: the status byte; polling releases the service request.
    virtual uint8_t SerialPoll() = 0;

    // When the device asserts (or asserted) SRQ, if it will.
    virtual std::optional<uint32_t> ServiceRequestTick() = 0;
};

}  // namespace quillon
