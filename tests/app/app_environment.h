// The windows' environment for tests: virtual time, a fresh program folder
// and a desktop that records its messages and beeps.
#pragma once

#include "platform/clock.h"
#include "platform/environment.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/temp_folder.h"

namespace quillon::testing {

struct AppEnvironment {
    Environment Get() { return Environment{clock, temp.Folder(), desktop}; }

    VirtualClock clock{1000};
    TempFolder temp;
    RecordingDesktop desktop;
};

}  // namespace quillon::testing
