// Millisecond tick count and sleeping, behind one seam so that tests run on
// virtual time: a 10 s bus time limit then costs no real time.
#pragma once

#include <cstdint>

namespace quillon {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
    virtual uint32_t TickCount() const = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
};

// Real time, from the monotonic clock.
class SystemClock final : public Clock {
public:
    SystemClock();
    uint32_t TickCount() const override;
    void Sleep(uint32_t milliseconds) override;

private:
    int64_t startNanoseconds_;
};

// Time that moves only when somebody sleeps on it.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint32_t startTick = 0) : now_(startTick) {}
    uint32_t TickCount() const override { return now_; }
    void Sleep(uint32_t milliseconds) override { now_ += milliseconds; }

private:
    uint32_t now_;
};

}  // namespace quillon
