// Section [results] of the settings file: what the main window does with
// finished runs besides showing them. ShowEarlierRuns is written whenever
// "Show earlier runs" changes; AutoSaveFolder only ever by hand.
#pragma once

#include <optional>
#include <string>

#include "analysis/csv_data_file.h"
#include "platform/program_folder.h"

namespace quillon {

inline constexpr const char* kResultsSection = "results";
inline constexpr const char* kShowEarlierRunsKey = "ShowEarlierRuns";
inline constexpr const char* kAutoSaveFolderKey = "AutoSaveFolder";

// True only for a stored 1; missing or anything else is off.
bool ReadShowEarlierRuns(const ProgramFolder& folder);
void WriteShowEarlierRuns(const ProgramFolder& folder, bool show);

// The folder that receives a CSV data file of every run, with a relative
// path taken from the program's folder; empty when none is set.
std::string ReadAutoSaveFolder(const ProgramFolder& folder);

// Writes a run that read a point into the AutoSaveFolder, where one is set,
// for START and --run alike; the message for the user when that failed.
std::optional<std::string> SaveRunToAutoSaveFolder(const ProgramFolder& folder,
                                                   const CsvRunContext& context,
                                                   const SweepData& sweep);

}  // namespace quillon
