// The runs the Runs window lists: every CSV data file in the runs folder
// and every file the user opened, each read once, with the values the list
// and the table across runs show. A file that cannot be read changes
// nothing; one read again replaces its runs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/run_file_reader.h"
#include "analysis/run_overview.h"
#include "analysis/run_table.h"
#include "analysis/stored_run.h"

namespace quillon {

struct CataloguedRun {
    StoredRun run;
    RunOverview overview;
    RunListRow row;
    // The same for the same run of the same file, whatever was read since.
    std::string key;
};

class RunCatalogue {
public:
    // Reads every ".csv" file directly in `folder` in place of the runs
    // read from there before. What could not be read, file by file; a
    // folder that does not exist yet has no runs and no problem.
    std::vector<RunFileProblem> ReadFolder(const std::string& folder);
    // The runs of one file, read again where it was read before.
    std::optional<RunFileProblem> ReadFile(const std::string& path);
    // Takes the runs of a file read elsewhere (after asking the user what
    // the file does not say).
    void Add(const std::string& path, std::vector<StoredRun> runs);

    const std::vector<CataloguedRun>& Runs() const { return runs_; }
    const CataloguedRun* Find(const std::string& key) const;
    std::vector<RunListRow> Rows() const;

private:
    void RemoveFile(const std::string& path);

    std::vector<CataloguedRun> runs_;
};

// "<path>\n<part of the file>".
std::string RunKey(const StoredRun& run);

}  // namespace quillon
