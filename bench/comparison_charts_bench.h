// The cost of drawing the run in progress in the Runs window's charts.
#pragma once

namespace quillon {

// Median wall time of one RunComparisonCharts::ShowLiveRun call that adds
// one point to a run of `points` points, beside three kept runs of 1000
// points each (offscreen).
double LiveRunPointMicrosecondsAt(int points);

// The larger of the medians at 1000 and at 32767 points.
double LiveRunPointMicroseconds();

}  // namespace quillon
