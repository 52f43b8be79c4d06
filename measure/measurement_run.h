// The measurement subsystem: what a run reads from the window, the set-up
// of the meter, the per-point bus transactions, the monthly log and the run
// itself, from START to the window given back.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "measure/bias_plan.h"
#include "measure/instrument_setup.h"
#include "measure/measurement_log.h"
#include "measure/measurement_settings.h"
#include "measure/point_acquisition.h"
#include "measure/run_window.h"
#include "measure/sweep_data.h"
#include "platform/environment.h"

namespace quillon {

inline constexpr const char* kUnbalancedMessage = "測定エラー発生\r\n測定を終了します";
inline constexpr const char* kTimeOverMessage = "time over\r\nReturn to initial state";
inline constexpr const char* kInitialReply = "V,C,G";
// Followed by the bus status of the failed "BIAS:STAT OFF".
inline constexpr const char* kBiasMayBeOnMessage =
    "The DC bias may still be on: switch it off at the meter.";

// Everything a run reads at START, converted and checked.
struct RunPlan {
    int16_t biasSign = 1;
    bool quitWhenUnbal = false;
    // In the meter's sign, as biasMillivolts is built from it.
    BiasSweep sweep;
    std::vector<int16_t> biasMillivolts;
    InstrumentSettings instrument;
};
// START with no cycles to measure: nothing happens.
struct NoCycles {};
// START refused before anything was sent: the message says why.
struct RunRefused {
    std::string message;
};
using RunPreparation = std::variant<RunPlan, NoCycles, RunRefused>;

RunPreparation PrepareRun(const MeasurementSettings& settings);

// 100 x d / N, rounded half to even.
int ProgressPercent(int d, int n);

// "123.456pF", "0.457uS", ...: Now C, Now G, Cmax and Gmax.
std::array<std::string, kStatusCaptionCount> StatusCaptions(double capacitance, double conductance,
                                                            double cmax, double gmax);

enum class RunEnding {
    Refused,   // nothing sent (bad input, the meter could not be opened)
    NoCycles,  // nothing to measure
    Completed,
    Stopped,     // STOP or Esc
    Unbalanced,  // the overflow reply with "Quit when UNBAL"
    TimedOut,    // no service request within the time limit
    BusFailure,  // the wait or the read failed outright
};

struct RunTimes {
    uint32_t t0 = 0;  // tick count when the first point was triggered
    uint32_t t1 = 0;  // tick count when the meter was back to idle
};

struct RunResult {
    RunEnding ending = RunEnding::Refused;
    RunTimes times;
    // The points this run read; with none the previous run's points stay.
    int pointsRead = 0;
};

// The pass that follows a run that returned the meter to idle normally
// (completed, stopped or unbalanced): the summary and the graphs.
using EndOfRunPass = std::function<void(SweepData&, const RunTimes&)>;

// Point d of n has been triggered: one pass of the window's events, then
// the progress, "Progress d/n", the time left and the trigger's beep.
void ShowPointTriggered(RunWindow& window, const Environment& environment, int d, int n,
                        uint32_t t0);

// How a point that was not read ends the run: TimedOut or BusFailure.
RunEnding EndingOfReading(PointReading::Outcome outcome);
// What the user is told of a run that ended so, worded while the bus status
// still holds the failing call; empty where nothing needs saying.
// `notAReply`: the bytes that came instead of the meter's reply.
std::string EndingMessage(RunEnding ending, const std::optional<std::string>& notAReply);
// Returns the meter to idle and adds to `endingMessage` that the bias may
// still be on where that failed.
std::string ReturnToIdleSaying(int16_t descriptor, Clock& clock, std::string endingMessage);
// "Frequency [Hz] is out of range: it must lie within ...".
std::string OutOfRangeText(const SettingOutOfRange& bad);
// The same, and that the run was not started.
std::string OutOfRangeMessage(const SettingOutOfRange& bad);
// "The 4284A could not be opened (GPIB board 0, address 17)." and the call
// that failed, while the bus status still holds it.
std::string MeterOpenFailureText(int16_t board, int16_t address);
// The 4284A could not be opened: board, address and the failed call.
std::string OpenFailureMessage(const InstrumentSettings& instrument);

// One whole run, from locking the window to giving it back.
RunResult RunMeasurement(RunWindow& window, SweepData& sweep, const Environment& environment,
                         const EndOfRunPass& endOfRunPass);

}  // namespace quillon
