// The bus transactions of one bias point, split in two so that the meter
// measures while the run does its bookkeeping, and the way back to idle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace quillon {

inline constexpr std::size_t kReplyLength = 25;
inline constexpr const char* kOverflowReply = "+9.90000E+37";
// What the meter sends for a value it cannot measure; a reply number beyond
// the range of a double counts as this too.
inline constexpr double kOverflowValue = 9.9e37;
inline constexpr int16_t kWaitMask = 0x4800;  // TIMO | RQS
inline constexpr uint32_t kIdlePauseMilliseconds = 50;

// "BIAS:VOLT" followed by the bias in signed decimal form: "BIAS:VOLT  .5".
std::string BiasCommand(double biasVolts);

// Device clear, abort and arm, set the bias, one bus trigger. A
// `setting` ("FREQ 1000Hz") goes right after the clear, which would
// otherwise throw it away with the meter's input buffer.
void TriggerPoint(int16_t descriptor, double biasVolts, const std::string& setting = {});

struct PointReading {
    enum class Outcome {
        Read,
        TimedOut,    // no service request (or no reply) within the time limit
        BusFailure,  // the wait or the read failed outright
        NotAReply,   // what was read is not two numbers in the meter's format
    };
    Outcome outcome = Outcome::Read;
    double capacitance = 0.0;  // Cp [F]
    double conductance = 0.0;  // G [S]
    std::string received;      // NotAReply: the bytes that came
};

// Waits for the meter's service request, polls it and reads the reply into
// the 25-character buffer; C and G are the two 12-character fields. Bytes
// that are not a whole reply (a short one, an adapter's own line, another
// instrument's answer) give no values: their numbers would pass for a point.
PointReading CollectPoint(int16_t descriptor, std::string& replyBuffer);

// The meter's two fields as it writes them, "+1.23456E-10,+4.56789E-07":
// sign, digit, point, five digits, "E", sign, two digits, each.
bool IsMeterReply(std::string_view received);

// The bytes as a message can show them: "16\r\n" for 16, CR, LF.
std::string QuotedBytes(std::string_view bytes);

// C and G of a reply buffer: characters 1..12 and 14..25.
PointReading ParseReply(const std::string& replyBuffer);

// Device clear, DC bias off, internal trigger, descriptor offline. Every
// step is tried whatever the one before gave. No value when "BIAS:STAT OFF"
// and the steps after it went through; otherwise the bus status of the
// first that failed, for the user to switch the bias off at the meter.
std::optional<std::string> ReturnToIdle(int16_t descriptor, Clock& clock);

}  // namespace quillon
