// Virtual time that the test's thread and a simulated adapter's thread
// both read and advance.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>

#include "platform/clock.h"

namespace quillon::testing {

class SharedVirtualClock final : public Clock {
public:
    explicit SharedVirtualClock(uint32_t startTick = 0) : clock_(startTick) {}
    uint32_t TickCount() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return clock_.TickCount();
    }
    void Sleep(uint32_t milliseconds) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clock_.Sleep(milliseconds);
    }
    std::tm LocalTime() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return clock_.LocalTime();
    }

private:
    mutable std::mutex mutex_;
    VirtualClock clock_;
};

}  // namespace quillon::testing
