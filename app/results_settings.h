// Section [results] of the settings file: what the main window does with
// finished runs besides showing them. ShowEarlierRuns is written whenever
// "Show earlier runs" changes; AutoSaveFolder only ever by hand.
//
// Section [runs]: the sample and note of the next run, written by the Runs
// window as they are typed, and KeepRuns, by hand: every run that read a
// point is kept as a CSV data file in the folder "runs" beside the settings
// file, unless KeepRuns is 0.
#pragma once

#include <optional>
#include <string>

#include "analysis/csv_data_file.h"
#include "platform/program_folder.h"

namespace quillon {

inline constexpr const char* kResultsSection = "results";
inline constexpr const char* kShowEarlierRunsKey = "ShowEarlierRuns";
inline constexpr const char* kAutoSaveFolderKey = "AutoSaveFolder";
inline constexpr const char* kRunsSection = "runs";
inline constexpr const char* kSampleKey = "Sample";
inline constexpr const char* kNoteKey = "Note";
inline constexpr const char* kKeepRunsKey = "KeepRuns";
inline constexpr const char* kRunsFolderName = "runs";

// True only for a stored 1; missing or anything else is off.
bool ReadShowEarlierRuns(const ProgramFolder& folder);
void WriteShowEarlierRuns(const ProgramFolder& folder, bool show);

// The folder that receives a CSV data file of every run, with a relative
// path taken from the program's folder; empty when none is set.
std::string ReadAutoSaveFolder(const ProgramFolder& folder);

struct RunLabels {
    std::string sample;
    std::string note;
};
// Missing keys give empty labels.
RunLabels ReadRunLabels(const ProgramFolder& folder);
// Line breaks become blanks: a value is one line of the file.
void WriteRunLabels(const ProgramFolder& folder, const RunLabels& labels);

// On unless KeepRuns is a stored 0.
bool ReadKeepRuns(const ProgramFolder& folder);
// The "runs" folder beside the settings file.
std::string RunsFolderPath(const ProgramFolder& folder);

// Where a finished run went.
struct KeptRun {
    // The file in the runs folder; empty when none was written.
    std::string runsFolderFile;
    // One message for the user about every copy that could not be written.
    std::optional<std::string> failure;
};
// Keeps a run that read a point, for START and --run alike: into the runs
// folder unless KeepRuns is off, and into the AutoSaveFolder where one is
// set (once, where the two are the same folder).
KeptRun KeepFinishedRun(const ProgramFolder& folder, const CsvRunContext& context,
                        const SweepData& sweep);

}  // namespace quillon
