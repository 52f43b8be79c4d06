// Calendar dates written with the patterns of the log file.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace quillon {

// Supports "yyyy", "mm" (month, or minutes when the field before it is
// "hh", whatever separators lie between), "dd", "hh" (0-23), "nn" (minutes)
// and "ss", all in lower case and zero padded; every other character is
// copied.
// "yyyymm" gives 202403; "yyyymmdd hh:mm:ss" gives 20240305 14:07:09.
std::string FormatDate(const std::tm& when, std::string_view pattern);

}  // namespace quillon
