#include "common/date_text.h"

#include <optional>

namespace quillon {

namespace {

void AppendPadded(std::string& out, int value, std::size_t width)
{
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    out += digits;
}

}  // namespace

std::string FormatDate(const std::tm& when, std::string_view pattern)
{
    std::string out;
    // As in BASIC's Format, "mm" after an hour field means minutes, so
    // "hh:mm" works without having to spell it "hh:nn".
    bool after_hour = false;
    for (std::size_t i = 0; i < pattern.size();) {
        const std::string_view rest = pattern.substr(i);
        if (rest.substr(0, 4) == "yyyy") {
            AppendPadded(out, when.tm_year + 1900, 4);
            after_hour = false;
            i += 4;
            continue;
        }
        const std::string_view token = rest.substr(0, 2);
        std::optional<int> field;
        if (token == "mm")
            field = after_hour ? when.tm_min : when.tm_mon + 1;
        else if (token == "dd")
            field = when.tm_mday;
        else if (token == "hh")
            field = when.tm_hour;
        else if (token == "nn")
            field = when.tm_min;
        else if (token == "ss")
            field = when.tm_sec;
        if (!field) {
            out += pattern[i++];
            continue;
        }
        AppendPadded(out, *field, 2);
        after_hour = token == "hh";
        i += 2;
    }
    return out;
}

std::optional<std::tm> DateOfText(std::string_view text, std::string_view pattern)
{
    if (text.size() != pattern.size()) return std::nullopt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char field = pattern[i];
        int* value = field == 'y'   ? &year
                     : field == 'm' ? &month
                     : field == 'd' ? &day
                     : field == 'h' ? &hour
                     : field == 'n' ? &minute
                     : field == 's' ? &second
                                    : nullptr;
        if (!value) {
            if (text[i] != field) return std::nullopt;
            continue;
        }
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        *value = *value * 10 + (text[i] - '0');
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return CalendarDate(year, month, day, hour, minute, second);
}

std::tm CalendarDate(int year, int month, int day, int hour, int minute, int second)
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

}  // namespace quillon
