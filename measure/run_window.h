// What a run needs of the window it runs in: its parameters, the lock, the
// live progress and STATUS texts, one pass of the event loop per point and
// the STOP request raised there.
#pragma once

#include <array>
#include <string>

#include "measure/measurement_settings.h"

namespace quillon {

inline constexpr int kStatusCaptionCount = 4;  // Now C, Now G, Cmax, Gmax

class RunWindow {
public:
    virtual ~RunWindow() = default;
    virtual const MeasurementSettings& Settings() const = 0;
    // Running: START hidden and the file and calculator buttons disabled.
    virtual void SetRunning(bool running) = 0;
    virtual void SetProgressValue(int percent) = 0;
    virtual void SetProgressCaption(const std::string& caption) = 0;
    // The time the run still needs, shown inside the progress bar; empty
    // shows nothing.
    virtual void SetTimeLeft(const std::string& text) = 0;
    virtual void SetStatusCaptions(
        const std::array<std::string, kStatusCaptionCount>& captions) = 0;
    // Serves the events waiting now (STOP, Esc, repaints) and returns.
    virtual void YieldOnce() = 0;
    virtual bool StopRequested() const = 0;
    virtual void ClearStopRequest() = 0;
};

}  // namespace quillon
