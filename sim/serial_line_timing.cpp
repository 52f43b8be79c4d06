#include "sim/serial_line_timing.h"

#include <algorithm>

namespace quillon {

namespace {

// A start bit, eight data bits and a stop bit.
constexpr int64_t kBitsPerByte = 10;

}  // namespace

SerialLineTiming::SerialLineTiming(int baud, std::size_t ringBytes)
    : byteTime_(baud > 0 ? std::chrono::duration_cast<Duration>(
                               std::chrono::nanoseconds(kBitsPerByte * 1'000'000'000 / baud))
                         : Duration::zero()),
      ringBytes_(ringBytes)
{
}

void SerialLineTiming::Arrive(std::string_view bytes, Time now)
{
    for (const char byte : bytes) {
        // The host's UART sends back to back; a byte has arrived once all of
        // it has crossed.
        lastArrival_ = std::max(lastArrival_, now) + byteTime_;
        wire_.push_back({byte, lastArrival_});
    }
}

void SerialLineTiming::Queue(Time now)
{
    while (!wire_.empty() && wire_.front().at <= now &&
           (wire_.front().at < busyUntil_ || wire_.front().at < deafUntil_)) {
        const bool heard = wire_.front().at >= deafUntil_;
        if (heard && (ringBytes_ == 0 || ring_.size() < ringBytes_)) {
            ring_.push_back(wire_.front().byte);
        } else {
            ++lost_;
        }
        wire_.pop_front();
    }
}

bool SerialLineTiming::Take(Time now, char& byte, Time& taken)
{
    Queue(now);
    if (now < busyUntil_) return false;
    if (!ring_.empty()) {
        byte = ring_.front();
        ring_.pop_front();
        taken = busyUntil_;
        return true;
    }
    if (wire_.empty() || wire_.front().at > now) return false;
    // Arrived while the board was free: it takes it at once.
    byte = wire_.front().byte;
    taken = wire_.front().at;
    wire_.pop_front();
    return true;
}

void SerialLineTiming::Busy(Time start, Duration duration)
{
    if (duration <= Duration::zero()) return;
    // What arrived before the command began was already the board's.
    Queue(start);
    busyUntil_ = std::max(busyUntil_, start + duration);
}

void SerialLineTiming::Restart(Time deafUntil, Time readyAt)
{
    ring_.clear();
    deafUntil_ = deafUntil;
    busyUntil_ = std::max(deafUntil, readyAt);
}

SerialLineTiming::Time SerialLineTiming::NextTake() const
{
    if (!ring_.empty()) return busyUntil_;
    if (wire_.empty()) return Time::max();
    // A byte that comes while the board is busy waits for it.
    return std::max(wire_.front().at, busyUntil_);
}

SerialLineTiming::Time SerialLineTiming::Departure(Time now)
{
    lastDeparture_ = std::max(lastDeparture_, now) + byteTime_;
    return lastDeparture_;
}

}  // namespace quillon
