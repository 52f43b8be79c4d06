#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace quillon {

namespace {
int64_t MonotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

SystemClock::SystemClock() : startNanoseconds_(MonotonicNanoseconds()) {}

uint32_t SystemClock::TickCount() const
{
    return static_cast<uint32_t>((MonotonicNanoseconds() - startNanoseconds_) / 1000000);
}

void SystemClock::Sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::tm SystemClock::LocalTime() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// The virtual calendar keeps UTC fields so that no time zone or summer time
// of the machine running the tests can shift it.
std::tm VirtualClock::LocalTime() const
{
    const std::time_t now =
        calendarStart_ + static_cast<std::time_t>((now_ - calendarTick_) / 1000);
    std::tm fields{};
    gmtime_r(&now, &fields);
    return fields;
}

void VirtualClock::SetLocalTime(const std::tm& when)
{
    std::tm fields = when;
    calendarStart_ = timegm(&fields);
    calendarTick_ = now_;
}

}  // namespace quillon
