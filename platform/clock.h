// Millisecond tick count and sleeping, behind one seam so that tests run on
// virtual time: a 10 s bus time limit then costs no real time.
#pragma once

#include <cstdint>
#include <ctime>

namespace quillon {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
    virtual uint32_t TickCount() const = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // The local calendar date and time, for file names and records.
    virtual std::tm LocalTime() const = 0;
};

// Real time, from the monotonic clock.
class SystemClock final : public Clock {
public:
    SystemClock();
    uint32_t TickCount() const override;
    void Sleep(uint32_t milliseconds) override;
    std::tm LocalTime() const override;

private:
    int64_t startNanoseconds_;
};

// Time that moves only when somebody sleeps on it. Its calendar starts at
// 5 March 2024, 14:07:09 unless set, and advances with the sleeps.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint32_t startTick = 0) : now_(startTick), calendarTick_(startTick) {}
    uint32_t TickCount() const override { return now_; }
    void Sleep(uint32_t milliseconds) override { now_ += milliseconds; }
    std::tm LocalTime() const override;
    // From now on the calendar reads `when` (fields as in std::tm).
    void SetLocalTime(const std::tm& when);

private:
    uint32_t now_;
    uint32_t calendarTick_;
    std::time_t calendarStart_ = 1709647629;  // 2024-03-05 14:07:09, read as UTC
};

}  // namespace quillon
