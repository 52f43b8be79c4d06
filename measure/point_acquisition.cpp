#include "measure/point_acquisition.h"

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
    reading.status = CurrentGpibStatus();
    return reading;
}

}  // namespace

std::string BiasCommand(double biasVolts)
{
    return "BIAS:VOLT " + SignedDecimal(biasVolts);
}

void TriggerPoint(int16_t descriptor, double biasVolts)
{
    GpibClear(descriptor);
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

PointReading CollectPoint(int16_t descriptor, std::string& replyBuffer)
{
    GpibWait(descriptor, kWaitMask);
    if (std::optional<PointReading> ended = EndedByLastCall()) return *ended;
    int16_t statusByte = 0;
    GpibSerialPoll(descriptor, statusByte);
    replyBuffer.resize(kReplyLength, ' ');
    GpibRead(descriptor, replyBuffer);
    if (std::optional<PointReading> ended = EndedByLastCall()) return *ended;
    return ParseReply(replyBuffer);
}

std::optional<std::string> ReturnToIdle(int16_t descriptor, Clock& clock)
{
    // A write can seem to go through where nothing acknowledges it (a
    // network adapter takes data without an answer): a step after
    // "BIAS:STAT OFF" that fails casts doubt on it too.
    std::optional<std::string> biasLeftOn;
    const auto noteFailure = [&biasLeftOn] {
        if ((ibsta & ni::ERR) && !biasLeftOn)
            biasLeftOn = DescribeIbsta() + DescribeIberr() + DescribeSystemError();
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
