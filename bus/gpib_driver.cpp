#include "bus/gpib_driver.h"

namespace quillon::ni {

int64_t TimeLimitMicroseconds(int code)
{
    static constexpr int64_t kLimits[] = {
        0,      10,     30,      100,     300,      1000,     3000,      10000,     30000,
        100000, 300000, 1000000, 3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};
    if (code < 0 || code >= static_cast<int>(sizeof kLimits / sizeof kLimits[0])) return -1;
    return kLimits[code];
}

}  // namespace quillon::ni
