#include "measure/time_left.h"

#include <cmath>
#include <cstdio>

namespace quillon {

std::string DurationText(long long seconds)
{
    const long long hours = seconds / 3600;
    const long long minutes = seconds / 60 % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, seconds % 60);
    return text;
}

std::string TimeLeftText(int pointsDone, int pointsPlanned, uint32_t elapsedMilliseconds)
{
    if (pointsDone < 1 || pointsPlanned <= pointsDone) return {};
    const double perPoint = static_cast<double>(elapsedMilliseconds) / pointsDone;
    // Any count of points of at most 2^32 ms each stays far inside a long
    // long of seconds.
    const auto seconds =
        static_cast<long long>(std::llround(perPoint * (pointsPlanned - pointsDone) / 1000.0));
    return DurationText(seconds) + " left";
}

}  // namespace quillon
