#include "common/date_text.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(FormatDate, LogFilePatterns)
{
    const std::tm when = CalendarDate(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(FormatDate(when, "yyyymm"), "202403");
    EXPECT_EQ(FormatDate(when, "yyyymmdd hh:mm:ss"), "20240305 14:07:09");
    EXPECT_EQ(FormatDate(when, "dd.mm.yyyy"), "05.03.2024");
}

TEST(FormatDate, MonthOrMinutes)
{
    const std::tm when = CalendarDate(2024, 11, 5, 8, 42, 0);
    EXPECT_EQ(FormatDate(when, "mm"), "11");
    EXPECT_EQ(FormatDate(when, "hhmm"), "0842");
    EXPECT_EQ(FormatDate(when, "hh h mm"), "08 h 42");
    EXPECT_EQ(FormatDate(when, "hh:nn"), "08:42");
    // Only the field right after the hour means minutes.
    EXPECT_EQ(FormatDate(when, "hh:mm mm"), "08:42 11");
    EXPECT_EQ(FormatDate(when, "hh dd mm"), "08 05 11");
    EXPECT_EQ(FormatDate(when, "mm/dd hh:mm"), "11/05 08:42");
}

TEST(FormatDate, ZeroPadding)
{
    EXPECT_EQ(FormatDate(CalendarDate(2025, 1, 1), "yyyy-mm-dd hh:mm:ss"), "2025-01-01 00:00:00");
    EXPECT_EQ(FormatDate(CalendarDate(2025, 12, 31, 23, 59, 59), "yyyymmddhhmmss"),
              "20251231235959");
    EXPECT_EQ(FormatDate(CalendarDate(987, 6, 7), "yyyy"), "0987");
}

TEST(FormatDate, OtherTextIsCopied)
{
    const std::tm when = CalendarDate(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(FormatDate(when, "yyy m d h s"), "yyy m d h s");
    EXPECT_EQ(FormatDate(when, "run_yyyy.txt"), "run_2024.txt");
    EXPECT_EQ(FormatDate(when, ""), "");
}

}  // namespace
}  // namespace quillon
