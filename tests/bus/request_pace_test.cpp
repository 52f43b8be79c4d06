#include "bus/request_pace.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

TEST(RequestPace, SleepsThroughMostOfTheLearntTimeThenPollsBackToBackThenLessOften)
{
    struct Case {
        const char* what;
        std::vector<uint32_t> delays;  // message-to-request times of earlier points
        uint32_t since;                // milliseconds since the last message
        uint32_t pause;
    };
    const Case cases[] = {
        {"nothing learnt: soon after the message", {}, 0, 1},
        {"nothing learnt: an eighth of the time waited", {}, 80, 10},
        {"nothing learnt: never slower than 20 ms", {}, 5000, 20},
        {"learnt 30 ms: sleeps to 2 ms before", {30}, 0, 28},
        {"learnt 30 ms: partly slept already", {30}, 20, 8},
        {"learnt 30 ms: polls back to back around it", {30}, 28, 0},
        {"learnt 30 ms: still within the margin after it", {30}, 32, 0},
        {"learnt 30 ms: late, a quarter of the lateness", {30}, 42, 3},
        {"learnt 30 ms: very late", {30}, 900, 20},
        {"the shortest of the last three counts", {30, 25, 40}, 0, 23},
        {"an older one than three is forgotten", {25, 40, 50, 60}, 0, 38},
        {"a slow meter: the margin grows with the time", {830}, 0, 805},
    };
    for (const Case& c : cases) {
        RequestPace pace;
        uint32_t tick = 5000;
        for (const uint32_t delay : c.delays) {
            pace.Sent(tick);
            pace.Requested(tick + delay);
            tick += 1000;
        }
        pace.Sent(tick);
        EXPECT_EQ(pace.PauseBeforePoll(tick + c.since, tick, std::nullopt), c.pause) << c.what;
        // Never two polls in one millisecond.
        EXPECT_GE(pace.PauseBeforePoll(tick + c.since, tick, tick + c.since), 1u) << c.what;
    }

    // A wait with no message before it paces itself from its own start.
    RequestPace unsent;
    unsent.Requested(100);
    EXPECT_FALSE(unsent.Expected());
    EXPECT_EQ(unsent.PauseBeforePoll(260, 100, 259), 20u);
}

}  // namespace
}  // namespace quillon
