// Any text as a number: the whole-text reading agrees with the leading
// number, rounding stays within half a unit or reports the overflow, and the
// signed decimal form reads back as the same value to 15 digits.
#include <cmath>

#include "common/text_number.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    quillon::fuzz::FuzzInput input(data, size);
    const std::string text = input.Text(200);
    const double number = quillon::NumberOfText(text);
    FUZZ_REQUIRE(!std::isnan(number));
    if (const std::optional<double> whole = quillon::WholeNumberOfText(text))
        FUZZ_REQUIRE(*whole == number);

    const double value = std::isfinite(number) ? number : input.Double();
    if (!std::isfinite(value)) return 0;
    if (const std::optional<int16_t> rounded = quillon::RoundToInt16(value))
        FUZZ_REQUIRE(std::fabs(*rounded - value) <= 0.5);
    else
        FUZZ_REQUIRE(std::nearbyint(value) < -32768 || std::nearbyint(value) > 32767);
    if (const std::optional<int32_t> rounded = quillon::RoundToInt32(value))
        FUZZ_REQUIRE(std::fabs(*rounded - value) <= 0.5);
    else
        FUZZ_REQUIRE(std::nearbyint(value) < -2147483648.0 || std::nearbyint(value) > 2147483647.0);

    const std::string decimal = quillon::SignedDecimal(value);
    FUZZ_REQUIRE(!decimal.empty() && (decimal[0] == ' ' || decimal[0] == '-'));
    // Fifteen digits of a value near the largest double may round beyond it.
    if (value == 0 || (std::fabs(value) >= 1e-300 && std::fabs(value) <= 1e307)) {
        const double back = quillon::NumberOfText(decimal);
        FUZZ_REQUIRE(std::fabs(back - value) <= std::fabs(value) * 1e-14);
    }
    return 0;
}
