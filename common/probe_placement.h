// Where the probes are at the probe station: on the device, lifted off the
// pad, or landed on the short pad, as the correction steps ask for them and
// the simulated station places them.
#pragma once

namespace quillon {

enum class ProbePlacement { OnDevice, Lifted, OnShortPad };

}  // namespace quillon
