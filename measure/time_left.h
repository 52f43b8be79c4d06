// The time a run still needs, as the progress bar shows it: the points still
// planned times the mean time per point so far.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// "1:23", "12:05:09" past an hour, "30:00:00" past a day: `seconds` as a
// clock shows them.
std::string DurationText(long long seconds);

// "1:23 left", "12:05:09 left" past an hour. `pointsDone` points took
// `elapsedMilliseconds` together; `pointsPlanned` is the whole run. Empty
// while no point is done yet (the first point gives no time to go by, and a
// guess would mislead) and once nothing is left.
std::string TimeLeftText(int pointsDone, int pointsPlanned, uint32_t elapsedMilliseconds);

}  // namespace quillon
