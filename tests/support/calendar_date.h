// Calendar dates for tests, written the way people read them.
#pragma once

#include <ctime>

namespace quillon::testing {

inline std::tm CalendarDate(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0)
{
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    return when;
}

}  // namespace quillon::testing
