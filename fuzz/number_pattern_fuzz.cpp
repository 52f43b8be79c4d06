// Any value with any display pattern is formatted without a fault, and the
// patterns the program shows its numbers with read back as the value to the
// digits they keep.
#include <cmath>

#include "common/text_number.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    quillon::fuzz::FuzzInput input(data, size);
    const double value = input.Double();
    const uint8_t choice = input.Byte();
    const std::string pattern = input.Text(24);

    const std::string any = quillon::FormatNumber(value, pattern);
    FUZZ_REQUIRE(any.size() < 512 + pattern.size());

    // Near the largest double the rounded text may lie beyond it.
    if (!std::isfinite(value) || std::fabs(value) > 1e307) return 0;
    switch (choice % 3) {
        case 0:
            // Three decimals: within half a thousandth, beyond 2^53 within the
            // double's own spacing.
            if (std::fabs(value) < 1e15) {
                const double back = quillon::NumberOfText(quillon::FormatNumber(value, "0.000"));
                FUZZ_REQUIRE(std::fabs(back - value) <= 0.0005 + std::fabs(value) * 1e-15);
            }
            break;
        case 1: {
            const double back = quillon::NumberOfText(quillon::FormatNumber(value, "0.00000E+00"));
            if (std::fabs(value) >= 1e-300)
                FUZZ_REQUIRE(std::fabs(back - value) <= std::fabs(value) * 5.000001e-6);
            break;
        }
        default: {
            const double back = quillon::NumberOfText(quillon::FormatNumber(value, "0.00E+00"));
            if (std::fabs(value) >= 1e-300)
                FUZZ_REQUIRE(std::fabs(back - value) <= std::fabs(value) * 5.000001e-3);
            break;
        }
    }
    return 0;
}
