#include "measure/meter_correction.h"

#include <cmath>
#include <complex>
#include <vector>

#include "common/date_text.h"
#include "common/physical_constants.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "gpib/gpib_status_text.h"
#include "measure/instrument_setup.h"
#include "measure/measurement_run.h"
#include "measure/point_acquisition.h"

namespace quillon {

namespace {

// One read of the wait: the elapsed time is shown and Cancel looked at
// between two of them. A read that times out leaves the query's answer to
// come with the next one.
constexpr int16_t kStepTimeLimit = 11;  // T1s
constexpr uint32_t kQueryMilliseconds = 3000;
constexpr uint32_t kCheckReadingMilliseconds = 5000;
constexpr std::size_t kAnswerLength = 64;

bool Failed()
{
    return (ibsta & ni::ERR) != 0;
}

bool TimedOut()
{
    return (ibsta & ni::TIMO) != 0;
}

std::string TimeText(const std::optional<std::tm>& when)
{
    return when ? FormatDate(*when, "yyyy-mm-dd hh:nn:ss") : std::string("never");
}

// The meter opened for one step, put offline again when the step ends.
class MeterSession {
public:
    MeterSession(const MeterLocation& meter, Clock& clock) : meter_(meter), clock_(clock)
    {
        GpibOpenDevice(meter.board, meter.address, 0, kStepTimeLimit, 1, 0, descriptor_);
        opened_ = descriptor_ >= 0 && !Failed();
    }
    ~MeterSession()
    {
        if (opened_) GpibOnline(descriptor_, 0);
    }
    MeterSession(const MeterSession&) = delete;
    MeterSession& operator=(const MeterSession&) = delete;

    bool opened() const { return opened_; }
    int16_t descriptor() const { return descriptor_; }
    std::string OpenFailure() const { return MeterOpenFailureText(meter_.board, meter_.address); }

    // Every message in turn; false (and the failure kept) at the first
    // that does not go through.
    bool Send(const std::vector<std::string>& messages)
    {
        for (const std::string& message : messages) {
            GpibWrite(descriptor_, message);
            if (Failed()) {
                failure_ = "The meter did not take \"" + message + "\"." + DescribeFailedCall();
                return false;
            }
        }
        return true;
    }

    // What the meter answers within `limit`, reading in steps; no value on
    // a fault or when the time is up (TimedOut tells which).
    std::optional<std::string> Answer(uint32_t limit, const CorrectionProgress& progress = {})
    {
        const uint32_t start = clock_.TickCount();
        timedOut_ = cancelled_ = false;
        for (;;) {
            std::string buffer(kAnswerLength, ' ');
            GpibRead(descriptor_, buffer);
            if (!Failed()) return buffer.substr(0, static_cast<std::size_t>(ibcntl));
            if (!TimedOut()) {
                failure_ =
                    std::string("The meter's answer could not be read.") + DescribeFailedCall();
                return std::nullopt;
            }
            const uint32_t elapsed = clock_.TickCount() - start;
            if (elapsed >= limit) {
                timedOut_ = true;
                return std::nullopt;
            }
            if (progress && !progress(elapsed)) {
                cancelled_ = true;
                return std::nullopt;
            }
        }
    }

    std::optional<std::string> Query(const std::string& query)
    {
        if (!Send({query})) return std::nullopt;
        std::optional<std::string> answer = Answer(kQueryMilliseconds);
        if (!answer && timedOut_)
            failure_ = "The meter did not answer \"" + query + "\" within " +
                       std::to_string(kQueryMilliseconds / 1000) + " s.";
        return answer;
    }

    // The state as the meter reports it; none (and the failure kept) when
    // it does not answer.
    std::optional<CorrectionState> ReadState()
    {
        CorrectionState state;
        const auto flag = [this](const char* query) -> std::optional<bool> {
            const std::optional<std::string> answer = Query(query);
            if (!answer) return std::nullopt;
            return NumberOfText(*answer) != 0.0;
        };
        const std::optional<bool> open = flag("CORR:OPEN:STAT?");
        if (!open) return std::nullopt;
        const std::optional<bool> shorted = flag("CORR:SHOR:STAT?");
        if (!shorted) return std::nullopt;
        const std::optional<std::string> length = Query("CORR:LENG?");
        if (!length) return std::nullopt;
        const std::optional<bool> spot = flag("CORR:SPOT1:STAT?");
        if (!spot) return std::nullopt;
        if (*spot) {
            const std::optional<std::string> frequency = Query("CORR:SPOT1:FREQ?");
            if (!frequency) return std::nullopt;
            state.spotFrequencyHertz = NumberOfText(*frequency);
        }
        state.openOn = *open;
        state.shortOn = *shorted;
        state.cableMetres = static_cast<int>(std::lround(NumberOfText(*length)));
        return state;
    }

    // The step's outcome: its failure if any, and the state read back.
    CorrectionOutcome Outcome(bool done, std::optional<std::string> failure = std::nullopt)
    {
        CorrectionOutcome outcome;
        outcome.done = done;
        outcome.failure = std::move(failure);
        if (!outcome.failure && failure_) outcome.failure = failure_;
        const std::optional<std::string> stepFailure = failure_;
        outcome.meterState = ReadState();
        if (!outcome.meterState && !stepFailure && failure_)
            outcome.failure = (outcome.failure ? *outcome.failure + "\r\n" : std::string()) +
                              "The meter's correction could not be read back: " + *failure_;
        return outcome;
    }

    bool timedOut() const { return timedOut_; }
    bool cancelled() const { return cancelled_; }
    const std::optional<std::string>& failure() const { return failure_; }

private:
    MeterLocation meter_;
    Clock& clock_;
    int16_t descriptor_ = -1;
    bool opened_ = false;
    bool timedOut_ = false;
    bool cancelled_ = false;
    std::optional<std::string> failure_;
};

CorrectionOutcome Unopened(const MeterSession& session)
{
    CorrectionOutcome outcome;
    outcome.opened = false;
    outcome.failure = session.OpenFailure();
    return outcome;
}

// The short pad's impedance as the meter reads it without correction.
std::optional<double> UncorrectedOhms(MeterSession& session, double frequencyHertz)
{
    const std::optional<std::string> openState = session.Query("CORR:OPEN:STAT?");
    if (!openState) return std::nullopt;
    const bool openOn = NumberOfText(*openState) != 0.0;
    if (!session.Send({"CORR:OPEN:STAT OFF", "CORR:SHOR:STAT OFF", "FUNC:IMP CPG",
                       FrequencyCommand(static_cast<int32_t>(std::lround(frequencyHertz))),
                       "TRIG:SOUR BUS", "*TRG"}))
        return std::nullopt;
    const std::optional<std::string> reply = session.Answer(kCheckReadingMilliseconds);
    // The meter back as it was, whatever the reading gave.
    session.Send({"TRIG:SOUR INT", std::string("CORR:OPEN:STAT ") + (openOn ? "ON" : "OFF"),
                  "CORR:SHOR:STAT ON"});
    if (!reply) return std::nullopt;
    const std::string fields = reply->substr(0, kReplyLength);
    if (!IsMeterReply(fields)) return std::nullopt;
    const PointReading reading = ParseReply(fields);
    const std::complex<double> admittance(reading.conductance,
                                          2.0 * kPi * frequencyHertz * reading.capacitance);
    return std::abs(admittance) == 0.0 ? 1e30 : 1.0 / std::abs(admittance);
}

}  // namespace

const char* StandardName(CorrectionStandard standard)
{
    return standard == CorrectionStandard::Open ? "open" : "short";
}

ProbePlacement PlacementFor(CorrectionStandard standard)
{
    return standard == CorrectionStandard::Open ? ProbePlacement::Lifted
                                                : ProbePlacement::OnShortPad;
}

const char* PromptFor(CorrectionStandard standard)
{
    return standard == CorrectionStandard::Open ? kLiftProbesPrompt : kLandOnShortPrompt;
}

std::string CorrectionStateText(const CorrectionState& state)
{
    std::string text = std::string("open ") + (state.openOn ? "on" : "off") + ", short " +
                       (state.shortOn ? "on" : "off") + ", cable " +
                       std::to_string(state.cableMetres) + " m";
    if (state.spotFrequencyHertz)
        text += ", spot " + FormatNumber(*state.spotFrequencyHertz, "0") + " Hz";
    return text + ", open " + TimeText(state.lastOpen) + ", short " + TimeText(state.lastShort);
}

std::string CorrectionStateText(const std::optional<CorrectionState>& state)
{
    return state ? CorrectionStateText(*state) : std::string("not read");
}

CorrectionOutcome ReadCorrectionState(const MeterLocation& meter, Clock& clock)
{
    MeterSession session(meter, clock);
    if (!session.opened()) return Unopened(session);
    return session.Outcome(true);
}

CorrectionOutcome SetCableLength(const MeterLocation& meter, int metres, Clock& clock)
{
    MeterSession session(meter, clock);
    if (!session.opened()) return Unopened(session);
    const bool sent = session.Send({"CORR:LENG " + std::to_string(metres)});
    return session.Outcome(sent);
}

CorrectionOutcome SwitchCorrection(const MeterLocation& meter, CorrectionStandard standard, bool on,
                                   Clock& clock)
{
    MeterSession session(meter, clock);
    if (!session.opened()) return Unopened(session);
    const bool sent = session.Send(
        {std::string(standard == CorrectionStandard::Open ? "CORR:OPEN:STAT " : "CORR:SHOR:STAT ") +
         (on ? "ON" : "OFF")});
    return session.Outcome(sent);
}

CorrectionOutcome MeasureStandard(const MeterLocation& meter, CorrectionStandard standard,
                                  CorrectionSpan span, double frequencyHertz, Clock& clock,
                                  const CorrectionProgress& progress)
{
    MeterSession session(meter, clock);
    if (!session.opened()) return Unopened(session);
    const std::string name = StandardName(standard);

    const bool spot = span == CorrectionSpan::Spot;
    std::vector<std::string> messages;
    if (spot)
        messages = {"CORR:SPOT1:FREQ " + FormatNumber(frequencyHertz, "0") + "Hz",
                    "CORR:SPOT1:STAT ON"};
    messages.push_back(
        spot ? (standard == CorrectionStandard::Open ? "CORR:SPOT1:OPEN" : "CORR:SPOT1:SHOR")
             : (standard == CorrectionStandard::Open ? "CORR:OPEN" : "CORR:SHOR"));
    messages.push_back("*OPC?");
    if (!session.Send(messages)) return session.Outcome(false);

    const uint32_t limit = spot ? kSpotLimitMilliseconds : kAllFrequenciesLimitMilliseconds;
    const std::optional<std::string> finished = session.Answer(limit, progress);
    if (!finished) {
        if (!session.timedOut() && !session.cancelled()) return session.Outcome(false);
        // The meter stops measuring at a device clear and keeps the data it
        // had before.
        GpibClear(session.descriptor());
        const bool cancelled = session.cancelled();
        const bool timedOut = session.timedOut();
        CorrectionOutcome outcome =
            cancelled
                ? session.Outcome(false, "The " + name +
                                             " correction was cancelled: the meter keeps the " +
                                             name + " it measured before, if any.")
                : session.Outcome(false, "The meter did not finish the " + name +
                                             " correction within " + std::to_string(limit / 1000) +
                                             " s (no answer to \"*OPC?\"): it was cleared.");
        outcome.cancelled = cancelled;
        outcome.timedOut = timedOut;
        return outcome;
    }
    if (NumberOfText(*finished) != 1.0)
        return session.Outcome(false, "The meter answered \"*OPC?\" with \"" +
                                          QuotedBytes(*finished) + "\" instead of 1.");

    if (standard == CorrectionStandard::Short) {
        const std::optional<double> ohms = UncorrectedOhms(session, frequencyHertz);
        if (!ohms) return session.Outcome(false);
        if (*ohms > kShortPlausibleOhms) {
            // Data of an open passed for a short would spoil every reading.
            session.Send({"CORR:SHOR:STAT OFF"});
            return session.Outcome(
                false, "The short reads " + FormatNumber(*ohms, "0.00E+00") +
                           " ohm uncorrected at " + FormatNumber(frequencyHertz, "0") +
                           " Hz, not the few ohms of a short pad: were the probes up? Short "
                           "correction is now off. Land the probes on the short pad and measure "
                           "the short again.");
        }
    }
    return session.Outcome(true);
}

}  // namespace quillon
