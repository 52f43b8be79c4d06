// The meter's open and short correction and its cable length, over the
// gpib binding: the cable length set, an open or a short measured over the
// meter's preset frequencies or at one spot frequency with the long wait
// for "*OPC?", each correction switched on or off, and the state read back.
// A short is checked for plausibility by one reading without correction:
// a short pad reads a few ohms, lifted probes megohms.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "common/probe_placement.h"
#include "platform/clock.h"

namespace quillon {

// Moves the probes where a bench can do it by itself (the simulated one);
// a real probe station is moved by the user at the prompt.
using ProbeMover = std::function<void(ProbePlacement)>;

inline constexpr const char* kLiftProbesPrompt = "Lift the probes off the pad";
inline constexpr const char* kLandOnShortPrompt = "Land the probes on the short pad";
inline constexpr const char* kLandOnDevicePrompt = "Land the probes on the device again";

enum class CorrectionStandard { Open, Short };
// "open" or "short".
const char* StandardName(CorrectionStandard standard);
// Where the probes go for the standard, and what the user is told.
ProbePlacement PlacementFor(CorrectionStandard standard);
const char* PromptFor(CorrectionStandard standard);
enum class CorrectionSpan { AllFrequencies, Spot };

// The cable lengths the meter takes (CORR:LENG), in metres.
inline constexpr int kCableLengthsMetres[] = {0, 1, 2, 4};

// How long "*OPC?" may take: the meter needs about 90 s for its preset
// frequencies and seconds for one spot.
inline constexpr uint32_t kAllFrequenciesLimitMilliseconds = 150000;
inline constexpr uint32_t kSpotLimitMilliseconds = 10000;
// The most a short pad with its probes and cables may read uncorrected.
inline constexpr double kShortPlausibleOhms = 20.0;

// The meter's correction as it reports it, with when each standard was last
// measured (kept by the program: the meter does not know).
struct CorrectionState {
    bool openOn = false;
    bool shortOn = false;
    int cableMetres = 0;
    std::optional<std::tm> lastOpen;
    std::optional<std::tm> lastShort;
    // The spot frequency while the spot correction is on.
    std::optional<double> spotFrequencyHertz;
};

// "open on, short off, cable 1 m, open 2026-12-08 10:15:00, short never"
std::string CorrectionStateText(const CorrectionState& state);
// The same, or "not read" for a state the program did not read.
std::string CorrectionStateText(const std::optional<CorrectionState>& state);

struct MeterLocation {
    int16_t board = 0;
    int16_t address = 17;
};

// What a step did: a message for the user where it failed or was
// cancelled, and the meter's state read back afterwards (none when the
// meter could not be read).
struct CorrectionOutcome {
    bool done = false;
    bool opened = true;      // false: the meter could not be opened, nothing was sent
    bool cancelled = false;  // by the progress callback
    bool timedOut = false;   // no "*OPC?" within its limit
    std::optional<std::string> failure;
    std::optional<CorrectionState> meterState;
};

// The time waited so far, while the meter measures a standard; returning
// false cancels (a device clear).
using CorrectionProgress = std::function<bool(uint32_t elapsedMilliseconds)>;

CorrectionOutcome ReadCorrectionState(const MeterLocation& meter, Clock& clock);
CorrectionOutcome SetCableLength(const MeterLocation& meter, int metres, Clock& clock);
CorrectionOutcome SwitchCorrection(const MeterLocation& meter, CorrectionStandard standard, bool on,
                                   Clock& clock);
// Measures the standard that is on the probes now. A spot correction is
// made at `frequencyHertz`, and a short is checked there.
CorrectionOutcome MeasureStandard(const MeterLocation& meter, CorrectionStandard standard,
                                  CorrectionSpan span, double frequencyHertz, Clock& clock,
                                  const CorrectionProgress& progress);

}  // namespace quillon
