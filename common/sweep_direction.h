// Whether the bias rose or fell along a sweep: the simulated device
// remembers it through the charge in its oxide, and a run read back from a
// file keeps it for each point. One type for both, so that a file may use
// either.
#pragma once

namespace quillon {

enum class SweepDirection { Up, Down };

}  // namespace quillon
