// One whole run as START performs it, and what it left: for the tests of
// every driver, which must measure as the simulated bus itself does.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "measure/measurement_run.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/temp_folder.h"

namespace quillon::testing {

struct RunRecord {
    RunResult result;
    std::vector<double> capacitance;
    std::vector<double> conductance;
    std::vector<std::string> messages;
    // The month's log as the run left it.
    std::string log;
};

// Three points (-3, -0.5 and 2 V) at 100 kHz, SHORT, averaging 2.
inline MeasurementSettingsValues ThreePointSettings()
{
    MeasurementSettingsValues settings;
    settings.text = {"-3", "2", "2.5", "100000", "2", "0.01", "50", "10000", "0", "17", "1"};
    settings.option = 0;
    return settings;
}

// One whole run as START performs it: set-up, the points, back to idle,
// the log written. `onYield` acts at each point.
inline RunRecord MeasureRun(Clock& clock, std::function<void(int)> onYield = {},
                            const MeasurementSettingsValues& settings = ThreePointSettings())
{
    TempFolder temp;
    RecordingDesktop desktop;
    RecordingRunWindow window;
    window.settings = settings;
    window.onYield = std::move(onYield);
    SweepData sweep;
    RunRecord record;
    record.result = RunMeasurement(window, sweep, Environment{clock, temp.Folder(), desktop},
                                   [](SweepData&, const RunTimes&) {});
    for (int i = 1; i <= sweep.PointCount; ++i) {
        record.capacitance.push_back(sweep.Capacitance[static_cast<std::size_t>(i)]);
        record.conductance.push_back(sweep.Conductance[static_cast<std::size_t>(i)]);
    }
    for (const auto& message : desktop.messages) record.messages.push_back(message.text);
    for (const auto& entry : std::filesystem::directory_iterator(temp.File("")))
        if (entry.path().extension() == ".log") record.log += temp.Read(entry.path().filename());
    return record;
}

}  // namespace quillon::testing
