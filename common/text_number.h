// Numbers read from and written as text, the same way on every locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The longest leading numeric part of a text: blanks skipped, an optional
// sign, digits with "." as the decimal point, an optional exponent.
// A text without a leading number gives 0 ("1e" reads as 1, "1,5" as 1).
// A magnitude too large for a double gives +/-infinity, one too small 0, so
// that the callers' range checks reject the former.
double NumberOfText(std::string_view text);

// A text that is a number as a whole: blanks around it are allowed, nothing
// else. No value for an empty text, trailing characters ("1.5V", "1,5") or a
// magnitude beyond the range of a double.
std::optional<double> WholeNumberOfText(std::string_view text);

// Round to the nearest whole number, halves to the even one. A value that
// does not fit (or is not a number) gives no value, never a wrapped one.
std::optional<int16_t> RoundToInt16(double value);
std::optional<int32_t> RoundToInt32(double value);

// One blank in front of a value that is zero or positive, "-" in front of a
// negative one; at most 15 significant digits, no trailing zeros, no "0"
// before the point of a magnitude below 1 (0.5 gives " .5").
// From 1E+15 up and below 1E-04 the exponent form of BASIC's Str$ is used:
// " 1.5E+20", "-2.5E-07". Non-finite values give " Inf", "-Inf", " NaN".
std::string SignedDecimal(double value);

// Formats a number with a display pattern: "0" a digit always shown, "#" a
// digit shown only when significant, "." the decimal point, "E+00"/"E-00"
// an exponent; any other character is copied as it stands.
// Patterns in use: "0", "0.00", "0.000", "###0.000", "0.0000", "0.00E+00",
// "0.00000E+00", "0.00V", "0.00nm".
// The last digit shown is rounded from the exact value of the double, a
// value exactly halfway going away from zero (2.5 with "0" gives "3").
// "E+" always shows the exponent's sign, "E-" only a minus. A negative value
// gets "-" in front of the whole text, unless it rounds to zero. The number
// is the first run of placeholders; a pattern without any is copied as it
// stands. Non-finite values give "Inf", "-Inf" or "NaN" without the pattern.
std::string FormatNumber(double value, std::string_view pattern);

// printf's "%.<precision>f", "%.<precision>e" or "%.<precision>g" (by
// `conversion`), always with "." as the decimal point: printf follows the
// locale, which Qt sets from the user's environment.
std::string CLocaleNumber(double value, int precision, char conversion);

// "100 kHz", "1.5 kHz", "20 Hz", "1 MHz": a frequency in the unit a reader
// would use, to three decimals of it.
std::string HertzText(double hertz);

// A text of exactly `width` characters: left-justified and padded with
// blanks, or cut.
std::string FixedWidth(std::string_view text, std::size_t width);

// The text without the characters of `blanks` at either end.
std::string_view Trimmed(std::string_view text, std::string_view blanks = " \t");

inline constexpr std::string_view kCrLf = "\r\n";

}  // namespace quillon
