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

}  // namespace quillon
