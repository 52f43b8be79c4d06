// Section [frequencies] of the settings file: what the Frequencies window
// last had typed (the frequency list, its start, stop and points per
// decade, the biases of a C-f measurement), written as a list is run; and
// where a C-f measurement is kept: the folder "frequency sweeps" beside the
// settings file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/frequency_sweep_file.h"
#include "platform/program_folder.h"

namespace quillon {

inline constexpr const char* kFrequenciesSection = "frequencies";

struct FrequencyInputs {
    std::string list = "1k 10k 100k 1M";
    std::string start = "1k";
    std::string stop = "1M";
    std::string perDecade = "5";
    std::string biases = "-1 -0.5 0";
};

// Missing keys keep the defaults above.
FrequencyInputs ReadFrequencyInputs(const ProgramFolder& folder);
void WriteFrequencyInputs(const ProgramFolder& folder, const FrequencyInputs& inputs);

// The "frequency sweeps" folder beside the settings file.
std::string FrequencySweepsFolderPath(const ProgramFolder& folder);

struct KeptFrequencySweep {
    std::string path;
    std::optional<std::string> failure;  // for the user; the points stay in the window
};
// Writes the measurement's CSV file into the frequency sweeps folder.
KeptFrequencySweep KeepFrequencySweep(const ProgramFolder& folder, const CsvRunContext& context,
                                      const FrequencySweepPlan& plan,
                                      const std::vector<FrequencySweepPoint>& points);

}  // namespace quillon
