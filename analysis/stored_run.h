// A run as the Runs window knows it: its points and what is known of how
// they were measured, read back from a file (the program's own CSV data
// file, the table of "Save Data", a record of a monthly log, another
// instrument's text table) or taken from the run in progress.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "analysis/parameter_extraction.h"
#include "common/sweep_direction.h"
#include "measure/measurement_settings.h"

namespace quillon {

enum class RunSource {
    CsvDataFile,      // the program's CSV data file with settings
    TableFile,        // the table of "Save Data": points only
    LogRecord,        // one record of a monthly log
    OtherInstrument,  // a text table of another instrument
    InProgress,       // the run being measured now
};

// The sweep a point belongs to.
struct SweepLeg {
    SweepDirection direction = SweepDirection::Up;
    int cycle = 1;  // from 1
};

struct StoredRun {
    RunSource source = RunSource::CsvDataFile;
    // The file it was read from; empty for the run in progress.
    std::string path;
    // Which of the file's runs this is, where it holds several ("record 3"
    // of a log, "100 kHz" of a table with a frequency column); else empty.
    std::string partOfFile;
    // When it started, where the file says so.
    std::optional<std::tm> started;
    std::string sample;
    std::string note;
    std::optional<double> frequencyHertz;
    std::optional<double> padAreaSquareMicrons;
    // The main window's inputs as the run read them, texts as typed: only a
    // CSV data file and the run in progress have them.
    std::optional<MeasurementSettingsValues> settings;
    // In the order measured; the bias in the user's sign, except for a log
    // record, which keeps it as sent to the meter.
    std::vector<MeasuredPoint> points;
    // The sweep of each point where the file says it; otherwise empty.
    std::vector<SweepLeg> legs;
};

}  // namespace quillon
