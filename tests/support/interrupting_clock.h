// Virtual time that sends the process SIGINT once it has come to a given
// tick, as a user's Ctrl+C arriving while the meter measures.
#pragma once

#include <csignal>
#include <cstdint>
#include <ctime>
#include <optional>

#include "platform/clock.h"

namespace quillon::testing {

class InterruptingClock final : public Clock {
public:
    uint32_t TickCount() const override { return time.TickCount(); }
    void Sleep(uint32_t milliseconds) override
    {
        time.Sleep(milliseconds);
        if (interruptAt && time.TickCount() >= *interruptAt) {
            interruptAt.reset();
            std::raise(SIGINT);
        }
    }
    std::tm LocalTime() const override { return time.LocalTime(); }

    VirtualClock time{1000};
    std::optional<uint32_t> interruptAt;
};

}  // namespace quillon::testing
