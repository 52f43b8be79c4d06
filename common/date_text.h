// Calendar dates written with the patterns of the log file.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Supports "yyyy", "mm" (month, or minutes when the field before it is
// "hh", whatever separators lie between), "dd", "hh" (0-23), "nn" (minutes)
// and "ss", all in lower case and zero padded; every other character is
// copied.
// "yyyymm" gives 202403; "yyyymmdd hh:mm:ss" gives 20240305 14:07:09.
std::string FormatDate(const std::tm& when, std::string_view pattern);

// The date back from a text written with `pattern`, minutes as "nn": "y" the
// year, "m" the month, "d" the day, "h" the hour, "n" the minutes, "s" the
// seconds, any other character as it stands ("yyyy-mm-dd hh:nn:ss"). No
// value for another text or a date that cannot be (month 13, 25 o'clock).
std::optional<std::tm> DateOfText(std::string_view text, std::string_view pattern);

// The date as people write it: month 1 to 12, the year in full.
std::tm CalendarDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace quillon
