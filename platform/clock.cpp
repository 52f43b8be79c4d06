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

}  // namespace quillon
