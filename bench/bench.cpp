// Performance figures, one "name value unit" line each.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "measure/instrument_setup.h"
#include "measure/point_acquisition.h"
#include "sim/simulated_lab.h"

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// TriggerPoint + CollectPoint through the binding, over a meter that
// measures in no time: what the program itself costs per point.
double TriggerCollectMicroseconds()
{
    quillon::VirtualClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    lab.meter->SetInstantMeasurement(true);
    quillon::SelectGpibDriver(*lab.bus);
    quillon::InstrumentSettings settings;
    settings.integration = quillon::Integration::Short;
    settings.acLevel = "50";
    settings.triggerDelay = "0";
    const int16_t ud = quillon::SetUpInstrument(settings, clock).descriptor;
    lab.meter->ClearTranscript();

    std::string reply = quillon::FixedWidth("V,C,G", quillon::kReplyLength);
    constexpr int kPoints = 5000;
    std::vector<double> samples;
    samples.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const auto start = std::chrono::steady_clock::now();
        quillon::TriggerPoint(ud, -3.0 + 6.0 * i / kPoints);
        quillon::CollectPoint(ud, reply);
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        if (i % 1000 == 999) lab.meter->ClearTranscript();
    }
    return Median(samples);
}

// "Save setting" and "Laod settong" on a settings file in a scratch folder:
// one file access per key, and every save replaces the file safely.
struct SettingsTimes {
    double saveMilliseconds;
    double loadMilliseconds;
};

SettingsTimes SettingsMilliseconds()
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("quillon-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const quillon::FixedFolder programFolder(folder.string());
    quillon::MeasurementSettingsValues values;
    values.text = {"-3", "3", "0.1", "100000", "4", "0.01", "50", " 10000", "0", "17", "1"};
    values.option = 1;

    constexpr int kRounds = 20;
    std::vector<double> saves;
    std::vector<double> loads;
    for (int i = 0; i < kRounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        quillon::WriteStoredSettings(programFolder, values);
        auto stop = std::chrono::steady_clock::now();
        saves.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        start = std::chrono::steady_clock::now();
        const quillon::StoredSettings stored = quillon::ReadStoredSettings(programFolder);
        stop = std::chrono::steady_clock::now();
        if (stored.integration != 1) std::fprintf(stderr, "settings did not read back\n");
        loads.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::filesystem::remove_all(folder);
    return {Median(saves), Median(loads)};
}

}  // namespace

int main()
{
    std::printf("trigger_collect_us %.2f us\n", TriggerCollectMicroseconds());
    const SettingsTimes settings = SettingsMilliseconds();
    std::printf("settings_save_ms %.2f ms\n", settings.saveMilliseconds);
    std::printf("settings_load_ms %.2f ms\n", settings.loadMilliseconds);
    return 0;
}
