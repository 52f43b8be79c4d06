// Which sweep of its run each point belongs to, as the run's bias plan laid
// the points out: forward sweeps from start towards stop, each followed by
// a return sweep on a double sweep, repeated per cycle.
#pragma once

#include <string>
#include <vector>

#include "analysis/stored_run.h"
#include "measure/measurement_settings.h"

namespace quillon {

// The legs of the first `points` points of a run started with `settings`;
// empty when the settings make no plan or a plan shorter than that.
std::vector<SweepLeg> PlannedLegs(const MeasurementSettings& settings, int points);
// The legs of every point the settings plan; empty without a plan.
std::vector<SweepLeg> PlannedLegs(const MeasurementSettings& settings);

// "up" or "down".
const char* SweepDirectionName(SweepDirection direction);

}  // namespace quillon
