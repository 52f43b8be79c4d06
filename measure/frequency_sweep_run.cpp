#include "measure/frequency_sweep_run.h"

#include "common/text_number.h"
#include "measure/instrument_setup.h"

namespace quillon {

FrequencySweepResult RunFrequencySweep(RunWindow& window, const Environment& environment,
                                       const FrequencySweepPlan& plan)
{
    Desktop& desktop = environment.desktop;
    FrequencySweepResult result;
    window.SetRunning(true);
    window.ClearStopRequest();
    MeasurementSettingsValues settings = CopySettings(window.Settings());
    const auto releaseWindow = [&](bool beep) {
        if (beep && BeepWhenFinished(settings)) desktop.Beep();
        window.SetRunning(false);
    };
    if (plan.biasMillivolts.empty() || plan.frequenciesHertz.empty()) {
        result.ending = RunEnding::NoCycles;
        releaseWindow(false);
        return result;
    }
    // The set-up's frequency is the first the meter measures at.
    settings.text[kFrequency] = std::to_string(plan.frequenciesHertz.front());
    const SettingOr<InstrumentSettings> read = ReadInstrumentSettings(settings);
    if (const auto* bad = std::get_if<SettingOutOfRange>(&read)) {
        desktop.ShowMessage(OutOfRangeMessage(*bad));
        releaseWindow(false);
        return result;
    }
    const InstrumentSettings& instrument = std::get<InstrumentSettings>(read);
    const InstrumentConnection connection = SetUpInstrument(instrument, environment.clock);
    if (!connection.opened) {
        desktop.ShowMessage(OpenFailureMessage(instrument));
        releaseWindow(false);
        return result;
    }
    const int16_t ud = connection.descriptor;
    const int16_t biasSign = BiasSign(settings);
    const bool quitWhenUnbal = QuitWhenUnbal(settings);
    const int n = static_cast<int>(plan.biasMillivolts.size() * plan.frequenciesHertz.size());
    std::string reply = FixedWidth(kInitialReply, kReplyLength);
    std::optional<std::string> notAReply;
    int32_t meterHertz = plan.frequenciesHertz.front();
    double cmax = 0.0;
    double gmax = 0.0;
    result.ending = RunEnding::Completed;
    result.times.t0 = environment.clock.TickCount();
    for (const int16_t millivolts : plan.biasMillivolts) {
        for (const int32_t hertz : plan.frequenciesHertz) {
            const int d = static_cast<int>(result.points.size()) + 1;
            const std::string setting =
                hertz == meterHertz ? std::string() : FrequencyCommand(hertz);
            meterHertz = hertz;
            TriggerPoint(ud, millivolts * biasSign / 1000.0, setting);
            ShowPointTriggered(window, environment, d, n, result.times.t0);
            if (window.StopRequested()) {
                result.ending = RunEnding::Stopped;
                break;
            }
            const PointReading reading = CollectPoint(ud, reply);
            if (reading.outcome != PointReading::Outcome::Read) {
                result.ending = EndingOfReading(reading.outcome);
                if (reading.outcome == PointReading::Outcome::NotAReply)
                    notAReply = reading.received;
                break;
            }
            result.points.push_back(
                {millivolts / 1000.0, hertz, reading.capacitance, reading.conductance});
            if (reading.capacitance > cmax) cmax = reading.capacitance;
            if (reading.conductance > gmax) gmax = reading.conductance;
            window.SetStatusCaptions(
                StatusCaptions(reading.capacitance, reading.conductance, cmax, gmax));
            if (quitWhenUnbal &&
                (reading.capacitance == kOverflowValue || reading.conductance == kOverflowValue)) {
                result.ending = RunEnding::Unbalanced;
                break;
            }
        }
        if (result.ending != RunEnding::Completed) break;
    }
    const std::string endingMessage =
        ReturnToIdleSaying(ud, environment.clock, EndingMessage(result.ending, notAReply));
    result.times.t1 = environment.clock.TickCount();
    if (result.ending == RunEnding::Completed) window.SetProgressValue(100);
    if (!endingMessage.empty()) desktop.ShowMessage(endingMessage);
    releaseWindow(true);
    return result;
}

}  // namespace quillon
