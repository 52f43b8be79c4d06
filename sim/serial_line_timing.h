// The timing of a serial line to a small board such as an Arduino: the
// host's bytes cross it one after another at the line's rate, and while the
// board's firmware is busy carrying out a command they wait in its receive
// ring (63 bytes on an Uno or Nano), those that do not fit being lost, as
// with Arduino's HardwareSerial; the board's output leaves at the same rate.
// The caller gives the time; nothing here waits.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>

namespace quillon {

class SerialLineTiming {
public:
    using Time = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    // A line of `baud` bits a second (0: bytes cross at once), 8N1, into a
    // ring of `ringBytes` (0: nothing is ever lost).
    SerialLineTiming(int baud, std::size_t ringBytes);

    // Bytes the host wrote, read from the connection at `now`.
    void Arrive(std::string_view bytes, Time now);
    // The next byte for the board at `now`, if one has reached it and the
    // board is free; `taken` is when the board took it.
    bool Take(Time now, char& byte, Time& taken);
    // The board carries out a command from `start` for `duration`.
    void Busy(Time start, Duration duration);
    // The board restarts: it hears nothing until `deafUntil`, then it is
    // busy starting up until `readyAt`.
    void Restart(Time deafUntil, Time readyAt);
    // When the board may next take a byte; Time::max() while none waits.
    Time NextTake() const;
    // Neither carrying out a command nor restarting, nor about to take a
    // byte.
    bool Idle(Time now) const { return now >= busyUntil_ && NextTake() > now; }
    // When a byte of the board's output, written at `now`, has left.
    Time Departure(Time now);
    // Bytes lost so far: sent while the ring was full, or while the board
    // was not listening.
    std::size_t Lost() const { return lost_; }

private:
    struct Arriving {
        char byte;
        Time at;
    };
    // Moves what arrived by `now` while the board was busy into the ring.
    void Queue(Time now);

    Duration byteTime_;
    std::size_t ringBytes_;
    std::deque<Arriving> wire_;
    std::deque<char> ring_;
    Time lastArrival_{};
    Time lastDeparture_{};
    Time busyUntil_{};
    Time deafUntil_{};
    std::size_t lost_ = 0;
};

}  // namespace quillon
