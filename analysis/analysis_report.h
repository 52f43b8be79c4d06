// What the Analysis window works on and gives away: the last run's points
// and settings as they were when it ended, the table of extracted
// parameters, its TAB-separated text for the clipboard, and the report file.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "analysis/parameter_extraction.h"
#include "measure/measurement_settings.h"
#include "measure/meter_correction.h"
#include "measure/sweep_data.h"

namespace quillon {

inline constexpr const char* kReportFileFilter = "Report(*.txt)|*.txt";

// A run as the analysis keeps it: its readable points in the user's sign,
// and the main window's inputs when it ended (the summary, too, takes the
// pad area from there).
struct RunForAnalysis {
    std::vector<MeasuredPoint> points;
    MeasurementSettingsValues settings;
    std::optional<std::tm> started;  // for the names of its files
    // A file read back may not say them; the settings' texts then mean nothing.
    bool frequencyKnown = true;
    bool padAreaKnown = true;
    // The meter's correction as read back before the run; none when not read.
    std::optional<CorrectionState> correction;
};

RunForAnalysis CaptureRun(const SweepData& sweep, const MeasurementSettings& settings,
                          std::optional<std::tm> started);

// The frequency as the run sent it, the pad area as the summary reads it.
ExtractionInput InputOfRun(const RunForAnalysis& run, bool correctSeriesResistance);

// One line of the parameter table; `note` gives the reason for an "n/a",
// or for a value in doubt why it may be wrong.
struct ParameterRow {
    std::string name;
    std::string value;
    std::string unit;
    std::string note;
    bool inDoubt = false;
};

std::vector<ParameterRow> ParameterRows(const Extraction& extraction, bool correctSeriesResistance);

// A header line, then one line per row, its four fields separated by TAB;
// CR LF after every line.
std::string ParameterTableText(const std::vector<ParameterRow>& rows);

// The parameters, the run's settings and the curve the values come from.
std::string ReportText(const RunForAnalysis& run, const Extraction& extraction,
                       bool correctSeriesResistance);

}  // namespace quillon
