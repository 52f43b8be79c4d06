// A run window without widgets: settings as plain values, and a record of
// everything the run showed.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "measure/run_window.h"

namespace quillon::testing {

class RecordingRunWindow final : public RunWindow {
public:
    const MeasurementSettings& Settings() const override { return settings; }
    void SetRunning(bool on) override
    {
        running.push_back(on);
        if (on) yields = 0;
    }
    void SetProgressValue(int percent) override { progress.push_back(percent); }
    void SetProgressCaption(const std::string& caption) override { captions.push_back(caption); }
    void SetTimeLeft(const std::string& text) override { timeLeft.push_back(text); }
    void SetStatusCaptions(const std::array<std::string, kStatusCaptionCount>& shown) override
    {
        status.push_back(shown);
    }
    void YieldOnce() override
    {
        ++yields;
        if (onYield) onYield(yields);
    }
    bool StopRequested() const override { return stopRequested; }
    void ClearStopRequest() override { stopRequested = false; }

    MeasurementSettingsValues settings;
    bool stopRequested = false;
    // Called at every yield with the number of the point just triggered.
    std::function<void(int point)> onYield;

    std::vector<bool> running;
    std::vector<int> progress;
    std::vector<std::string> captions;
    std::vector<std::string> timeLeft;
    std::vector<std::array<std::string, kStatusCaptionCount>> status;
    int yields = 0;  // in the present run
};

}  // namespace quillon::testing
