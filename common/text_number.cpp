#include "common/text_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>
#include <system_error>
#include <utility>

namespace quillon {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A magnitude as a decimal: digits[0].digits[1]... times 10^exponent, with
// no trailing zeros; no digits at all means zero. Working on decimal digits
// lets every rounding below see the exact value of the double, so a tie is
// only a tie when the double really lies halfway.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal ExactDecimal(double magnitude)
{
    Decimal d;
    if (magnitude == 0) return d;
    // magnitude = m * 2^e with m below 2^53 has at most about
    // 16 + 0.302 e digits (e >= 0) or 17 + 0.699 |e| digits (e < 0) in its
    // exact expansion; asking for just that many keeps this cheap for the
    // values a sweep uses, where 767 digits would cover any double.
    int binaryExponent = 0;
    std::frexp(magnitude, &binaryExponent);
    const int e = binaryExponent - 53;
    const int precision =
        std::min(770, e >= 0 ? 19 + (e * 302 + 999) / 1000 : 19 + (-e * 699 + 999) / 1000);
    char buf[800];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, precision);
    const char* p = buf;
    for (; p != res.ptr && *p != 'e'; ++p)
        if (IsDigit(*p)) d.digits += *p;
    if (p != res.ptr && *++p == '+') ++p;
    std::from_chars(p, res.ptr, d.exponent);
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

// Keeps `count` significant digits, an exact half going away from zero.
// A count of zero or below rounds at or before the first digit.
void RoundDigits(Decimal& d, int count)
{
    if (count >= static_cast<int>(d.digits.size())) return;
    if (count < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[count] >= '5';
    d.digits.resize(count);
    if (up) {
        while (!d.digits.empty() && d.digits.back() == '9') d.digits.pop_back();
        if (d.digits.empty()) {
            d.digits = "1";
            ++d.exponent;
        } else {
            ++d.digits.back();
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// The digit standing for 10^power.
char DigitAt(const Decimal& d, int power)
{
    const int index = d.exponent - power;
    return index >= 0 && index < static_cast<int>(d.digits.size()) ? d.digits[index] : '0';
}

std::string ExponentText(int exponent, bool plus, std::size_t min_digits)
{
    std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
    if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
    if (exponent < 0) return "-" + digits;
    return plus ? "+" + digits : digits;
}

template <typename Int>
std::optional<Int> RoundToInt(double value)
{
    if (!std::isfinite(value)) return std::nullopt;
    // std::round sends halves away from zero whatever the rounding mode;
    // value - trunc(value) is exact, so a half is caught as a half.
    double whole = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5) whole = 2 * std::round(value / 2);
    if (whole < static_cast<double>(std::numeric_limits<Int>::min()) ||
        whole > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(whole);
}

struct LeadingNumber {
    double value = 0;
    std::size_t end = 0;  // just past the number; 0 when there is none
};

LeadingNumber ScanLeadingNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    const std::size_t start = i;
    std::size_t digits = 0;
    std::size_t point = std::string_view::npos;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i]))
            ++digits;
        else if (text[i] == '.' && point == std::string_view::npos)
            point = i;
        else
            break;
    }
    if (digits == 0) return {};
    const std::size_t mantissa_end = i;

    // The exponent only counts when it has a digit, so "1e" still reads as 1.
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool exponent_negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            exponent_negative = text[j++] == '-';
        if (j < text.size() && IsDigit(text[j])) {
            for (; j < text.size() && IsDigit(text[j]); ++j)
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
            if (exponent_negative) exponent = -exponent;
            i = j;
        }
    }

    // from_chars refuses a leading "+", so the sign is applied here.
    double value = 0;
    const auto res =
        std::from_chars(text.data() + start, text.data() + i, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone when it does not fit; tell an
        // overflow from an underflow by the place of the first non-zero digit.
        if (point == std::string_view::npos) point = mantissa_end;
        const std::size_t first = text.find_first_of("123456789", start);
        const long long order = exponent + static_cast<long long>(point) -
                                static_cast<long long>(first) - (first > point ? 0 : 1);
        value = order >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return {negative ? -value : value, i};
}

}  // namespace

double NumberOfText(std::string_view text)
{
    return ScanLeadingNumber(text).value;
}

std::optional<double> WholeNumberOfText(std::string_view text)
{
    const LeadingNumber number = ScanLeadingNumber(text);
    if (number.end == 0 || !std::isfinite(number.value)) return std::nullopt;
    if (text.find_first_not_of(" \t", number.end) != std::string_view::npos) return std::nullopt;
    return number.value;
}

std::optional<int16_t> RoundToInt16(double value)
{
    return RoundToInt<int16_t>(value);
}

std::optional<int32_t> RoundToInt32(double value)
{
    return RoundToInt<int32_t>(value);
}

std::string SignedDecimal(double value)
{
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : " Inf";

    Decimal d = ExactDecimal(std::fabs(value));
    RoundDigits(d, 15);
    if (d.digits.empty()) return " 0";

    std::string out = value < 0 ? "-" : " ";
    if (d.exponent >= 15 || d.exponent < -4) {
        out += d.digits[0];
        if (d.digits.size() > 1) out += "." + d.digits.substr(1);
        return out + "E" + ExponentText(d.exponent, true, 2);
    }
    if (d.exponent >= 0) {
        for (int p = d.exponent; p >= 0; --p) out += DigitAt(d, p);
        if (static_cast<int>(d.digits.size()) > d.exponent + 1)
            out += "." + d.digits.substr(d.exponent + 1);
        return out;
    }
    return out + "." + std::string(-d.exponent - 1, '0') + d.digits;
}

std::string FormatNumber(double value, std::string_view pattern)
{
    // The number is the first run of "0", "#" and "." in the pattern, with
    // an exponent right after it; whatever lies around the run is copied.
    const std::size_t begin = pattern.find_first_of("0#.");
    if (begin == std::string_view::npos) return std::string(pattern);
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";

    std::size_t i = begin;
    int int_places = 0, int_zeros = 0, frac_places = 0, frac_min = 0;
    for (; i < pattern.size() && (pattern[i] == '0' || pattern[i] == '#'); ++i, ++int_places)
        if (pattern[i] == '0') ++int_zeros;
    if (i < pattern.size() && pattern[i] == '.') {
        // A "#" before the last "0" of the fraction is shown all the same.
        for (++i; i < pattern.size() && (pattern[i] == '0' || pattern[i] == '#'); ++i) {
            ++frac_places;
            if (pattern[i] == '0') frac_min = frac_places;
        }
    }
    bool scientific = false, plus = false;
    char e_letter = 'E';
    std::size_t exp_zeros = 0;
    if (i + 2 < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'e') &&
        (pattern[i + 1] == '+' || pattern[i + 1] == '-') &&
        (pattern[i + 2] == '0' || pattern[i + 2] == '#')) {
        scientific = true;
        e_letter = pattern[i];
        plus = pattern[i + 1] == '+';
        for (i += 2; i < pattern.size() && (pattern[i] == '0' || pattern[i] == '#'); ++i)
            if (pattern[i] == '0') ++exp_zeros;
    }

    Decimal d = ExactDecimal(std::fabs(value));
    const int lowest_power = -frac_places;  // the power of ten of the last digit shown
    std::string exponent_text;
    if (scientific) {
        if (int_places + frac_places == 0) int_places = 1;
        RoundDigits(d, int_places + frac_places);
        const int shown_exponent = d.digits.empty() ? 0 : d.exponent - (int_places - 1);
        exponent_text = e_letter + ExponentText(shown_exponent, plus, exp_zeros);
        d.exponent -= shown_exponent;
        int_zeros = int_places;
    } else {
        RoundDigits(d, d.exponent + 1 - lowest_power);
    }

    std::string number;
    for (int p = std::max(d.exponent, int_zeros - 1); p >= 0; --p) number += DigitAt(d, p);
    std::string fraction;
    for (int p = -1; p >= lowest_power; --p) fraction += DigitAt(d, p);
    while (static_cast<int>(fraction.size()) > frac_min && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty()) number += "." + fraction;
    number += exponent_text;

    // A value that rounds to zero reads as zero, not as "-0.000".
    const bool negative = value < 0 && !d.digits.empty();
    return (negative ? "-" : "") + std::string(pattern.substr(0, begin)) + number +
           std::string(pattern.substr(i));
}

std::string_view Trimmed(std::string_view text, std::string_view blanks)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string CLocaleNumber(double value, int precision, char conversion)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    if (conversion == 'f') out << std::fixed;
    if (conversion == 'e') out << std::scientific;
    out << std::setprecision(precision) << value;
    return out.str();
}

std::string HertzText(double hertz)
{
    const std::pair<double, const char*> units[] = {{1e6, "MHz"}, {1e3, "kHz"}, {1, "Hz"}};
    for (const auto& [scale, unit] : units)
        if (std::abs(hertz) >= scale || scale == 1)
            return std::string(Trimmed(SignedDecimal(std::round(hertz / scale * 1000) / 1000))) +
                   " " + unit;
    return {};
}

std::string FixedWidth(std::string_view text, std::size_t width)
{
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

}  // namespace quillon
