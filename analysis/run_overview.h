// What the Runs window shows of a run besides its curves: its extracted
// values, taken the way the Analysis window takes them, so that a number in
// the list, in the table across runs and in the Analysis window is always
// the same number; and the run in the forms the main window and the
// Analysis window show it in.
#pragma once

#include <optional>
#include <string>

#include "analysis/analysis_report.h"
#include "analysis/csv_data_file.h"
#include "analysis/parameter_extraction.h"
#include "analysis/stored_run.h"
#include "measure/sweep_data.h"

namespace quillon {

struct RunOverview {
    std::optional<double> cmax;  // the largest C of all points [F]
    Extracted oxideCapacitance;
    Extracted equivalentThickness;
    Extracted doping;    // from Cmax and Cmin, as INFO [cm^-3]
    Extracted flatBand;  // of the first sweep [V]
    Extracted flatBandUp;
    Extracted flatBandDown;
    Extracted hysteresis;
    Extracted threshold;
    Extracted trapDensity;
    Extracted seriesResistance;
};

// The run as the Analysis window analyses it; a file that does not give the
// frequency or the pad area leaves those unknown.
RunForAnalysis AnalysisRunOf(const StoredRun& run);

// Rs corrected, as the Analysis window opens.
RunOverview OverviewOf(const StoredRun& run);

// The points as the main window keeps a finished run's, Cmax, Cmin and Gmax
// settled.
SweepData SweepDataOf(const StoredRun& run);

// The main window's inputs for the run: its own where its file has them,
// else `current` with the frequency and pad area the file gives.
MeasurementSettingsValues SettingsOf(const StoredRun& run,
                                     const MeasurementSettingsValues& current);

// The run being measured, as far as its START tells: no points yet.
StoredRun InProgressRun(const CsvRunContext& context);
// Adds the points `sweep` has read since the last call (in the meter's sign
// while it runs), each with its leg of the planned ones.
void TakeNewPoints(StoredRun& run, const SweepData& sweep,
                   const std::vector<SweepLeg>& plannedLegs);

// "2026-12-07 14:30:15", or "" without a time.
std::string StartedText(const StoredRun& run);
// "100 kHz", "1 MHz", "20 Hz", "1.5 kHz"; "n/a" when not known.
std::string FrequencyText(const std::optional<double>& hertz);
// "-3 to 3 V, double, 2 cycles": how the bias went, from the points (and
// their legs where known).
std::string SweepText(const StoredRun& run);
// The file's name, with the part of the file where it holds several runs.
std::string SourceText(const StoredRun& run);

}  // namespace quillon
