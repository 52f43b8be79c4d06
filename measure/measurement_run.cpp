#include "measure/measurement_run.h"

#include <cstring>
#include <optional>

#include "bus/gpib_driver.h"
#include "common/text_number.h"
#include "gpib/gpib_status_text.h"

namespace quillon {

namespace {

constexpr const char* kNotStarted = "\r\nThe measurement was not started.";

std::string OutOfRangeMessage(const SettingOutOfRange& bad)
{
    return bad.label + " is out of range: it must lie within " + bad.range + "." + kNotStarted;
}

template <typename T>
const SettingOutOfRange* Refusal(const SettingOr<T>& reading)
{
    return std::get_if<SettingOutOfRange>(&reading);
}

// The status texts of the bus call that just failed, and for a driver
// error the system's own reason, which says what a user can do about it (a
// missing device file, no permission, a board that is not configured).
std::string BusFailureText()
{
    std::string text = DescribeIbsta() + DescribeIberr();
    if ((ibsta & ni::ERR) && iberr == ni::EDVR && ibcntl > 0)
        text += "\r\nSystem error: " + std::string(std::strerror(ibcntl));
    return text;
}

std::string OpenFailureMessage(const InstrumentSettings& instrument)
{
    return "The 4284A could not be opened (GPIB board " + std::to_string(instrument.board) +
           ", address " + std::to_string(instrument.address) + ")." + BusFailureText() +
           kNotStarted;
}

}  // namespace

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

    // The previous run's points stay until the meter has been opened: a
    // START that cannot reach the meter must not cost unsaved data.
    const InstrumentConnection connection = SetUpInstrument(plan.instrument, environment.clock);
    if (!connection.opened) {
        // Nothing was sent after the failed open: the status is still its.
        desktop.ShowMessage(OpenFailureMessage(plan.instrument));
        releaseWindow(false);
        return result;
    }
    const int16_t ud = connection.descriptor;
    sweep.Allocate(n);
    sweep.RunPointsRead = 0;
    for (int i = 1; i <= n; ++i)
        sweep.Bias[static_cast<std::size_t>(i)] =
            plan.biasMillivolts[static_cast<std::size_t>(i - 1)] / 1000.0;
    sweep.BiasSign = plan.biasSign;
    sweep.Cmax = 0.0;
    sweep.Gmax = 0.0;

    MeasurementLog log;
    log.OpenMeasurementLog(environment.programFolder, environment.clock);
    const bool logFailedAtStart = log.Failed();
    if (logFailedAtStart) desktop.ShowMessage("This run has no log: " + log.Failure() + ".");

    std::string reply = FixedWidth(kInitialReply, kReplyLength);
    result.times.t0 = environment.clock.TickCount();
    result.ending = RunEnding::Completed;
    int d = 1;
    for (; d <= n; ++d) {
        const auto index = static_cast<std::size_t>(d);
        TriggerPoint(ud, sweep.Bias[index]);
        window.YieldOnce();
        window.SetProgressValue(ProgressPercent(d, n));
        log.LogPointLine(sweep.Bias[index - 1], reply);
        window.SetProgressCaption("Progress " + std::to_string(d) + "/" + std::to_string(n));
        if (BeepWhenTriggered(settings)) desktop.Beep();
        if (window.StopRequested()) {
            result.ending = RunEnding::Stopped;
            break;
        }
        if (plan.quitWhenUnbal && reply.find(kOverflowReply) != std::string::npos) {
            desktop.ShowMessage(kUnbalancedMessage);
            result.ending = RunEnding::Unbalanced;
            break;
        }
        const double capacitance = sweep.Capacitance[index - 1];
        const double conductance = sweep.Conductance[index - 1];
        if (capacitance > sweep.Cmax) sweep.Cmax = capacitance;
        if (conductance > sweep.Gmax) sweep.Gmax = conductance;
        window.SetStatusCaptions(StatusCaptions(capacitance, conductance, sweep.Cmax, sweep.Gmax));

        const PointReading reading = CollectPoint(ud, reply);
        if (reading.outcome != PointReading::Outcome::Read) {
            result.ending = reading.outcome == PointReading::Outcome::TimedOut
                                ? RunEnding::TimedOut
                                : RunEnding::BusFailure;
            break;
        }
        sweep.Capacitance[index] = reading.capacitance;
        sweep.Conductance[index] = reading.conductance;
        sweep.RunPointsRead = d;
    }

    const bool busFault =
        result.ending == RunEnding::TimedOut || result.ending == RunEnding::BusFailure;
    if (result.ending == RunEnding::TimedOut) {
        desktop.ShowMessage(kTimeOverMessage);
    } else if (busFault) {
        // The status still holds the failing call: nothing was sent since.
        desktop.ShowMessage("The meter's reply could not be read." + BusFailureText() +
                            "\r\nReturn to initial state");
    }

    // Even after a bus fault the meter goes back to idle: its DC bias must
    // not stay on the device.
    ReturnToIdle(ud, environment.clock);
    result.times.t1 = environment.clock.TickCount();
    sweep.PointCount = static_cast<int16_t>(d - 1);
    sweep.RunPointsRead.reset();
    if (busFault) {
        log.Close();
        RestoreUserBiasSign(sweep);
    } else {
        if (result.ending == RunEnding::Completed && n >= 1)
            log.LogPointLine(sweep.Bias[static_cast<std::size_t>(n)], reply);
        log.CloseMeasurementLog();
    }
    if (log.Failed() && !logFailedAtStart)
        desktop.ShowMessage("The log of this run is incomplete: " + log.Failure() + ".");
    if (!busFault && endOfRunPass) endOfRunPass(sweep, result.times);

    releaseWindow(true);
    return result;
}

}  // namespace quillon
