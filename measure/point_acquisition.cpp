#include "measure/point_acquisition.h"

#include "common/text_number.h"
#include "gpib/gpib_binding.h"

namespace quillon {

namespace {

bool FailedOutright()
{
    return (ibsta & ni::ERR) && !(ibsta & ni::TIMO);
}

PointReading Failure(PointReading::Outcome outcome)
{
    PointReading reading;
    reading.outcome = outcome;
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
    const std::string reply = FixedWidth(replyBuffer, kReplyLength);
    reading.capacitance = NumberOfText(std::string_view(reply).substr(0, 12));
    reading.conductance = NumberOfText(std::string_view(reply).substr(13, 12));
    return reading;
}

PointReading CollectPoint(int16_t descriptor, std::string& replyBuffer)
{
    GpibWait(descriptor, kWaitMask);
    if (ibsta & ni::TIMO) return Failure(PointReading::Outcome::TimedOut);
    // A wait that failed outright would leave the previous point's reply to
    // be taken for this one.
    if (FailedOutright()) return Failure(PointReading::Outcome::BusFailure);
    int16_t statusByte = 0;
    GpibSerialPoll(descriptor, statusByte);
    replyBuffer = FixedWidth(replyBuffer, kReplyLength);
    GpibRead(descriptor, replyBuffer);
    if (ibsta & ni::TIMO) return Failure(PointReading::Outcome::TimedOut);
    if (FailedOutright()) return Failure(PointReading::Outcome::BusFailure);
    return ParseReply(replyBuffer);
}

void ReturnToIdle(int16_t descriptor, Clock& clock)
{
    GpibClear(descriptor);
    clock.Sleep(kIdlePauseMilliseconds);
    GpibWrite(descriptor, "BIAS:STAT OFF");
    clock.Sleep(kIdlePauseMilliseconds);
    GpibWrite(descriptor, "TRIG:SOUR INT");
    clock.Sleep(kIdlePauseMilliseconds);
    GpibOnline(descriptor, 0);
}

}  // namespace quillon
