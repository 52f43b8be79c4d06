// The CSV file of a C-f measurement: the comment lines of a data file (when,
// sample, note, the meter's set-up as typed), the biases and frequencies of
// the lists, then a header "V,f,C,G" and one row per point. It goes into
// the "frequency sweeps" folder beside the runs folder; pandas reads it with
// read_csv(path, comment="#").
#pragma once

#include <string>
#include <vector>

#include "analysis/csv_data_file.h"
#include "measure/frequency_sweep_run.h"

namespace quillon {

inline constexpr const char* kFrequencySweepHeader = "V,f,C,G";
inline constexpr const char* kFrequencySweepsFolderName = "frequency sweeps";

std::string FrequencySweepFileText(const CsvRunContext& context, const FrequencySweepPlan& plan,
                                   const std::vector<FrequencySweepPoint>& points);

// "cf-wafer3_d12-20261207-143015": as a run's file stem, with "cf".
std::string FrequencySweepFileStem(const std::tm& started, const std::string& sample);

}  // namespace quillon
