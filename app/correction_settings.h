// Section [correction] of the settings file: when the open and the short
// were last measured from the program, written by the Correction window and
// by --correct when the meter has finished one ("2026-12-08 10:15:00"); the
// meter itself keeps no such time.
#pragma once

#include <ctime>
#include <optional>

#include "measure/meter_correction.h"
#include "platform/program_folder.h"

namespace quillon {

inline constexpr const char* kCorrectionSection = "correction";
inline constexpr const char* kLastOpenKey = "LastOpen";
inline constexpr const char* kLastShortKey = "LastShort";

struct CorrectionTimes {
    std::optional<std::tm> lastOpen;
    std::optional<std::tm> lastShort;
};

// A missing key, or one that is not a date and time, gives no time.
CorrectionTimes ReadCorrectionTimes(const ProgramFolder& folder);
void WriteCorrectionTime(const ProgramFolder& folder, CorrectionStandard standard,
                         const std::tm& when);

// Measures the standard now on the probes: a bench that moves its own
// probes (`mover`) puts them where the standard needs and back on the device
// after; the time is kept once the meter has finished.
CorrectionOutcome MeasureAndKeepTime(const ProgramFolder& folder, Clock& clock,
                                     const MeterLocation& meter, CorrectionStandard standard,
                                     CorrectionSpan span, double frequencyHertz,
                                     const ProbeMover& mover, const CorrectionProgress& progress);

// The meter's state with the times of the settings file added.
CorrectionState WithCorrectionTimes(CorrectionState state, const ProgramFolder& folder);

}  // namespace quillon
