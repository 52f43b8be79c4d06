// The CSV data file: comment lines ("# key: value") with when and how the
// run was measured, its sample and what its summary found, then a header
// "V,C,G,sweep,cycle" and one row per point: the numbers of the table file,
// then the sweep the point lies on ("up" or "down") and its cycle. Data tools read it
// without options beyond skipping the comments, e.g. pandas'
// read_csv(path, comment="#"). "Save Data" writes it on request, and a
// folder named in the settings file receives one for every run.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/cv_analysis.h"
#include "analysis/stored_run.h"
#include "common/program_version.h"
#include "measure/measurement_settings.h"
#include "measure/meter_correction.h"
#include "measure/sweep_data.h"

namespace quillon {

inline constexpr const char* kCsvHeader = "V,C,G,sweep,cycle";
inline constexpr const char* kCsvExtension = ".csv";

// What the file says about its run besides the points.
struct CsvRunContext {
    std::tm started{};  // the local date and time of START
    // What the user called the device and said of it, as typed.
    std::string sample;
    std::string note;
    // The inputs as the run read them, texts as typed; the pad area as the
    // summary read it at the end.
    MeasurementSettingsValues settings;
    // The meter's *IDN? reply; empty when it was not read.
    std::string meterIdentification;
    // How the program reached the bus: "simulated", a driver library's
    // path, a Prologix adapter; empty when not known.
    std::string bus;
    std::string programVersion = ProgramVersion();
    // The meter's open and short correction and cable length as the
    // Correction window last read them back before START; none when it did
    // not (the run itself asks the meter nothing about them).
    std::optional<CorrectionState> correction;
    // From the first trigger to the meter back at idle.
    uint32_t elapsedMilliseconds = 0;
    // The sweep of each point as a file read back said it (empty where it
    // did not); no value for a run measured here, whose plan gives them.
    std::optional<std::vector<SweepLeg>> legs;
    // What the summary showed; no value for a run that had none (fewer than
    // two points, nothing above 0 F, or ended by a bus fault).
    std::optional<SummaryFigures> summary;
};

// "# key: value" and CR LF; a line break in the value becomes a blank.
std::string CsvComment(const std::string& key, const std::string& value);
// The comment lines a data file opens with: what it holds (`kind`, "C-V
// and G-V measurement"), when, sample, note, `insertedAfterNote`, the inputs
// as typed (those of the bias sweep and the frequency only where
// `sweepInputs`), meter, bus, program and the meter's correction.
std::string CsvOpeningComments(const std::string& kind, const CsvRunContext& context,
                               const std::string& insertedAfterNote, bool sweepInputs);

// The whole file for the readable points of `sweep`; lines end in CR LF,
// the last one too. A line break inside a value becomes a blank.
std::string CsvDataFileText(const CsvRunContext& context, const SweepData& sweep);

// Writes the file in one step (an older file of that name stays whole when
// anything fails). No value on success, otherwise the message for the user
// naming the file and the reason.
std::optional<std::string> SaveCsvDataFile(const std::string& path, const CsvRunContext& context,
                                           const SweepData& sweep);

// "cv-20261207-143015" for a run started on 7 December 2026 at 14:30:15,
// "cv-wafer3_d12-20261207-143015" for one of sample "wafer3/d12": the name
// of its files, before their extension and anything added to it.
std::string RunFileStem(const std::tm& started, const std::string& sample = {});
// "cv-20261207-143015.csv".
std::string AutoSaveFileName(const std::tm& started, const std::string& sample = {});

// The sample name made safe for a file name on any system: separators,
// blanks, control and reserved characters become "_", leading dots go, and
// it is cut to 60 bytes without splitting a UTF-8 character.
std::string FileNameOfSample(const std::string& sample);

// The file written, or the message for the user.
struct AutoSaveResult {
    std::string path;
    std::optional<std::string> failure;
};
// Saves the run's file, CsvDataFileText of its context and points, into
// `folder` under AutoSaveFileName, or with "-2", "-3", ... before the
// extension when a file of that name is already there.
AutoSaveResult AutoSaveRun(const std::string& folder, const CsvRunContext& context,
                           std::string_view fileText);
// The same for any file: `stem` and ".csv", "-2", "-3", ... before the
// extension where the name is taken.
AutoSaveResult AutoSaveFile(const std::string& folder, const std::string& stem,
                            std::string_view fileText);

}  // namespace quillon
