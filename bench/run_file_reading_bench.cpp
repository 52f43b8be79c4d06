#include "bench/run_file_reading_bench.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "analysis/csv_data_file.h"
#include "analysis/run_catalogue.h"

namespace quillon {

namespace {

constexpr int kLargestRunPoints = 32767;
constexpr int kReadings = 7;

SweepData LargestSweep()
{
    SweepData sweep;
    sweep.Allocate(kLargestRunPoints);
    for (int i = 1; i <= kLargestRunPoints; ++i) {
        const auto index = static_cast<std::size_t>(i);
        sweep.Bias[index] = -16.383 + 0.001 * i;
        sweep.Capacitance[index] = 1e-10 * (1.5 + std::tanh(sweep.Bias[index]));
        sweep.Conductance[index] = 1e-6 * std::exp(-sweep.Bias[index] * sweep.Bias[index]);
    }
    sweep.PointCount = kLargestRunPoints;
    return sweep;
}

}  // namespace

double OpenLargeRunFileMilliseconds()
{
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("quillon-bench-runs-" + std::to_string(::getpid()));
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    const std::string path = (folder / "largest-run.csv").string();
    CsvRunContext context;
    context.started.tm_year = 126;
    context.started.tm_mday = 7;
    context.settings.text = {"-16.382", "16.384", "0.001", "100000", "1", "0",
                             "50",      "10000",  "0",     "17",     "1"};
    context.settings.option = 0;
    double median = -1;
    if (SaveCsvDataFile(path, context, LargestSweep())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    } else {
        std::vector<double> samples;
        bool whole = true;
        for (int i = 0; i < kReadings; ++i) {
            const auto start = std::chrono::steady_clock::now();
            RunCatalogue catalogue;
            const std::optional<RunFileProblem> problem = catalogue.ReadFile(path);
            const auto end = std::chrono::steady_clock::now();
            whole = whole && !problem && catalogue.Runs().size() == 1 &&
                    catalogue.Runs()[0].run.points.size() == kLargestRunPoints;
            samples.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
        std::sort(samples.begin(), samples.end());
        if (whole) median = samples[samples.size() / 2];
    }
    fs::remove_all(folder, ignored);
    return median;
}

}  // namespace quillon
