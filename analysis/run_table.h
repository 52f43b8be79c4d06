// The Runs window's list of runs, its sorting and filtering, and the table
// of the extracted values across runs (the wafer summary) that "Copy
// table" and "Save table..." give away.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/run_overview.h"
#include "analysis/stored_run.h"

namespace quillon {

enum RunListColumn : int {
    kStartedColumn = 0,
    kSampleColumn,
    kNoteColumn,
    kFrequencyColumn,
    kPointsColumn,
    kSweepColumn,
    kCmaxColumn,
    kCetColumn,
    kNsubColumn,
    kVfbColumn,
    kDitColumn,
    kSourceColumn,
    kRunListColumnCount,
};

// "Started", "Sample", ..., "Cmax [pF]", ..., "File".
const char* RunListColumnTitle(int column);

struct RunListCell {
    std::string text;
    // Numbers sort as numbers; a cell without one sorts after all that have.
    std::optional<double> number;
    // Why a value is "n/a", or why it may be wrong.
    std::string note;
};
using RunListRow = std::vector<RunListCell>;  // kRunListColumnCount cells

RunListRow RunListRowOf(const StoredRun& run, const RunOverview& overview);

// The rows to show, as indices into `rows`: those whose sample or note
// holds `filter` (ignoring case; an empty filter keeps all), sorted by
// `column`, cells without a value last either way, ties in their order.
std::vector<std::size_t> ListedRows(const std::vector<RunListRow>& rows, int column, bool ascending,
                                    std::string_view filter);

// One run of the table across runs.
struct TabulatedRun {
    const StoredRun* run = nullptr;
    const RunOverview* overview = nullptr;
};
// A header, then one line per run: sample, note, start, file, frequency,
// Cox, CET, Nsub, Vfb up and down, dVfb, Vth, Dit and Rs; "n/a" for a value
// a run does not have. `separator` ',' quotes a field holding a comma, a
// quote or a line break as CSV does; '\t' turns TABs and line breaks in a
// field into blanks. CR LF after every line.
std::string RunTableText(const std::vector<TabulatedRun>& runs, char separator);

}  // namespace quillon
