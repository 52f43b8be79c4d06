#include "sim/serial_line_timing.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

using namespace std::chrono_literals;
using Time = SerialLineTiming::Time;

// What the board takes by `now`, byte after byte.
std::string TakeAll(SerialLineTiming& line, Time now)
{
    std::string taken;
    char byte = 0;
    Time at;
    while (line.Take(now, byte, at)) taken += byte;
    return taken;
}

TEST(SerialLineTiming, BytesCrossAtTheLinesPaceAndThoseTheBusyBoardCannotKeepAreLost)
{
    const Time start{};
    // 115200 baud, 8N1: a byte every 86.8 us.
    SerialLineTiming line(115200, 63);
    line.Arrive(std::string(100, 'a'), start);
    char byte = 0;
    Time taken;
    EXPECT_FALSE(line.Take(start + 86us, byte, taken));
    ASSERT_TRUE(line.Take(start + 87us, byte, taken));
    EXPECT_EQ(taken, start + 86805ns);
    // The board is busy for 80 ms from its first byte: the other 99 come
    // meanwhile, 63 wait in its ring and the rest are lost.
    line.Busy(taken, 80ms);
    EXPECT_EQ(TakeAll(line, start + 79ms), "");
    EXPECT_EQ(TakeAll(line, start + 81ms), std::string(63, 'a'));
    EXPECT_EQ(line.Lost(), 36u);
    // Its output leaves at the same pace.
    EXPECT_EQ(line.Departure(start + 1s), start + 1s + 86805ns);
    EXPECT_EQ(line.Departure(start + 1s), start + 1s + 2 * 86805ns);

    // A restart: deaf for 100 ms, then starting up until 180 ms.
    SerialLineTiming restarting(0, 63);
    restarting.Restart(start + 100ms, start + 180ms);
    restarting.Arrive("++ver\n", start + 50ms);
    restarting.Arrive("++ver\n", start + 120ms);
    EXPECT_EQ(TakeAll(restarting, start + 150ms), "");
    EXPECT_EQ(TakeAll(restarting, start + 180ms), "++ver\n");
    EXPECT_EQ(restarting.Lost(), 6u);

    // No pace and no limit: everything, at once, however busy the board.
    SerialLineTiming unlimited(0, 0);
    unlimited.Arrive("++spoll\n", start);
    ASSERT_TRUE(unlimited.Take(start, byte, taken));
    unlimited.Busy(start, 1s);
    unlimited.Arrive(std::string(1000, 'b'), start + 1ms);
    EXPECT_EQ(TakeAll(unlimited, start + 1s), "+spoll\n" + std::string(1000, 'b'));
    EXPECT_EQ(unlimited.Lost(), 0u);
}

}  // namespace
}  // namespace quillon
