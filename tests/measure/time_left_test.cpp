#include "measure/time_left.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(TimeLeft, PointsStillPlannedTimesTheMeanTimePerPointSoFar)
{
    const struct {
        int done, planned;
        uint32_t elapsed;
        const char* shown;
    } cases[] = {
        {0, 100, 5000, ""},                              // the first point under way: no guess
        {1, 100, 830, "1:22 left"},                      // 99 x 0.83 s = 82.17 s
        {10, 100, 9000, "1:21 left"},                    // 90 x 0.9 s
        {3, 4, 1499, "0:00 left"},                       // 0.4997 s rounds down
        {3, 4, 1500, "0:01 left"},                       // halves round up
        {100, 100, 99000, ""},                           // nothing left
        {1, 32767, 1040, "9:27:57 left"},                // LONG below 1 kHz: 32766 x 1.04 s
        {1, 32767, 4294967295u, "39091360:39:48 left"},  // the longest a tick count spans
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeLeftText(c.done, c.planned, c.elapsed), c.shown)
            << c.done << "/" << c.planned << " in " << c.elapsed << " ms";
}

}  // namespace
}  // namespace quillon
