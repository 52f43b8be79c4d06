#include "measure/point_acquisition.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "gpib/gpib_status_text.h"

namespace quillon {

namespace {

// How the last bus call ended the point, if it did: a time-out, or a call
// that failed outright (which would otherwise hand back the previous
// point's reply as this one's).
std::optional<PointReading> EndedByLastCall()
{
    PointReading reading;
    if (ibsta & ni::TIMO)
        reading.outcome = PointReading::Outcome::TimedOut;
    else if (ibsta & ni::ERR)
        reading.outcome = PointReading::Outcome::BusFailure;
    else
        return std::nullopt;
    return reading;
}

}  // namespace

std::string BiasCommand(double biasVolts)
{
    return "BIAS:VOLT " + SignedDecimal(biasVolts);
}

void TriggerPoint(int16_t descriptor, double biasVolts, const std::string& setting)
{
    GpibClear(descriptor);
    if (!setting.empty()) GpibWrite(descriptor, setting);
    GpibWrite(descriptor, "ABORT;:INIT");
    GpibWrite(descriptor, BiasCommand(biasVolts));
    GpibWrite(descriptor, "*TRG");
}

PointReading ParseReply(const std::string& replyBuffer)
{
    PointReading reading;
    const std::string_view reply(replyBuffer);
    reading.capacitance = NumberOfText(reply.substr(0, 12));
    if (reply.size() > 13) reading.conductance = NumberOfText(reply.substr(13, 12));
    // "+9.9E+999" reads as infinity; as the overflow value it meets the
    // overflow handling instead of a plausible-looking summary.
    for (double* value : {&reading.capacitance, &reading.conductance})
        if (!std::isfinite(*value)) *value = kOverflowValue;
    return reading;
}

bool IsMeterReply(std::string_view received)
{
    static constexpr std::string_view kField = "s0.00000Es00";
    if (received.size() != 2 * kField.size() + 1 || received[kField.size()] != ',') return false;
    for (const std::size_t start : {std::size_t{0}, kField.size() + 1}) {
        for (std::size_t i = 0; i < kField.size(); ++i) {
            const char c = received[start + i];
            const bool fits = kField[i] == 's'   ? c == '+' || c == '-'
                              : kField[i] == '0' ? c >= '0' && c <= '9'
                                                 : c == kField[i];
            if (!fits) return false;
        }
    }
    return true;
}

std::string QuotedBytes(std::string_view bytes)
{
    std::string quoted;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (byte < 0x20 || byte >= 0x7F || c == '\\') {
            static constexpr char kHex[] = "0123456789ABCDEF";
            quoted += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            quoted += c;
        }
    }
    return quoted;
}

PointReading CollectPoint(int16_t descriptor, std::string& replyBuffer)
{
    GpibWait(descriptor, kWaitMask);
    if (std::optional<PointReading> ended = EndedByLastCall()) return *ended;
    int16_t statusByte = 0;
    GpibSerialPoll(descriptor, statusByte);
    replyBuffer.resize(kReplyLength, ' ');
    GpibRead(descriptor, replyBuffer);
    if (std::optional<PointReading> ended = EndedByLastCall()) return *ended;
    const auto received = static_cast<std::size_t>(
        std::clamp<int32_t>(ibcntl, 0, static_cast<int32_t>(kReplyLength)));
    if (!IsMeterReply(std::string_view(replyBuffer).substr(0, received))) {
        PointReading reading;
        reading.outcome = PointReading::Outcome::NotAReply;
        reading.received = replyBuffer.substr(0, received);
        return reading;
    }
    return ParseReply(replyBuffer);
}

std::optional<std::string> ReturnToIdle(int16_t descriptor, Clock& clock)
{
    // A write can seem to go through where nothing acknowledges it (a
    // network adapter takes data without an answer): a step after
    // "BIAS:STAT OFF" that fails casts doubt on it too.
    std::optional<std::string> biasLeftOn;
    const auto noteFailure = [&biasLeftOn] {
        if ((ibsta & ni::ERR) && !biasLeftOn) biasLeftOn = DescribeFailedCall();
    };
    GpibClear(descriptor);
    clock.Sleep(kIdlePauseMilliseconds);
    GpibWrite(descriptor, "BIAS:STAT OFF");
    noteFailure();
    clock.Sleep(kIdlePauseMilliseconds);
    GpibWrite(descriptor, "TRIG:SOUR INT");
    noteFailure();
    clock.Sleep(kIdlePauseMilliseconds);
    GpibOnline(descriptor, 0);
    noteFailure();
    return biasLeftOn;
}

}  // namespace quillon
