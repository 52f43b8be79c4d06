// When to look for a device's service request: the time from the last
// message the device was sent to its request, learnt from the last few
// requests, is slept through but for a small margin; then the device is
// polled back to back, though never twice in one millisecond, until it
// asks, and ever less often the later it is. A device not learnt yet is
// polled ever less often from the start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quillon {

class RequestPace {
public:
    // The most a poll waits for the next while the device is late.
    static constexpr uint32_t kSlowestPollMilliseconds = 20;

    // The device was sent a message at `tick`.
    void Sent(uint32_t tick) { sent_ = tick; }
    // A poll made at `tick` found the device asking for service.
    void Requested(uint32_t tick);
    // Milliseconds from a message to the request, as the last requests
    // showed it (the shortest of them).
    std::optional<uint32_t> Expected() const;
    // How long to wait at `now` before the next poll, in a wait that began
    // at `waitStart` and last polled at `lastPoll`.
    uint32_t PauseBeforePoll(uint32_t now, uint32_t waitStart,
                             std::optional<uint32_t> lastPoll) const;

private:
    std::optional<uint32_t> sent_;
    std::array<uint32_t, 3> delays_{};
    std::size_t delayCount_ = 0;
    std::size_t nextDelay_ = 0;
};

}  // namespace quillon
