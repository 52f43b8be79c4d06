// What every driver must do with status cells registered by a second
// thread: keep that thread's failures in its own cells.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <thread>

#include "bus/gpib_driver.h"

namespace quillon::testing {

struct OtherThreadCells {
    int32_t sta = 0, err = -1, cnt = 0, cntl = 0;
    int firstAnswer = -1, secondAnswer = -1;
};

// On a thread of its own: registers cells twice, makes a write to a
// descriptor nobody opened fail, then does `afterwards` on that thread.
inline OtherThreadCells FailAWriteOnAnotherThread(GpibDriver& driver,
                                                  const std::function<void()>& afterwards = {})
{
    OtherThreadCells cells;
    std::thread other([&] {
        cells.firstAnswer =
            driver.RegisterGpibGlobalsForThread(&cells.sta, &cells.err, &cells.cnt, &cells.cntl);
        cells.secondAnswer =
            driver.RegisterGpibGlobalsForThread(&cells.sta, &cells.err, &cells.cnt, &cells.cntl);
        driver.ibwrt(1234, "x", 1);
        if (afterwards) afterwards();
    });
    other.join();
    return cells;
}

// The first registration is new, the second "already registered", and the
// failure is in the other thread's cells.
inline void ExpectFailureKeptInItsOwnCells(const OtherThreadCells& cells)
{
    EXPECT_EQ(cells.firstAnswer, 0);
    EXPECT_EQ(cells.secondAnswer, 1);
    EXPECT_NE(cells.sta & ni::ERR, 0);
    EXPECT_EQ(cells.err, ni::EDVR);
}

}  // namespace quillon::testing
