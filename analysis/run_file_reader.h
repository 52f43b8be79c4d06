// Runs read back from a file the user opens or the program kept: the
// program's CSV data file, the table of "Save Data", a monthly log (a run
// per record) or another instrument's text table (a run per frequency).
// Which one a file is comes from its content, not its name. A file gives
// either all its runs or one problem, never the runs of a part of it: a
// curve with points missing would pass for a measurement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/stored_run.h"

namespace quillon {

// Files above this are refused before they are read. The largest run
// (32767 points) takes about 1.3 MB as a CSV data file and a month's log of
// 50 such runs about 55 MB; reading 64 MiB stays well within a lab PC's
// memory, and a larger file is not a run file (a raw capture, a disk
// image) that would only hold the window up.
inline constexpr std::uint64_t kLargestRunFileBytes = std::uint64_t{64} << 20;

struct RunFileProblem {
    std::string file;
    int line = 0;  // from 1; 0: the file as a whole
    std::string reason;
};

// "<file>, line 12: <reason>" or "<file>: <reason>": the message the Runs
// window shows.
std::string RunFileProblemText(const RunFileProblem& problem);

// Either runs or a problem.
struct RunFileReading {
    std::vector<StoredRun> runs;
    std::optional<RunFileProblem> problem;
};

// The runs of the text of a file named `path`; the file is not touched.
RunFileReading ReadRunText(const std::string& path, std::string_view text);

// Reads the file, refusing a folder, a device or pipe, and a file above
// kLargestRunFileBytes before reading it, then ReadRunText.
RunFileReading ReadRunFile(const std::string& path);

}  // namespace quillon
