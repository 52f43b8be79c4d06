#include "bench/runs_window_bench.h"

#include <unistd.h>

#include <QTableWidget>
#include <chrono>
#include <filesystem>
#include <string>

#include "analysis/csv_data_file.h"
#include "app/results_settings.h"
#include "app/runs_window.h"
#include "bench/silent_desktop.h"
#include "platform/program_folder.h"
#include "sim/mos_capacitor.h"

namespace quillon {

namespace {

constexpr int kRuns = 1000;

// -2 V to 1 V and back in 25 mV steps at 100 kHz on a device of its own.
SweepData DoubleSweepOf(const MosDevice& device)
{
    constexpr int kLeg = 121;
    SweepData sweep;
    sweep.Allocate(2 * kLeg - 1);
    for (int i = 1; i <= 2 * kLeg - 1; ++i) {
        const int step = i <= kLeg ? i - 1 : 2 * kLeg - 1 - i;
        const double bias = -2.0 + 0.025 * step;
        const CapacitanceConductance reading = EvaluateMosCapacitor(
            device, bias, 1e5, i <= kLeg ? SweepDirection::Up : SweepDirection::Down);
        const auto index = static_cast<std::size_t>(i);
        sweep.Bias[index] = bias;
        sweep.Capacitance[index] = reading.capacitanceFarads;
        sweep.Conductance[index] = reading.conductanceSiemens;
    }
    sweep.PointCount = static_cast<int16_t>(2 * kLeg - 1);
    return sweep;
}

}  // namespace

double ListThousandRunsMilliseconds()
{
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() /
                                          ("quillon-bench-runs-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch / kRunsFolderName);
    const FixedFolder folder(scratch.string());
    CsvRunContext context;
    context.settings.text = {"-2", "1", "0.025", "100000", "1", "0", "50", "10000", "0", "17", "1"};
    context.settings.check[kDoubleSweep] = 1;
    double milliseconds = -1;
    bool written = true;
    for (int run = 0; run < kRuns && written; ++run) {
        MosDevice device;
        device.dopingPerCubicCm = 1e15 * (1 + run % 50);
        device.flatBandVolts = -0.9 + 0.001 * run;
        context.sample = "wafer" + std::to_string(run / 50) + "-d" + std::to_string(run % 50);
        context.started.tm_year = 126;
        context.started.tm_mday = 1 + run / 86400;
        context.started.tm_sec = run;
        written = !AutoSaveRun(RunsFolderPath(folder), context,
                               CsvDataFileText(context, DoubleSweepOf(device)))
                       .failure;
    }
    if (written) {
        SilentDesktop desktop;
        RunCatalogue catalogue;
        const auto start = std::chrono::steady_clock::now();
        RunsWindow window(folder, desktop, catalogue, RunsWindowActions{});
        window.show();
        const auto stop = std::chrono::steady_clock::now();
        if (window.List()->rowCount() == kRuns)
            milliseconds = std::chrono::duration<double, std::milli>(stop - start).count();
    }
    std::filesystem::remove_all(scratch);
    return milliseconds;
}

}  // namespace quillon
