#include "measure/measurement_run.h"

#include <optional>

#include "common/text_number.h"
#include "gpib/gpib_status_text.h"
#include "measure/time_left.h"

namespace quillon {

namespace {

constexpr const char* kNotStarted = "\r\nThe measurement was not started.";
constexpr const char* kReturnToInitialState = "\r\nReturn to initial state";

template <typename T>
const SettingOutOfRange* Refusal(const SettingOr<T>& reading)
{
    return std::get_if<SettingOutOfRange>(&reading);
}

}  // namespace

RunEnding EndingOfReading(PointReading::Outcome outcome)
{
    return outcome == PointReading::Outcome::TimedOut ? RunEnding::TimedOut : RunEnding::BusFailure;
}

std::string EndingMessage(RunEnding ending, const std::optional<std::string>& notAReply)
{
    if (ending == RunEnding::TimedOut) return kTimeOverMessage;
    if (notAReply)
        return "The meter's reply is not two numbers in its format (+1.23456E-10,+4.56789E-07): "
               "\"" +
               QuotedBytes(*notAReply) + "\"." + kReturnToInitialState;
    if (ending == RunEnding::BusFailure)
        return "The meter's reply could not be read." + DescribeFailedCall() +
               kReturnToInitialState;
    if (ending == RunEnding::Unbalanced) return kUnbalancedMessage;
    return {};
}

std::string ReturnToIdleSaying(int16_t descriptor, Clock& clock, std::string endingMessage)
{
    if (const std::optional<std::string> biasLeftOn = ReturnToIdle(descriptor, clock)) {
        if (!endingMessage.empty()) endingMessage += "\r\n\r\n";
        endingMessage += std::string(kBiasMayBeOnMessage) + *biasLeftOn;
    }
    return endingMessage;
}

std::string OutOfRangeText(const SettingOutOfRange& bad)
{
    return bad.label + " is out of range: it must lie within " + bad.range + ".";
}

std::string OutOfRangeMessage(const SettingOutOfRange& bad)
{
    return OutOfRangeText(bad) + kNotStarted;
}

std::string MeterOpenFailureText(int16_t board, int16_t address)
{
    return "The 4284A could not be opened (GPIB board " + std::to_string(board) + ", address " +
           std::to_string(address) + ")." + DescribeFailedCall();
}

std::string OpenFailureMessage(const InstrumentSettings& instrument)
{
    return MeterOpenFailureText(instrument.board, instrument.address) + kNotStarted;
}

void ShowPointTriggered(RunWindow& window, const Environment& environment, int d, int n,
                        uint32_t t0)
{
    window.YieldOnce();
    window.SetProgressValue(ProgressPercent(d, n));
    window.SetProgressCaption("Progress " + std::to_string(d) + "/" + std::to_string(n));
    window.SetTimeLeft(TimeLeftText(d - 1, n, environment.clock.TickCount() - t0));
    if (BeepWhenTriggered(window.Settings())) environment.desktop.Beep();
}

RunPreparation PrepareRun(const MeasurementSettings& settings)
{
    RunPlan plan;
    plan.biasSign = BiasSign(settings);
    plan.quitWhenUnbal = QuitWhenUnbal(settings);

    const SettingOr<int16_t> start = StartBiasMillivolts(settings, plan.biasSign);
    if (const auto* bad = Refusal(start)) return RunRefused{OutOfRangeMessage(*bad)};
    const SettingOr<int16_t> stop = StopBiasMillivolts(settings, plan.biasSign);
    if (const auto* bad = Refusal(stop)) return RunRefused{OutOfRangeMessage(*bad)};
    BiasSweep sweep;
    sweep.startMillivolts = std::get<int16_t>(start);
    sweep.stopMillivolts = std::get<int16_t>(stop);
    if (!RoundToInt16(static_cast<double>(sweep.stopMillivolts) - sweep.startMillivolts))
        return RunRefused{
            OutOfRangeMessage({"Stop Bias [V] - Start Bias [V]", "-32.768 to 32.767 V"})};
    const SettingOr<int16_t> step =
        BiasStepMillivolts(settings, sweep.startMillivolts, sweep.stopMillivolts);
    if (const auto* bad = Refusal(step)) return RunRefused{OutOfRangeMessage(*bad)};
    sweep.stepMillivolts = std::get<int16_t>(step);
    if (sweep.stepMillivolts == 0)
        return RunRefused{std::string("Bias Step [V] must not be 0, and Start Bias [V] must "
                                      "differ from Stop Bias [V].") +
                          kNotStarted};

    const SettingOr<int16_t> cycles = CycleCount(settings);
    if (const auto* bad = Refusal(cycles)) return RunRefused{OutOfRangeMessage(*bad)};
    sweep.cycles = std::get<int16_t>(cycles);
    if (sweep.cycles < 0) return RunRefused{OutOfRangeMessage({"Cycle of Meas.", "0 to 32767"})};
    if (sweep.cycles == 0) return NoCycles{};
    sweep.doubleSweep = DoubleSweep(settings);

    const int64_t points = BiasPlanLength(sweep);
    if (points > kMostPlannedPoints)
        return RunRefused{"The sweep has " + std::to_string(points) +
                          " points, more than the 32767 a run can hold." + kNotStarted};

    const SettingOr<InstrumentSettings> instrument = ReadInstrumentSettings(settings);
    if (const auto* bad = Refusal(instrument)) return RunRefused{OutOfRangeMessage(*bad)};
    plan.instrument = std::get<InstrumentSettings>(instrument);
    plan.sweep = sweep;
    plan.biasMillivolts = BuildBiasPlan(sweep);
    return plan;
}

int ProgressPercent(int d, int n)
{
    if (n <= 0) return 0;
    return RoundToInt16(100.0 * d / n).value_or(0);
}

std::array<std::string, kStatusCaptionCount> StatusCaptions(double capacitance, double conductance,
                                                            double cmax, double gmax)
{
    return {FormatNumber(capacitance * 1e12, "0.000") + "pF",
            FormatNumber(conductance * 1e6, "0.000") + "uS",
            FormatNumber(cmax * 1e12, "0.000") + "pF", FormatNumber(gmax * 1e6, "0.000") + "uS"};
}

RunResult RunMeasurement(RunWindow& window, SweepData& sweep, const Environment& environment,
                         const EndOfRunPass& endOfRunPass)
{
    const MeasurementSettings& settings = window.Settings();
    Desktop& desktop = environment.desktop;
    RunResult result;

    window.SetRunning(true);
    window.ClearStopRequest();
    const auto releaseWindow = [&](bool beep) {
        if (beep && BeepWhenFinished(settings)) desktop.Beep();
        window.SetRunning(false);
    };

    RunPreparation preparation = PrepareRun(settings);
    if (std::holds_alternative<NoCycles>(preparation)) {
        result.ending = RunEnding::NoCycles;
        releaseWindow(false);
        return result;
    }
    if (const auto* refused = std::get_if<RunRefused>(&preparation)) {
        desktop.ShowMessage(refused->message);
        releaseWindow(false);
        return result;
    }
    const RunPlan& plan = std::get<RunPlan>(preparation);
    const int n = static_cast<int>(plan.biasMillivolts.size());

    // Said before the set-up: the box must not stand open while the meter
    // holds the last run's bias on the device.
    MeasurementLog log;
    log.Open(environment.programFolder, environment.clock);
    const bool logFailedAtStart = log.Failed();
    if (logFailedAtStart) desktop.ShowMessage("This run has no log: " + log.Failure() + ".");

    const InstrumentConnection connection = SetUpInstrument(plan.instrument, environment.clock);
    if (!connection.opened) {
        // Nothing was sent after the failed open: the status is still its.
        desktop.ShowMessage(OpenFailureMessage(plan.instrument));
        releaseWindow(false);
        return result;
    }
    const int16_t ud = connection.descriptor;
    log.StartRecord();

    // The previous run's points stay the window's until this run has read
    // its first one: a START whose meter does not answer must not cost
    // unsaved data.
    SweepData fresh;
    fresh.Allocate(n);
    fresh.RunPointsRead = 0;
    for (int i = 1; i <= n; ++i)
        fresh.Bias[static_cast<std::size_t>(i)] =
            plan.biasMillivolts[static_cast<std::size_t>(i - 1)] / 1000.0;
    fresh.BiasSign = plan.biasSign;
    SweepData* points = &fresh;

    std::string reply = FixedWidth(kInitialReply, kReplyLength);
    std::optional<std::string> notAReply;
    result.times.t0 = environment.clock.TickCount();
    result.ending = RunEnding::Completed;
    int d = 1;
    // Point d is triggered first; while the meter measures it, point d - 1
    // (read at the end of the last pass) is logged, shown and tested for
    // UNBAL; then point d is collected.
    for (; d <= n; ++d) {
        const auto index = static_cast<std::size_t>(d);
        TriggerPoint(ud, points->Bias[index]);
        log.LogPointLine(points->Bias[index - 1], reply);
        ShowPointTriggered(window, environment, d, n, result.times.t0);
        if (window.StopRequested()) {
            result.ending = RunEnding::Stopped;
            break;
        }
        const double capacitance = points->Capacitance[index - 1];
        const double conductance = points->Conductance[index - 1];
        if (plan.quitWhenUnbal &&
            (reply.find(kOverflowReply) != std::string::npos || capacitance == kOverflowValue ||
             conductance == kOverflowValue)) {
            result.ending = RunEnding::Unbalanced;
            break;
        }
        if (capacitance > points->Cmax) points->Cmax = capacitance;
        if (conductance > points->Gmax) points->Gmax = conductance;
        window.SetStatusCaptions(
            StatusCaptions(capacitance, conductance, points->Cmax, points->Gmax));

        const PointReading reading = CollectPoint(ud, reply);
        if (reading.outcome != PointReading::Outcome::Read) {
            result.ending = EndingOfReading(reading.outcome);
            if (reading.outcome == PointReading::Outcome::NotAReply) notAReply = reading.received;
            break;
        }
        points->Capacitance[index] = reading.capacitance;
        points->Conductance[index] = reading.conductance;
        points->RunPointsRead = d;
        if (points == &fresh) {
            sweep = std::move(fresh);
            points = &sweep;
        }
    }

    const bool busFault =
        result.ending == RunEnding::TimedOut || result.ending == RunEnding::BusFailure;
    // Worded now, while the status still holds the failing call, and shown
    // only once the meter is back to idle: a message box must not keep the
    // DC bias on the device for as long as it stands open.
    // Even after a bus fault the meter goes back to idle: its DC bias must
    // not stay on the device.
    const std::string endingMessage =
        ReturnToIdleSaying(ud, environment.clock, EndingMessage(result.ending, notAReply));
    result.times.t1 = environment.clock.TickCount();
    points->PointCount = static_cast<int16_t>(d - 1);
    result.pointsRead = d - 1;
    points->RunPointsRead.reset();
    if (busFault) {
        log.Close();
        RestoreUserBiasSign(*points);
    } else {
        if (result.ending == RunEnding::Completed && n >= 1)
            log.LogPointLine(points->Bias[static_cast<std::size_t>(n)], reply);
        log.CloseMeasurementLog();
    }
    if (!endingMessage.empty()) desktop.ShowMessage(endingMessage);
    if (log.Failed() && !logFailedAtStart)
        desktop.ShowMessage("The log of this run is incomplete: " + log.Failure() + ".");
    if (!busFault && endOfRunPass) endOfRunPass(*points, result.times);

    releaseWindow(true);
    return result;
}

}  // namespace quillon
