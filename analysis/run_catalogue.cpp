#include "analysis/run_catalogue.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quillon {

namespace {

CataloguedRun Catalogue(StoredRun run)
{
    CataloguedRun entry;
    entry.overview = OverviewOf(run);
    entry.row = RunListRowOf(run, entry.overview);
    entry.key = RunKey(run);
    entry.run = std::move(run);
    return entry;
}

}  // namespace

std::string RunKey(const StoredRun& run)
{
    return run.path + "\n" + run.partOfFile;
}

std::vector<RunFileProblem> RunCatalogue::ReadFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<RunFileProblem> problems;
    std::error_code error;
    const fs::path base(folder);
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(),
                               [&base](const CataloguedRun& entry) {
                                   return fs::path(entry.run.path).parent_path() == base;
                               }),
                runs_.end());
    fs::directory_iterator entries(base, error);
    if (error) {
        if (error != std::errc::no_such_file_or_directory)
            problems.push_back({folder, 0, error.message()});
        return problems;
    }
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : entries)
        if (entry.path().extension() == ".csv") files.push_back(entry.path().string());
    // The same order on every system; the list sorts them itself.
    std::sort(files.begin(), files.end());
    for (const std::string& file : files)
        if (std::optional<RunFileProblem> problem = ReadFile(file))
            problems.push_back(std::move(*problem));
    return problems;
}

std::optional<RunFileProblem> RunCatalogue::ReadFile(const std::string& path)
{
    RunFileReading reading = ReadRunFile(path);
    if (reading.problem) return reading.problem;
    Add(path, std::move(reading.runs));
    return std::nullopt;
}

void RunCatalogue::Add(const std::string& path, std::vector<StoredRun> runs)
{
    RemoveFile(path);
    for (StoredRun& run : runs) runs_.push_back(Catalogue(std::move(run)));
}

void RunCatalogue::RemoveFile(const std::string& path)
{
    runs_.erase(
        std::remove_if(runs_.begin(), runs_.end(),
                       [&path](const CataloguedRun& entry) { return entry.run.path == path; }),
        runs_.end());
}

const CataloguedRun* RunCatalogue::Find(const std::string& key) const
{
    const auto found = std::find_if(runs_.begin(), runs_.end(), [&key](const CataloguedRun& entry) {
        return entry.key == key;
    });
    return found == runs_.end() ? nullptr : &*found;
}

std::vector<RunListRow> RunCatalogue::Rows() const
{
    std::vector<RunListRow> rows;
    rows.reserve(runs_.size());
    for (const CataloguedRun& entry : runs_) rows.push_back(entry.row);
    return rows;
}

}  // namespace quillon
